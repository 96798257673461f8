#include "tests/support/temp_dir.h"
#include "upload/failure.h"
#include "upload/form_data_body.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tovelin {
namespace {

using test::TempDir;

std::string drain(FormDataBody& body, std::size_t block)
{
    std::string out;
    std::string buffer(block, '\0');
    body.rewind();
    for (;;) {
        const std::size_t got = body.read(buffer.data(), block);
        if (got == 0) {
            return out;
        }
        EXPECT_LE(got, block);
        out.append(buffer.data(), got);
    }
}

std::string expectedBody(const std::string& boundary, const std::string& sentName,
                         const std::string& content)
{
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file\"; filename=\"" +
           sentName + "\"\r\n" + "Content-Type: application/octet-stream\r\n\r\n" + content +
           "\r\n--" + boundary + "--\r\n";
}

FormDataBody bodyFor(const std::string& path)
{
    FormDataBody body;
    body.addFilePart("file", path, "application/octet-stream");
    return body;
}

struct BodyCase
{
    const char* label;
    std::string fileName; // as stored on disk
    std::string sentName; // as it must appear in the filename parameter
    std::string content;
};

void PrintTo(const BodyCase& c, std::ostream* out)
{
    *out << c.label;
}

class BodyBytes : public testing::TestWithParam<BodyCase>
{
};

TEST_P(BodyBytes, MatchesTheWireFormatByteForByte)
{
    const BodyCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write(c.fileName, c.content);
    FormDataBody body = bodyFor(path);

    const std::string expected = expectedBody(body.boundary(), c.sentName, c.content);
    const std::string produced = drain(body, 1 << 20);
    EXPECT_EQ(produced, expected);
    EXPECT_EQ(body.length(), static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(body.length(), 158 + static_cast<std::int64_t>(c.sentName.size() + c.content.size()));
    EXPECT_EQ(body.contentType(), "multipart/form-data; boundary=" + body.boundary());
}

const std::string kBoundaryLike = "--------061509143005123\r\n--x\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Names, BodyBytes,
    testing::Values(BodyCase{"plain", "a.txt", "a.txt", "abc"},
                    BodyCase{"cyrillic", "Отчёт.txt", "Отчёт.txt", "данные"},
                    BodyCase{"quote", "say \"hi\".txt", "say %22hi%22.txt", "x"},
                    BodyCase{"cr", "a\rb", "a%0Db", "y"},
                    BodyCase{"lf", "a\nContent-Type: text", "a%0AContent-Type: text", "z"},
                    BodyCase{"percent and semicolon kept", "50%; x=1", "50%; x=1", "q"},
                    BodyCase{"content holds boundary text", "b.bin", "b.bin", kBoundaryLike},
                    BodyCase{"binary with NUL", "n.bin", "n.bin", std::string("\0\r\n\0\xff", 5)}),
    [](const testing::TestParamInfo<BodyCase>& info) {
        std::string name;
        for (const char* p = info.param.label; *p != '\0'; ++p) {
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        }
        return name;
    });

TEST(FormDataBody, SendsOnlyTheFileOwnNameNotItsFolders)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "home" / "user");
    const std::string path = dir.write("home/user/secret plan.txt", "abc");
    FormDataBody body = bodyFor(path);
    const std::string produced = drain(body, 4096);
    EXPECT_NE(produced.find("filename=\"secret plan.txt\"\r\n"), std::string::npos);
    EXPECT_EQ(produced.find(dir.path().string()), std::string::npos);
}

TEST(FormDataBody, AnyBlockSizeYieldsTheSameBytes)
{
    TempDir dir;
    std::string content;
    for (int i = 0; i < 100000; ++i) {
        content += static_cast<char>(i * 31 % 251);
    }
    const std::string path = dir.write("big.bin", content);
    FormDataBody body = bodyFor(path);
    const std::string whole = expectedBody(body.boundary(), "big.bin", content);
    for (std::size_t block :
         {std::size_t{1}, std::size_t{7}, std::size_t{32768}, whole.size(), whole.size() + 1000}) {
        SCOPED_TRACE(block);
        EXPECT_EQ(drain(body, block), whole);
    }
}

TEST(FormDataBody, ReadsAfterTheEndYieldNothing)
{
    TempDir dir;
    FormDataBody body = bodyFor(dir.write("a", "abc"));
    std::string buffer(1000, '\0');
    EXPECT_EQ(body.read(buffer.data(), buffer.size()), static_cast<std::size_t>(body.length()));
    EXPECT_EQ(body.read(buffer.data(), buffer.size()), 0u);
}

TEST(FormDataBody, AGrowingFileIsCutAtTheLengthTakenWhenAdded)
{
    TempDir dir;
    const std::string path = dir.write("grows.txt", "12345");
    FormDataBody body = bodyFor(path);
    const auto announced = body.length();
    dir.write("grows.txt", "1234567890");
    const std::string produced = drain(body, 3);
    EXPECT_EQ(static_cast<std::int64_t>(produced.size()), announced);
    EXPECT_EQ(produced, expectedBody(body.boundary(), "grows.txt", "12345"));
}

TEST(FormDataBody, AShrinkingFileEndsTheBodyEarlyWithItsDelimiter)
{
    TempDir dir;
    const std::string path = dir.write("shrinks.txt", std::string(10000, 'a'));
    FormDataBody body = bodyFor(path);
    const auto announced = body.length();
    ::truncate(path.c_str(), 4000);
    const std::string produced = drain(body, 1024);
    EXPECT_LT(static_cast<std::int64_t>(produced.size()), announced);
    EXPECT_EQ(produced, expectedBody(body.boundary(), "shrinks.txt", std::string(4000, 'a')));
}

TEST(FormDataBody, MemoryDoesNotDependOnFileSizeBecauseBytesAreReadOnDemand)
{
    TempDir dir;
    const std::string path = dir.sized("sparse.bin", std::uintmax_t{50} << 20);
    FormDataBody body = bodyFor(path);
    // The file is removed before any byte is read: the open descriptor still streams it,
    // which shows the body holds the file, not a copy of its contents.
    std::filesystem::remove(path);
    std::string buffer(32768, '\0');
    std::int64_t total = 0;
    for (std::size_t got; (got = body.read(buffer.data(), buffer.size())) != 0;) {
        total += static_cast<std::int64_t>(got);
    }
    EXPECT_EQ(total, body.length());
}

struct OpenFailureCase
{
    const char* label;
    std::string (*makePath)(const TempDir&);
    const char* systemText;
};

void PrintTo(const OpenFailureCase& c, std::ostream* out)
{
    *out << c.label;
}

class OpenFailure : public testing::TestWithParam<OpenFailureCase>
{
};

TEST_P(OpenFailure, NamesTheAbsolutePathAndTheSystemReason)
{
    const OpenFailureCase& c = GetParam();
    if (c.systemText == std::string("Permission denied") && ::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    TempDir dir;
    const std::string path = c.makePath(dir);
    FormDataBody body;
    try {
        body.addFilePart("file", path, "application/octet-stream");
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        const std::string absolute = std::filesystem::absolute(path).lexically_normal().string();
        EXPECT_EQ(std::string(failure.what()),
                  "Cannot open file \"" + absolute + "\". " + c.systemText);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, OpenFailure,
    testing::Values(OpenFailureCase{"missing",
                                    [](const TempDir& d) {
                                        return (d.path() / "nope.txt").string();
                                    },
                                    "No such file or directory"},
                    OpenFailureCase{"folder", [](const TempDir& d) { return d.path().string(); },
                                    "Is a directory"},
                    OpenFailureCase{"unreadable",
                                    [](const TempDir& d) {
                                        const std::string p = d.write("locked.txt", "x");
                                        ::chmod(p.c_str(), 0);
                                        return p;
                                    },
                                    "Permission denied"}),
    [](const testing::TestParamInfo<OpenFailureCase>& info) {
        return std::string(info.param.label);
    });

TEST(OpenFailure, ARelativePathIsShownAbsolute)
{
    FormDataBody body;
    try {
        body.addFilePart("file", "no/such/../file.txt", "application/octet-stream");
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        const auto expected = (std::filesystem::current_path() / "no/file.txt").string();
        EXPECT_EQ(std::string(failure.what()),
                  "Cannot open file \"" + expected + "\". No such file or directory");
    }
}

TEST(Boundary, FifteenDigitsDecodeToTheMomentTheBodyWasMade)
{
    std::tm local{};
    local.tm_year = 2009 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 14;
    local.tm_min = 30;
    local.tm_sec = 5;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local)) +
                      std::chrono::milliseconds(123);
    EXPECT_EQ(FormDataBody(when).boundary(), "--------061509143005123");
}

TEST(Boundary, FollowsTheClockAndRepeatsWithinOneMillisecond)
{
    const auto now = std::chrono::system_clock::now();
    const std::string boundary = FormDataBody(now).boundary();
    ASSERT_EQ(boundary.size(), 23u);
    EXPECT_EQ(boundary.substr(0, 8), "--------");
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year % 100);
    EXPECT_EQ(boundary.substr(8, 6), digits);
    EXPECT_EQ(FormDataBody(now).boundary(), boundary);
    EXPECT_NE(FormDataBody(now + std::chrono::milliseconds(1)).boundary(), boundary);
}

TEST(FormDataBody, WithoutAPartIsEmpty)
{
    FormDataBody body;
    char buffer[16];
    EXPECT_EQ(body.length(), 0);
    EXPECT_EQ(body.read(buffer, sizeof buffer), 0u);
}

} // namespace
} // namespace tovelin

#include "tests/support/temp_dir.h"
#include "upload/failure.h"
#include "upload/size_check.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace tovelin {
namespace {

struct SizeTextCase
{
    std::int64_t bytes;
    const char* comma;
    const char* point;
};

TEST(SizeText, PlainDecimalWithTheGivenSeparator)
{
    const SizeTextCase cases[] = {
        {1, "0,0009765625 кб", "0.0009765625 кб"},
        {512, "0,5 кб", "0.5 кб"},
        {1536, "1,5 кб", "1.5 кб"},
        {1048576, "1024 кб", "1024 кб"},
        {kMaxUploadBytes, "51199 кб", "51199 кб"},
        {kMaxUploadBytes + 1, "51199,0009765625 кб", "51199.0009765625 кб"},
        {kMaxUploadBytes - 1, "51198,9990234375 кб", "51198.9990234375 кб"},
        {1024 * 10 + 1, "10,0009765625 кб", "10.0009765625 кб"},
        // 15 significant digits at most: 1/3 KB rounds where a double would print more.
        {std::int64_t{1024} * 1000000 + 341, "1000000,33300781 кб", "1000000.33300781 кб"},
        {std::int64_t{1024} * 100000000000000, "100000000000000 кб", "100000000000000 кб"},
        {0, "0 кб", "0 кб"},
    };
    for (const SizeTextCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(sizeText(c.bytes, ","), c.comma);
        EXPECT_EQ(sizeText(c.bytes, "."), c.point);
    }
}

TEST(SizeText, NeverUsesExponentForm)
{
    for (std::int64_t bytes = 1; bytes < 4096; bytes += 7) {
        const std::string text = sizeText(bytes, ".");
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(std::stod(text), static_cast<double>(bytes) / 1024.0) << text;
    }
}

TEST(SizeText, AMultiByteSeparatorIsCopiedWhole)
{
    EXPECT_EQ(sizeText(1536, "٫"), "1٫5 кб");
}

TEST(SizeCheck, AcceptsOneByteUpToTheLimit)
{
    const std::pair<std::int64_t, bool> cases[] = {
        {0, false},
        {1, true},
        {kMaxUploadBytes, true},
        {kMaxUploadBytes + 1, false},
        {std::int64_t{51200} * 1024, false},
        {std::int64_t{4} << 30, false},
        {-1, false},
    };
    for (const auto& [bytes, accepted] : cases) {
        EXPECT_EQ(isAcceptedSize(bytes), accepted) << bytes;
    }
}

TEST(FileByteSize, MeasuresBeyondThirtyTwoBits)
{
    test::TempDir dir;
    const std::pair<std::uintmax_t, const char*> files[] = {
        {0, "empty"},
        {1, "one"},
        {std::uintmax_t{kMaxUploadBytes}, "limit"},
        {std::uintmax_t{kMaxUploadBytes} + 1, "over"},
        {(std::uintmax_t{4} << 30), "four-gib"},
        {(std::uintmax_t{3} << 30), "three-gib"},
    };
    for (const auto& [length, name] : files) {
        EXPECT_EQ(fileByteSize(dir.sized(name, length)), static_cast<std::int64_t>(length)) << name;
    }
}

TEST(FileByteSize, AnUnopenableFileIsAFailureNotANegativeSize)
{
    test::TempDir dir;
    const auto missing = (dir.path() / "gone.txt").string();
    try {
        fileByteSize(missing);
        FAIL() << "measured a missing file";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  "Cannot open file \"" + missing + "\". No such file or directory");
    }
    EXPECT_THROW(fileByteSize(dir.path().string()), Failure);
}

TEST(FileByteSize, AFifoWithoutWriterDoesNotHangAndMeasuresZero)
{
    test::TempDir dir;
    const auto fifo = (dir.path() / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(fileByteSize(fifo), 0);
}

} // namespace
} // namespace tovelin

#include "host/upload_file_name.h"

#include <gtest/gtest.h>
#include <string>

namespace tovelin {
namespace {

struct NameCase
{
    const char* label;
    std::string sent;
    std::string kept;
};

void PrintTo(const NameCase& c, std::ostream* out)
{
    *out << c.label;
}

class CleanUploadFileName : public testing::TestWithParam<NameCase>
{
};

TEST_P(CleanUploadFileName, KeepsOnlyASafeLastComponent)
{
    EXPECT_EQ(cleanUploadFileName(GetParam().sent), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CleanUploadFileName,
    testing::Values(
        NameCase{"plain", "report.txt", "report.txt"},
        NameCase{"windows path", "C:\\Users\\anna\\report.txt", "report.txt"},
        NameCase{"posix path", "/home/anna/docs/report.txt", "report.txt"},
        NameCase{"mixed separators", "C:\\a/b\\c/d.bin", "d.bin"},
        NameCase{"utf-8 cyrillic", "/home/anna/\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pdf",
                 "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pdf"},
        // "Отчёт" as Windows-1251 bytes, the way a Russian Windows system names it.
        NameCase{"windows-1251 cyrillic", "C:\\\xCE\xF2\xF7\xB8\xF2.pdf",
                 "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pdf"},
        NameCase{"escaped quote", "/tmp/say %22hi%22.txt", "say \"hi\".txt"},
        NameCase{"escaped line breaks are dropped", "/tmp/a%0D%0Ab.txt", "ab.txt"},
        NameCase{"lower-case escapes", "/tmp/q%22%0d%0a.txt", "q\".txt"},
        NameCase{"other escapes stay", "/tmp/100%25 %41.txt", "100%25 %41.txt"},
        NameCase{"lone percent at the end", "/tmp/50%", "50%"},
        NameCase{"raw control bytes dropped",
                 std::string("a\x01\x1F\x7F"
                             "b.txt"),
                 "ab.txt"},
        NameCase{"NUL dropped", std::string("a\0b.txt", 7), "ab.txt"},
        NameCase{"direction override dropped", "invoice\xE2\x80\xAEtxt.exe", "invoicetxt.exe"},
        NameCase{"surrounding blanks trimmed", "/tmp/  spaced name.txt  ", "spaced name.txt"},
        NameCase{"empty", "", "file"}, NameCase{"trailing separator", "C:\\dir\\", "file"},
        NameCase{"dot", "/tmp/.", "file"}, NameCase{"dot dot", "../..", "file"},
        NameCase{"only controls", "\x01\x02", "file"},
        NameCase{"hidden file kept", "/home/a/.bashrc", ".bashrc"}));

TEST(CleanUploadFileNameLimits, LongNamesAreCutAtACharacterBoundary)
{
    std::string cyrillic;
    for (int i = 0; i < 200; ++i) {
        cyrillic += "\xD0\xAF"; // two bytes each
    }
    const std::string kept = cleanUploadFileName(cyrillic);
    EXPECT_EQ(kept.size(), 254u);
    EXPECT_EQ(kept, cyrillic.substr(0, 254));

    EXPECT_EQ(cleanUploadFileName(std::string(300, 'a')), std::string(255, 'a'));
}

TEST(CleanUploadFileNameLimits, ResultIsAlwaysValidUtf8WithoutControls)
{
    // Every single byte value as a name: whatever comes in, what goes out is printable UTF-8.
    for (int b = 0; b < 256; ++b) {
        const std::string kept = cleanUploadFileName(std::string(1, static_cast<char>(b)) + "x");
        for (unsigned char c : kept) {
            EXPECT_FALSE(c < 0x20 || c == 0x7F) << "byte " << b;
        }
        EXPECT_NE(kept.find('x'), std::string::npos) << "byte " << b;
    }
}

} // namespace
} // namespace tovelin

#include "host/content_disposition.h"

#include <gtest/gtest.h>
#include <string>

namespace tovelin {
namespace {

struct DispositionCase
{
    const char* label;
    std::string name;
    std::string value;
};

void PrintTo(const DispositionCase& c, std::ostream* out)
{
    *out << c.label;
}

class AttachmentDisposition : public testing::TestWithParam<DispositionCase>
{
};

TEST_P(AttachmentDisposition, OffersTheNameSafely)
{
    EXPECT_EQ(attachmentDisposition(GetParam().name), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Names, AttachmentDisposition,
    testing::Values(
        DispositionCase{"ascii only", "report 2009.txt",
                        "attachment; filename=\"report 2009.txt\""},
        DispositionCase{"cyrillic", "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pdf",
                        "attachment; filename=\"_____.pdf\"; "
                        "filename*=UTF-8''%D0%9E%D1%82%D1%87%D1%91%D1%82.pdf"},
        DispositionCase{
            "quote", "say \"hi\".txt",
            "attachment; filename=\"say _hi_.txt\"; filename*=UTF-8''say%20%22hi%22.txt"},
        DispositionCase{"backslash and percent", "a\\b%c",
                        "attachment; filename=\"a_b_c\"; filename*=UTF-8''a%5Cb%25c"},
        DispositionCase{"four-byte character", "\xF0\x9F\x98\x80.png",
                        "attachment; filename=\"_.png\"; filename*=UTF-8''%F0%9F%98%80.png"},
        DispositionCase{"attr-chars stay bare", "a!#$&+-.^_`|~b=;",
                        "attachment; filename=\"a!#$&+-.^_`|~b=;\""}));

} // namespace
} // namespace tovelin

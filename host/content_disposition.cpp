#include "host/content_disposition.h"

#include <cstdint>

namespace tovelin {
namespace {

// RFC 5987 attr-char: what filename* may carry without percent-encoding.
bool isAttrChar(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// One '_' per character that a quoted ASCII filename cannot carry safely: non-ASCII,
// controls, the quote and backslash that would end or escape it, and '%', which some
// browsers decode.
std::string asciiFallback(std::string_view utf8Name)
{
    std::string out;
    for (std::size_t i = 0; i < utf8Name.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8Name[i]);
        if (c >= 0x80) {
            // Skip the continuation bytes of this character.
            while (i + 1 < utf8Name.size() &&
                   (static_cast<unsigned char>(utf8Name[i + 1]) & 0xC0) == 0x80) {
                ++i;
            }
            out += '_';
        } else if (c < 0x20 || c == 0x7F || c == '"' || c == '\\' || c == '%') {
            out += '_';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string percentEncoded(std::string_view utf8Name)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : utf8Name) {
        const auto c = static_cast<unsigned char>(ch);
        if (isAttrChar(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

} // namespace

std::string attachmentDisposition(std::string_view utf8Name)
{
    const std::string fallback = asciiFallback(utf8Name);
    std::string value = "attachment; filename=\"" + fallback + "\"";
    if (fallback != utf8Name) {
        value += "; filename*=UTF-8''" + percentEncoded(utf8Name);
    }
    return value;
}

} // namespace tovelin

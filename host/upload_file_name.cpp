#include "host/upload_file_name.h"

#include "host/upload_limits.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <iconv.h>
#include <optional>

namespace tovelin {
namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Only the three escapes the window program writes; any other '%' stays as it is.
std::string decodeQuoteEscapes(std::string_view sent)
{
    std::string out;
    out.reserve(sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == '%' && i + 2 < sent.size()) {
            const int high = hexValue(sent[i + 1]);
            const int low = hexValue(sent[i + 2]);
            const int value = high < 0 || low < 0 ? -1 : high * 16 + low;
            if (value == 0x22 || value == 0x0D || value == 0x0A) {
                out += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        out += sent[i];
    }
    return out;
}

std::string_view lastComponent(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Decodes one UTF-8 sequence at text[at]; nothing for an invalid, overlong or surrogate one.
std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t at, std::size_t& length)
{
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint8_t>(text[i]);
    };
    const std::uint8_t lead = byte(at);
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (at + length > text.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return cp;
}

bool isValidUtf8(std::string_view text)
{
    std::size_t length = 0;
    for (std::size_t at = 0; at < text.size(); at += length) {
        if (!decodeUtf8(text, at, length)) {
            return false;
        }
    }
    return true;
}

class Converter
{
public:
    Converter(const char* to, const char* from) : m_cd(::iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid()) {
            ::iconv_close(m_cd);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Windows-1251 to UTF-8; the one byte 1251 leaves undefined (0x98) becomes U+FFFD.
std::string fromWindows1251(std::string_view text)
{
    Converter converter("UTF-8", "CP1251");
    std::string out;
    if (!converter.valid()) {
        for (const char c : text) {
            out += static_cast<std::uint8_t>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
        }
        return out;
    }
    char buffer[8];
    for (const char c : text) {
        char in = c;
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        if (::iconv(converter.get(), &inPtr, &inLeft, &outPtr, &outLeft) ==
            static_cast<std::size_t>(-1)) {
            out += "\xEF\xBF\xBD";
            continue;
        }
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    }
    return out;
}

bool isDropped(char32_t cp)
{
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    // Direction overrides and isolates make "gpj.exe" look like "exe.jpg".
    const bool directional = (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) ||
                             cp == 0x200E || cp == 0x200F || cp == 0x061C;
    const bool separator = cp == 0x2028 || cp == 0x2029;
    return control || directional || separator;
}

bool isBlank(char32_t cp)
{
    return cp == ' ' || cp == 0xA0 || cp == 0x3000 || (cp >= 0x2000 && cp <= 0x200B) ||
           cp == 0xFEFF;
}

} // namespace

std::string cleanUploadFileName(std::string_view sent)
{
    const std::string decoded = decodeQuoteEscapes(sent);
    const std::string_view last = lastComponent(decoded);
    const std::string utf8 = isValidUtf8(last) ? std::string(last) : fromWindows1251(last);

    std::string kept;
    std::size_t length = 0;
    std::size_t lastNonBlankEnd = 0;
    for (std::size_t at = 0; at < utf8.size(); at += length) {
        const char32_t cp = *decodeUtf8(utf8, at, length);
        if (isDropped(cp)) {
            continue;
        }
        if (kept.empty() && isBlank(cp)) {
            continue;
        }
        if (kept.size() + length > kMaxFileNameBytes) {
            break;
        }
        kept.append(utf8, at, length);
        if (!isBlank(cp)) {
            lastNonBlankEnd = kept.size();
        }
    }
    kept.resize(lastNonBlankEnd);
    if (kept.empty() || kept == "." || kept == "..") {
        return "file";
    }
    return kept;
}

} // namespace tovelin

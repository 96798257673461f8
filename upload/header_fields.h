#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovelin {

// Drops blanks and control characters (every byte up to the space) at both ends.
std::string_view trimBlanks(std::string_view text);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The number after the status line's first space, up to the next space; -1 when there
// is none or it is not a decimal number.
int statusCodeOf(std::string_view statusLine);

// The value of the first header line with this name (letter case ignored), with the
// lines that continue it (starting with a space or tab) joined by one space; each piece
// trimmed. Nothing when no line has the name.
std::optional<std::string> headerValue(const std::vector<std::string>& lines,
                                       std::string_view name);

// Every header line with this name, in order: its value as headerValue() builds it, and
// the number of bytes it took on the wire (the lines without their line ends).
struct HeaderField
{
    std::string value;
    std::size_t rawLength = 0;
};
std::vector<HeaderField> headerFields(const std::vector<std::string>& lines, std::string_view name);

// A Content-Length value as a byte count: nothing when it is not a decimal number, is
// negative or does not fit.
std::optional<std::int64_t> contentLengthOf(std::string_view value);

// A chunk-size line: the hexadecimal number before its first space; 0 when that is not
// a number of at most 16 digits that fits a signed 64-bit count.
std::int64_t chunkSizeOf(std::string_view line);

} // namespace tovelin

#include "upload/header_fields.h"

#include <cctype>
#include <limits>

namespace tovelin {

namespace {

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

bool isContinuation(const std::string& line)
{
    return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

// The value of the field starting at lines[index], or nothing when that line has
// another name.
std::optional<HeaderField> fieldAt(const std::vector<std::string>& lines, std::size_t index,
                                   std::string_view name)
{
    const std::string& line = lines[index];
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos ||
        !equalsIgnoringCase(std::string_view(line).substr(0, colon), name)) {
        return std::nullopt;
    }
    HeaderField field;
    field.value = std::string(trimBlanks(std::string_view(line).substr(colon + 1)));
    field.rawLength = line.size();
    for (std::size_t next = index + 1; next < lines.size() && isContinuation(lines[next]); ++next) {
        field.value += ' ';
        field.value += trimBlanks(lines[next]);
        field.rawLength += lines[next].size();
    }
    return field;
}

} // namespace

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

int statusCodeOf(std::string_view statusLine)
{
    const std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos) {
        return -1;
    }
    std::string_view rest = trimBlanks(statusLine.substr(space + 1));
    rest = rest.substr(0, rest.find(' '));
    if (rest.empty()) {
        return -1;
    }
    bool negative = false;
    if (rest.front() == '+' || rest.front() == '-') {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty() || rest.size() > 9) {
        return -1;
    }
    int value = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::optional<std::string> headerValue(const std::vector<std::string>& lines, std::string_view name)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (std::optional<HeaderField> field = fieldAt(lines, i, name)) {
            return std::move(field->value);
        }
    }
    return std::nullopt;
}

std::vector<HeaderField> headerFields(const std::vector<std::string>& lines, std::string_view name)
{
    std::vector<HeaderField> fields;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (isContinuation(lines[i])) {
            continue;
        }
        if (std::optional<HeaderField> field = fieldAt(lines, i, name)) {
            fields.push_back(std::move(*field));
        }
    }
    return fields;
}

std::optional<std::int64_t> contentLengthOf(std::string_view value)
{
    value = trimBlanks(value);
    if (!value.empty() && value.front() == '+') {
        value.remove_prefix(1);
    }
    if (value.empty()) {
        return std::nullopt;
    }
    std::int64_t number = 0;
    for (char c : value) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        if (number > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        number = number * 10 + digit;
    }
    return number;
}

std::int64_t chunkSizeOf(std::string_view line)
{
    line = line.substr(0, line.find(' '));
    if (line.empty() || line.size() > 16) {
        return 0;
    }
    std::uint64_t number = 0;
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isxdigit(u)) {
            return 0;
        }
        const unsigned digit = std::isdigit(u) ? static_cast<unsigned>(c - '0')
                                               : static_cast<unsigned>(std::tolower(u) - 'a' + 10);
        number = number * 16 + digit;
    }
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return 0;
    }
    return static_cast<std::int64_t>(number);
}

} // namespace tovelin

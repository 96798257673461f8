#include "upload/request_head.h"

namespace tovelin {

namespace {

constexpr std::size_t kFoldLength = 1024;

bool isBreak(char c)
{
    return c == ' ' || c == '\t' || c == ',';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view withoutTrailingBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Where the first piece of the line ends (just after a break character), or npos when
// the line cannot be broken. Prefers the last break at or before the fold length; a line
// without one there breaks at the first break after it.
std::size_t breakPosition(std::string_view line)
{
    std::size_t firstContent = 0;
    while (firstContent < line.size() && isBlank(line[firstContent])) {
        ++firstContent;
    }
    bool quoted = false;
    std::size_t best = std::string_view::npos;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        // A piece must keep some content, or the empty line would end the head.
        if (quoted || !isBreak(c) || i < firstContent ||
            withoutTrailingBlanks(line.substr(0, i + 1)).size() <= firstContent) {
            continue;
        }
        if (i < kFoldLength) {
            best = i + 1;
        } else {
            return best != std::string_view::npos ? best : i + 1;
        }
    }
    return best;
}

} // namespace

std::string foldHeaderLine(std::string_view line)
{
    std::string out;
    std::string rest(line);
    while (rest.size() > kFoldLength) {
        const std::size_t at = breakPosition(rest);
        if (at == std::string_view::npos || at >= rest.size()) {
            break;
        }
        std::string_view tail = std::string_view(rest).substr(at);
        while (!tail.empty() && isBlank(tail.front())) {
            tail.remove_prefix(1);
        }
        if (tail.empty()) {
            break;
        }
        out += withoutTrailingBlanks(std::string_view(rest).substr(0, at));
        out += "\r\n";
        rest = " " + std::string(tail);
    }
    out += withoutTrailingBlanks(rest);
    return out;
}

std::string buildRequestHead(const Endpoint& endpoint, std::string_view contentType,
                             std::int64_t contentLength, std::string_view cookieValue)
{
    std::string head;
    head.reserve(512 + cookieValue.size());
    const auto line = [&head](std::string_view name, std::string_view value) {
        std::string text(name);
        text += ": ";
        text += value;
        head += foldHeaderLine(text);
        head += "\r\n";
    };
    head += "POST ";
    head += endpoint.path;
    head += " HTTP/1.0\r\n";
    line("Connection", "keep-alive");
    line("Content-Type", contentType);
    line("Content-Length", std::to_string(contentLength));
    line("Host", endpoint.hostLine());
    line("Accept", kAccept);
    line("User-Agent", kUserAgent);
    if (!cookieValue.empty()) {
        line("Cookie", cookieValue);
    }
    head += "\r\n";
    return head;
}

} // namespace tovelin

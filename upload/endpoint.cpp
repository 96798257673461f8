#include "upload/endpoint.h"

#include "upload/header_fields.h"

#include <cctype>

namespace tovelin {

namespace {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::optional<std::uint16_t> parsePort(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

bool isHostCharacter(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '-' || c == '.' || c == '_' || u >= 0x80;
}

} // namespace

std::optional<Endpoint> Endpoint::parse(std::string_view url)
{
    constexpr std::string_view kScheme = "http://";
    if (!startsWithIgnoringCase(url, kScheme)) {
        return std::nullopt;
    }
    std::string_view rest = url.substr(kScheme.size());
    const std::size_t slash = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, slash);
    std::string_view path =
        slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
    if (const std::size_t hash = path.find('#'); hash != std::string_view::npos) {
        path = path.substr(0, hash);
    }

    Endpoint endpoint;
    std::string_view host = authority;
    std::string_view port;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1) {
            return std::nullopt;
        }
        for (char c : authority.substr(1, close - 1)) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') {
                return std::nullopt;
            }
        }
        host = authority.substr(0, close + 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return std::nullopt;
            }
            hasPort = true;
            port = after.substr(1);
        }
    } else {
        if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            hasPort = true;
            port = authority.substr(colon + 1);
        }
        if (host.empty()) {
            return std::nullopt;
        }
        for (char c : host) {
            if (!isHostCharacter(c)) {
                return std::nullopt;
            }
        }
    }
    if (hasPort) {
        const std::optional<std::uint16_t> number = parsePort(port);
        if (!number) {
            return std::nullopt;
        }
        endpoint.port = *number;
        endpoint.portWritten = true;
    }
    endpoint.host = std::string(host);
    endpoint.path = path.empty() ? std::string("/") : std::string(path);
    if (endpoint.path.front() != '/') {
        endpoint.path.insert(0, 1, '/');
    }
    for (char c : endpoint.path) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
            return std::nullopt;
        }
    }
    return endpoint;
}

std::string Endpoint::hostLine() const
{
    if (portWritten && port != 80) {
        return host + ":" + std::to_string(port);
    }
    return host;
}

std::string Endpoint::linkPrefix() const
{
    return "http://" + hostLine() + "/";
}

std::string Endpoint::resolvableHost() const
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

} // namespace tovelin

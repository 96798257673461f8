#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovelin {

// An upload address: http only, a host, an optional port, a path.
struct Endpoint
{
    std::string host; // as written, letter case kept
    std::uint16_t port = 80;
    bool portWritten = false; // the URL named a port
    std::string path = "/";

    // Nothing for anything but an http URL with a host.
    static std::optional<Endpoint> parse(std::string_view url);

    // The Host line's value: the host, plus ":port" when a port other than 80 was named.
    std::string hostLine() const;
    // "http://" + hostLine() + "/": the root the download link is built on.
    std::string linkPrefix() const;
    // The name to resolve: the host without the brackets of an IPv6 literal.
    std::string resolvableHost() const;
};

} // namespace tovelin

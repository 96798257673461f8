#include "host/listen_addresses.h"

#include "upload/failure.h"

#include <algorithm>
#include <arpa/inet.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tovelin {
namespace {

struct AddrInfoFree
{
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

} // namespace

std::vector<std::string> resolveListenAddresses(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* raw = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &raw);
    std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
    if (status != 0) {
        throw Failure("cannot resolve listen address \"" + host + "\": " + ::gai_strerror(status));
    }
    std::vector<std::string> addresses;
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* where = nullptr;
        if (entry->ai_family == AF_INET) {
            where = &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
        } else if (entry->ai_family == AF_INET6) {
            where = &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr;
        } else {
            continue;
        }
        if (::inet_ntop(entry->ai_family, where, text, sizeof text) == nullptr) {
            continue;
        }
        if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
            addresses.emplace_back(text);
        }
    }
    if (addresses.empty()) {
        throw Failure("listen address \"" + host + "\" has no IPv4 or IPv6 address");
    }
    return addresses;
}

} // namespace tovelin

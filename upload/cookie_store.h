#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tovelin {

// The cookies of one run, in memory only, grouped by domain.
class CookieStore
{
public:
    using Clock = std::chrono::system_clock;

    // Per domain; the cookie set longest ago gives way to a new one.
    static constexpr std::size_t kMaxPerDomain = 50;
    // A Set-Cookie field longer than this on the wire is ignored.
    static constexpr std::size_t kMaxFieldLength = 4096;

    // Stores the cookies that one reply's header block sets (Set-cookie lines first,
    // then Set-cookie2), for a request to this host.
    void storeFromHeaderBlock(const std::vector<std::string>& headerLines, const std::string& host,
                              Clock::time_point now);

    // Drops the cookies whose expiry has passed, then gives the Cookie line's value for a
    // request to this host and path; empty when there is nothing to send.
    std::string cookieLine(const std::string& host, const std::string& path, Clock::time_point now);

    std::size_t size() const;

private:
    struct Cookie
    {
        std::string name;
        std::string value;
        std::optional<std::string> path;
        std::string domain;
        std::optional<Clock::time_point> expires;
        bool secure = false;
    };
    struct Domain
    {
        std::string name;
        std::vector<Cookie> cookies; // the one set longest ago first
    };

    void store(Cookie cookie);

    std::vector<Domain> m_domains;
};

} // namespace tovelin

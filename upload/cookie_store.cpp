#include "upload/cookie_store.h"

#include "upload/cookie_date.h"
#include "upload/header_fields.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tovelin {

namespace {

bool isDottedIpv4(std::string_view host)
{
    int parts = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = host.find('.', start);
        const std::string_view piece = host.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (piece.empty() || piece.size() > 3) {
            return false;
        }
        int value = 0;
        for (char c : piece) {
            if (c < '0' || c > '9') {
                return false;
            }
            value = value * 10 + (c - '0');
        }
        if (value > 255) {
            return false;
        }
        ++parts;
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts == 4;
}

bool domainFitsHost(const std::string& domain, const std::string& host)
{
    if (isDottedIpv4(host) || domain.empty() || domain.front() != '.') {
        return domain == host;
    }
    const std::size_t dot = host.find('.');
    return dot != std::string::npos && host.compare(dot, std::string::npos, domain) == 0;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::optional<long long> maxAgeOf(std::string_view value)
{
    value = trimBlanks(value);
    if (value.empty() || value.size() > 18) {
        return std::nullopt;
    }
    long long seconds = 0;
    std::size_t i = 0;
    const bool negative = value.front() == '-';
    if (negative || value.front() == '+') {
        i = 1;
    }
    if (i == value.size()) {
        return std::nullopt;
    }
    for (; i < value.size(); ++i) {
        if (value[i] < '0' || value[i] > '9') {
            return std::nullopt;
        }
        seconds = seconds * 10 + (value[i] - '0');
    }
    return negative ? -seconds : seconds;
}

} // namespace

void CookieStore::storeFromHeaderBlock(const std::vector<std::string>& headerLines,
                                       const std::string& host, Clock::time_point now)
{
    for (const bool version2 : {false, true}) {
        for (const HeaderField& field :
             headerFields(headerLines, version2 ? "Set-cookie2" : "Set-cookie")) {
            if (field.rawLength > kMaxFieldLength) {
                continue;
            }
            std::vector<std::string_view> pieces;
            std::string_view rest = field.value;
            while (true) {
                const std::size_t semicolon = rest.find(';');
                pieces.push_back(trimBlanks(rest.substr(0, semicolon)));
                if (semicolon == std::string_view::npos) {
                    break;
                }
                rest.remove_prefix(semicolon + 1);
            }

            Cookie cookie;
            const std::string_view first = pieces.front();
            const std::size_t equals = first.find('=');
            cookie.name = std::string(first.substr(0, equals));
            if (equals != std::string_view::npos) {
                cookie.value = std::string(first.substr(equals + 1));
            }
            std::optional<std::string> domain;
            bool hasExpires = false;
            std::optional<long long> maxAge;
            for (std::size_t i = 1; i < pieces.size(); ++i) {
                const std::string_view piece = pieces[i];
                const std::size_t eq = piece.find('=');
                const std::string_view name = trimBlanks(piece.substr(0, eq));
                const std::string_view value = eq == std::string_view::npos
                                                   ? std::string_view{}
                                                   : trimBlanks(piece.substr(eq + 1));
                if (equalsIgnoringCase(name, "PATH")) {
                    std::string_view path = value;
                    if (!path.empty() && path.front() == '"') {
                        path.remove_prefix(1);
                    }
                    if (!path.empty() && path.back() == '"') {
                        path.remove_suffix(1);
                    }
                    cookie.path = std::string(path);
                } else if (equalsIgnoringCase(name, "DOMAIN")) {
                    domain = std::string(value);
                } else if (equalsIgnoringCase(name, "EXPIRES")) {
                    hasExpires = true;
                    cookie.expires = parseCookieDate(value);
                } else if (equalsIgnoringCase(name, "SECURE")) {
                    cookie.secure = true;
                } else if (equalsIgnoringCase(name, "MAX-AGE")) {
                    maxAge = maxAgeOf(value);
                }
            }
            if (!hasExpires && maxAge && *maxAge >= 0) {
                // A century is as good as forever and keeps the clock's range.
                constexpr long long kLongest = 100LL * 365 * 24 * 3600;
                cookie.expires = now + std::chrono::seconds(std::min(*maxAge, kLongest));
            }
            cookie.domain = domain ? *domain : host;
            if (domainFitsHost(cookie.domain, host)) {
                store(std::move(cookie));
            }
        }
    }
}

void CookieStore::store(Cookie cookie)
{
    auto domain = std::find_if(m_domains.begin(), m_domains.end(), [&](const Domain& d) {
        return equalsIgnoringCase(d.name, cookie.domain);
    });
    if (domain == m_domains.end()) {
        m_domains.push_back(Domain{cookie.domain, {}});
        domain = std::prev(m_domains.end());
    }
    std::vector<Cookie>& cookies = domain->cookies;
    const auto same = std::find_if(cookies.begin(), cookies.end(), [&](const Cookie& c) {
        return equalsIgnoringCase(c.name, cookie.name);
    });
    if (same != cookies.end()) {
        cookies.erase(same);
    } else if (cookies.size() >= kMaxPerDomain) {
        cookies.erase(cookies.begin());
    }
    cookies.push_back(std::move(cookie));
}

std::string CookieStore::cookieLine(const std::string& host, const std::string& path,
                                    Clock::time_point now)
{
    const std::string hostLowered = lowered(host);
    std::vector<const Cookie*> chosen;
    for (Domain& domain : m_domains) {
        std::erase_if(domain.cookies,
                      [&](const Cookie& c) { return c.expires && *c.expires < now; });
    }
    std::erase_if(m_domains, [](const Domain& d) { return d.cookies.empty(); });
    for (const Domain& domain : m_domains) {
        for (const Cookie& cookie : domain.cookies) {
            const bool sent = hostLowered.find(lowered(cookie.domain)) != std::string::npos &&
                              cookie.path && path.starts_with(*cookie.path) && !cookie.secure &&
                              !cookie.value.empty();
            if (sent) {
                chosen.push_back(&cookie);
            }
        }
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
        return lowered(*a->path) > lowered(*b->path);
    });
    std::string line;
    for (const Cookie* cookie : chosen) {
        if (!line.empty()) {
            line += "; ";
        }
        line += cookie->name;
        line += '=';
        line += cookie->value;
    }
    return line;
}

std::size_t CookieStore::size() const
{
    std::size_t count = 0;
    for (const Domain& domain : m_domains) {
        count += domain.cookies.size();
    }
    return count;
}

} // namespace tovelin

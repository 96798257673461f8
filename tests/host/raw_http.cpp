#include "tests/host/raw_http.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tovelin::test {

LoopbackConnection::LoopbackConnection(const std::string& address, std::uint16_t port)
{
    const bool v6 = address.find(':') != std::string::npos;
    m_fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        throw std::runtime_error("socket failed");
    }
    int result = -1;
    if (v6) {
        sockaddr_in6 peer{};
        peer.sin6_family = AF_INET6;
        peer.sin6_port = htons(port);
        ::inet_pton(AF_INET6, address.c_str(), &peer.sin6_addr);
        result = ::connect(m_fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    } else {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
        result = ::connect(m_fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    }
    if (result != 0) {
        close();
        throw std::runtime_error("connect to " + address + " failed");
    }
    // A loopback send never waits this long unless the peer stopped reading.
    timeval limit{10, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

LoopbackConnection::~LoopbackConnection()
{
    close();
}

void LoopbackConnection::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool LoopbackConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool LoopbackConnection::readable(std::chrono::milliseconds wait)
{
    pollfd entry{m_fd, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(wait.count())) > 0;
}

std::string LoopbackConnection::receiveAll(std::chrono::milliseconds wait)
{
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    char buffer[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readable(left)) {
            return out;
        }
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return out;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string RawReply::header(const std::string& lowerName) const
{
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

RawReply parseReply(std::string_view raw)
{
    RawReply reply;
    const std::size_t end = raw.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        return reply;
    }
    reply.complete = true;
    reply.body = std::string(raw.substr(end + 4));
    std::string_view head = raw.substr(0, end + 2);
    bool first = true;
    while (!head.empty()) {
        const std::size_t lineEnd = head.find("\r\n");
        const std::string_view line = head.substr(0, lineEnd);
        head.remove_prefix(lineEnd + 2);
        if (first) {
            first = false;
            reply.statusLine = std::string(line);
            const std::size_t space = line.find(' ');
            if (space != std::string_view::npos) {
                reply.status = std::atoi(std::string(line.substr(space + 1, 3)).c_str());
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string name(line.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') {
            value.remove_prefix(1);
        }
        reply.headers.emplace(std::move(name), std::string(value));
    }
    return reply;
}

RawReply exchange(std::uint16_t port, std::string_view request)
{
    LoopbackConnection connection("127.0.0.1", port);
    connection.send(request);
    return parseReply(connection.receiveAll());
}

std::string programBody(std::string_view sentPath, std::string_view content)
{
    const std::string boundary(kProgramBoundary);
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file\"; filename=\"" +
           std::string(sentPath) + "\"\r\n" + "Content-Type: application/octet-stream\r\n\r\n" +
           std::string(content) + "\r\n--" + boundary + "--\r\n";
}

std::string programUpload(std::string_view sentPath, std::string_view content)
{
    const std::string body = programBody(sentPath, content);
    return "POST /upload/ HTTP/1.0\r\n"
           "Connection: keep-alive\r\n"
           "Content-Type: multipart/form-data; boundary=" +
           std::string(kProgramBoundary) +
           "\r\n"
           "Content-Length: " +
           std::to_string(body.size()) +
           "\r\n"
           "Host: localhost\r\n"
           "Accept: text/html, */*\r\n"
           "User-Agent: Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.0.5) "
           "Gecko/2008120122 Firefox/3.0.5\r\n"
           "\r\n" +
           body;
}

} // namespace tovelin::test

#include "tests/ui/loopback_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace tovelin::test {

namespace {

constexpr int kPollSliceMs = 20;

} // namespace

bool Peer::waitReadable()
{
    while (!m_stopping.load()) {
        pollfd descriptor{m_socket.get(), POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, kPollSliceMs);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

std::string Peer::readHead()
{
    std::string head;
    char buffer[4096];
    while (true) {
        const auto end = m_buffered.find("\r\n\r\n");
        if (end != std::string::npos) {
            head = m_buffered.substr(0, end + 4);
            m_buffered.erase(0, end + 4);
            return head;
        }
        if (!waitReadable()) {
            return {};
        }
        const ssize_t got = ::recv(m_socket.get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            return {};
        }
        m_buffered.append(buffer, static_cast<std::size_t>(got));
    }
}

Peer::Request Peer::readRequest(std::size_t slice, std::chrono::milliseconds pause)
{
    Request request;
    request.head = readHead();
    if (request.head.empty()) {
        return request;
    }
    std::int64_t length = 0;
    const auto at = request.head.find("Content-Length:");
    if (at != std::string::npos) {
        length = std::stoll(request.head.substr(at + 15));
    }
    request.bodyBytes = static_cast<std::int64_t>(m_buffered.size());
    m_buffered.clear();
    std::string buffer(slice, '\0');
    while (request.bodyBytes < length) {
        if (!waitReadable()) {
            return request;
        }
        const ssize_t got = ::recv(m_socket.get(), buffer.data(), buffer.size(), 0);
        if (got <= 0) {
            return request;
        }
        request.bodyBytes += got;
        if (pause.count() > 0) {
            std::this_thread::sleep_for(pause);
        }
    }
    request.complete = true;
    return request;
}

bool Peer::writeAll(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t put =
            ::send(m_socket.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(put);
    }
    return true;
}

bool Peer::waitForClientClose()
{
    char buffer[65536];
    while (waitReadable()) {
        const ssize_t got = ::recv(m_socket.get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            return true;
        }
    }
    return false;
}

void Peer::hang()
{
    while (!m_stopping.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollSliceMs));
    }
}

LoopbackServer::LoopbackServer(Handler handler) : m_handler(std::move(handler))
{
    m_listener = FileHandle(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!m_listener.valid()) {
        throw std::runtime_error(std::strerror(errno));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(m_listener.get(), 16) != 0 ||
        ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error(std::strerror(errno));
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread(&LoopbackServer::acceptLoop, this);
}

LoopbackServer::~LoopbackServer()
{
    m_stopping.store(true);
    m_acceptor.join();
    const std::lock_guard lock(m_mutex);
    for (auto& thread : m_threads) {
        thread.join();
    }
}

void LoopbackServer::acceptLoop()
{
    while (!m_stopping.load()) {
        pollfd descriptor{m_listener.get(), POLLIN, 0};
        if (::poll(&descriptor, 1, kPollSliceMs) <= 0) {
            continue;
        }
        FileHandle connection(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.valid()) {
            continue;
        }
        const int index = m_connections.fetch_add(1);
        const std::lock_guard lock(m_mutex);
        m_threads.emplace_back([this, index, socket = std::move(connection)]() mutable {
            Peer peer(std::move(socket), m_stopping);
            m_handler(peer, index);
        });
    }
}

std::string reply(const std::string& statusLine, const std::string& headers,
                  const std::string& body)
{
    return statusLine + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

} // namespace tovelin::test

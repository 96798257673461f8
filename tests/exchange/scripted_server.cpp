#include "tests/exchange/scripted_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tovelin::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{10};
// No step may outlast this, whatever the client does.
constexpr std::chrono::seconds kStepLimit{30};

class Connection
{
public:
    Connection(int fd, const std::atomic<bool>& stop) : m_fd(fd), m_stop(stop) {}
    ~Connection()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    // Waits for the events; false when stopped, timed out or the socket is gone.
    bool waitFor(short events, short& revents, Clock::time_point deadline)
    {
        while (!m_stop.load() && Clock::now() < deadline) {
            pollfd entry{m_fd, events, 0};
            const int ready = ::poll(&entry, 1, static_cast<int>(kSlice.count()));
            if (ready > 0) {
                revents = entry.revents;
                return true;
            }
            if (ready < 0 && errno != EINTR) {
                return false;
            }
        }
        return false;
    }

    // Reads what is there; 0 at the end of the stream or on any trouble.
    std::size_t readSome(ConnectionRecord& record, Clock::time_point deadline)
    {
        short revents = 0;
        if (!waitFor(POLLIN, revents, deadline)) {
            return 0;
        }
        char buffer[65536];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            record.peerClosed = true;
            return 0;
        }
        record.received.append(buffer, static_cast<std::size_t>(got));
        return static_cast<std::size_t>(got);
    }

    bool sendAll(std::string_view bytes, ConnectionRecord& record, Clock::time_point deadline)
    {
        while (!bytes.empty()) {
            short revents = 0;
            if (!waitFor(POLLOUT, revents, deadline)) {
                return false;
            }
            const ssize_t sent =
                ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    continue;
                }
                record.peerClosed = true;
                return false;
            }
            record.bytesSent += static_cast<std::uint64_t>(sent);
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    void sleepFor(std::chrono::milliseconds time)
    {
        const auto end = Clock::now() + time;
        while (!m_stop.load() && Clock::now() < end) {
            std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, end - Clock::now()));
        }
    }

    int fd() const { return m_fd; }
    void release()
    {
        ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
    const std::atomic<bool>& m_stop;
};

std::size_t contentLength(const std::string& head)
{
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos) {
            end = head.size();
        }
        const std::string line = head.substr(start, end - start);
        constexpr std::string_view kName = "content-length:";
        if (line.size() > kName.size() &&
            ::strncasecmp(line.c_str(), kName.data(), kName.size()) == 0) {
            return std::stoull(line.substr(kName.size()));
        }
        start = end + 2;
    }
    return 0;
}

} // namespace

ScriptedServer::ScriptedServer(std::vector<Script> scripts, bool ipv6)
    : m_scripts(std::move(scripts)), m_ipv6(ipv6)
{
    m_listenFd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        throw std::runtime_error("test server: no socket");
    }
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int bound = -1;
    if (ipv6) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        bound = ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound = ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (bound != 0 || ::listen(m_listenFd, 16) != 0) {
        ::close(m_listenFd);
        throw std::runtime_error("test server: cannot listen");
    }
    sockaddr_storage actual{};
    socklen_t length = sizeof actual;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&actual), &length);
    m_port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&actual)->sin6_port
                        : reinterpret_cast<sockaddr_in*>(&actual)->sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer()
{
    m_stop.store(true);
    m_acceptor.join();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    ::close(m_listenFd);
}

std::string ScriptedServer::url(const std::string& path) const
{
    return std::string("http://") + (m_ipv6 ? "[::1]" : "127.0.0.1") + ":" +
           std::to_string(m_port) + path;
}

void ScriptedServer::acceptLoop()
{
    while (!m_stop.load()) {
        pollfd entry{m_listenFd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(kSlice.count())) <= 0) {
            continue;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::size_t index = 0;
        {
            std::lock_guard lock(m_mutex);
            index = m_records.size();
            m_records.emplace_back();
        }
        if (index < m_scripts.size()) {
            m_threads.emplace_back([this, index, fd] { run(index, fd); });
        } else {
            ::close(fd);
        }
        m_changed.notify_all();
    }
}

void ScriptedServer::update(std::size_t index, const ConnectionRecord& record)
{
    {
        std::lock_guard lock(m_mutex);
        m_records[index] = record;
    }
    m_changed.notify_all();
}

void ScriptedServer::run(std::size_t index, int fd)
{
    Connection connection(fd, m_stop);
    ConnectionRecord record;
    for (const Step& step : m_scripts[index]) {
        if (m_stop.load() || connection.fd() < 0) {
            break;
        }
        const auto deadline = Clock::now() + kStepLimit;
        switch (step.kind) {
        case Step::Kind::ReadHead:
        case Step::Kind::ReadRequest: {
            const std::size_t start = record.received.size();
            std::size_t headEnd = std::string::npos;
            while ((headEnd = record.received.find("\r\n\r\n", start)) == std::string::npos) {
                if (connection.readSome(record, deadline) == 0) {
                    break;
                }
            }
            if (step.kind == Step::Kind::ReadRequest && headEnd != std::string::npos) {
                const std::size_t wanted =
                    headEnd + 4 + contentLength(record.received.substr(start, headEnd - start));
                while (record.received.size() < wanted) {
                    if (connection.readSome(record, deadline) == 0) {
                        break;
                    }
                }
            }
            break;
        }
        case Step::Kind::Send:
            connection.sendAll(step.bytes, record, deadline);
            break;
        case Step::Kind::SendByteByByte:
            for (char c : step.bytes) {
                if (!connection.sendAll(std::string_view(&c, 1), record, deadline)) {
                    break;
                }
                connection.sleepFor(step.pause);
            }
            break;
        case Step::Kind::Pause:
            connection.sleepFor(step.pause);
            break;
        case Step::Kind::Close:
            // Orderly: our end first, then whatever the client still sends, then close.
            ::shutdown(connection.fd(), SHUT_WR);
            while (connection.readSome(record, deadline) > 0) {
            }
            connection.release();
            break;
        case Step::Kind::Reset: {
            const linger abort{1, 0};
            ::setsockopt(connection.fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            connection.release();
            break;
        }
        case Step::Kind::Hold: {
            short revents = 0;
            while (connection.waitFor(POLLRDHUP, revents, deadline)) {
                if (revents & (POLLRDHUP | POLLHUP | POLLERR)) {
                    record.peerClosed = true;
                    break;
                }
            }
            break;
        }
        case Step::Kind::Drain:
            while (connection.readSome(record, deadline) > 0) {
                if (record.received.size() > (std::size_t{1} << 20)) {
                    record.received.erase(0, record.received.size() - 4096);
                }
            }
            break;
        case Step::Kind::StreamForever:
            while (connection.sendAll(step.bytes, record, deadline)) {
            }
            break;
        }
        update(index, record);
    }
    record.finished = true;
    update(index, record);
}

bool ScriptedServer::waitFinished(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] {
        std::size_t done = 0;
        for (const ConnectionRecord& record : m_records) {
            done += record.finished ? 1 : 0;
        }
        return done >= count;
    });
}

bool ScriptedServer::waitPeerClosed(std::size_t index, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(
        lock, limit, [&] { return index < m_records.size() && m_records[index].peerClosed; });
}

std::vector<ConnectionRecord> ScriptedServer::records() const
{
    std::lock_guard lock(m_mutex);
    return m_records;
}

std::size_t ScriptedServer::accepted() const
{
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

std::vector<std::string> headLines(const std::string& request)
{
    std::vector<std::string> lines;
    const std::size_t end = request.find("\r\n\r\n");
    const std::string head = request.substr(0, end == std::string::npos ? request.size() : end);
    std::size_t start = 0;
    while (start <= head.size()) {
        std::size_t next = head.find("\r\n", start);
        if (next == std::string::npos) {
            next = head.size();
        }
        lines.push_back(head.substr(start, next - start));
        start = next + 2;
    }
    return lines;
}

std::string bodyOf(const std::string& request)
{
    const std::size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

} // namespace tovelin::test

#include "upload/posix_socket.h"

#include "upload/socket_error.h"

#include <algorithm>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <utility>

namespace tovelin {

namespace {

using Clock = std::chrono::steady_clock;
using Status = SocketOutcome::Status;

SocketOutcome failure(std::string message)
{
    return SocketOutcome{Status::Failed, 0, std::move(message)};
}

SocketOutcome errnoFailure(int error)
{
    return failure(socketErrorMessageForErrno(error));
}

// Waits for the events in slices so that a cancel is seen within one slice. A missing
// deadline waits without limit.
SocketOutcome waitFor(int fd, short events, std::optional<Clock::time_point> deadline,
                      const Cancellation& cancel)
{
    while (true) {
        if (cancel.cancelled()) {
            return SocketOutcome{Status::Cancelled, 0, {}};
        }
        auto slice = TcpConnection::kCancelSlice;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left <= std::chrono::milliseconds::zero()) {
                return SocketOutcome{Status::TimedOut, 0, {}};
            }
            slice = std::min(slice, left);
        }
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(slice.count()));
        if (ready > 0) {
            return SocketOutcome{Status::Done, 0, {}};
        }
        if (ready < 0 && errno != EINTR) {
            return errnoFailure(errno);
        }
    }
}

struct AddressList
{
    addrinfo* first = nullptr;
    ~AddressList()
    {
        if (first) {
            ::freeaddrinfo(first);
        }
    }
};

} // namespace

void TcpConnection::close()
{
    m_socket.reset();
}

TcpConnection TcpConnection::connect(const std::string& host, std::uint16_t port,
                                     std::chrono::milliseconds limit, const Cancellation& cancel,
                                     SocketOutcome& outcome)
{
    AddressList addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses.first) != 0 ||
        !addresses.first) {
        outcome = failure(socketErrorMessage(kHostNotFound));
        return {};
    }

    const Clock::time_point deadline = Clock::now() + limit;
    outcome = failure("Cannot allocate socket.");
    for (const addrinfo* address = addresses.first; address; address = address->ai_next) {
        FileHandle socket(::socket(address->ai_family,
                                   address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                   address->ai_protocol));
        if (!socket.valid()) {
            outcome = failure("Cannot allocate socket.");
            continue;
        }
        if (::connect(socket.get(), address->ai_addr, address->ai_addrlen) != 0) {
            if (errno != EINPROGRESS && errno != EINTR) {
                outcome = errnoFailure(errno);
                continue;
            }
            const SocketOutcome waited = waitFor(socket.get(), POLLOUT, deadline, cancel);
            if (waited.status == Status::TimedOut) {
                outcome = failure("Connect timed out.");
                return {};
            }
            if (waited.status != Status::Done) {
                outcome = waited;
                if (waited.status == Status::Cancelled) {
                    return {};
                }
                continue;
            }
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                error = errno;
            }
            if (error != 0) {
                outcome = errnoFailure(error);
                continue;
            }
        }
        // The closing delimiter is a small write of its own; Nagle would hold it back.
        const int on = 1;
        ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        outcome = SocketOutcome{Status::Done, 0, {}};
        return TcpConnection(std::move(socket));
    }
    return {};
}

void TcpConnection::abort()
{
    if (m_socket.valid()) {
        const linger reset{1, 0};
        ::setsockopt(m_socket.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        close();
    }
}

SocketOutcome TcpConnection::send(const char* data, std::size_t size, const Cancellation& cancel)
{
    std::size_t taken = 0;
    while (taken < size) {
        if (cancel.cancelled()) {
            return SocketOutcome{Status::Cancelled, taken, {}};
        }
        // Try first and wait only when the socket is full: a poll per block costs a
        // system call that a free socket does not need.
        const ssize_t sent = ::send(m_socket.get(), data + taken, size - taken, MSG_NOSIGNAL);
        if (sent >= 0) {
            taken += static_cast<std::size_t>(sent);
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            SocketOutcome failed = errnoFailure(errno);
            failed.bytes = taken;
            return failed;
        }
        SocketOutcome waited = waitFor(m_socket.get(), POLLOUT, std::nullopt, cancel);
        if (waited.status != Status::Done) {
            waited.bytes = taken;
            return waited;
        }
    }
    return SocketOutcome{Status::Done, taken, {}};
}

SocketOutcome TcpConnection::waitReadable(std::optional<std::chrono::milliseconds> limit,
                                          const Cancellation& cancel)
{
    std::optional<Clock::time_point> deadline;
    if (limit) {
        deadline = Clock::now() + *limit;
    }
    return waitFor(m_socket.get(), POLLIN, deadline, cancel);
}

SocketOutcome TcpConnection::receiveSome(char* buffer, std::size_t size)
{
    while (true) {
        const ssize_t got = ::recv(m_socket.get(), buffer, size, 0);
        if (got > 0) {
            return SocketOutcome{Status::Done, static_cast<std::size_t>(got), {}};
        }
        if (got == 0) {
            return SocketOutcome{Status::Closed, 0, {}};
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return SocketOutcome{Status::TimedOut, 0, {}};
        }
        if (errno != EINTR) {
            return errnoFailure(errno);
        }
    }
}

} // namespace tovelin

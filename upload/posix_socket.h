#pragma once

#include "upload/cancellation.h"
#include "upload/file_handle.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tovelin {

// How one socket operation ended. `message` is the link box's text for a failure.
struct SocketOutcome
{
    enum class Status
    {
        Done,
        Closed,
        TimedOut,
        Cancelled,
        Failed
    };

    Status status = Status::Done;
    std::size_t bytes = 0;
    std::string message;
};

// A TCP connection, the one place that speaks to the operating system's sockets. Every
// wait is cut into short slices so a cancel ends it quickly; nothing raises SIGPIPE.
class TcpConnection
{
public:
    // How often a wait looks at its Cancellation.
    static constexpr std::chrono::milliseconds kCancelSlice{50};

    TcpConnection() = default;

    // Resolves the host (this may block) and tries each address in order until one
    // connects, all within the time limit.
    static TcpConnection connect(const std::string& host, std::uint16_t port,
                                 std::chrono::milliseconds limit, const Cancellation& cancel,
                                 SocketOutcome& outcome);

    bool isOpen() const { return m_socket.valid(); }
    void close();
    // Closes at once with a reset, dropping whatever is still queued for the peer: an
    // abandoned upload must not linger pushing its body at a host that does not read.
    void abort();

    // Hands the whole block to the socket as one blocking send would, waiting while the
    // socket is full. Done with all bytes taken; otherwise `bytes` says how many went.
    SocketOutcome send(const char* data, std::size_t size, const Cancellation& cancel);

    // Waits until data arrives or the peer closes; without a limit the wait lasts until
    // then or a cancel.
    SocketOutcome waitReadable(std::optional<std::chrono::milliseconds> limit,
                               const Cancellation& cancel);

    // One receive call, after waitReadable: Done with bytes, Closed at the end of the
    // stream, TimedOut when nothing was there after all, Failed.
    SocketOutcome receiveSome(char* buffer, std::size_t size);

private:
    explicit TcpConnection(FileHandle socket) : m_socket(std::move(socket)) {}

    FileHandle m_socket;
};

} // namespace tovelin

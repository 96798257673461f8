#pragma once

#include "upload/file_handle.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace tovelin::test {

// One accepted connection, as a handler sees it. Every wait gives up when the server stops.
class Peer
{
public:
    Peer(FileHandle socket, const std::atomic<bool>& stopping)
        : m_socket(std::move(socket)), m_stopping(stopping)
    {
    }

    struct Request
    {
        std::string head;
        std::int64_t bodyBytes = 0;
        bool complete = false; // the whole Content-Length arrived
    };

    // Reads the request head and its body, throwing the body away. A slow reader takes at
    // most `slice` bytes per read and pauses `pause` after each.
    Request readRequest(std::size_t slice = 65536,
                        std::chrono::milliseconds pause = std::chrono::milliseconds(0));
    // Reads the head only; the body stays in the socket.
    std::string readHead();
    bool writeAll(const std::string& bytes);
    // Blocks until the client closes its side (or the server stops); true on the close.
    bool waitForClientClose();
    // Waits until the server stops.
    void hang();

private:
    bool waitReadable();

    FileHandle m_socket;
    const std::atomic<bool>& m_stopping;
    std::string m_buffered;
};

// A TCP server on 127.0.0.1 at a port of the system's choice. Each connection gets a
// thread of its own running the handler; the destructor stops and joins them all.
class LoopbackServer
{
public:
    using Handler = std::function<void(Peer&, int connectionIndex)>;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return m_port; }
    int connections() const { return m_connections.load(); }

private:
    void acceptLoop();

    Handler m_handler;
    FileHandle m_listener;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::list<std::thread> m_threads;
    std::thread m_acceptor;
};

// An HTTP/1.0 reply with Content-Length and the given extra header lines.
std::string reply(const std::string& statusLine, const std::string& headers = {},
                  const std::string& body = {});

} // namespace tovelin::test

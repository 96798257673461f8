#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovelin::test {

// One thing the server does on a connection, in script order.
struct Step
{
    enum class Kind
    {
        ReadRequest,    // the head and as many body bytes as its Content-Length says
        ReadHead,       // the head only
        Send,           // the bytes in one write
        SendByteByByte, // one write per byte, `pause` between them
        Pause,          // do nothing for `pause`
        Close,          // orderly close
        Reset,          // close with a reset
        Hold,           // keep the connection open, reading nothing, until the peer closes
        Drain,          // read and drop until the peer closes
        StreamForever,  // send `bytes` again and again until the peer goes away
    };

    Kind kind;
    std::string bytes;
    std::chrono::milliseconds pause{0};

    static Step readRequest() { return {Kind::ReadRequest, {}, {}}; }
    static Step readHead() { return {Kind::ReadHead, {}, {}}; }
    static Step send(std::string bytes) { return {Kind::Send, std::move(bytes), {}}; }
    static Step sendByteByByte(std::string bytes, std::chrono::milliseconds gap = {})
    {
        return {Kind::SendByteByByte, std::move(bytes), gap};
    }
    static Step pauseFor(std::chrono::milliseconds time) { return {Kind::Pause, {}, time}; }
    static Step close() { return {Kind::Close, {}, {}}; }
    static Step reset() { return {Kind::Reset, {}, {}}; }
    static Step hold() { return {Kind::Hold, {}, {}}; }
    static Step drain() { return {Kind::Drain, {}, {}}; }
    static Step streamForever(std::string bytes)
    {
        return {Kind::StreamForever, std::move(bytes), {}};
    }
};

using Script = std::vector<Step>;

// What happened on one accepted connection.
struct ConnectionRecord
{
    std::string received;        // every byte read from the client
    bool peerClosed = false;     // the client closed its end while the script watched
    std::uint64_t bytesSent = 0; // bytes written to the client
    bool finished = false;       // the script ran to its end
};

// A loopback server playing one script per accepted connection (the n-th connection gets
// the n-th script), each on its own thread. Every wait is bounded; the destructor stops
// all scripts and closes every socket.
class ScriptedServer
{
public:
    explicit ScriptedServer(std::vector<Script> scripts, bool ipv6 = false);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::string url(const std::string& path = "/upload/") const;

    // Waits (bounded) until `count` connections ran their scripts to the end.
    bool waitFinished(std::size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Waits (bounded) until connection `index` saw its peer close.
    bool waitPeerClosed(std::size_t index, std::chrono::milliseconds limit);
    std::vector<ConnectionRecord> records() const;
    std::size_t accepted() const;

private:
    void acceptLoop();
    void run(std::size_t index, int fd);
    void update(std::size_t index, const ConnectionRecord& record);

    std::vector<Script> m_scripts;
    bool m_ipv6;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ConnectionRecord> m_records;
    std::vector<std::thread> m_threads;
    std::thread m_acceptor;
};

// The head of a request as the server saw it, split into lines without CR LF.
std::vector<std::string> headLines(const std::string& request);
// The bytes after the head.
std::string bodyOf(const std::string& request);

} // namespace tovelin::test

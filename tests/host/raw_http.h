#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tovelin::test {

// A plain TCP connection to a loopback port, for requests whose bytes the test controls
// exactly (and for hanging up in the middle of one). Every wait is bounded.
class LoopbackConnection
{
public:
    LoopbackConnection(const std::string& address, std::uint16_t port);
    ~LoopbackConnection();
    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;

    // False when the peer no longer takes bytes.
    bool send(std::string_view bytes);
    // Everything the peer sends until it closes, or until the wait runs out.
    std::string receiveAll(std::chrono::milliseconds wait = std::chrono::seconds(10));
    // True when some byte (or the close) arrives within the wait.
    bool readable(std::chrono::milliseconds wait);
    // Hangs up at once.
    void close();

private:
    int m_fd = -1;
};

// A reply split into its parts; header names are lower-cased.
struct RawReply
{
    std::string statusLine;
    int status = -1;
    std::multimap<std::string, std::string> headers;
    std::string body;
    bool complete = false; // a header block ended by an empty line was seen

    std::string header(const std::string& lowerName) const;
    std::size_t count(const std::string& lowerName) const { return headers.count(lowerName); }
};

RawReply parseReply(std::string_view raw);

// One request over a fresh connection, the reply read until the host closes it.
RawReply exchange(std::uint16_t port, std::string_view request);

// A request shaped the way the window program sends an upload: HTTP/1.0, its header lines
// in its order, a form-data body with one "file" part naming the full path.
std::string programUpload(std::string_view sentPath, std::string_view content);

// The body alone, and its Content-Type value, for tests that vary the head.
std::string programBody(std::string_view sentPath, std::string_view content);
inline constexpr std::string_view kProgramBoundary = "--------061509143005123";

} // namespace tovelin::test

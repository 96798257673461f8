// Uploads of 1, 10 and 50 MiB to a loopback sink: wall time and peak memory of
// tovelin-upload beside curl -F on the same sink, and the longest pause between the
// pieces of each body as the sink saw them. "50 MiB" is the largest file the size check
// takes, 51199 KiB: exactly 50 MiB is one KiB too many.
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;

// Reads each request whole, notes the longest gap between arrivals of body bytes, and
// answers with a redirect.
class Sink
{
public:
    Sink()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_fd, 8) != 0) {
            std::perror("sink");
            std::exit(1);
        }
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~Sink()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/upload/"; }

    struct Seen
    {
        std::uint64_t bodyBytes = 0;
        double longestGapMs = 0;
    };
    Seen last()
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }

private:
    void serve()
    {
        std::vector<char> buffer(1 << 18);
        while (!m_stop) {
            pollfd entry{m_fd, POLLIN, 0};
            if (::poll(&entry, 1, 50) <= 0) {
                continue;
            }
            const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                continue;
            }
            std::string head;
            std::size_t wanted = 0;
            std::uint64_t body = 0;
            Seen seen;
            std::optional<Clock::time_point> previous;
            bool headDone = false;
            while (!headDone || body < wanted) {
                const ssize_t got = ::recv(client, buffer.data(), buffer.size(), 0);
                if (got <= 0) {
                    break;
                }
                const auto now = Clock::now();
                std::size_t bodyPart = static_cast<std::size_t>(got);
                if (!headDone) {
                    head.append(buffer.data(), static_cast<std::size_t>(got));
                    const std::size_t end = head.find("\r\n\r\n");
                    if (end == std::string::npos) {
                        continue;
                    }
                    headDone = true;
                    bodyPart = head.size() - end - 4;
                    wanted = contentLength(head.substr(0, end));
                    if (head.find("100-continue") != std::string::npos) {
                        ::send(client, "HTTP/1.1 100 Continue\r\n\r\n", 25, MSG_NOSIGNAL);
                    }
                }
                if (bodyPart > 0) {
                    if (previous) {
                        seen.longestGapMs =
                            std::max(seen.longestGapMs,
                                     duration<double, std::milli>(now - *previous).count());
                    }
                    previous = now;
                    body += bodyPart;
                }
            }
            static constexpr char kReply[] =
                "HTTP/1.1 302 Found\r\nLocation: /upload/bench\r\nContent-Length: 0\r\n\r\n";
            ::send(client, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
            ::close(client);
            seen.bodyBytes = body;
            std::lock_guard lock(m_mutex);
            m_last = seen;
        }
    }

    static std::size_t contentLength(const std::string& head)
    {
        std::string lower = head;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::size_t at = lower.find("\r\ncontent-length:");
        return at == std::string::npos ? 0 : std::strtoull(lower.c_str() + at + 17, nullptr, 10);
    }

    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    Seen m_last;
};

struct Measure
{
    bool ok = false;
    double wallMs = 0;
    long peakRssKb = 0;
    double longestGapMs = 0;
};

Measure runTool(const std::vector<std::string>& command, Sink& sink)
{
    std::vector<std::string> arguments = command;
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Measure measure;
    std::fflush(stdout);
    pid_t pid = 0;
    const auto start = Clock::now();
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return measure;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    measure.wallMs = duration<double, std::milli>(Clock::now() - start).count();
    measure.peakRssKb = usage.ru_maxrss;
    measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    measure.longestGapMs = sink.last().longestGapMs;
    return measure;
}

// The best of a few runs for time, the largest stall and memory seen in any of them.
Measure best(const std::vector<std::string>& command, Sink& sink, int runs)
{
    Measure result;
    result.wallMs = 1e12;
    for (int i = 0; i < runs; ++i) {
        const Measure one = runTool(command, sink);
        if (!one.ok) {
            return one;
        }
        result.ok = true;
        result.wallMs = std::min(result.wallMs, one.wallMs);
        result.peakRssKb = std::max(result.peakRssKb, one.peakRssKb);
        result.longestGapMs = std::max(result.longestGapMs, one.longestGapMs);
    }
    return result;
}

} // namespace

int main()
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tovelin-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const bool haveCurl = std::system("curl --version > /dev/null 2>&1") == 0;
    Sink sink;
    constexpr int kRuns = 5;

    std::printf(
        "Upload to a loopback sink; best wall time of %d runs, largest peak RSS and stall\n",
        kRuns);
    std::printf("%-8s %-16s %10s %12s %12s\n", "size", "tool", "wall ms", "peak RSS KB",
                "stall ms");
    bool stalled = false;
    for (const int mib : {1, 10, 50}) {
        const std::filesystem::path file = folder / (std::to_string(mib) + "MiB.bin");
        {
            const std::int64_t bytes =
                mib == 50 ? std::int64_t{51199} * 1024 : std::int64_t{mib} << 20;
            std::ofstream out(file, std::ios::binary);
            std::string block(1 << 10, '\0');
            for (std::size_t i = 0; i < block.size(); ++i) {
                block[i] = static_cast<char>((i * 131 + 7) & 0xff);
            }
            for (std::int64_t i = 0; i < bytes / 1024; ++i) {
                out.write(block.data(), static_cast<std::streamsize>(block.size()));
            }
        }
        const Measure ours =
            best({TOVELIN_UPLOAD_BINARY, "--url", sink.url(), file.string()}, sink, kRuns);
        const std::string size = std::to_string(mib) + " MiB";
        if (!ours.ok) {
            std::printf("%-8s tovelin-upload failed\n", size.c_str());
            continue;
        }
        stalled = stalled || ours.longestGapMs >= 40;
        std::printf("%-8s %-16s %10.1f %12ld %12.1f\n", size.c_str(), "tovelin-upload", ours.wallMs,
                    ours.peakRssKb, ours.longestGapMs);
        if (!haveCurl) {
            continue;
        }
        const Measure curl =
            best({"curl", "-sS", "-o", "/dev/null", "-H", "Expect:", "-F",
                  "file=@" + file.string() + ";type=application/octet-stream", sink.url()},
                 sink, kRuns);
        if (!curl.ok) {
            std::printf("%-8s curl failed\n", size.c_str());
            continue;
        }
        std::printf("%-8s %-16s %10.1f %12ld %12.1f\n", size.c_str(), "curl -F", curl.wallMs,
                    curl.peakRssKb, curl.longestGapMs);
        std::printf("%-8s %-16s %10.2f %12.2f\n", size.c_str(), "ratio (ours/curl)",
                    ours.wallMs / curl.wallMs,
                    static_cast<double>(ours.peakRssKb) / static_cast<double>(curl.peakRssKb));
    }
    std::printf("aim: 50 MiB at <= 0.85 of curl's wall time and <= 0.5 of its peak RSS; no stall "
                "of 40 ms: %s\n",
                stalled ? "STALL SEEN" : "none seen");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}

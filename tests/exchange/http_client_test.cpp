#include "tests/exchange/scripted_server.h"
#include "tests/exchange/test_files.h"
#include "tests/exchange/work_recorder.h"
#include "upload/form_data_body.h"
#include "upload/http_client.h"
#include "upload/upload_outcome.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tovelin {
namespace {

using namespace std::chrono_literals;
using test::ScriptedServer;
using test::Step;
using Kind = PostResult::Kind;
using SteadyClock = std::chrono::steady_clock;

constexpr char kRedirect[] =
    "HTTP/1.1 302 Found\r\nLocation: /upload/abc\r\nContent-Length: 0\r\n\r\n";
// Generous: a cancel must end the post within 100 ms; sanitizer builds run slower.
constexpr auto kCancelBound = 1000ms;

ExchangeLimits fastLimits()
{
    ExchangeLimits limits;
    limits.connectTimeout = 3000ms;
    limits.errorBodyWait = 300ms;
    return limits;
}

class Exchange : public testing::Test
{
protected:
    std::string smallFile(const std::string& bytes = "abc")
    {
        return m_folder.write("a.txt", bytes);
    }

    PostResult postFile(HttpClient& client, const std::string& path,
                        WorkObserver* observer = nullptr)
    {
        FormDataBody body(test::kBodyTime);
        body.addFilePart("file", path, "application/octet-stream");
        return client.post(body, observer, m_cancel);
    }

    // Posts on a thread, cancels after `delay`, and returns how long the post took to
    // return after the cancel.
    std::pair<PostResult, SteadyClock::duration>
    postAndCancel(HttpClient& client, const std::string& path, std::chrono::milliseconds delay)
    {
        Cancellation cancel;
        FormDataBody body(test::kBodyTime);
        body.addFilePart("file", path, "application/octet-stream");
        auto posted =
            std::async(std::launch::async, [&] { return client.post(body, nullptr, cancel); });
        EXPECT_EQ(posted.wait_for(delay), std::future_status::timeout)
            << "the post ended before the cancel";
        const auto cancelled = SteadyClock::now();
        cancel.cancel();
        EXPECT_EQ(posted.wait_for(10s), std::future_status::ready);
        PostResult result = posted.get();
        return {result, SteadyClock::now() - cancelled};
    }

    test::TempDir m_folder;
    Cancellation m_cancel;
};

TEST_F(Exchange, SendsTheHeadThenTheBodyAndReadsTheLink)
{
    ScriptedServer server({{Step::readRequest(), Step::send(kRedirect), Step::close()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const std::string path = smallFile();
    const PostResult result = postFile(client, path);
    ASSERT_TRUE(server.waitFinished(1));

    EXPECT_EQ(result.kind, Kind::Failed);
    EXPECT_EQ(result.message, "HTTP/1.1 302 Found");
    EXPECT_EQ(client.reply().statusCode, 302);
    EXPECT_EQ(linkBoxText(result, client.reply(), client.endpoint().linkPrefix()),
              "http://127.0.0.1:" + std::to_string(server.port()) + "/abc");

    const std::string request = server.records()[0].received;
    const std::string body = test::bodyBytes(path);
    FormDataBody probe(test::kBodyTime);
    EXPECT_EQ(test::headLines(request),
              (std::vector<std::string>{
                  "POST /upload/ HTTP/1.0", "Connection: keep-alive",
                  "Content-Type: " + probe.contentType(),
                  "Content-Length: " + std::to_string(body.size()),
                  "Host: 127.0.0.1:" + std::to_string(server.port()), "Accept: text/html, */*",
                  "User-Agent: Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.0.5) "
                  "Gecko/2008120122 Firefox/3.0.5"}));
    EXPECT_EQ(test::bodyOf(request), body);
}

TEST_F(Exchange, CookiesCarryToTheNextPostByTheRules)
{
    const std::string cookies =
        "HTTP/1.1 302 Found\r\n"
        "Set-Cookie: root=1; path=/\r\n"
        "Set-Cookie: nopath=2\r\n"
        "Set-Cookie: sec=3; path=/; secure\r\n"
        "Set-Cookie: old=4; path=/; expires=Thu, 01 Jan 1998 00:00:00 GMT\r\n"
        "Set-Cookie: empty=; path=/\r\n"
        "Set-Cookie: deep=5; path=/upload/\r\n"
        "Set-Cookie: other=6; path=/other\r\n"
        "Location: /upload/one\r\nContent-Length: 0\r\n\r\n";
    ScriptedServer server({{Step::readRequest(), Step::send(cookies), Step::close()},
                           {Step::readRequest(), Step::send(kRedirect), Step::close()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const std::string path = smallFile();
    EXPECT_EQ(postFile(client, path).kind, Kind::Failed);
    EXPECT_EQ(postFile(client, path).kind, Kind::Failed);
    ASSERT_TRUE(server.waitFinished(2));

    const auto records = server.records();
    std::vector<std::string> first = test::headLines(records[0].received);
    std::vector<std::string> second = test::headLines(records[1].received);
    ASSERT_EQ(second.size(), first.size() + 1);
    EXPECT_EQ(second.back(), "Cookie: deep=5; root=1");
    second.pop_back();
    EXPECT_EQ(first, second);
}

TEST_F(Exchange, InterimReplyCookiesAreKeptToo)
{
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send("HTTP/1.1 100 Continue\r\nSet-Cookie: early=1; path=/\r\n\r\n"
                     "HTTP/1.1 302 Found\r\nSet-Cookie: late=2; path=/\r\nLocation: /upload/z\r\n"
                     "Content-Length: 0\r\n\r\n"),
          Step::close()},
         {Step::readRequest(), Step::send(kRedirect), Step::close()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    EXPECT_EQ(postFile(client, smallFile()).message, "HTTP/1.1 302 Found");
    EXPECT_EQ(client.reply().location, "/upload/z");
    postFile(client, smallFile());
    ASSERT_TRUE(server.waitFinished(2));
    EXPECT_EQ(test::headLines(server.records()[1].received).back(), "Cookie: early=1; late=2");
}

TEST_F(Exchange, KeepAliveConnectionStaysUntilTheNextPost)
{
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send("HTTP/1.1 302 Found\r\nConnection: keep-alive\r\nLocation: /upload/k\r\n"
                     "Content-Length: 0\r\n\r\n"),
          Step::hold()},
         {Step::readRequest(), Step::send(kRedirect), Step::hold()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    postFile(client, smallFile());
    EXPECT_FALSE(server.waitPeerClosed(0, 300ms));
    postFile(client, smallFile());
    EXPECT_TRUE(server.waitPeerClosed(0, 5s));
    // Without keep-alive the connection is closed as soon as the exchange ends.
    EXPECT_TRUE(server.waitPeerClosed(1, 5s));
    EXPECT_EQ(server.accepted(), 2u);
}

TEST_F(Exchange, ClientClosesAKeptConnectionWhenDestroyed)
{
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send("HTTP/1.1 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nok"),
          Step::hold()}});
    {
        HttpClient client(*Endpoint::parse(server.url()), fastLimits());
        EXPECT_EQ(postFile(client, smallFile()).kind, Kind::Returned);
        EXPECT_FALSE(server.waitPeerClosed(0, 200ms));
    }
    EXPECT_TRUE(server.waitPeerClosed(0, 5s));
}

TEST_F(Exchange, RedirectWhoseBodyNeverComesStillGivesItsLink)
{
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send(
              "HTTP/1.1 302 Found\r\nLocation: /upload/late\r\nContent-Length: 100\r\n\r\n0123"),
          Step::hold()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const auto start = SteadyClock::now();
    const PostResult result = postFile(client, smallFile());
    EXPECT_GE(SteadyClock::now() - start, 300ms);
    EXPECT_EQ(result.message, "Read Timeout");
    EXPECT_EQ(client.reply().statusCode, 302);
    EXPECT_EQ(linkBoxText(result, client.reply(), "http://h/"), "http://h/late");
}

TEST_F(Exchange, DefaultLimitWaitsTwoSecondsForARedirectBody)
{
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send("HTTP/1.1 302 Found\r\nLocation: /upload/two\r\nContent-Length: 10\r\n\r\n"),
          Step::hold()}});
    HttpClient client(*Endpoint::parse(server.url()));
    const auto start = SteadyClock::now();
    const PostResult result = postFile(client, smallFile());
    const auto waited = SteadyClock::now() - start;
    EXPECT_EQ(result.message, "Read Timeout");
    EXPECT_GE(waited, 2000ms);
    EXPECT_LT(waited, 6000ms);
    EXPECT_EQ(linkBoxText(result, client.reply(), "http://h/"), "http://h/two");
}

TEST_F(Exchange, RepliesInPiecesGiveTheSameOutcome)
{
    const std::string reply = "HTTP/1.1 302 Found\r\nSet-Cookie: s=1; path=/\r\nLocation: "
                              "/upload/slow\r\nContent-Length: 3\r\n\r\nabc";
    ScriptedServer server({{Step::readRequest(), Step::sendByteByByte(reply), Step::close()},
                           {Step::readRequest(), Step::sendByteByByte(reply.substr(0, 20), 20ms),
                            Step::pauseFor(300ms), Step::send(reply.substr(20)), Step::close()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    for (int i = 0; i < 2; ++i) {
        const PostResult result = postFile(client, smallFile());
        EXPECT_EQ(result.message, "HTTP/1.1 302 Found");
        EXPECT_EQ(client.reply().location, "/upload/slow");
    }
}

TEST_F(Exchange, TransportFailures)
{
    const std::string longLine = "HTTP/1.1 200 OK\r\nX: " + std::string(16400, 'x') + "\r\n\r\n";
    const struct
    {
        const char* name;
        test::Script script;
        const char* message;
        int statusCode;
    } cases[] = {
        {"closed_without_answer",
         {Step::readRequest(), Step::close()},
         "Connection Closed Gracefully.",
         -1},
        {"closed_after_status_line",
         {Step::readRequest(), Step::send("HTTP/1.1 302 Found\r\n"), Step::close()},
         "Connection Closed Gracefully.",
         302},
        {"reset_without_answer",
         {Step::readRequest(), Step::reset()},
         "Socket Error # 10054\r\nConnection reset by peer.",
         -1},
        {"success_head_cut_short",
         {Step::readRequest(), Step::send("HTTP/1.1 200 OK\r\nServer: x\r\n"), Step::close()},
         "Undefined situation",
         200},
        {"line_too_long",
         {Step::readRequest(), Step::send(longLine), Step::close()},
         "Max line length exceeded.",
         200},
        {"header_lines_forever",
         {Step::readRequest(), Step::send("HTTP/1.1 200 OK\r\n"),
          Step::streamForever("X-Again: 0123456789abcdef\r\n")},
         "Max header size exceeded.",
         200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({c.script});
        HttpClient client(*Endpoint::parse(server.url()), fastLimits());
        const PostResult result = postFile(client, smallFile());
        EXPECT_EQ(result.kind, Kind::Failed);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(client.reply().statusCode, c.statusCode);
        EXPECT_EQ(linkBoxText(result, client.reply(), "http://h/"), c.message);
    }
}

TEST_F(Exchange, EndlessRedirectBodyStopsAfterItsCap)
{
    ScriptedServer server(
        {{Step::readRequest(), Step::send("HTTP/1.1 302 Found\r\nLocation: /upload/cap\r\n\r\n"),
          Step::streamForever(std::string(4096, 'z'))}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const PostResult result = postFile(client, smallFile());
    EXPECT_EQ(result.message, "HTTP/1.1 302 Found");
    EXPECT_EQ(linkBoxText(result, client.reply(), "http://h/"), "http://h/cap");
    EXPECT_TRUE(server.waitPeerClosed(0, 5s));
}

TEST_F(Exchange, ReplyStateIsEmptiedWhenAPostBegins)
{
    ScriptedServer server({{Step::readRequest(), Step::send(kRedirect), Step::close()},
                           {Step::readRequest(), Step::close()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    postFile(client, smallFile());
    EXPECT_EQ(client.reply().location, "/upload/abc");
    const PostResult second = postFile(client, smallFile());
    EXPECT_EQ(second.message, "Connection Closed Gracefully.");
    EXPECT_EQ(client.reply().statusCode, -1);
    EXPECT_EQ(client.reply().location, "");
    EXPECT_EQ(client.reply().statusLine, "");
    EXPECT_TRUE(client.reply().headerLines.empty());
}

TEST_F(Exchange, RefusedConnection)
{
    // A port that was just free: nothing listens there.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);

    HttpClient client(*Endpoint::parse("http://127.0.0.1:" +
                                       std::to_string(ntohs(address.sin_port)) + "/upload/"),
                      fastLimits());
    const PostResult result = postFile(client, smallFile());
    EXPECT_EQ(result.message, "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(client.reply().statusCode, -1);
}

TEST_F(Exchange, NameThatCannotBeResolved)
{
    // A label over 63 characters is refused by the resolver itself, without asking anyone.
    HttpClient client(*Endpoint::parse("http://" + std::string(64, 'a') + ".test/upload/"),
                      fastLimits());
    const PostResult result = postFile(client, smallFile());
    EXPECT_EQ(result.message, "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(client.reply().statusCode, -1);
    EXPECT_EQ(client.reply().location, "");
}

TEST_F(Exchange, Ipv6Loopback)
{
    std::unique_ptr<ScriptedServer> server;
    try {
        server = std::make_unique<ScriptedServer>(
            std::vector<test::Script>{{Step::readRequest(), Step::send(kRedirect), Step::close()}},
            true);
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    HttpClient client(*Endpoint::parse(server->url()), fastLimits());
    EXPECT_EQ(postFile(client, smallFile()).message, "HTTP/1.1 302 Found");
    ASSERT_TRUE(server->waitFinished(1));
    EXPECT_EQ(test::headLines(server->records()[0].received)[4],
              "Host: [::1]:" + std::to_string(server->port()));
}

TEST_F(Exchange, HostAnsweringDuringTheSendIsHeard)
{
    // The host refuses the size after the head and closes with the body still coming.
    ScriptedServer server(
        {{Step::readHead(),
          Step::send("HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 0\r\n\r\n"),
          Step::reset()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const std::string big = m_folder.sized("big.bin", 64 * 1024 * 1024);
    const PostResult result = postFile(client, big);
    EXPECT_EQ(result.message, "HTTP/1.1 413 Request Entity Too Large");
    EXPECT_EQ(client.reply().statusCode, 413);
}

TEST_F(Exchange, HostVanishingDuringTheSendIsASocketError)
{
    ScriptedServer server({{Step::readHead(), Step::reset()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const std::string big = m_folder.sized("big.bin", 64 * 1024 * 1024);
    const PostResult result = postFile(client, big);
    // Reset or broken pipe, depending on which send call saw the reset first.
    EXPECT_TRUE(result.message == "Socket Error # 10054\r\nConnection reset by peer." ||
                result.message ==
                    "Socket Error # 10058\r\nCannot send or receive after socket is closed.")
        << result.message;
    EXPECT_EQ(client.reply().statusCode, -1);
}

TEST_F(Exchange, BodyShorterThanAnnouncedFails)
{
    ScriptedServer server({{Step::readHead(), Step::drain()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const std::string path = m_folder.sized("shrinking.bin", 100000);
    FormDataBody body(test::kBodyTime);
    body.addFilePart("file", path, "application/octet-stream");
    std::filesystem::resize_file(path, 50000);
    const PostResult result = client.post(body, nullptr, m_cancel);
    EXPECT_EQ(result.message, "No data to read.");
}

class WorkEvents : public Exchange, public testing::WithParamInterface<std::int64_t>
{
};

TEST_P(WorkEvents, BodyCountsGoInBlocksAndTheHeadNeverCounts)
{
    const std::int64_t length = GetParam();
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send("HTTP/1.1 302 Found\r\nLocation: /upload/w\r\nContent-Length: 4\r\n\r\nbody"),
          Step::close()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());

    FormDataBody empty(test::kBodyTime);
    empty.addFilePart("file", m_folder.write("w.bin", ""), "application/octet-stream");
    const std::string path = m_folder.sized("w.bin", length - empty.length());

    test::WorkRecorder recorder;
    postFile(client, path, &recorder);
    constexpr auto W = TWorkMode::wmWrite;
    constexpr auto R = TWorkMode::wmRead;
    std::vector<test::WorkEvent> expected = {test::begin(W, length)};
    for (std::int64_t sent = 32768; sent < length; sent += 32768) {
        expected.push_back(test::work(W, sent));
    }
    expected.push_back(test::work(W, length));
    expected.push_back(test::begin(R, 4));
    expected.push_back(test::work(R, 4));
    EXPECT_EQ(recorder.events, expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, WorkEvents, testing::Values(40000, 65536, 169));

// A listener whose accept queue is full: new connections get no answer at all.
class FullListener
{
public:
    FullListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 0);
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        for (int i = 0; i < 8; ++i) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(client);
        }
        std::this_thread::sleep_for(100ms);
    }
    ~FullListener()
    {
        for (int fd : m_fillers) {
            ::close(fd);
        }
        ::close(m_fd);
    }

    std::uint16_t port = 0;

private:
    int m_fd = -1;
    std::vector<int> m_fillers;
};

TEST_F(Exchange, ConnectThatNeverCompletesTimesOut)
{
    FullListener listener;
    ExchangeLimits limits = fastLimits();
    limits.connectTimeout = 400ms;
    HttpClient client(
        *Endpoint::parse("http://127.0.0.1:" + std::to_string(listener.port) + "/upload/"), limits);
    const auto start = SteadyClock::now();
    const PostResult result = postFile(client, smallFile());
    EXPECT_EQ(result.message, "Connect timed out.");
    EXPECT_GE(SteadyClock::now() - start, 400ms);
}

TEST_F(Exchange, CancelDuringConnect)
{
    FullListener listener;
    HttpClient client(
        *Endpoint::parse("http://127.0.0.1:" + std::to_string(listener.port) + "/upload/"));
    const auto [result, took] = postAndCancel(client, smallFile(), 300ms);
    EXPECT_EQ(result.kind, Kind::Cancelled);
    EXPECT_LT(took, kCancelBound);
}

TEST_F(Exchange, CancelDuringSend)
{
    ScriptedServer server({{Step::readHead(), Step::hold()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const std::string big = m_folder.sized("big.bin", 256 * 1024 * 1024);
    const auto [result, took] = postAndCancel(client, big, 300ms);
    EXPECT_EQ(result.kind, Kind::Cancelled);
    EXPECT_LT(took, kCancelBound);
    EXPECT_TRUE(server.waitPeerClosed(0, 5s));
}

TEST_F(Exchange, CancelWhileWaitingForTheReply)
{
    ScriptedServer server({{Step::readRequest(), Step::hold()}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const auto [result, took] = postAndCancel(client, smallFile(), 300ms);
    EXPECT_EQ(result.kind, Kind::Cancelled);
    EXPECT_LT(took, kCancelBound);
    EXPECT_TRUE(server.waitPeerClosed(0, 5s));
}

TEST_F(Exchange, CancelDuringAnEndlessSuccessBody)
{
    ScriptedServer server({{Step::readRequest(), Step::send("HTTP/1.1 200 OK\r\n\r\n"),
                            Step::streamForever(std::string(65536, 'y'))}});
    HttpClient client(*Endpoint::parse(server.url()), fastLimits());
    const auto [result, took] = postAndCancel(client, smallFile(), 500ms);
    EXPECT_EQ(result.kind, Kind::Cancelled);
    EXPECT_LT(took, kCancelBound);
    EXPECT_EQ(linkBoxText(result, client.reply(), "http://h/"), std::nullopt);
    // The body was dropped as it came: far more than any buffer went by.
    ASSERT_TRUE(server.waitFinished(1));
    EXPECT_GT(server.records()[0].bytesSent, 1024u * 1024);
}

} // namespace
} // namespace tovelin

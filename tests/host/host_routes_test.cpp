#include "host/upload_limits.h"
#include "tests/host/raw_http.h"
#include "tests/host/running_host.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <string>
#include <thread>

namespace tovelin {
namespace {

using namespace std::chrono_literals;
using test::exchange;
using test::LoopbackConnection;
using test::programBody;
using test::programUpload;
using test::RawReply;
using test::RunningHost;
using test::TempDir;

const std::regex kLocation("/upload/[A-Za-z0-9_-]{16}");

// Every byte value, and the boundary text and line breaks in every place short of a real
// delimiter (CR LF "--" boundary), so a parser that trims, stops early or re-encodes shows up.
std::string awkwardBytes()
{
    const std::string boundary(test::kProgramBoundary);
    std::string bytes;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b) {
            bytes += static_cast<char>(b);
        }
        bytes += "--" + boundary + "\r\n\r\n-" + boundary + "\n--" + boundary + "--\r\n";
    }
    return bytes + "\r\n";
}

std::string idOf(const RawReply& reply)
{
    return reply.header("location").substr(std::string("/upload/").size());
}

std::set<std::string> entries(const std::filesystem::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Polls the data folder until it holds `count` entries, for at most five seconds.
bool waitForEntryCount(const std::filesystem::path& dir, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (entries(dir).size() == count) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

class HostRoutes : public testing::Test
{
protected:
    TempDir m_dir;
    std::filesystem::path m_data = m_dir.path() / "data";
    RunningHost m_host{m_data};
};

TEST_F(HostRoutes, ProgramUploadGets302WithLocationAndEmptyBody)
{
    const RawReply reply =
        exchange(m_host.port(), programUpload("C:\\Documents\\report.txt", "abc"));
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.status, 302);
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 302 Found");
    EXPECT_TRUE(std::regex_match(reply.header("location"), kLocation)) << reply.header("location");
    EXPECT_EQ(reply.count("location"), 1u);
    EXPECT_EQ(reply.header("content-length"), "0");
    EXPECT_EQ(reply.body, "");
}

TEST_F(HostRoutes, DownloadReturnsTheExactBytesAndName)
{
    const std::string bytes = awkwardBytes();
    const RawReply upload = exchange(m_host.port(), programUpload("C:\\dir\\data.bin", bytes));
    ASSERT_EQ(upload.status, 302);

    const RawReply download =
        exchange(m_host.port(), "GET /" + idOf(upload) + " HTTP/1.0\r\nHost: x\r\n\r\n");
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(download.header("content-type"), "application/octet-stream");
    EXPECT_EQ(download.header("content-length"), std::to_string(bytes.size()));
    EXPECT_EQ(download.header("content-disposition"), "attachment; filename=\"data.bin\"");
    EXPECT_TRUE(download.body == bytes) << "bytes differ";
}

TEST_F(HostRoutes, CyrillicNameComesBackThroughFilenameStar)
{
    // "Отчёт.txt" sent as Windows-1251 bytes and as UTF-8: the same name comes back.
    for (const std::string& path :
         {std::string("C:\\\xCE\xF2\xF7\xB8\xF2.txt"),
          std::string("/home/anna/\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt")}) {
        const RawReply upload = exchange(m_host.port(), programUpload(path, "x"));
        ASSERT_EQ(upload.status, 302);
        const RawReply download =
            exchange(m_host.port(), "GET /" + idOf(upload) + " HTTP/1.0\r\n\r\n");
        EXPECT_EQ(download.header("content-disposition"),
                  "attachment; filename=\"_____.txt\"; "
                  "filename*=UTF-8''%D0%9E%D1%82%D1%87%D1%91%D1%82.txt");
    }
}

TEST_F(HostRoutes, QuoteAndLineBreakEscapesAreDecodedThenCleaned)
{
    const RawReply upload =
        exchange(m_host.port(), programUpload("/tmp/%22odd%22%0D%0Aname.txt", "q"));
    ASSERT_EQ(upload.status, 302);
    const RawReply download = exchange(m_host.port(), "GET /" + idOf(upload) + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(download.header("content-disposition"),
              "attachment; filename=\"_odd_name.txt\"; filename*=UTF-8''%22odd%22name.txt");
}

TEST_F(HostRoutes, DownloadAlsoAnswersAtTheRedirectLocation)
{
    const RawReply upload = exchange(m_host.port(), programUpload("/a.txt", "same"));
    ASSERT_EQ(upload.status, 302);
    auto client = m_host.client();
    const auto download = client->Get(upload.header("location"));
    ASSERT_TRUE(download);
    EXPECT_EQ(download->status, 200);
    EXPECT_EQ(download->body, "same");
}

TEST_F(HostRoutes, TwoUploadsGetDifferentLinks)
{
    const RawReply first = exchange(m_host.port(), programUpload("/same.txt", "one"));
    const RawReply second = exchange(m_host.port(), programUpload("/same.txt", "two"));
    ASSERT_EQ(first.status, 302);
    ASSERT_EQ(second.status, 302);
    EXPECT_NE(idOf(first), idOf(second));
    auto client = m_host.client();
    EXPECT_EQ(client->Get("/" + idOf(first))->body, "one");
    EXPECT_EQ(client->Get("/" + idOf(second))->body, "two");
}

TEST_F(HostRoutes, EmptyFileIsServedWithLengthZero)
{
    const RawReply upload = exchange(m_host.port(), programUpload("/empty", ""));
    ASSERT_EQ(upload.status, 302);
    const RawReply download = exchange(m_host.port(), "GET /" + idOf(upload) + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(download.header("content-length"), "0");
    EXPECT_EQ(download.body, "");
}

TEST_F(HostRoutes, UploadFromAnHttplibClientWithOtherParts)
{
    auto client = m_host.client();
    const httplib::MultipartFormDataItems items = {
        {"comment", "ignored text", "", "text/plain"},
        {"file", "payload", "picked.png", "image/png"},
        {"file", "second file part", "other.png", "image/png"},
    };
    const auto reply = client->Post("/upload/", items);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->status, 302);
    const auto download = client->Get(reply->get_header_value("Location"));
    ASSERT_TRUE(download);
    EXPECT_EQ(download->body, "payload");
    EXPECT_EQ(download->get_header_value("Content-Disposition"),
              "attachment; filename=\"picked.png\"");
}

TEST_F(HostRoutes, OversizedBodyIsRefusedBeforeItIsSent)
{
    // With and without asking first: either way the refusal comes from the declared length.
    for (const std::string expect : {"", "Expect: 100-continue\r\n"}) {
        const std::string head = "POST /upload/ HTTP/1.1\r\nHost: x\r\n" + expect +
                                 "Content-Type: multipart/form-data; boundary=b\r\n"
                                 "Content-Length: " +
                                 std::to_string(kMaxUploadBody + 1) + "\r\n\r\n";
        LoopbackConnection connection("127.0.0.1", m_host.port());
        ASSERT_TRUE(connection.send(head));
        // No body byte is sent.
        const RawReply reply = test::parseReply(connection.receiveAll(5s));
        EXPECT_EQ(reply.statusLine, "HTTP/1.1 413 Payload Too Large") << expect;
        EXPECT_TRUE(entries(m_data).empty());
    }
}

TEST_F(HostRoutes, ClientThatAsksFirstIsToldToContinue)
{
    const std::string body = programBody("/asked.txt", "asked first");
    LoopbackConnection connection("127.0.0.1", m_host.port());
    ASSERT_TRUE(connection.send("POST /upload/ HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
                                "Content-Type: " +
                                std::string("multipart/form-data; boundary=") +
                                std::string(test::kProgramBoundary) +
                                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n"));
    ASSERT_TRUE(connection.readable(5s));
    ASSERT_TRUE(connection.send(body));
    const std::string raw = connection.receiveAll(5s);
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    ASSERT_EQ(raw.substr(0, interim.size()), interim);
    EXPECT_EQ(test::parseReply(raw.substr(interim.size())).status, 302);
}

TEST_F(HostRoutes, BodyOfExactlyTheLimitIsAccepted)
{
    const std::string frame = programBody("/big.bin", "");
    const std::string content(kMaxUploadBody - frame.size(), 'z');
    const RawReply reply = exchange(m_host.port(), programUpload("/big.bin", content));
    ASSERT_EQ(reply.status, 302);
    const auto stored = m_host.store().find(idOf(reply));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size, content.size());
}

struct RefusedCase
{
    const char* label;
    std::string request;
    int status;
};

void PrintTo(const RefusedCase& c, std::ostream* out)
{
    *out << c.label;
}

std::string post(const std::string& contentType, const std::string& body,
                 const std::string& extraHeaders = "")
{
    return "POST /upload/ HTTP/1.0\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" +
           body;
}

const std::string kMultipart =
    "multipart/form-data; boundary=" + std::string(test::kProgramBoundary);

std::string otherPartBody()
{
    std::string body = programBody("/a.txt", "abc");
    body.replace(body.find("name=\"file\""), 11, "name=\"data\"");
    return body;
}

class RefusedUpload : public HostRoutes, public testing::WithParamInterface<RefusedCase>
{
};

TEST_P(RefusedUpload, GetsItsStatusAndStoresNothing)
{
    const RawReply reply = exchange(m_host.port(), GetParam().request);
    EXPECT_EQ(reply.status, GetParam().status) << reply.statusLine;
    EXPECT_TRUE(entries(m_data).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RefusedUpload,
    testing::Values(
        RefusedCase{"no file part", post(kMultipart, otherPartBody()), 400},
        RefusedCase{"no parts at all",
                    post(kMultipart, "--" + std::string(test::kProgramBoundary) + "--\r\n"), 400},
        RefusedCase{"not multipart", post("application/octet-stream", "raw bytes"), 400},
        RefusedCase{"multipart without boundary",
                    post("multipart/form-data", programBody("/a", "b")), 400},
        RefusedCase{"no closing delimiter",
                    post(kMultipart, programBody("/a.txt", "abc").substr(0, 150)), 400},
        RefusedCase{"garbage", post(kMultipart, std::string(500, '\x01')), 400},
        RefusedCase{"no length",
                    "POST /upload/ HTTP/1.0\r\nContent-Type: " + kMultipart + "\r\n\r\n", 411},
        RefusedCase{"chunked",
                    "POST /upload/ HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                    "Content-Type: " +
                        kMultipart + "\r\n\r\n0\r\n\r\n",
                    411},
        RefusedCase{"malformed length",
                    "POST /upload/ HTTP/1.0\r\nContent-Type: " + kMultipart +
                        "\r\nContent-Length: -5\r\n\r\n",
                    400},
        RefusedCase{"compressed",
                    post(kMultipart, programBody("/a", "b"), "Content-Encoding: gzip\r\n"), 415},
        RefusedCase{"post elsewhere", "POST / HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", 405},
        RefusedCase{"put upload", "PUT /upload/ HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", 405}));

TEST_F(HostRoutes, HangingUpMidBodyLeavesNoFile)
{
    const std::string request = programUpload("/half.bin", std::string(1 << 20, 'h'));
    {
        LoopbackConnection connection("127.0.0.1", m_host.port());
        ASSERT_TRUE(connection.send(request.substr(0, request.size() / 2)));
        // The half that arrived is already on disk: the body is streamed, not gathered.
        ASSERT_TRUE(waitForEntryCount(m_data, 1));
        connection.close();
    }
    EXPECT_TRUE(waitForEntryCount(m_data, 0)) << "left behind: " << *entries(m_data).begin();

    // The host goes on serving.
    EXPECT_EQ(exchange(m_host.port(), programUpload("/next.txt", "ok")).status, 302);
}

TEST_F(HostRoutes, UnknownIdentifiersGet404)
{
    for (const std::string path : {"/AAAAAAAAAAAAAAAA", "/upload/AAAAAAAAAAAAAAAA", "/short",
                                   "/favicon.ico", "/..%2F..%2Fetc%2Fpasswd", "/a/b/c"}) {
        const RawReply reply = exchange(m_host.port(), "GET " + path + " HTTP/1.0\r\n\r\n");
        EXPECT_EQ(reply.status, 404) << path;
    }
}

TEST_F(HostRoutes, RootServesTheRussianPage)
{
    auto client = m_host.client();
    const auto page = client->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(page->body.find("<html lang=\"ru\">"), std::string::npos);
    EXPECT_NE(page->body.find("Tovelin"), std::string::npos);
    EXPECT_NE(page->body.find("ссылк"), std::string::npos);
}

TEST(HostRestart, StoredFilesSurviveANewServer)
{
    TempDir dir;
    std::string id;
    const std::string bytes = awkwardBytes();
    {
        RunningHost host(dir.path());
        const RawReply upload =
            exchange(host.port(), programUpload("C:\\\xCE\xF2\xF7\xB8\xF2.bin", bytes));
        ASSERT_EQ(upload.status, 302);
        id = idOf(upload);
    }
    RunningHost restarted(dir.path());
    const RawReply download = exchange(restarted.port(), "GET /" + id + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(download.status, 200);
    EXPECT_TRUE(download.body == bytes);
    EXPECT_EQ(download.header("content-disposition"),
              "attachment; filename=\"_____.bin\"; "
              "filename*=UTF-8''%D0%9E%D1%82%D1%87%D1%91%D1%82.bin");
}

} // namespace
} // namespace tovelin

#include "upload/endpoint.h"
#include "upload/request_head.h"
#include "upload/upload_outcome.h"

#include <gtest/gtest.h>

namespace tovelin {
namespace {

TEST(Endpoint, ParsesHttpUrls)
{
    const struct
    {
        const char* url;
        bool valid;
        const char* host;
        int port;
        const char* path;
        const char* hostLine;
        const char* linkPrefix;
    } cases[] = {
        {"http://Files.Example.com/upload/", true, "Files.Example.com", 80, "/upload/",
         "Files.Example.com", "http://Files.Example.com/"},
        {"http://localhost:8080/upload/", true, "localhost", 8080, "/upload/", "localhost:8080",
         "http://localhost:8080/"},
        {"HTTP://h:80/up", true, "h", 80, "/up", "h", "http://h/"},
        {"http://h", true, "h", 80, "/", "h", "http://h/"},
        {"http://h?x=1", true, "h", 80, "/?x=1", "h", "http://h/"},
        {"http://[::1]:9000/upload/", true, "[::1]", 9000, "/upload/", "[::1]:9000",
         "http://[::1]:9000/"},
        {"https://h/upload/", false, "", 0, "", "", ""},
        {"ftp://h/", false, "", 0, "", "", ""},
        {"http:///upload/", false, "", 0, "", "", ""},
        {"http://h:0/", false, "", 0, "", "", ""},
        {"http://h:65536/", false, "", 0, "", "", ""},
        {"http://h:/", false, "", 0, "", "", ""},
        {"http://h:8x/", false, "", 0, "", "", ""},
        {"http://user@h/", false, "", 0, "", "", ""},
        {"http://h/a b", false, "", 0, "", "", ""},
        {"h/upload/", false, "", 0, "", "", ""},
        {"", false, "", 0, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const std::optional<Endpoint> endpoint = Endpoint::parse(c.url);
        ASSERT_EQ(endpoint.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(endpoint->host, c.host);
            EXPECT_EQ(endpoint->port, c.port);
            EXPECT_EQ(endpoint->path, c.path);
            EXPECT_EQ(endpoint->hostLine(), c.hostLine);
            EXPECT_EQ(endpoint->linkPrefix(), c.linkPrefix);
        }
    }
    EXPECT_EQ(Endpoint::parse("http://[::1]:9000/")->resolvableHost(), "::1");
}

TEST(RequestHead, LinesInTheirOrder)
{
    const Endpoint endpoint = *Endpoint::parse("http://Files.Example.com/upload/");
    EXPECT_EQ(buildRequestHead(endpoint, "multipart/form-data; boundary=--------061509143005123",
                               169, ""),
              "POST /upload/ HTTP/1.0\r\n"
              "Connection: keep-alive\r\n"
              "Content-Type: multipart/form-data; boundary=--------061509143005123\r\n"
              "Content-Length: 169\r\n"
              "Host: Files.Example.com\r\n"
              "Accept: text/html, */*\r\n"
              "User-Agent: Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.0.5) "
              "Gecko/2008120122 Firefox/3.0.5\r\n"
              "\r\n");
    const std::string withCookie = buildRequestHead(endpoint, "t", 1, "a=1; b=2");
    EXPECT_NE(withCookie.find("Firefox/3.0.5\r\nCookie: a=1; b=2\r\n\r\n"), std::string::npos);
}

TEST(RequestHead, LongLinesAreFolded)
{
    std::string value;
    for (int i = 0; value.size() < 3000; ++i) {
        value += "name" + std::to_string(i) + "=value" + std::to_string(i) + "; ";
    }
    value.resize(value.size() - 2);
    const std::string folded = foldHeaderLine("Cookie: " + value);

    std::vector<std::string> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = folded.find("\r\n", start);
        pieces.push_back(folded.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    ASSERT_GE(pieces.size(), 3u);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_LE(pieces[i].size(), 1024u);
        EXPECT_FALSE(pieces[i].empty());
        EXPECT_NE(pieces[i].back(), ' ');
        if (i > 0) {
            EXPECT_EQ(pieces[i][0], ' ');
            EXPECT_NE(pieces[i][1], ' ');
        }
        joined += pieces[i];
    }
    // Each break fell after "; ", so unfolding gives back the pairs.
    std::string unfolded = "Cookie: " + value;
    std::string compact;
    for (std::size_t i = 0; i < unfolded.size(); ++i) {
        if (!(unfolded[i] == ' ' && i > 0 && unfolded[i - 1] == ';')) {
            compact += unfolded[i];
        }
    }
    std::string joinedCompact;
    for (std::size_t i = 0; i < joined.size(); ++i) {
        if (!(joined[i] == ' ' && i > 0 && joined[i - 1] == ';')) {
            joinedCompact += joined[i];
        }
    }
    EXPECT_EQ(joinedCompact, compact);
}

TEST(RequestHead, FoldingKeepsQuotedTextAndUnbreakableLines)
{
    const std::string quoted =
        "X: \"" + std::string(600, 'a') + " " + std::string(600, 'b') + "\" tail";
    const std::string folded = foldHeaderLine(quoted);
    // The last break before the 1024th character is the one after "X:"; inside the quotes
    // there is none, so the second piece runs past the length to the first break after it.
    EXPECT_EQ(folded,
              "X:\r\n \"" + std::string(600, 'a') + " " + std::string(600, 'b') + "\"\r\n tail");
    const std::string solid = "X:" + std::string(2000, 'z');
    EXPECT_EQ(foldHeaderLine(solid), solid);
    EXPECT_EQ(foldHeaderLine("Short: line"), "Short: line");
}

TEST(UploadOutcome, WhatTheLinkBoxGets)
{
    const std::string prefix = "http://files.example.com/";
    const PostResult failed{PostResult::Kind::Failed, "HTTP/1.1 302 Found"};
    const struct
    {
        const char* name;
        PostResult result;
        int statusCode;
        const char* location;
        std::optional<std::string> text;
        UploadOutcome::Kind kind;
    } cases[] = {
        {"link", failed, 302, "/upload/abc", prefix + "abc", UploadOutcome::Kind::Link},
        {"marker_case_counts", failed, 302, "/UPLOAD/abc", prefix + "/UPLOAD/abc",
         UploadOutcome::Kind::Link},
        {"only_first_marker", failed, 302, "/upload/a/upload/b", prefix + "a/upload/b",
         UploadOutcome::Kind::Link},
        {"marker_in_the_middle", failed, 302, "x/upload/y", prefix + "xy",
         UploadOutcome::Kind::Link},
        {"no_marker", failed, 302, "abc", prefix + "abc", UploadOutcome::Kind::Link},
        {"read_timeout_still_links",
         {PostResult::Kind::Failed, "Read Timeout"},
         302,
         "/upload/t",
         prefix + "t",
         UploadOutcome::Kind::Link},
        {"empty_location_is_no_link", failed, 302, "", "HTTP/1.1 302 Found",
         UploadOutcome::Kind::Failure},
        {"head_cut_short",
         {PostResult::Kind::Failed, "Connection Closed Gracefully."},
         302,
         "",
         "Connection Closed Gracefully.",
         UploadOutcome::Kind::Failure},
        {"other_redirect",
         {PostResult::Kind::Failed, "HTTP/1.1 301 Moved"},
         301,
         "/upload/x",
         "HTTP/1.1 301 Moved",
         UploadOutcome::Kind::Failure},
        {"transport",
         {PostResult::Kind::Failed, "Socket Error # 10061\r\nConnection refused."},
         -1,
         "",
         "Socket Error # 10061\r\nConnection refused.",
         UploadOutcome::Kind::Failure},
        {"success",
         {PostResult::Kind::Returned, ""},
         200,
         "",
         std::nullopt,
         UploadOutcome::Kind::Nothing},
        {"cancelled",
         {PostResult::Kind::Cancelled, ""},
         302,
         "/upload/c",
         std::nullopt,
         UploadOutcome::Kind::Nothing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyState reply;
        reply.statusCode = c.statusCode;
        reply.location = c.location;
        EXPECT_EQ(linkBoxText(c.result, reply, prefix), c.text);
        EXPECT_EQ(uploadOutcome(c.result, reply, prefix).kind, c.kind);
    }
}

} // namespace
} // namespace tovelin

#include "upload/header_fields.h"
#include "upload/reply_judgement.h"
#include "upload/socket_error.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace tovelin {
namespace {

TEST(StatusCode, FollowsTheFirstSpace)
{
    const struct
    {
        const char* line;
        int code;
    } cases[] = {
        {"HTTP/1.1 302 Found", 302},
        {"HTTP/1.1 302", 302},
        {"HTTP/1.0  200  OK", 200},
        {"HTTP/1.1 \t404\t Gone", -1},
        {"HTTP/1.1 abc", -1},
        {"HTTP/1.1", -1},
        {"", -1},
        {"HTTP/1.1 ", -1},
        {"HTTP/1.1 99999999999", -1},
        {"HTTP/1.1 2x0 OK", -1},
        {"XYZ 100 Continue", 100},
        {"HTTP/1.1 +201 Made", 201},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(statusCodeOf(c.line), c.code) << c.line;
    }
}

TEST(HeaderValue, FirstLineByNameWithItsContinuations)
{
    const std::vector<std::string> lines = {
        "Server: one", "location:  /upload/a ", "\tb", "  c  ", "Location: /second", "X-Empty:",
        "NoColon",
    };
    EXPECT_EQ(headerValue(lines, "LOCATION"), "/upload/a b c");
    EXPECT_EQ(headerValue(lines, "server"), "one");
    EXPECT_EQ(headerValue(lines, "X-Empty"), "");
    EXPECT_EQ(headerValue(lines, "Missing"), std::nullopt);
    EXPECT_EQ(headerValue(lines, "NoColon"), std::nullopt);

    const std::vector<HeaderField> all = headerFields(lines, "Location");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].value, "/upload/a b c");
    EXPECT_EQ(all[0].rawLength, std::string("location:  /upload/a ").size() + 2 + 5);
    EXPECT_EQ(all[1].value, "/second");
}

TEST(ContentLength, OnlyADecimalNumberThatFits)
{
    EXPECT_EQ(contentLengthOf("0"), 0);
    EXPECT_EQ(contentLengthOf(" 1234 "), 1234);
    EXPECT_EQ(contentLengthOf("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(contentLengthOf("9223372036854775808"), std::nullopt);
    EXPECT_EQ(contentLengthOf("-5"), std::nullopt);
    EXPECT_EQ(contentLengthOf("12a"), std::nullopt);
    EXPECT_EQ(contentLengthOf(""), std::nullopt);
    EXPECT_EQ(contentLengthOf("0x10"), std::nullopt);
}

TEST(ChunkSize, HexBeforeTheFirstSpaceOfAtMostSixteenDigits)
{
    EXPECT_EQ(chunkSizeOf("1a"), 26);
    EXPECT_EQ(chunkSizeOf("FF ext"), 255);
    EXPECT_EQ(chunkSizeOf("7fffffffffffffff"), INT64_MAX);
    EXPECT_EQ(chunkSizeOf("8000000000000000"), 0);
    EXPECT_EQ(chunkSizeOf("00000000000000001"), 0);
    EXPECT_EQ(chunkSizeOf("1a;name=value"), 0);
    EXPECT_EQ(chunkSizeOf(""), 0);
    EXPECT_EQ(chunkSizeOf("zz"), 0);
}

TEST(Judgement, FirstRuleThatFits)
{
    const struct
    {
        int code;
        const char* location;
        ReplyJudgement judgement;
    } cases[] = {
        {100, "/x", ReplyJudgement::Interim},  {200, "/x", ReplyJudgement::Redirect},
        {404, "/x", ReplyJudgement::Redirect}, {-1, "/x", ReplyJudgement::Redirect},
        {300, "", ReplyJudgement::Redirect},   {302, "", ReplyJudgement::Redirect},
        {399, "", ReplyJudgement::Redirect},   {304, "", ReplyJudgement::HttpError},
        {200, "", ReplyJudgement::Success},    {204, "", ReplyJudgement::Success},
        {299, "", ReplyJudgement::Success},    {101, "", ReplyJudgement::HttpError},
        {199, "", ReplyJudgement::HttpError},  {401, "", ReplyJudgement::HttpError},
        {407, "", ReplyJudgement::HttpError},  {500, "", ReplyJudgement::HttpError},
        {-1, "", ReplyJudgement::HttpError},   {400, "", ReplyJudgement::HttpError},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(judgeReply(c.code, c.location), c.judgement) << c.code << " " << c.location;
    }
}

TEST(SocketError, MessagesOfTheTable)
{
    const struct
    {
        int number;
        const char* message;
    } cases[] = {
        {10061, "Socket Error # 10061\r\nConnection refused."},
        {11001, "Socket Error # 11001\r\nHost not found."},
        {10035, "Socket Error # 10035\r\nOperation would block. "},
        {10066, "Socket Error # 10066\r\nDirectory not empty"},
        {10004, "Socket Error # 10004\r\nInterrupted system call."},
        {10060, "Socket Error # 10060\r\nConnection timed out."},
        {10054, "Socket Error # 10054\r\nConnection reset by peer."},
        {10058, "Socket Error # 10058\r\nCannot send or receive after socket is closed."},
        {10047, "Socket Error # 10047\r\nAddress family not supported by protocol family."},
        {10010, "Socket Error # 10010\r\n"},
        {11002, "Socket Error # 11002\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(socketErrorMessage(c.number), c.message);
    }
}

TEST(SocketError, ErrnoMapsByMeaning)
{
    const struct
    {
        int posixError;
        int number;
    } cases[] = {
        {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},     {ECONNRESET, 10054},   {ECONNABORTED, 10053},
        {ENETDOWN, 10050},     {ENETUNREACH, 10051},   {EHOSTUNREACH, 10065}, {EHOSTDOWN, 10064},
        {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049}, {EACCES, 10013},       {EMFILE, 10024},
        {ENFILE, 10024},       {ENOBUFS, 10055},       {EINVAL, 10022},       {EINTR, 10004},
        {EAFNOSUPPORT, 10047}, {EPIPE, 10058},         {ENOTCONN, 10057},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(socketErrorNumber(c.posixError), c.number) << c.posixError;
    }
    EXPECT_EQ(socketErrorMessageForErrno(EPIPE),
              "Socket Error # 10058\r\nCannot send or receive after socket is closed.");
    // Outside the table: the errno value with an empty second line.
    EXPECT_EQ(socketErrorMessageForErrno(ENOMEM),
              "Socket Error # " + std::to_string(ENOMEM) + "\r\n");
}

} // namespace
} // namespace tovelin

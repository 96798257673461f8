#include "tests/exchange/work_recorder.h"
#include "upload/reply_reader.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tovelin {
namespace {

using test::begin;
using test::work;
using test::WorkEvent;
using test::WorkRecorder;
using Kind = PostResult::Kind;
constexpr auto R = TWorkMode::wmRead;
constexpr char kClosed[] = "Connection Closed Gracefully.";

// Lines written with LF get CR LF on the wire.
std::string crlf(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

struct Played
{
    ReplyState state;
    PostResult result;
    bool finished = false;
    bool keep = false;
    std::vector<WorkEvent> events;
    std::vector<std::vector<std::string>> headerBlocks;
};

enum class Feeding
{
    Whole,
    ByteByByte
};

Played play(const std::string& bytes, bool closeAtEnd, Feeding feeding,
            const ExchangeLimits& limits = {})
{
    Played played;
    WorkRecorder recorder;
    ReplyReader reader(
        played.state, limits,
        [&](const std::vector<std::string>& lines) { played.headerBlocks.push_back(lines); },
        &recorder);
    if (feeding == Feeding::Whole) {
        reader.feed(bytes);
    } else {
        for (char c : bytes) {
            reader.feed(std::string_view(&c, 1));
        }
    }
    if (closeAtEnd) {
        reader.peerClosed();
    }
    played.finished = reader.finished();
    played.result = reader.result();
    played.keep = reader.mayKeepConnection();
    played.events = recorder.events;
    return played;
}

struct ReplyCase
{
    const char* name;
    std::string bytes;
    bool closeAtEnd;
    Kind kind;
    std::string message;
    int statusCode;
    std::string location;
    bool keep;
    std::vector<WorkEvent> events; // when fed whole
};

std::ostream& operator<<(std::ostream& out, const ReplyCase& c)
{
    return out << c.name;
}

const std::vector<ReplyCase> kCases = {
    {"redirect_with_location",
     crlf("HTTP/1.1 302 Found\nLocation: /upload/abc\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "/upload/abc",
     false,
     {}},
    {"redirect_with_body",
     crlf("HTTP/1.1 302 Found\nLocation: /upload/abc\nContent-Length: 5\n\n") + "hello",
     false,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "/upload/abc",
     false,
     {begin(R, 5), work(R, 5)}},
    {"success_with_length",
     crlf("HTTP/1.1 200 OK\nContent-Length: 5\n\n") + "hello",
     false,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 5), work(R, 5)}},
    {"success_with_location",
     crlf("HTTP/1.1 200 OK\nLocation: /x\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 200 OK",
     200,
     "/x",
     false,
     {}},
    {"redirect_without_location",
     crlf("HTTP/1.1 302 Found\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "",
     false,
     {}},
    {"status_without_reason",
     crlf("HTTP/1.1 302\nLocation: /upload/q\n\n"),
     true,
     Kind::Failed,
     "HTTP/1.1 302",
     302,
     "/upload/q",
     false,
     {begin(R, 0)}},
    {"interim_then_redirect",
     crlf(
         "HTTP/1.1 100 Continue\n\nHTTP/1.1 302 Found\nLocation: /upload/z\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "/upload/z",
     false,
     {}},
    {"no_content_reads_no_body",
     crlf("HTTP/1.1 204 No Content\nContent-Length: 10\n\n"),
     false,
     Kind::Returned,
     "",
     204,
     "",
     false,
     {}},
    {"success_until_close",
     crlf("HTTP/1.0 200 OK\n\n") + "some body",
     true,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 0), work(R, 9)}},
    {"success_chunked",
     crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n5\nhello\n3 ext\nabc\n0\n\n"),
     false,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 5), work(R, 5), begin(R, 3), work(R, 3)}},
    {"chunked_closed_in_chunk",
     crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n5\nhel"),
     true,
     Kind::Failed,
     kClosed,
     200,
     "",
     false,
     {begin(R, 5)}},
    {"chunked_closed_before_last_line",
     crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n1\na\n0\n"),
     true,
     Kind::Failed,
     kClosed,
     200,
     "",
     false,
     {begin(R, 1), work(R, 1)}},
    {"closed_in_status_line", "HTTP/1.1 302 Fo", true, Kind::Failed, kClosed, -1, "", false, {}},
    {"closed_after_status_line",
     crlf("HTTP/1.1 302 Found\n"),
     true,
     Kind::Failed,
     kClosed,
     302,
     "",
     false,
     {}},
    {"closed_on_empty_stream", "", true, Kind::Failed, kClosed, -1, "", false, {}},
    {"success_head_cut_short",
     crlf("HTTP/1.1 200 OK\nServer: x\n"),
     true,
     Kind::Failed,
     "Undefined situation",
     200,
     "",
     false,
     {}},
    {"redirect_head_cut_short",
     crlf("HTTP/1.1 302 Found\nLocation: /upload/k\nServer: part"),
     true,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "/upload/k",
     false,
     {begin(R, 0)}},
    {"http_error",
     crlf("HTTP/1.1 404 Not Found\nContent-Length: 3\n\n") + "not",
     false,
     Kind::Failed,
     "HTTP/1.1 404 Not Found",
     404,
     "",
     false,
     {begin(R, 3), work(R, 3)}},
    {"folded_location",
     crlf("HTTP/1.1 302 Found\nLocation: /upload/a\n\tb \n  c\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "/upload/a b c",
     false,
     {}},
    {"status_not_a_number",
     crlf("HTTP/1.1 abc\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 abc",
     -1,
     "",
     false,
     {}},
    {"status_with_blanks",
     crlf("HTTP/1.1   302   Moved\nLocation: /upload/s\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1   302   Moved",
     302,
     "/upload/s",
     false,
     {}},
    {"lines_end_in_lf_only",
     "HTTP/1.1 302 Found\nLocation: /upload/lf\nContent-Length: 0\n\n",
     false,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "/upload/lf",
     false,
     {}},
    {"not_modified",
     crlf("HTTP/1.1 304 Not Modified\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 304 Not Modified",
     304,
     "",
     false,
     {}},
    {"other_interim_status",
     crlf("HTTP/1.1 101 Switching\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 101 Switching",
     101,
     "",
     false,
     {}},
    {"moved_without_location",
     crlf("HTTP/1.1 301 Moved\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 301 Moved",
     301,
     "",
     false,
     {}},
    {"negative_length_reads_until_close",
     crlf("HTTP/1.1 200 OK\nContent-Length: -5\n\n") + "abcdefgh",
     true,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 0), work(R, 8)}},
    {"chunked_before_zero_length",
     crlf("HTTP/1.1 200 OK\nContent-Length: 0\nTransfer-Encoding: chunked\n\n2\nab\n0\n\n"),
     false,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 2), work(R, 2)}},
    {"chunk_size_of_17_digits_is_no_number",
     crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n00000000000000001\nanything\n"),
     false,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {}},
    {"chunk_size_of_16_digits",
     crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n0000000000000003\nabc\n0\n\n"),
     false,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 3), work(R, 3)}},
    {"chunked_is_letter_case_sensitive",
     crlf("HTTP/1.1 200 OK\nTransfer-Encoding: Chunked\n\n5\nhello\n0\n\n"),
     true,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 0), work(R, 15)}},
    {"keep_alive",
     crlf(
         "HTTP/1.1 302 Found\nConnection: keep-alive\nLocation: /upload/ka\nContent-Length: 0\n\n"),
     false,
     Kind::Failed,
     "HTTP/1.1 302 Found",
     302,
     "/upload/ka",
     true,
     {}},
    {"proxy_keep_alive",
     crlf("HTTP/1.1 200 OK\nProxy-Connection:  Keep-Alive \nContent-Length: 0\n\n"),
     false,
     Kind::Returned,
     "",
     200,
     "",
     true,
     {}},
    {"keep_alive_but_closed",
     crlf("HTTP/1.1 200 OK\nConnection: keep-alive\nContent-Length: 0\n\n"),
     true,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {}},
    {"short_body_then_close",
     crlf("HTTP/1.1 200 OK\nContent-Length: 10\n\n") + "abc",
     true,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 10), work(R, 3)}},
    {"error_chunked_closed",
     crlf("HTTP/1.1 500 Oops\nTransfer-Encoding: chunked\n\n5\nab"),
     true,
     Kind::Failed,
     kClosed,
     500,
     "",
     false,
     {begin(R, 5)}},
    {"interim_cut_short",
     crlf("HTTP/1.1 100 Continue\nX: y\n"),
     true,
     Kind::Failed,
     kClosed,
     100,
     "",
     false,
     {}},
    {"empty_location_is_none",
     crlf("HTTP/1.1 200 OK\nLocation:   \nContent-Length: 0\n\n"),
     false,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {}},
    {"error_until_close",
     crlf("HTTP/1.1 503 Busy\n\n") + "later",
     true,
     Kind::Failed,
     "HTTP/1.1 503 Busy",
     503,
     "",
     false,
     {begin(R, 0), work(R, 5)}},
    {"bytes_after_the_reply_are_ignored",
     crlf("HTTP/1.1 200 OK\nContent-Length: 2\n\n") + "okHTTP/1.1 500 No",
     false,
     Kind::Returned,
     "",
     200,
     "",
     false,
     {begin(R, 2), work(R, 2)}},
};

class ReplyCases : public testing::TestWithParam<ReplyCase>
{
};

void expectOutcome(const ReplyCase& c, const Played& played)
{
    EXPECT_TRUE(played.finished);
    EXPECT_EQ(played.result.kind, c.kind);
    EXPECT_EQ(played.result.message, c.message);
    EXPECT_EQ(played.state.statusCode, c.statusCode);
    EXPECT_EQ(played.state.location, c.location);
    EXPECT_EQ(played.keep, c.keep);
}

TEST_P(ReplyCases, FedWhole)
{
    const ReplyCase& c = GetParam();
    const Played played = play(c.bytes, c.closeAtEnd, Feeding::Whole);
    expectOutcome(c, played);
    EXPECT_EQ(played.events, c.events);
}

TEST_P(ReplyCases, FedOneByteAtATime)
{
    const ReplyCase& c = GetParam();
    const Played played = play(c.bytes, c.closeAtEnd, Feeding::ByteByByte);
    expectOutcome(c, played);
    // Byte by byte nothing arrives with the head, so only the last count is comparable.
    const Played whole = play(c.bytes, c.closeAtEnd, Feeding::Whole);
    ASSERT_EQ(played.events.empty(), whole.events.empty());
    if (!whole.events.empty()) {
        EXPECT_EQ(played.events.back(), whole.events.back());
    }
}

TEST_P(ReplyCases, CutAtEveryPrefix)
{
    const ReplyCase& c = GetParam();
    for (std::size_t length = 0; length < c.bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const Played played = play(c.bytes.substr(0, length), true, Feeding::Whole);
        ASSERT_TRUE(played.finished);
        EXPECT_FALSE(played.keep);
        // A cut reply is never better than the whole one.
        if (c.kind == Kind::Failed) {
            EXPECT_EQ(played.result.kind, Kind::Failed);
        }
        if (played.result.kind == Kind::Failed) {
            EXPECT_FALSE(played.result.message.empty() && !played.state.statusLine.empty());
        }
        EXPECT_TRUE(played.state.statusCode == -1 || played.state.statusCode == c.statusCode ||
                    played.state.statusCode == 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyCases, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ReplyCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ReplyReader, CookiesOfEveryHeadAreHandedOverBeforeJudging)
{
    const Played played =
        play(crlf("HTTP/1.1 100 Continue\nSet-Cookie: a=1\n\nHTTP/1.1 302 Found\nSet-Cookie: "
                  "b=2\nLocation: /upload/x\nContent-Length: 0\n\n"),
             false, Feeding::Whole);
    ASSERT_EQ(played.headerBlocks.size(), 2u);
    EXPECT_EQ(played.headerBlocks[0], std::vector<std::string>{"Set-Cookie: a=1"});
    EXPECT_EQ(played.headerBlocks[1].front(), "Set-Cookie: b=2");
    EXPECT_EQ(played.state.headerLines.size(), 3u);
}

struct LineLimitCase
{
    const char* name;
    std::string prefix;    // before the long line
    std::string lineStart; // the long line begins with this
    std::string suffix;    // after the long line's LF
    bool closeAtEnd;
};

std::ostream& operator<<(std::ostream& out, const LineLimitCase& c)
{
    return out << c.name;
}

class LineLimits : public testing::TestWithParam<LineLimitCase>
{
};

// A line of lineLength characters before its LF, a CR included.
std::string longLine(const LineLimitCase& c, std::size_t lineLength)
{
    std::string line = c.lineStart;
    line.append(lineLength - 1 - line.size(), 'x');
    return c.prefix + line + "\r\n" + c.suffix;
}

TEST_P(LineLimits, SixteenThousandThreeHundredEightyFourIsTheLongestLine)
{
    const LineLimitCase& c = GetParam();
    for (Feeding feeding : {Feeding::Whole, Feeding::ByteByByte}) {
        const Played accepted = play(longLine(c, 16384), c.closeAtEnd, feeding);
        EXPECT_TRUE(accepted.finished);
        EXPECT_NE(accepted.result.message, "Max line length exceeded.");
        const Played refused = play(longLine(c, 16385), c.closeAtEnd, feeding);
        EXPECT_TRUE(refused.finished);
        EXPECT_EQ(refused.result.kind, Kind::Failed);
        EXPECT_EQ(refused.result.message, "Max line length exceeded.");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineLimits,
    testing::Values(
        LineLimitCase{"status_line", "", "HTTP/1.1 404 ", crlf("Content-Length: 0\n\n"), false},
        LineLimitCase{"header_line", crlf("HTTP/1.1 404 Gone\n"),
                      "X-Long: ", crlf("Content-Length: 0\n\n"), false},
        LineLimitCase{"chunk_size_line", crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n"),
                      "0 ", crlf("\n"), false},
        LineLimitCase{"chunk_line_end",
                      crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n1\n") + "a", "",
                      crlf("0\n\n"), false}),
    [](const testing::TestParamInfo<LineLimitCase>& info) { return std::string(info.param.name); });

TEST(ReplyReader, HeaderBlockIsCappedInAll)
{
    ExchangeLimits limits;
    limits.maxHeaderBlock = 64;
    // 3 lines of 20 bytes each (with CR LF) and the empty line fit; one more does not.
    const std::string line = crlf("X-Field: 123456789\n");
    ASSERT_EQ(line.size(), 20u);
    const Played fits =
        play("HTTP/1.1 404 No\r\n" + line + line + line + crlf("\n"), true, Feeding::Whole, limits);
    EXPECT_EQ(fits.result.message, "HTTP/1.1 404 No");
    const Played over = play("HTTP/1.1 404 No\r\n" + line + line + line + line + crlf("\n"), false,
                             Feeding::Whole, limits);
    EXPECT_EQ(over.result.message, "Max header size exceeded.");
    // Folded continuation lines count too.
    const Played folded =
        play("HTTP/1.1 404 No\r\n" + line + crlf(" 23456789012345678\n") + line + line + crlf("\n"),
             false, Feeding::Whole, limits);
    EXPECT_EQ(folded.result.message, "Max header size exceeded.");
}

TEST(ReplyReader, EndlessHeaderLinesStopAtTheDefaultCap)
{
    ReplyState state;
    ReplyReader reader(state, ExchangeLimits{}, nullptr, nullptr);
    reader.feed(crlf("HTTP/1.1 200 OK\n"));
    const std::string line = crlf("X-Again: 0123456789abcdef0123456789abcdef\n");
    std::size_t fed = 0;
    while (!reader.finished() && fed < 10 * 1024 * 1024) {
        reader.feed(line);
        fed += line.size();
    }
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(reader.result().message, "Max header size exceeded.");
    EXPECT_LE(fed, 256u * 1024 + line.size());
}

struct EndlessBody
{
    const char* name;
    std::string head;
    std::string piece; // repeated forever
};

std::ostream& operator<<(std::ostream& out, const EndlessBody& c)
{
    return out << c.name;
}

class EndlessErrorBodies : public testing::TestWithParam<EndlessBody>
{
};

TEST_P(EndlessErrorBodies, StopAfterTheCapWithTheOutcomeKept)
{
    const EndlessBody& c = GetParam();
    ReplyState state;
    WorkRecorder recorder;
    ReplyReader reader(state, ExchangeLimits{}, nullptr, &recorder);
    reader.feed(c.head);
    ASSERT_FALSE(reader.finished());
    EXPECT_TRUE(reader.waitIsLimited());
    std::size_t fed = 0;
    while (!reader.finished() && fed < 8 * 1024 * 1024) {
        reader.feed(c.piece);
        fed += c.piece.size();
    }
    ASSERT_TRUE(reader.finished());
    EXPECT_LE(fed, 64u * 1024 + c.piece.size());
    EXPECT_EQ(reader.result().kind, Kind::Failed);
    EXPECT_EQ(reader.result().message, "HTTP/1.1 302 Found");
    EXPECT_EQ(state.location, "/upload/cap");
    EXPECT_FALSE(reader.mayKeepConnection());
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, EndlessErrorBodies,
    testing::Values(
        EndlessBody{"huge_length",
                    crlf("HTTP/1.1 302 Found\nConnection: keep-alive\nLocation: /upload/cap\n"
                         "Content-Length: 999999999999\n\n"),
                    std::string(1000, 'z')},
        EndlessBody{"until_close",
                    crlf("HTTP/1.1 302 Found\nConnection: keep-alive\nLocation: /upload/cap\n\n"),
                    std::string(777, 'z')},
        EndlessBody{"endless_chunks",
                    crlf("HTTP/1.1 302 Found\nConnection: keep-alive\nLocation: /upload/cap\n"
                         "Transfer-Encoding: chunked\n\n"),
                    crlf("1\nz\n")}),
    [](const testing::TestParamInfo<EndlessBody>& info) { return std::string(info.param.name); });

TEST(ReplyReader, ErrorBodyOfExactlyTheCapEndsNormally)
{
    const Played played =
        play(crlf("HTTP/1.1 302 Found\nConnection: keep-alive\nLocation: /upload/e\n"
                  "Content-Length: 65536\n\n") +
                 std::string(65536, 'e'),
             false, Feeding::Whole);
    EXPECT_TRUE(played.finished);
    EXPECT_TRUE(played.keep);
}

TEST(ReplyReader, SuccessBodyIsNotCapped)
{
    ReplyState state;
    ReplyReader reader(state, ExchangeLimits{}, nullptr, nullptr);
    reader.feed(crlf("HTTP/1.1 200 OK\nContent-Length: 1000000\n\n"));
    EXPECT_FALSE(reader.waitIsLimited());
    const std::string piece(10000, 's');
    for (int i = 0; i < 99; ++i) {
        reader.feed(piece);
    }
    EXPECT_FALSE(reader.finished());
    reader.feed(piece);
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(reader.result().kind, Kind::Returned);
}

TEST(ReplyReader, BodyEventsComeOncePerReceiveBlock)
{
    Played played;
    WorkRecorder recorder;
    ReplyReader reader(played.state, ExchangeLimits{}, nullptr, &recorder);
    // 100 body bytes arrive with the head: one event for them, then blocks of 32768.
    reader.feed(crlf("HTTP/1.1 200 OK\nContent-Length: 70000\n\n") + std::string(100, 'b'));
    const std::string rest(69900, 'b');
    for (std::size_t at = 0; at < rest.size(); at += 1000) {
        reader.feed(std::string_view(rest).substr(at, 1000));
    }
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(recorder.events,
              (std::vector<WorkEvent>{begin(R, 70000), work(R, 100), work(R, 32868), work(R, 65636),
                                      work(R, 70000)}));
}

TEST(ReplyReader, EachChunkIsATransferOfItsOwn)
{
    const std::string big(40000, 'c');
    const Played played = play(crlf("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n9c40\n") + big +
                                   crlf("\n2\nab\n0\n\n"),
                               false, Feeding::ByteByByte);
    EXPECT_EQ(played.result.kind, Kind::Returned);
    EXPECT_EQ(played.events, (std::vector<WorkEvent>{begin(R, 40000), work(R, 32768),
                                                     work(R, 40000), begin(R, 2), work(R, 2)}));
}

TEST(ReplyReader, OnlyTheBodyOfANonSuccessReplyHasLimitedWaits)
{
    ReplyState state;
    ReplyReader reader(state, ExchangeLimits{}, nullptr, nullptr);
    EXPECT_FALSE(reader.waitIsLimited());
    reader.feed(crlf("HTTP/1.1 302 Found\nLocation: /upload/t\nContent-Length: 10\n"));
    EXPECT_FALSE(reader.waitIsLimited());
    reader.feed(crlf("\n"));
    EXPECT_TRUE(reader.waitIsLimited());
    EXPECT_EQ(reader.nextReadSize(), 10u);
    reader.readTimedOut();
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(reader.result().message, "Read Timeout");
    EXPECT_EQ(state.statusCode, 302);
    EXPECT_EQ(state.location, "/upload/t");
}

TEST(ReplyReader, TransportFailureReplacesTheJudgement)
{
    ReplyState state;
    ReplyReader reader(state, ExchangeLimits{}, nullptr, nullptr);
    reader.feed(crlf("HTTP/1.1 404 Nope\nConnection: keep-alive\nContent-Length: 10\n\nab"));
    reader.transportFailed("Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_TRUE(reader.finished());
    EXPECT_TRUE(reader.headJudged());
    EXPECT_EQ(reader.result().message, "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_FALSE(reader.mayKeepConnection());
}

} // namespace
} // namespace tovelin

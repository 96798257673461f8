#pragma once

#include "upload/exchange_limits.h"
#include "upload/post_result.h"
#include "upload/reply_judgement.h"
#include "upload/reply_state.h"
#include "upload/work_events.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tovelin {

// Reads one reply from the bytes it is fed, without touching a socket: status line and
// header block (again after each interim 100), judgement, body framing, and the work
// events of the body. The caller moves the bytes and reports the connection's end.
class ReplyReader
{
public:
    // Called with each header block as soon as it is complete, before it is judged.
    using HeaderBlockHandler = std::function<void(const std::vector<std::string>&)>;

    ReplyReader(ReplyState& state, const ExchangeLimits& limits, HeaderBlockHandler onHeaderBlock,
                WorkObserver* observer);

    // Takes bytes as they arrived in one piece; bytes past the reply's end are ignored.
    void feed(std::string_view bytes);
    // The peer closed the connection.
    void peerClosed();
    // A limited wait ran out without data.
    void readTimedOut();
    // Reading failed with this message; the connection is broken.
    void transportFailed(std::string message);

    bool finished() const { return m_phase == Phase::Done; }
    // Valid once finished.
    const PostResult& result() const { return m_result; }
    // True while the body of a reply that is not a success is read: each wait is limited.
    bool waitIsLimited() const;
    // How many bytes the next read may take without passing the reply's end.
    std::size_t nextReadSize() const;
    // A final (not interim) reply head was read and judged.
    bool headJudged() const { return m_headJudged; }
    // The connection is still open and the reply asked for keep-alive.
    bool mayKeepConnection() const;

private:
    enum class Phase
    {
        StatusLine,
        HeaderLines,
        FixedBody,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailer,
        UntilClose,
        Done
    };

    // Consumes a line's bytes up to its LF; true when m_line holds a whole line.
    bool takeLineByte(char c);
    void onLine();
    void completeHead(bool cutShort);
    void startBody();
    std::size_t takeBodyBytes(std::string_view bytes);
    void beginTransfer(std::int64_t expected);
    void countBodyBytes(std::size_t n, bool transferEnded);
    void flushWork();
    void finishReply();
    void fail(std::string message);
    bool countErrorBody(std::size_t n);
    bool isBodyPhase() const;

    ReplyState& m_state;
    ExchangeLimits m_limits;
    HeaderBlockHandler m_onHeaderBlock;
    WorkObserver* m_observer;

    Phase m_phase = Phase::StatusLine;
    std::string m_line;
    bool m_lineTooLong = false;
    std::size_t m_headerBytes = 0;
    ReplyJudgement m_judgement = ReplyJudgement::HttpError;
    bool m_headJudged = false;
    bool m_keepAliveAsked = false;
    bool m_peerClosed = false;
    bool m_capped = false;

    std::int64_t m_remaining = 0;     // of the fixed body or the current chunk
    std::size_t m_errorBodyBytes = 0; // body bytes of a non-success reply, framing included

    std::int64_t m_transferred = 0; // within the current counted transfer
    std::int64_t m_unreported = 0;  // moved since the last OnWork
    bool m_arrivalPending = false;  // body bytes that came with the head get one OnWork

    PostResult m_result;
};

} // namespace tovelin

#include "upload/reply_reader.h"

#include "upload/header_fields.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace tovelin {

namespace {

constexpr char kClosedGracefully[] = "Connection Closed Gracefully.";

bool asksKeepAlive(const std::optional<std::string>& value)
{
    return value && equalsIgnoringCase(*value, "keep-alive");
}

} // namespace

ReplyReader::ReplyReader(ReplyState& state, const ExchangeLimits& limits,
                         HeaderBlockHandler onHeaderBlock, WorkObserver* observer)
    : m_state(state), m_limits(limits), m_onHeaderBlock(std::move(onHeaderBlock)),
      m_observer(observer)
{
    m_line.reserve(256);
}

void ReplyReader::feed(std::string_view bytes)
{
    while (!bytes.empty() && m_phase != Phase::Done) {
        switch (m_phase) {
        case Phase::FixedBody:
        case Phase::ChunkData:
        case Phase::UntilClose:
            bytes.remove_prefix(takeBodyBytes(bytes));
            break;
        default: {
            if (m_phase == Phase::HeaderLines && ++m_headerBytes > m_limits.maxHeaderBlock) {
                fail("Max header size exceeded.");
                break;
            }
            if (isBodyPhase() && m_judgement != ReplyJudgement::Success) {
                if (m_errorBodyBytes >= m_limits.maxErrorBody) {
                    m_capped = true;
                    finishReply();
                    break;
                }
                ++m_errorBodyBytes;
            }
            const char c = bytes.front();
            bytes.remove_prefix(1);
            if (takeLineByte(c)) {
                onLine();
            }
            break;
        }
        }
    }
    if (m_arrivalPending) {
        // The body bytes that came together with the head count as one piece.
        m_arrivalPending = false;
        flushWork();
    }
}

bool ReplyReader::takeLineByte(char c)
{
    if (c == '\n') {
        if (!m_line.empty() && m_line.back() == '\r') {
            m_line.pop_back();
        }
        return true;
    }
    if (m_line.size() >= m_limits.maxLineLength) {
        fail("Max line length exceeded.");
        return false;
    }
    m_line.push_back(c);
    return false;
}

void ReplyReader::onLine()
{
    std::string line = std::move(m_line);
    m_line.clear();
    switch (m_phase) {
    case Phase::StatusLine:
        m_state.statusCode = statusCodeOf(line);
        m_state.statusLine = std::move(line);
        m_state.headerLines.clear();
        m_state.location.clear();
        m_headerBytes = 0;
        m_keepAliveAsked = false;
        m_phase = Phase::HeaderLines;
        break;
    case Phase::HeaderLines:
        if (line.empty()) {
            completeHead(false);
        } else {
            m_state.headerLines.push_back(std::move(line));
        }
        break;
    case Phase::ChunkSize: {
        const std::int64_t size = chunkSizeOf(line);
        if (size == 0) {
            m_phase = Phase::Trailer;
        } else {
            m_remaining = size;
            beginTransfer(size);
            m_phase = Phase::ChunkData;
        }
        break;
    }
    case Phase::ChunkDataEnd:
        m_phase = Phase::ChunkSize;
        break;
    case Phase::Trailer:
        finishReply();
        break;
    default:
        break;
    }
}

void ReplyReader::completeHead(bool cutShort)
{
    const std::vector<std::string>& lines = m_state.headerLines;
    m_state.location = headerValue(lines, "Location").value_or(std::string());
    if (m_onHeaderBlock) {
        m_onHeaderBlock(lines);
    }
    m_judgement = judgeReply(m_state.statusCode, m_state.location);
    m_keepAliveAsked = asksKeepAlive(headerValue(lines, "Connection")) ||
                       asksKeepAlive(headerValue(lines, "Proxy-Connection"));
    if (m_judgement == ReplyJudgement::Interim) {
        m_phase = Phase::StatusLine;
        return;
    }
    m_headJudged = true;
    if (m_judgement == ReplyJudgement::Success && cutShort) {
        fail("Undefined situation");
        return;
    }
    if (m_judgement == ReplyJudgement::Success && m_state.statusCode == 204) {
        finishReply();
        return;
    }
    startBody();
}

void ReplyReader::startBody()
{
    const std::vector<std::string>& lines = m_state.headerLines;
    std::optional<std::int64_t> length;
    if (std::optional<std::string> value = headerValue(lines, "Content-Length")) {
        length = contentLengthOf(*value);
    }
    const std::optional<std::string> encoding = headerValue(lines, "Transfer-Encoding");
    if (length && *length >= 1) {
        m_remaining = *length;
        m_phase = Phase::FixedBody;
        beginTransfer(*length);
        m_arrivalPending = true;
    } else if (encoding && encoding->find("chunked") != std::string::npos) {
        m_phase = Phase::ChunkSize;
    } else if (!length) {
        m_phase = Phase::UntilClose;
        beginTransfer(0);
    } else {
        finishReply();
    }
}

std::size_t ReplyReader::takeBodyBytes(std::string_view bytes)
{
    const bool errorBody = m_judgement != ReplyJudgement::Success;
    std::size_t n = bytes.size();
    if (m_phase != Phase::UntilClose) {
        n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(n), m_remaining));
    }
    if (errorBody) {
        n = std::min(n, m_limits.maxErrorBody - std::min(m_errorBodyBytes, m_limits.maxErrorBody));
        m_errorBodyBytes += n;
    }
    bool ended = false;
    if (m_phase != Phase::UntilClose) {
        m_remaining -= static_cast<std::int64_t>(n);
        ended = m_remaining == 0;
    }
    countBodyBytes(n, ended);
    if (ended) {
        if (m_phase == Phase::FixedBody) {
            finishReply();
        } else {
            m_phase = Phase::ChunkDataEnd;
        }
    } else if (errorBody && m_errorBodyBytes >= m_limits.maxErrorBody) {
        // Nothing uses this body; a host must not hold the exchange by streaming it.
        flushWork();
        m_capped = true;
        finishReply();
    }
    return n;
}

void ReplyReader::beginTransfer(std::int64_t expected)
{
    m_transferred = 0;
    m_unreported = 0;
    if (m_observer) {
        m_observer->OnWorkBegin(TWorkMode::wmRead, expected);
    }
}

void ReplyReader::countBodyBytes(std::size_t n, bool transferEnded)
{
    m_transferred += static_cast<std::int64_t>(n);
    m_unreported += static_cast<std::int64_t>(n);
    if (m_arrivalPending) {
        return;
    }
    const auto block = static_cast<std::int64_t>(m_limits.receiveBlock);
    while (m_unreported >= block) {
        m_unreported -= block;
        if (m_observer) {
            m_observer->OnWork(TWorkMode::wmRead, m_transferred - m_unreported);
        }
    }
    if (transferEnded) {
        flushWork();
    }
}

void ReplyReader::flushWork()
{
    if (m_unreported > 0) {
        m_unreported = 0;
        if (m_observer) {
            m_observer->OnWork(TWorkMode::wmRead, m_transferred);
        }
    }
}

void ReplyReader::peerClosed()
{
    m_peerClosed = true;
    m_arrivalPending = false;
    while (m_phase != Phase::Done) {
        switch (m_phase) {
        case Phase::StatusLine:
            fail(kClosedGracefully);
            break;
        case Phase::HeaderLines:
            // A partial line is lost; the whole lines read so far are the header block.
            if (m_state.headerLines.empty()) {
                fail(kClosedGracefully);
            } else {
                completeHead(true);
            }
            break;
        case Phase::FixedBody:
        case Phase::UntilClose:
            flushWork();
            finishReply();
            break;
        default:
            fail(kClosedGracefully);
            break;
        }
    }
}

void ReplyReader::readTimedOut()
{
    if (m_phase != Phase::Done) {
        fail("Read Timeout");
    }
}

void ReplyReader::transportFailed(std::string message)
{
    m_peerClosed = true;
    if (m_phase != Phase::Done) {
        fail(std::move(message));
    }
}

bool ReplyReader::isBodyPhase() const
{
    switch (m_phase) {
    case Phase::FixedBody:
    case Phase::ChunkSize:
    case Phase::ChunkData:
    case Phase::ChunkDataEnd:
    case Phase::Trailer:
    case Phase::UntilClose:
        return true;
    default:
        return false;
    }
}

bool ReplyReader::waitIsLimited() const
{
    return isBodyPhase() && m_judgement != ReplyJudgement::Success;
}

std::size_t ReplyReader::nextReadSize() const
{
    std::size_t n = m_limits.receiveBlock;
    if (m_phase == Phase::FixedBody) {
        n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(n), m_remaining));
    }
    if (waitIsLimited() && m_errorBodyBytes < m_limits.maxErrorBody) {
        n = std::min(n, m_limits.maxErrorBody - m_errorBodyBytes);
    }
    return std::max<std::size_t>(n, 1);
}

bool ReplyReader::mayKeepConnection() const
{
    return m_keepAliveAsked && !m_peerClosed && !m_capped;
}

void ReplyReader::finishReply()
{
    m_result = {};
    if (m_judgement == ReplyJudgement::Success) {
        m_result.kind = PostResult::Kind::Returned;
    } else {
        m_result.kind = PostResult::Kind::Failed;
        m_result.message = m_state.statusLine;
    }
    m_phase = Phase::Done;
}

void ReplyReader::fail(std::string message)
{
    m_result.kind = PostResult::Kind::Failed;
    m_result.message = std::move(message);
    m_phase = Phase::Done;
}

} // namespace tovelin

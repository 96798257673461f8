#include "upload/http_client.h"

#include "upload/cookie_store.h"
#include "upload/form_data_body.h"
#include "upload/posix_socket.h"
#include "upload/reply_reader.h"
#include "upload/request_head.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovelin {

namespace {

using Status = SocketOutcome::Status;

PostResult failed(std::string message)
{
    return PostResult{PostResult::Kind::Failed, std::move(message)};
}

PostResult cancelled()
{
    return PostResult{PostResult::Kind::Cancelled, {}};
}

} // namespace

struct HttpClient::Impl
{
    Endpoint endpoint;
    ExchangeLimits limits;
    CookieStore cookies;
    ReplyState reply;
    TcpConnection keptOpen; // left open by a keep-alive reply, closed by the next post

    PostResult exchange(FormDataBody& body, WorkObserver* observer, const Cancellation& cancel);
    // One send call for the block, then one OnWork; the trouble when it did not all go.
    std::optional<SocketOutcome> sendAll(TcpConnection& connection, const char* data,
                                         std::size_t size, std::int64_t& counted,
                                         WorkObserver* observer, const Cancellation& cancel);
    PostResult readReply(TcpConnection& connection, WorkObserver* observer,
                         const Cancellation& cancel, std::optional<std::string> sendFailure);
};

HttpClient::HttpClient(Endpoint endpoint, ExchangeLimits limits) : m_impl(std::make_unique<Impl>())
{
    m_impl->endpoint = std::move(endpoint);
    m_impl->limits = limits;
}

HttpClient::~HttpClient() = default;

const ReplyState& HttpClient::reply() const
{
    return m_impl->reply;
}

const Endpoint& HttpClient::endpoint() const
{
    return m_impl->endpoint;
}

PostResult HttpClient::post(FormDataBody& body, WorkObserver* observer, const Cancellation& cancel)
{
    m_impl->reply = ReplyState{};
    m_impl->keptOpen.close();
    return m_impl->exchange(body, observer, cancel);
}

PostResult HttpClient::Impl::exchange(FormDataBody& body, WorkObserver* observer,
                                      const Cancellation& cancel)
{
    const std::int64_t length = body.length();
    const std::string head = buildRequestHead(
        endpoint, body.contentType(), length,
        cookies.cookieLine(endpoint.host, endpoint.path, CookieStore::Clock::now()));
    if (cancel.cancelled()) {
        return cancelled();
    }

    SocketOutcome connected;
    TcpConnection connection = TcpConnection::connect(endpoint.resolvableHost(), endpoint.port,
                                                      limits.connectTimeout, cancel, connected);
    if (connected.status == Status::Cancelled) {
        return cancelled();
    }
    if (connected.status != Status::Done) {
        return failed(connected.message);
    }

    std::int64_t headCount = 0;
    std::optional<SocketOutcome> sendTrouble =
        sendAll(connection, head.data(), head.size(), headCount, nullptr, cancel);

    if (!sendTrouble) {
        body.rewind();
        if (observer) {
            observer->OnWorkBegin(TWorkMode::wmWrite, length);
        }
        std::vector<char> block(std::max<std::size_t>(limits.sendBlock, 1));
        std::int64_t sent = 0;
        while (sent < length && !sendTrouble) {
            const auto want = static_cast<std::size_t>(
                std::min<std::int64_t>(length - sent, static_cast<std::int64_t>(block.size())));
            const std::size_t got = body.read(block.data(), want);
            if (got == 0) {
                return failed("No data to read.");
            }
            sendTrouble = sendAll(connection, block.data(), got, sent, observer, cancel);
        }
    }

    std::optional<std::string> sendFailure;
    if (sendTrouble) {
        if (sendTrouble->status == Status::Cancelled) {
            connection.abort();
            return cancelled();
        }
        // The host may have answered and closed while the body was still going out (a
        // refusal of the size, say): its reply says more than the broken send.
        sendFailure = sendTrouble->message;
    }
    return readReply(connection, observer, cancel, std::move(sendFailure));
}

std::optional<SocketOutcome> HttpClient::Impl::sendAll(TcpConnection& connection, const char* data,
                                                       std::size_t size, std::int64_t& counted,
                                                       WorkObserver* observer,
                                                       const Cancellation& cancel)
{
    const SocketOutcome sent = connection.send(data, size, cancel);
    if (sent.status != Status::Done) {
        return sent;
    }
    counted += static_cast<std::int64_t>(sent.bytes);
    if (observer) {
        observer->OnWork(TWorkMode::wmWrite, counted);
    }
    return std::nullopt;
}

PostResult HttpClient::Impl::readReply(TcpConnection& connection, WorkObserver* observer,
                                       const Cancellation& cancel,
                                       std::optional<std::string> sendFailure)
{
    const std::string host = endpoint.host;
    ReplyReader reader(
        reply, limits,
        [this, &host](const std::vector<std::string>& lines) {
            cookies.storeFromHeaderBlock(lines, host, CookieStore::Clock::now());
        },
        observer);
    std::vector<char> buffer(std::max<std::size_t>(limits.receiveBlock, 1));
    while (!reader.finished()) {
        std::optional<std::chrono::milliseconds> limit;
        if (reader.waitIsLimited()) {
            limit = limits.errorBodyWait;
        }
        const SocketOutcome waited = connection.waitReadable(limit, cancel);
        if (waited.status == Status::Cancelled) {
            connection.abort();
            return cancelled();
        }
        if (waited.status == Status::TimedOut) {
            reader.readTimedOut();
            break;
        }
        if (waited.status == Status::Failed) {
            reader.transportFailed(waited.message);
            break;
        }
        const SocketOutcome got =
            connection.receiveSome(buffer.data(), std::min(buffer.size(), reader.nextReadSize()));
        switch (got.status) {
        case Status::Done:
            reader.feed(std::string_view(buffer.data(), got.bytes));
            break;
        case Status::Closed:
            reader.peerClosed();
            break;
        case Status::Failed:
            reader.transportFailed(got.message);
            break;
        default:
            break;
        }
    }

    if (sendFailure && !reader.headJudged()) {
        return failed(std::move(*sendFailure));
    }
    if (reader.mayKeepConnection()) {
        keptOpen = std::move(connection);
    }
    return reader.result();
}

} // namespace tovelin

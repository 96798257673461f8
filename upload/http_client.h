#pragma once

#include "upload/cancellation.h"
#include "upload/endpoint.h"
#include "upload/post_result.h"
#include "upload/reply_state.h"
#include "upload/work_events.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace tovelin {

class FormDataBody;

// Bounds of one exchange. The product uses the defaults; tests shrink them to run fast.
struct ExchangeLimits
{
    std::chrono::milliseconds connectTimeout{120000};
    std::chrono::milliseconds errorBodyWait{2000};   // per wait, body of a non-success reply
    std::size_t maxLineLength = 16384;
    std::size_t maxHeaderBlock = 256 * 1024;
    std::size_t maxErrorBody = 64 * 1024;
    std::size_t sendBlock = 32768;
    std::size_t receiveBlock = 32768;
};

// Posts form-data bodies to one endpoint, one exchange at a time, keeping the run's
// cookies. post() runs on the calling thread; cancel it through the Cancellation from
// any other thread.
class HttpClient
{
public:
    explicit HttpClient(Endpoint endpoint, ExchangeLimits limits = {});
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    PostResult post(FormDataBody& body, WorkObserver* observer, const Cancellation& cancel);

    // The reply to the last post (status line, code, header lines, Location).
    const ReplyState& reply() const;
    const Endpoint& endpoint() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tovelin

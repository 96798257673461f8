#pragma once

#include "upload/cancellation.h"
#include "upload/endpoint.h"
#include "upload/exchange_limits.h"
#include "upload/post_result.h"
#include "upload/reply_state.h"
#include "upload/work_events.h"

#include <memory>

namespace tovelin {

class FormDataBody;

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

#pragma once

#include "upload/http_client.h"
#include "upload/post_result.h"
#include "upload/reply_state.h"
#include "upload/work_events.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include <QObject>

namespace tovelin {

class FormDataBody;

// Runs the window program's posts on a worker thread, one at a time and all on one
// HttpClient, so the run's cookies carry over. A new upload supersedes the running one:
// that one is cancelled, its remaining events and its outcome are dropped, and the new one
// starts once the old worker has returned; the GUI thread never waits for it. Events and
// outcomes reach the handlers on the GUI thread, in the order they happened.
class UploadRunner : public QObject
{
    Q_OBJECT

public:
    struct Handlers
    {
        std::function<void(TWorkMode, std::int64_t countMax)> workBegin;
        std::function<void(TWorkMode, std::int64_t count)> work;
        std::function<void(const PostResult&, const ReplyState&)> finished;
    };

    UploadRunner(std::shared_ptr<HttpClient> client, Handlers handlers, QObject* parent = nullptr);
    // Cancels what runs and waits a moment for the worker; one stuck in a call that cannot
    // be cancelled is left to end on its own, so closing the program never hangs.
    ~UploadRunner() override;

    void start(std::unique_ptr<FormDataBody> body);
    // Cancels the running upload and drops a waiting one; neither outcome is delivered.
    void cancelAll();
    // An upload is running or waiting for its turn.
    bool busy() const { return m_running != nullptr || m_waiting != nullptr; }

private:
    struct Job;
    class Relay;
    class Forwarder;

    void launch(std::shared_ptr<Job> job);
    bool isCurrent(std::uint64_t id) const;
    void workerReturned(std::uint64_t id);
    static void work(const std::shared_ptr<Job>& job, const std::shared_ptr<Relay>& relay);

    std::shared_ptr<HttpClient> m_client;
    Handlers m_handlers;
    std::shared_ptr<Relay> m_relay;
    std::shared_ptr<Job> m_running;
    std::shared_ptr<Job> m_waiting;
    std::thread m_worker;
    std::uint64_t m_nextId = 1;
};

} // namespace tovelin

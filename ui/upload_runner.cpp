#include "ui/upload_runner.h"

#include "ui/failure_box.h"
#include "upload/cancellation.h"
#include "upload/form_data_body.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

#include <QMetaObject>

namespace tovelin {

namespace {

// How long closing the program waits for a cancelled worker before leaving it behind.
constexpr std::chrono::milliseconds kShutdownGrace{500};
// The longest the GUI thread spends on the worker's events before it turns to others.
constexpr std::chrono::milliseconds kTurnLength{4};
constexpr int kWorkerNiceness = 5;

} // namespace

struct UploadRunner::Job
{
    std::uint64_t id = 0;
    std::shared_ptr<HttpClient> client;
    std::unique_ptr<FormDataBody> body;
    Cancellation cancel;

    // Written by the worker before it reports its return.
    PostResult result;
    ReplyState reply;
    std::exception_ptr error;

    std::mutex mutex;
    std::condition_variable returnedChanged;
    bool returned = false;
};

// The worker's way to the runner: calls queued in order and run on the GUI thread while
// the runner exists, nothing once it is gone. A fast transfer raises thousands of events
// in a moment; they are run in turns of a few milliseconds, so the window keeps painting
// and answering between turns, and every event still arrives, in order.
class UploadRunner::Relay : public std::enable_shared_from_this<Relay>
{
public:
    using Call = std::function<void(UploadRunner&)>;

    explicit Relay(UploadRunner* target) : m_target(target) {}

    void post(Call call)
    {
        const std::lock_guard lock(m_mutex);
        if (m_target == nullptr) {
            return;
        }
        m_calls.push_back(std::move(call));
        if (!m_turnPosted) {
            postTurn();
        }
    }

    void detach()
    {
        const std::lock_guard lock(m_mutex);
        m_target = nullptr;
        m_calls.clear();
    }

private:
    // With m_mutex held.
    void postTurn()
    {
        m_turnPosted = true;
        QMetaObject::invokeMethod(
            m_target, [self = shared_from_this()] { self->runTurn(); }, Qt::QueuedConnection);
    }

    void runTurn()
    {
        const auto deadline = std::chrono::steady_clock::now() + kTurnLength;
        while (true) {
            Call call;
            UploadRunner* target = nullptr;
            {
                const std::lock_guard lock(m_mutex);
                if (m_target == nullptr || m_calls.empty()) {
                    m_turnPosted = false;
                    return;
                }
                if (std::chrono::steady_clock::now() >= deadline) {
                    postTurn();
                    return;
                }
                call = std::move(m_calls.front());
                m_calls.pop_front();
                target = m_target;
            }
            call(*target);
        }
    }

    std::mutex m_mutex;
    UploadRunner* m_target;
    std::deque<Call> m_calls;
    bool m_turnPosted = false;
};

class UploadRunner::Forwarder : public WorkObserver
{
public:
    Forwarder(std::shared_ptr<Relay> relay, std::uint64_t id) : m_relay(std::move(relay)), m_id(id)
    {
    }

    void OnWorkBegin(TWorkMode mode, std::int64_t countMax) override
    {
        m_relay->post([id = m_id, mode, countMax](UploadRunner& runner) {
            if (runner.isCurrent(id) && runner.m_handlers.workBegin) {
                runner.m_handlers.workBegin(mode, countMax);
            }
        });
    }

    void OnWork(TWorkMode mode, std::int64_t count) override
    {
        m_relay->post([id = m_id, mode, count](UploadRunner& runner) {
            if (runner.isCurrent(id) && runner.m_handlers.work) {
                runner.m_handlers.work(mode, count);
            }
        });
    }

private:
    std::shared_ptr<Relay> m_relay;
    std::uint64_t m_id;
};

UploadRunner::UploadRunner(std::shared_ptr<HttpClient> client, Handlers handlers, QObject* parent)
    : QObject(parent), m_client(std::move(client)), m_handlers(std::move(handlers)),
      m_relay(std::make_shared<Relay>(this))
{
}

UploadRunner::~UploadRunner()
{
    m_relay->detach();
    m_waiting.reset();
    if (!m_worker.joinable()) {
        return;
    }
    m_running->cancel.cancel();
    std::unique_lock lock(m_running->mutex);
    const bool returned = m_running->returnedChanged.wait_for(
        lock, kShutdownGrace, [this] { return m_running->returned; });
    lock.unlock();
    if (returned) {
        m_worker.join();
    } else {
        // The worker owns a share of everything it touches, so it may finish after us.
        m_worker.detach();
    }
}

void UploadRunner::start(std::unique_ptr<FormDataBody> body)
{
    auto job = std::make_shared<Job>();
    job->id = m_nextId++;
    job->client = m_client;
    job->body = std::move(body);
    if (m_running) {
        m_running->cancel.cancel();
        m_waiting = std::move(job);
        return;
    }
    launch(std::move(job));
}

void UploadRunner::cancelAll()
{
    m_waiting.reset();
    if (m_running) {
        m_running->cancel.cancel();
    }
}

void UploadRunner::launch(std::shared_ptr<Job> job)
{
    m_running = std::move(job);
    m_worker = std::thread(&UploadRunner::work, m_running, m_relay);
}

bool UploadRunner::isCurrent(std::uint64_t id) const
{
    return m_running && m_running->id == id && !m_running->cancel.cancelled();
}

void UploadRunner::work(const std::shared_ptr<Job>& job, const std::shared_ptr<Relay>& relay)
{
    // The window comes first when both want the processor; the transfer loses nothing
    // worth measuring, since it mostly waits on the network.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerNiceness);
    Forwarder forwarder(relay, job->id);
    try {
        job->result = job->client->post(*job->body, &forwarder, job->cancel);
        job->reply = job->client->reply();
    } catch (...) {
        job->error = std::current_exception();
    }
    // Closes the file as soon as the exchange is over.
    job->body.reset();

    relay->post([id = job->id](UploadRunner& runner) { runner.workerReturned(id); });
    const std::lock_guard lock(job->mutex);
    job->returned = true;
    job->returnedChanged.notify_all();
}

void UploadRunner::workerReturned(std::uint64_t id)
{
    if (!m_running || m_running->id != id) {
        return;
    }
    m_worker.join();
    const std::shared_ptr<Job> done = std::move(m_running);
    if (m_waiting) {
        launch(std::move(m_waiting));
    }
    if (done->cancel.cancelled()) {
        return;
    }
    runHandler([&] {
        if (done->error) {
            std::rethrow_exception(done->error);
        }
        if (m_handlers.finished) {
            m_handlers.finished(done->result, done->reply);
        }
    });
}

} // namespace tovelin

#include "host/host_server.h"

#include "host/host_routes.h"
#include "upload/failure.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <httplib.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace tovelin {

// An httplib server that also lets go of its socket when it was bound but never run,
// which the library itself leaves open. Once run, the library owns the socket.
class HostServer::Listener : public httplib::Server
{
public:
    explicit Listener(std::string address) : m_address(std::move(address)) {}
    ~Listener() override
    {
        if (!m_ran) {
            const auto sock = svr_sock_.exchange(INVALID_SOCKET);
            if (sock != INVALID_SOCKET) {
                ::close(sock);
            }
        }
    }

    void run() { listen_after_bind(); }
    void markRan() { m_ran = true; }

    const std::string& address() const { return m_address; }

private:
    std::string m_address;
    bool m_ran = false;
};

namespace {

constexpr auto kStartWait = std::chrono::seconds(10);

bool missingFamily(int error)
{
    return error == EADDRNOTAVAIL || error == EAFNOSUPPORT;
}

} // namespace

HostServer::HostServer(UploadStore& store) : m_store(store) {}

HostServer::~HostServer()
{
    stop();
}

void HostServer::bind(const std::vector<std::string>& addresses, std::uint16_t port)
{
    m_port = port;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        auto listener = std::make_unique<Listener>(addresses[i]);
        installHostRoutes(*listener, m_store);
        // The library's default adds SO_REUSEPORT, which would let a second host share the
        // port and silently take half of the uploads.
        listener->set_socket_options([](int sock) {
            const int on = 1;
            ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        });
        errno = 0;
        bool bound = false;
        if (m_port == 0) {
            const int chosen = listener->bind_to_any_port(addresses[i]);
            bound = chosen > 0;
            if (bound) {
                m_port = static_cast<std::uint16_t>(chosen);
            }
        } else {
            bound = listener->bind_to_port(addresses[i], m_port);
        }
        const int error = errno;
        if (bound) {
            m_listeners.push_back(std::move(listener));
            continue;
        }
        const std::string where = addresses[i] + " port " + std::to_string(m_port);
        if (i > 0 && !m_listeners.empty() && missingFamily(error)) {
            std::fprintf(stderr, "tovelin-host: skipping %s: %s\n", where.c_str(),
                         std::generic_category().message(error).c_str());
            continue;
        }
        throw Failure("cannot listen on " + where +
                      (error != 0 ? ": " + std::generic_category().message(error) : ""));
    }
    if (m_listeners.empty()) {
        throw Failure("no address to listen on");
    }
}

void HostServer::start()
{
    for (const auto& listener : m_listeners) {
        listener->markRan();
        m_threads.emplace_back([server = listener.get()] { server->run(); });
    }
    // stop() only reaches a server that already runs its accept loop.
    const auto deadline = std::chrono::steady_clock::now() + kStartWait;
    for (const auto& listener : m_listeners) {
        while (!listener->is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!listener->is_running()) {
            stop();
            throw Failure("the server on " + listener->address() + " did not start");
        }
    }
}

void HostServer::stop()
{
    for (const auto& listener : m_listeners) {
        listener->stop();
    }
    for (auto& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    m_threads.clear();
}

std::vector<std::string> HostServer::urls() const
{
    std::vector<std::string> urls;
    for (const auto& listener : m_listeners) {
        const std::string& address = listener->address();
        const bool v6 = address.find(':') != std::string::npos;
        urls.push_back("http://" + (v6 ? "[" + address + "]" : address) + ":" +
                       std::to_string(m_port) + "/");
    }
    return urls;
}

} // namespace tovelin

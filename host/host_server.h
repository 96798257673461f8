#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tovelin {

class UploadStore;

// The host's listening side: one httplib server per address, all on the same port, each
// accepting on its own thread, all serving one store.
class HostServer
{
public:
    explicit HostServer(UploadStore& store);
    ~HostServer();
    HostServer(const HostServer&) = delete;
    HostServer& operator=(const HostServer&) = delete;

    // Binds every numeric address on the port; port 0 takes a free one, the same for all.
    // An address after the first that the system lacks (an IPv6 loopback on a host without
    // IPv6) is skipped with a warning; any other failure throws Failure.
    void bind(const std::vector<std::string>& addresses, std::uint16_t port);
    // Starts accepting; returns once every server listens.
    void start();
    // Stops accepting, lets the requests under way finish, and joins the threads.
    void stop();

    std::uint16_t port() const { return m_port; }
    // "http://127.0.0.1:8080/", "http://[::1]:8080/", one per bound address.
    std::vector<std::string> urls() const;

private:
    class Listener;

    UploadStore& m_store;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::vector<std::thread> m_threads;
    std::uint16_t m_port = 0;
};

} // namespace tovelin

#pragma once

#include "host/host_server.h"
#include "host/upload_store.h"

#include <filesystem>
#include <httplib.h>
#include <memory>

namespace tovelin::test {

// The host's server in this process on 127.0.0.1 and a free port, over a data folder the
// test owns; stopped when this object goes.
class RunningHost
{
public:
    explicit RunningHost(const std::filesystem::path& dataDir) : m_store(dataDir), m_server(m_store)
    {
        m_server.bind({"127.0.0.1"}, 0);
        m_server.start();
    }

    std::uint16_t port() const { return m_server.port(); }
    UploadStore& store() { return m_store; }

    // An httplib client for this host with bounded waits.
    std::unique_ptr<httplib::Client> client() const
    {
        auto client = std::make_unique<httplib::Client>("127.0.0.1", port());
        client->set_connection_timeout(5);
        client->set_read_timeout(10);
        client->set_write_timeout(10);
        return client;
    }

private:
    UploadStore m_store;
    HostServer m_server;
};

} // namespace tovelin::test

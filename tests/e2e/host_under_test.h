#pragma once

#include "tests/host/host_process.h"
#include "tests/support/temp_dir.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tovelin::test {

// The real tovelin-host binary on 127.0.0.1 and a free port, keeping its files in a folder
// of its own; stopped when this object goes.
class HostUnderTest
{
public:
    HostUnderTest();

    std::uint16_t port() const { return m_port; }
    // Where the programs post: "http://127.0.0.1:PORT/upload/".
    std::string uploadUrl() const;
    // What every download link starts with: "http://127.0.0.1:PORT/".
    std::string linkPrefix() const;
    std::string output() const { return m_process->output(); }

private:
    TempDir m_data;
    std::unique_ptr<HostProcess> m_process;
    std::uint16_t m_port = 0;
};

// What a GET of a download link gave, the body compared with a file as it streamed in.
struct Download
{
    int status = -1;
    std::string disposition; // the Content-Disposition value as sent
    std::string contentType;
    std::uint64_t length = 0; // body bytes received
    bool sameAsFile = false;  // every byte equal to the file's and as many
};

// GETs `link` (which must start with the host's link prefix) and compares what comes back
// with the file at `path`, without holding either whole in memory.
Download fetch(const HostUnderTest& host, const std::string& link,
               const std::filesystem::path& path);

// A file of `size` reproducible pseudo-random bytes; returns its path.
std::filesystem::path writeRandomFile(const std::filesystem::path& path, std::uint64_t size,
                                      unsigned seed);

} // namespace tovelin::test

#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tovelin::test {

// The tovelin-host binary run as a child of the test, its standard output and error going
// to a file (a pipe nobody drains could stall a host that logs every request). Killed and
// reaped when this object goes, whatever state it is in.
class HostProcess
{
public:
    // Starts the binary with the arguments; `environment` entries ("NAME=value") are added to
    // the test's own environment, and names listed in `unset` are removed from it.
    HostProcess(const std::vector<std::string>& args,
                const std::vector<std::string>& environment = {},
                const std::vector<std::string>& unset = {});
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Waits until the host has said where it listens and where its files are.
    // False when it exits or stays silent longer than the wait.
    bool waitUntilListening(std::chrono::milliseconds wait = std::chrono::seconds(10));
    // The "http://ADDR:PORT/" addresses the host printed.
    const std::vector<std::string>& urls() const { return m_urls; }
    // Everything the host has written so far.
    std::string output() const;

    // Sends SIGTERM and waits (bounded) for the exit; the exit status, or -1 when the host
    // had to be killed or died from a signal.
    int terminate(std::chrono::milliseconds wait = std::chrono::seconds(10));
    // Waits (bounded) for an exit without asking for one.
    int waitForExit(std::chrono::milliseconds wait = std::chrono::seconds(10));

private:
    bool exited(int& status);

    pid_t m_pid = -1;
    std::string m_outputPath;
    std::vector<std::string> m_urls;
};

// The port of "http://ADDR:PORT/".
int portOf(const std::string& url);
// The ADDR of "http://ADDR:PORT/", without IPv6 brackets.
std::string addressOf(const std::string& url);

} // namespace tovelin::test

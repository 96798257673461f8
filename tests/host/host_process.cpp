#include "tests/host/host_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tovelin::test {

HostProcess::HostProcess(const std::vector<std::string>& args,
                         const std::vector<std::string>& environment,
                         const std::vector<std::string>& unset)
{
    std::vector<std::string> argvText{TOVELIN_HOST_BINARY};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<std::string> envText;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool drop = false;
        for (const std::string& gone : unset) {
            drop = drop || name == gone;
        }
        for (const std::string& added : environment) {
            drop = drop || name == added.substr(0, added.find('='));
        }
        if (!drop) {
            envText.push_back(text);
        }
    }
    envText.insert(envText.end(), environment.begin(), environment.end());

    std::vector<char*> argv;
    for (std::string& s : argvText) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& s : envText) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    m_out = pipeEnds[0];
    if (m_pid < 0) {
        throw std::runtime_error("fork failed");
    }
}

HostProcess::~HostProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) {
        ::close(m_out);
    }
}

void HostProcess::readAvailable(std::chrono::milliseconds wait)
{
    pollfd entry{m_out, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(wait.count())) <= 0) {
        return;
    }
    char buffer[4096];
    const ssize_t got = ::read(m_out, buffer, sizeof buffer);
    if (got > 0) {
        m_output.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
        ::close(m_out);
        m_out = -1;
    }
}

bool HostProcess::waitUntilListening(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (m_output.find("files in ") == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_out < 0) {
            return false;
        }
        readAvailable(left);
    }
    const std::string marker = "listening on ";
    for (std::size_t at = m_output.find(marker); at != std::string::npos;
         at = m_output.find(marker, at + 1)) {
        const std::size_t start = at + marker.size();
        m_urls.push_back(m_output.substr(start, m_output.find('\n', start) - start));
    }
    return !m_urls.empty();
}

int HostProcess::waitForExit(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_out >= 0) {
            readAvailable(std::chrono::milliseconds(20));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            for (int round = 0; round < 50 && m_out >= 0; ++round) {
                readAvailable(std::chrono::milliseconds(100));
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }
    return -1;
}

int HostProcess::terminate(std::chrono::milliseconds wait)
{
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, SIGTERM);
    return waitForExit(wait);
}

int portOf(const std::string& url)
{
    const std::size_t colon = url.rfind(':');
    return std::atoi(url.c_str() + colon + 1);
}

std::string addressOf(const std::string& url)
{
    std::string rest = url.substr(std::strlen("http://"));
    rest = rest.substr(0, rest.rfind(':'));
    if (rest.starts_with('[')) {
        rest = rest.substr(1, rest.size() - 2);
    }
    return rest;
}

} // namespace tovelin::test

#include "tests/host/host_process.h"

#include "upload/file_handle.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tovelin::test {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(10);

// The exit status, or -1 for a death by signal.
int exitCodeOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

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

    m_outputPath = (std::filesystem::temp_directory_path() / "tovelin-host-out-XXXXXX").string();
    const FileHandle out(::mkstemp(m_outputPath.data()));
    if (!out.valid()) {
        throw std::runtime_error("mkstemp failed");
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out.get(), STDOUT_FILENO);
        ::dup2(out.get(), STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
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
    std::error_code ignored;
    std::filesystem::remove(m_outputPath, ignored);
}

std::string HostProcess::output() const
{
    std::ifstream in(m_outputPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool HostProcess::exited(int& status)
{
    if (m_pid <= 0) {
        return true;
    }
    int raw = 0;
    if (::waitpid(m_pid, &raw, WNOHANG) != m_pid) {
        return false;
    }
    m_pid = -1;
    status = exitCodeOf(raw);
    return true;
}

bool HostProcess::waitUntilListening(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::string text = output();
    while (text.find("files in ") == std::string::npos) {
        int status = 0;
        if (exited(status) || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPoll);
        text = output();
    }
    const std::string marker = "listening on ";
    m_urls.clear();
    for (std::size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + 1)) {
        const std::size_t start = at + marker.size();
        m_urls.push_back(text.substr(start, text.find('\n', start) - start));
    }
    return !m_urls.empty();
}

int HostProcess::waitForExit(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    int status = -1;
    while (!exited(status)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return status;
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

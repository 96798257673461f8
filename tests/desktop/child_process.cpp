#include "tests/desktop/child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace tovelin::test {

namespace {

using Clock = std::chrono::steady_clock;

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::vector<std::pair<int, int>>& fdMap)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& [from, to] : fdMap)
        posix_spawn_file_actions_adddup2(&actions, from, to);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);

    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, &attr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int decodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

std::vector<std::string> environmentWith(const std::vector<std::string>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    for (const auto& change : changes) {
        const auto eq = change.find('=');
        const std::string name = change.substr(0, eq) + "=";
        std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
        if (eq != std::string::npos)
            env.push_back(change);
    }
    return env;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env,
                           const std::vector<std::pair<int, int>>& fdMap)
    : m_pid(spawn(argv, env, fdMap))
{
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_exit(std::exchange(other.m_exit, std::nullopt))
{
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        terminate();
        m_pid = std::exchange(other.m_pid, -1);
        m_exit = std::exchange(other.m_exit, std::nullopt);
    }
    return *this;
}

ChildProcess::~ChildProcess()
{
    terminate();
}

bool ChildProcess::running()
{
    return !waitForExit(std::chrono::milliseconds(0)).has_value() && m_pid > 0;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (m_exit || m_pid <= 0)
        return m_exit;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno == ECHILD)) {
            m_exit = r == m_pid ? decodeStatus(status) : -1;
            // Whatever the program left in its group goes with it.
            kill(-m_pid, SIGKILL);
            return m_exit;
        }
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcess::terminate(std::chrono::milliseconds grace)
{
    if (m_pid <= 0 || m_exit)
        return;
    kill(-m_pid, SIGTERM);
    if (!waitForExit(grace)) {
        kill(-m_pid, SIGKILL);
        waitForExit(std::chrono::milliseconds(5000));
    }
}

CommandResult runCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         std::chrono::milliseconds timeout)
{
    CommandResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return result;
    ChildProcess child(argv, env, {{fds[1], STDOUT_FILENO}});
    close(fds[1]);
    if (!child.started()) {
        close(fds[0]);
        return result;
    }
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.out.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    const auto left =
        std::max(std::chrono::milliseconds(0),
                 std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    if (auto code = child.waitForExit(left))
        result.exitCode = *code;
    return result;
}

} // namespace tovelin::test

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tovelin::test {

// The environment of this process with some variables set or removed ("NAME=value"
// sets, a bare "NAME" removes).
std::vector<std::string> environmentWith(const std::vector<std::string>& changes);

// A program started in its own process group; the group is killed when the object goes.
class ChildProcess
{
public:
    ChildProcess() = default;
    // `fdMap` pairs (parent fd, child fd) are duplicated into the child.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::vector<std::pair<int, int>>& fdMap = {});
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return m_pid; }
    bool started() const { return m_pid > 0; }
    bool running();
    // Exit code, or 128 + signal number; nothing when it is still running at the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    // SIGTERM to the group, then SIGKILL after `grace`.
    void terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

private:
    pid_t m_pid = -1;
    std::optional<int> m_exit;
};

struct CommandResult
{
    int exitCode = -1; // -1 when it timed out or could not start
    std::string out;
};

// Runs a command to its end (killed at the deadline) and collects its standard output.
CommandResult runCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

} // namespace tovelin::test

#include "tests/exchange/scripted_server.h"
#include "tests/exchange/test_files.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tovelin {
namespace {

using namespace std::chrono_literals;
using test::ScriptedServer;
using test::Step;

struct CommandRun
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Runs tovelin-upload with the arguments, its output caught in files; bounded in time.
CommandRun runUploader(const test::TempDir& folder, const std::vector<std::string>& arguments)
{
    const std::string outPath = (folder.path() / "stdout").string();
    const std::string errPath = (folder.path() / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> all = {TOVELIN_UPLOAD_BINARY};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    CommandRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return run;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "tovelin-upload did not end";
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

std::string reply(const std::string& statusLine, const std::string& headers = "")
{
    return statusLine + "\r\n" + headers + "Content-Length: 0\r\n\r\n";
}

class UploadCommand : public testing::Test
{
protected:
    test::TempDir m_folder;
};

TEST_F(UploadCommand, PrintsTheLinkOnly)
{
    ScriptedServer server(
        {{Step::readRequest(), Step::send(reply("HTTP/1.1 302 Found", "Location: /upload/x1\r\n")),
          Step::close()}});
    const CommandRun run =
        runUploader(m_folder, {"--url", server.url(), m_folder.write("a.txt", "abc")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "http://127.0.0.1:" + std::to_string(server.port()) + "/x1\n");
    // Not a terminal: no progress bar either.
    EXPECT_EQ(run.err, "");
}

TEST_F(UploadCommand, OutcomesAndExitStatuses)
{
    const struct
    {
        const char* name;
        std::string reply;
        std::string fileBytes;
        bool fileExists;
        int status;
        std::string err;
        bool sends;
    } cases[] = {
        {"http_error", reply("HTTP/1.1 404 Not Found"), "abc", true, 1, "HTTP/1.1 404 Not Found\n",
         true},
        {"redirect_without_location", reply("HTTP/1.1 302 Found"), "abc", true, 1,
         "HTTP/1.1 302 Found\n", true},
        {"success_without_link", reply("HTTP/1.1 200 OK"), "abc", true, 3, "", true},
        {"empty_file", reply("HTTP/1.1 302 Found", "Location: /upload/no\r\n"), "", true, 2,
         "Недопустимый размер файла\n", false},
        {"missing_file", reply("HTTP/1.1 302 Found", "Location: /upload/no\r\n"), "", false, 2,
         "Cannot open file \"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({{Step::readRequest(), Step::send(c.reply), Step::close()}});
        const std::string path = c.fileExists ? m_folder.write("f.bin", c.fileBytes)
                                              : (m_folder.path() / "missing.bin").string();
        const CommandRun run = runUploader(m_folder, {"--url=" + server.url(), path});
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        if (c.status == 3) {
            EXPECT_NE(run.err.find("without giving a link"), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
        }
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(server.accepted(), c.sends ? 1u : 0u);
    }
}

TEST_F(UploadCommand, FilesGoInOrderWithCookiesCarriedAndTheFirstMissStatus)
{
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send(
              reply("HTTP/1.1 302 Found", "Set-Cookie: s=42; path=/\r\nLocation: /upload/one\r\n")),
          Step::close()},
         {Step::readRequest(), Step::send(reply("HTTP/1.1 500 Broken")), Step::close()},
         {Step::readRequest(),
          Step::send(reply("HTTP/1.1 302 Found", "Location: /upload/three\r\n")), Step::close()}});
    const CommandRun run =
        runUploader(m_folder, {"--url", server.url(), m_folder.write("1.txt", "one"),
                               m_folder.write("empty.txt", ""), m_folder.write("2.txt", "two"),
                               m_folder.write("3.txt", "three")});
    const std::string prefix = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, prefix + "one\n" + prefix + "three\n");
    EXPECT_EQ(run.err, "Недопустимый размер файла\nHTTP/1.1 500 Broken\n");
    ASSERT_TRUE(server.waitFinished(3));
    const auto records = server.records();
    EXPECT_EQ(test::headLines(records[1].received).back(), "Cookie: s=42");
    EXPECT_NE(test::bodyOf(records[2].received).find("three"), std::string::npos);
}

TEST_F(UploadCommand, CommandLineMistakes)
{
    const struct
    {
        std::vector<std::string> arguments;
        std::string err;
    } cases[] = {
        {{"--bogus", "a"}, "tovelin-upload: unknown option --bogus\n"},
        {{}, "tovelin-upload: no file given\n"},
        {{"--url"}, "tovelin-upload: option --url needs a URL\n"},
        {{"--url", "https://h/upload/", "a"},
         "tovelin-upload: not an http URL with a host: https://h/upload/\n"},
    };
    for (const auto& c : cases) {
        const CommandRun run = runUploader(m_folder, c.arguments);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err + "Try 'tovelin-upload --help' for more information.\n");
    }
}

TEST_F(UploadCommand, Help)
{
    const CommandRun run = runUploader(m_folder, {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("Usage: tovelin-upload [--url URL] FILE...\n", 0), 0u);
    EXPECT_NE(run.out.find("default " TOVELIN_DEFAULT_URL), std::string::npos);
    EXPECT_EQ(run.err, "");
}

TEST_F(UploadCommand, FileNamedLikeAnOptionAfterTheEnd)
{
    ScriptedServer server(
        {{Step::readRequest(),
          Step::send(reply("HTTP/1.1 302 Found", "Location: /upload/dash\r\n")), Step::close()}});
    m_folder.write("-odd", "x");
    const std::string cwdBefore = std::filesystem::current_path();
    std::filesystem::current_path(m_folder.path());
    const CommandRun run = runUploader(m_folder, {"--url", server.url(), "--", "-odd"});
    std::filesystem::current_path(cwdBefore);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "http://127.0.0.1:" + std::to_string(server.port()) + "/dash\n");
}

} // namespace
} // namespace tovelin

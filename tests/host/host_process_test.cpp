#include "host/listen_addresses.h"
#include "tests/host/host_process.h"
#include "tests/host/raw_http.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <httplib.h>
#include <string>

namespace tovelin {
namespace {

using test::HostProcess;
using test::TempDir;

std::unique_ptr<httplib::Client> clientFor(const std::string& url)
{
    const std::string address = test::addressOf(url);
    auto client = std::make_unique<httplib::Client>(address, test::portOf(url));
    client->set_connection_timeout(5);
    client->set_read_timeout(10);
    return client;
}

TEST(HostProcess, HelpPrintsUsageAndExits)
{
    HostProcess host({"--help"});
    EXPECT_EQ(host.waitForExit(), 0);
    EXPECT_NE(host.output().find("Usage: tovelin-host"), std::string::npos) << host.output();
}

TEST(HostProcess, BadArgumentsExitWithUsageError)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus"}, {"--listen", "nowhere"}}) {
        HostProcess host(args);
        EXPECT_EQ(host.waitForExit(), 2) << args[0];
        EXPECT_NE(host.output().find("tovelin-host: "), std::string::npos) << host.output();
    }
}

TEST(HostProcess, UnusableDataFolderFails)
{
    TempDir dir;
    const std::string file = dir.write("not-a-folder", "x");
    HostProcess host({"--listen", "127.0.0.1:0", "--data", file});
    EXPECT_EQ(host.waitForExit(), 1);
    EXPECT_NE(host.output().find("data folder"), std::string::npos) << host.output();
}

TEST(HostProcess, BusyPortFails)
{
    TempDir dir;
    HostProcess first({"--listen", "127.0.0.1:0", "--data", dir.path().string()});
    ASSERT_TRUE(first.waitUntilListening()) << first.output();
    const std::string busy = "127.0.0.1:" + std::to_string(test::portOf(first.urls().front()));
    HostProcess second({"--listen", busy, "--data", dir.path().string()});
    EXPECT_EQ(second.waitForExit(), 1);
    EXPECT_NE(second.output().find("cannot listen"), std::string::npos) << second.output();
}

TEST(HostProcess, ServesStopsOnSigtermAndKeepsFilesForTheNextRun)
{
    TempDir dir;
    const std::string data = (dir.path() / "files").string();
    std::string location;
    {
        HostProcess host({"--listen", "127.0.0.1:0", "--data", data});
        ASSERT_TRUE(host.waitUntilListening()) << host.output();
        ASSERT_EQ(host.urls().size(), 1u);
        const test::RawReply reply =
            test::exchange(static_cast<std::uint16_t>(test::portOf(host.urls().front())),
                           test::programUpload("C:\\\xCE\xF2\xF7\xB8\xF2.txt", "survives"));
        ASSERT_EQ(reply.status, 302);
        location = reply.header("location");
        EXPECT_EQ(host.terminate(), 0) << host.output();
    }
    HostProcess again({"--listen", "127.0.0.1:0", "--data", data});
    ASSERT_TRUE(again.waitUntilListening()) << again.output();
    const test::RawReply download = test::exchange(
        static_cast<std::uint16_t>(test::portOf(again.urls().front())),
        "GET /" + location.substr(std::string("/upload/").size()) + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(download.body, "survives");
    EXPECT_EQ(download.header("content-disposition"),
              "attachment; filename=\"_____.txt\"; "
              "filename*=UTF-8''%D0%9E%D1%82%D1%87%D1%91%D1%82.txt");
}

TEST(HostProcess, LocalhostListensOnEveryLoopbackAddress)
{
    TempDir dir;
    HostProcess host({"--listen", "localhost:0", "--data", dir.path().string()});
    ASSERT_TRUE(host.waitUntilListening()) << host.output();
    const std::vector<std::string> expected = resolveListenAddresses("localhost");
    ASSERT_EQ(host.urls().size(), expected.size()) << host.output();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(test::addressOf(host.urls()[i]), expected[i]);
        auto client = clientFor(host.urls()[i]);
        const auto page = client->Get("/");
        ASSERT_TRUE(page) << host.urls()[i];
        EXPECT_EQ(page->status, 200);
    }
}

TEST(HostProcess, DataFolderDefaultsUnderXdgDataHome)
{
    TempDir dir;
    HostProcess host({"--listen", "127.0.0.1:0"}, {"XDG_DATA_HOME=" + dir.path().string()});
    ASSERT_TRUE(host.waitUntilListening()) << host.output();
    const test::RawReply reply =
        test::exchange(static_cast<std::uint16_t>(test::portOf(host.urls().front())),
                       test::programUpload("/x.txt", "x"));
    ASSERT_EQ(reply.status, 302);
    const std::string id = reply.header("location").substr(std::string("/upload/").size());
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "tovelin-host" / id));
}

TEST(HostProcess, DataFolderFallsBackToHome)
{
    TempDir dir;
    HostProcess host({"--listen", "127.0.0.1:0"}, {"HOME=" + dir.path().string()},
                     {"XDG_DATA_HOME"});
    ASSERT_TRUE(host.waitUntilListening()) << host.output();
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / ".local" / "share" / "tovelin-host"));
}

} // namespace
} // namespace tovelin

#include "host/host_options.h"
#include "upload/failure.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace tovelin {
namespace {

HostOptions parse(std::vector<std::string_view> args)
{
    return parseHostOptions(args);
}

TEST(HostOptions, DefaultsToLocalhost8080)
{
    const HostOptions options = parse({});
    EXPECT_EQ(options.listenHost, "localhost");
    EXPECT_EQ(options.listenPort, 8080);
    EXPECT_TRUE(options.dataDir.empty());
    EXPECT_FALSE(options.showHelp);
}

struct ListenCase
{
    std::vector<std::string_view> args;
    std::string host;
    int port;
};

TEST(HostOptions, ReadsEveryListenForm)
{
    const ListenCase cases[] = {
        {{"--listen", "127.0.0.1:9000"}, "127.0.0.1", 9000},
        {{"--listen=0.0.0.0:80"}, "0.0.0.0", 80},
        {{"--listen", "[::1]:0"}, "::1", 0},
        {{"--listen", "example.org:65535"}, "example.org", 65535},
        {{"--listen", "a:1", "--listen", "b:2"}, "b", 2},
    };
    for (const ListenCase& c : cases) {
        const HostOptions options = parse(c.args);
        EXPECT_EQ(options.listenHost, c.host) << c.args.back();
        EXPECT_EQ(options.listenPort, c.port) << c.args.back();
    }
}

TEST(HostOptions, ReadsDataAndHelp)
{
    EXPECT_EQ(parse({"--data", "/srv/files"}).dataDir, "/srv/files");
    EXPECT_EQ(parse({"--data=rel/dir"}).dataDir, "rel/dir");
    EXPECT_TRUE(parse({"--help"}).showHelp);
    EXPECT_TRUE(parse({"-h"}).showHelp);
}

TEST(HostOptions, RefusesBadArguments)
{
    const std::vector<std::vector<std::string_view>> bad = {
        {"--listen"},
        {"--listen", "8080"},
        {"--listen", "localhost:"},
        {"--listen", ":8080"},
        {"--listen", "localhost:65536"},
        {"--listen", "localhost:-1"},
        {"--listen", "localhost:80x"},
        {"--listen", "::1:8080"},
        {"--listen", "[::1]8080"},
        {"--listen", "[::1"},
        {"--data"},
        {"--data="},
        {"--port", "80"},
        {"--listening=a:1"},
        {"extra"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(parse(args), Failure) << args[0] << (args.size() > 1 ? args[1] : "");
    }
}

TEST(HostOptions, FailureSaysWhatIsWrong)
{
    try {
        parse({"--bogus"});
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_NE(std::string(failure.what()).find("--bogus"), std::string::npos);
    }
}

TEST(DefaultDataDir, FollowsTheBaseDirectoryRules)
{
    EXPECT_EQ(defaultDataDir("/xdg", "/home/a"), "/xdg/tovelin-host");
    EXPECT_EQ(defaultDataDir(nullptr, "/home/a"), "/home/a/.local/share/tovelin-host");
    EXPECT_EQ(defaultDataDir("", "/home/a"), "/home/a/.local/share/tovelin-host");
    EXPECT_EQ(defaultDataDir("relative", "/home/a"), "/home/a/.local/share/tovelin-host");
    EXPECT_THROW(defaultDataDir(nullptr, nullptr), Failure);
    EXPECT_THROW(defaultDataDir("relative", ""), Failure);
}

} // namespace
} // namespace tovelin

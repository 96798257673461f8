#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tovelin {

// What the command line asks of the host.
struct HostOptions
{
    std::string listenHost = "localhost"; // a name or a numeric address, without brackets
    std::uint16_t listenPort = 8080;      // 0 picks a free port
    std::filesystem::path dataDir;        // empty: defaultDataDir()
    bool showHelp = false;
};

// Reads the arguments after the program name. Throws Failure, whose message says what is
// wrong, for an unknown option, a missing value or a malformed address.
HostOptions parseHostOptions(std::span<const std::string_view> args);

// "ADDR:PORT", "[IPv6]:PORT". Throws Failure when it is not one of those.
void parseListenAddress(std::string_view text, std::string& host, std::uint16_t& port);

// $XDG_DATA_HOME/tovelin-host, else ~/.local/share/tovelin-host. The arguments are the
// environment's values, null when unset. Throws Failure when neither gives an absolute path.
std::filesystem::path defaultDataDir(const char* xdgDataHome, const char* home);

// The text --help prints.
std::string hostUsage();

} // namespace tovelin

#include "host/host_options.h"

#include "upload/failure.h"

#include <charconv>

namespace tovelin {
namespace {

// "--name VALUE" or "--name=VALUE"; advances i past what it took.
bool takeValue(std::span<const std::string_view> args, std::size_t& i, std::string_view name,
               std::string& value)
{
    const std::string_view arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            throw Failure(std::string(name) + " needs a value");
        }
        value = args[++i];
        return true;
    }
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

} // namespace

void parseListenAddress(std::string_view text, std::string& host, std::uint16_t& port)
{
    const auto bad = [&]() {
        return Failure("--listen wants ADDR:PORT or [IPv6]:PORT, not \"" + std::string(text) +
                       "\"");
    };
    std::string_view hostPart;
    std::string_view portPart;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            throw bad();
        }
        hostPart = text.substr(1, close - 1);
        portPart = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            throw bad();
        }
        hostPart = text.substr(0, colon);
        portPart = text.substr(colon + 1);
        if (hostPart.find(':') != std::string_view::npos) {
            throw bad(); // an IPv6 address needs its brackets
        }
    }
    unsigned value = 0;
    const char* last = portPart.data() + portPart.size();
    const auto [end, error] = std::from_chars(portPart.data(), last, value);
    if (hostPart.empty() || portPart.empty() || error != std::errc() || end != last ||
        value > 65535) {
        throw bad();
    }
    host = hostPart;
    port = static_cast<std::uint16_t>(value);
}

HostOptions parseHostOptions(std::span<const std::string_view> args)
{
    HostOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (args[i] == "--help" || args[i] == "-h") {
            options.showHelp = true;
        } else if (takeValue(args, i, "--listen", value)) {
            parseListenAddress(value, options.listenHost, options.listenPort);
        } else if (takeValue(args, i, "--data", value)) {
            if (value.empty()) {
                throw Failure("--data needs a folder");
            }
            options.dataDir = value;
        } else {
            throw Failure("unknown argument \"" + std::string(args[i]) +
                          "\"; see tovelin-host --help");
        }
    }
    return options;
}

std::filesystem::path defaultDataDir(const char* xdgDataHome, const char* home)
{
    // XDG base directory rules: a relative XDG_DATA_HOME is invalid and ignored.
    if (xdgDataHome != nullptr && std::filesystem::path(xdgDataHome).is_absolute()) {
        return std::filesystem::path(xdgDataHome) / "tovelin-host";
    }
    if (home != nullptr && std::filesystem::path(home).is_absolute()) {
        return std::filesystem::path(home) / ".local" / "share" / "tovelin-host";
    }
    throw Failure("no data folder: set HOME or XDG_DATA_HOME, or pass --data DIR");
}

std::string hostUsage()
{
    return "Usage: tovelin-host [--listen ADDR:PORT] [--data DIR]\n"
           "\n"
           "A small file host for Tovelin. POST /upload/ takes a multipart/form-data body\n"
           "with a \"file\" part of up to 51200 KB and answers 302 with the location\n"
           "/upload/ID; GET /ID returns the file under its original name.\n"
           "\n"
           "  --listen ADDR:PORT  where to accept connections (default localhost:8080,\n"
           "                      every address \"localhost\" has; [::1]:PORT for IPv6;\n"
           "                      port 0 picks a free one)\n"
           "  --data DIR          where uploads are kept (default\n"
           "                      $XDG_DATA_HOME/tovelin-host or ~/.local/share/tovelin-host)\n"
           "  --help              show this text\n"
           "\n"
           "Stops on SIGINT or SIGTERM; uploads stay in DIR across restarts.\n";
}

} // namespace tovelin

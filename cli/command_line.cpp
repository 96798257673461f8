#include "cli/command_line.h"

#include "upload/endpoint.h"

namespace tovelin {

CommandLine parseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& defaultUrl)
{
    CommandLine line;
    line.url = defaultUrl;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument.front() != '-' || argument == "-") {
            line.files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--url") {
            if (i + 1 == arguments.size()) {
                line.error = "option --url needs a URL";
                return line;
            }
            line.url = arguments[++i];
        } else if (argument.starts_with("--url=")) {
            line.url = argument.substr(6);
        } else {
            line.error = "unknown option " + argument;
            return line;
        }
    }
    if (line.help) {
        return line;
    }
    if (!Endpoint::parse(line.url)) {
        line.error = "not an http URL with a host: " + line.url;
    } else if (line.files.empty()) {
        line.error = "no file given";
    }
    return line;
}

std::string usageText(const std::string& defaultUrl)
{
    return "Usage: tovelin-upload [--url URL] FILE...\n"
           "Uploads each FILE in turn and prints its download link, one line per file.\n"
           "\n"
           "  --url URL   the upload address (default " +
           defaultUrl +
           ")\n"
           "  -h, --help  show this text\n"
           "\n"
           "Failures go to standard error. Exit status: 0 every file got a link; otherwise\n"
           "that of the first file without one: 1 the upload failed, 2 the file was refused\n"
           "before sending (size or open failure), 3 the host took it without a link.\n"
           "64 for a usage error, 130 when interrupted.\n";
}

} // namespace tovelin

#pragma once

#include <string>
#include <vector>

namespace tovelin {

// What `tovelin-upload [--url URL] FILE...` was asked to do.
struct CommandLine
{
    std::string url;
    std::vector<std::string> files;
    bool help = false;
    std::string error; // a usage error, empty when the line is sound
};

CommandLine parseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& defaultUrl);

std::string usageText(const std::string& defaultUrl);

} // namespace tovelin

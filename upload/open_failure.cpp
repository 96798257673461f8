#include "upload/open_failure.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace tovelin {
namespace {

std::string absolutePath(const std::string& path)
{
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string systemText(int errorNumber)
{
    std::string text = std::generic_category().message(errorNumber);
    while (!text.empty() && (text.back() == ' ' || text.back() == '.' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.pop_back();
    }
    return text;
}

} // namespace

std::string openFailureMessage(const std::string& path, int errorNumber)
{
    return "Cannot open file \"" + absolutePath(path) + "\". " + systemText(errorNumber);
}

} // namespace tovelin

#pragma once

#include <string>

namespace tovelin {

// "Cannot open file "<absolute path>". <system text>", the system text stripped of
// trailing spaces, line breaks and periods.
std::string openFailureMessage(const std::string& path, int errorNumber);

} // namespace tovelin

#pragma once

#include <chrono>
#include <string>

namespace tovelin {

// Eight hyphens and 15 digits of the local time: MMDDYYhhmmss and milliseconds.
// Two bodies made in the same millisecond share a boundary; nothing random enters it.
std::string makeBoundary(std::chrono::system_clock::time_point when);

} // namespace tovelin

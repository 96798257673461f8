#include "upload/boundary.h"

#include <cstdio>
#include <ctime>

namespace tovelin {

std::string makeBoundary(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto sinceEpoch = when.time_since_epoch();
    const std::time_t seconds = duration_cast<std::chrono::seconds>(sinceEpoch).count();
    const auto millis = duration_cast<milliseconds>(sinceEpoch).count() % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d%02d%02d%02d%03d", local.tm_mon + 1,
                  local.tm_mday, local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return std::string(8, '-') + digits;
}

} // namespace tovelin

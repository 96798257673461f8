#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace tovelin {

// The moment an Expires attribute names, read leniently: a day of the month, a month's
// English name (three letters suffice), a year of two or four digits and hh:mm:ss, in
// any order, taken as GMT. Nothing when a piece is missing or out of range.
std::optional<std::chrono::system_clock::time_point> parseCookieDate(std::string_view text);

} // namespace tovelin

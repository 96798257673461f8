#pragma once

#include "upload/endpoint.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tovelin {

inline constexpr std::string_view kUserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.0.5) Gecko/2008120122 Firefox/3.0.5";
inline constexpr std::string_view kAccept = "text/html, */*";

// The request line, the header lines in their fixed order and the empty line, each
// ending in CR LF. The Cookie line comes last and only when cookieValue is not empty.
std::string buildRequestHead(const Endpoint& endpoint, std::string_view contentType,
                             std::int64_t contentLength, std::string_view cookieValue);

// A header line over 1024 characters broken after a space, tab or comma (outside double
// quotes) at or before its 1024th character; each further piece starts with one space.
// Trailing blanks of each piece are dropped. Returns the pieces joined by CR LF.
std::string foldHeaderLine(std::string_view line);

} // namespace tovelin

#pragma once

#include <cstddef>
#include <cstdint>

namespace tovelin {

// The largest request body the host takes: 51200 KB, enough for the biggest file the window
// program lets through (51199 KB) plus the form-data framing around it.
inline constexpr std::uint64_t kMaxUploadBody = 51200ULL * 1024ULL;

// Longest stored file name, in UTF-8 bytes; the common file-system limit.
inline constexpr std::size_t kMaxFileNameBytes = 255;

} // namespace tovelin

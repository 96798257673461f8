#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovelin {

// The largest file the host takes: 51199 KB, not 51200.
inline constexpr std::int64_t kMaxUploadBytes = std::int64_t{51199} * 1024;

// Opens the file read-only, takes its length and closes it again.
// Throws Failure with the open-failure message when the file cannot be opened.
std::int64_t fileByteSize(const std::string& path);

// False for an empty file and for anything above kMaxUploadBytes.
bool isAcceptedSize(std::int64_t bytes);

// The size in kilobytes as the size label shows it: plain decimal notation, up to
// 15 significant digits, no trailing zeros, then " кб". Example: 1536 -> "1,5 кб".
std::string sizeText(std::int64_t bytes, std::string_view decimalSeparator);

} // namespace tovelin

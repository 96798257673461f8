#pragma once

#include <string>
#include <string_view>

namespace tovelin {

// A fresh identifier for a stored upload: 16 URL-safe base64 characters carrying 96 bits
// from the kernel's random source, so links cannot be guessed or enumerated.
std::string newUploadId();

// True for text shaped like an identifier newUploadId() makes. Anything else never reaches
// the file system, so a request path cannot name a file outside the data folder.
bool isUploadId(std::string_view text);

} // namespace tovelin

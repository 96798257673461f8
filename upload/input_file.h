#pragma once

#include "upload/file_handle.h"

#include <cstdint>
#include <string>

namespace tovelin {

// A file opened read-only for upload, with its length taken at the moment of opening.
struct InputFile
{
    FileHandle handle;
    std::int64_t length = 0;
};

// Throws Failure with the open-failure message when the path cannot be opened for reading
// or names a folder. Never blocks on a FIFO or device.
InputFile openInputFile(const std::string& path);

} // namespace tovelin

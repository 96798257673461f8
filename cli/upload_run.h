#pragma once

#include "cli/upload_progress.h"
#include "upload/cancellation.h"

#include <ostream>
#include <string>
#include <vector>

namespace tovelin {

class HttpClient;

enum ExitStatus
{
    kExitAllLinked = 0,
    kExitUploadFailed = 1,
    kExitRefused = 2,
    kExitNoLink = 3,
    kExitUsage = 64,
    kExitInterrupted = 130,
};

// Uploads the files in order with one client, so cookies carry from one to the next.
// Links go to `out`, one line each; refusals and failures to `err` as the user would
// read them in the window. Returns the first file's status that got no link, else 0.
int uploadFiles(HttpClient& client, const std::vector<std::string>& files, std::ostream& out,
                std::ostream& err, UploadProgress* progress, const Cancellation& cancel);

} // namespace tovelin

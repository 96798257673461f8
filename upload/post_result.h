#pragma once

#include <string>

namespace tovelin {

// How one post ended. A redirect counts as a failure: its message is the status line.
struct PostResult
{
    enum class Kind
    {
        Returned,
        Failed,
        Cancelled
    };

    Kind kind = Kind::Failed;
    std::string message; // the failure's text; empty unless Failed
};

} // namespace tovelin

#pragma once

#include <string>
#include <vector>

namespace tovelin {

// The client's record of the reply to the current post; emptied when a post begins.
struct ReplyState
{
    std::string statusLine; // without its line end; empty until one arrived
    int statusCode = -1;    // -1 while there is no status line or no number in it
    std::vector<std::string> headerLines;
    std::string location; // verbatim, empty when absent
};

} // namespace tovelin

#pragma once

#include <chrono>
#include <cstddef>

namespace tovelin {

// Bounds of one exchange. The product uses the defaults; tests shrink them to run fast.
struct ExchangeLimits
{
    std::chrono::milliseconds connectTimeout{120000};
    std::chrono::milliseconds errorBodyWait{2000}; // per wait, body of a non-success reply
    std::size_t maxLineLength = 16384;
    std::size_t maxHeaderBlock = std::size_t{256} * 1024;
    std::size_t maxErrorBody = std::size_t{64} * 1024;
    std::size_t sendBlock = 32768;
    std::size_t receiveBlock = 32768;
};

} // namespace tovelin

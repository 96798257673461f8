#pragma once

#include <cstdint>

namespace tovelin {

enum class TWorkMode
{
    wmRead,
    wmWrite
};

// Transfer notifications of one post, raised synchronously on the posting thread.
// OnWorkBegin carries the expected byte count (0 when unknown), OnWork the cumulative one.
class WorkObserver
{
public:
    virtual ~WorkObserver() = default;
    virtual void OnWorkBegin(TWorkMode mode, std::int64_t countMax) = 0;
    virtual void OnWork(TWorkMode mode, std::int64_t count) = 0;
};

} // namespace tovelin

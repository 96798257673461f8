#pragma once

#include <atomic>

namespace tovelin {

// Set from any thread; the exchange checks it at least every 50 ms in each wait.
class Cancellation
{
public:
    void cancel() noexcept { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const noexcept { return m_cancelled.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
};

} // namespace tovelin

#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace auralune {

// The analysis and processing locks: one pass of a kind at a time, granted
// in the order the passes asked (a ticket lock), so jobs queued together are
// handled in queue order.
class PassLock {
public:
    void lock()
    {
        std::unique_lock guard(mutex_);
        const std::uint64_t ticket = nextTicket_++;
        turn_.wait(guard, [&] { return serving_ == ticket; });
    }
    void unlock()
    {
        {
            std::lock_guard guard(mutex_);
            ++serving_;
        }
        turn_.notify_all();
    }
    // The pass holding the lock plus those waiting for it: lets a caller
    // know that a waiter has taken its place in the line.
    std::uint64_t holdersAndWaiters() const
    {
        std::lock_guard guard(mutex_);
        return nextTicket_ - serving_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t nextTicket_ = 0;
    std::uint64_t serving_ = 0;
};

}  // namespace auralune

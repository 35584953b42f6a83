#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>

namespace auralune {

// The analysis and processing locks: one pass of a kind at a time, granted
// in the order the passes asked (a ticket lock), so jobs queued together are
// handled in queue order.
class PassLock {
public:
    // Takes the next turn for an owner on the thread that orders the passes
    // (the queue, in row order), so that the owner's lock() waits for that
    // turn however its thread is scheduled.
    void reserve(const void* owner)
    {
        std::lock_guard guard(mutex_);
        reserved_[owner] = nextTicket_++;
    }
    void lock(const void* owner = nullptr)
    {
        std::unique_lock guard(mutex_);
        std::uint64_t ticket = 0;
        if (auto it = reserved_.find(owner); owner && it != reserved_.end()) {
            ticket = it->second;
            reserved_.erase(it);
        } else {
            ticket = nextTicket_++;
        }
        turn_.wait(guard, [&] { return serving_ == ticket; });
    }
    // Gives up an owner's reserved turn (its pass never started), so that
    // the passes after it are not held up.
    void abandon(const void* owner)
    {
        {
            std::lock_guard guard(mutex_);
            auto it = reserved_.find(owner);
            if (it == reserved_.end())
                return;
            abandoned_.insert(it->second);
            reserved_.erase(it);
            skipAbandoned();
        }
        turn_.notify_all();
    }
    void unlock()
    {
        {
            std::lock_guard guard(mutex_);
            ++serving_;
            skipAbandoned();
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
    std::map<const void*, std::uint64_t> reserved_;
    std::set<std::uint64_t> abandoned_;

    void skipAbandoned()
    {
        while (abandoned_.erase(serving_) > 0)
            ++serving_;
    }
};

}  // namespace auralune

#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

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
    void unlock()
    {
        {
            std::lock_guard guard(mutex_);
            ++serving_;
        }
        turn_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t nextTicket_ = 0;
    std::uint64_t serving_ = 0;
    std::map<const void*, std::uint64_t> reserved_;
};

}  // namespace auralune

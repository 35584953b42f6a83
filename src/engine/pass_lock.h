#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>

namespace auralune {

// The analysis and processing locks: passes of a kind start in the order
// they asked (a ticket lock), so jobs queued together are handled in queue
// order. By default one pass holds the lock at a time; the processing lock
// may admit several (setLimits), each with its estimated peak memory, as
// long as their peaks fit the budget together. Only the first in line may
// start: a pass waiting for memory holds up those behind it, so none waits
// for ever. A pass whose peak alone exceeds the budget starts once nothing
// else runs, and holds the lock alone.
class PassLock {
public:
    static constexpr std::uint64_t kNoBudget = ~std::uint64_t{0};

    // At most `holders` passes at once (at least 1) whose peaks add up to at
    // most `budgetBytes`. Passes already admitted keep running.
    void setLimits(std::size_t holders, std::uint64_t budgetBytes)
    {
        {
            std::lock_guard guard(mutex_);
            maxHolders_ = holders == 0 ? 1 : holders;
            budgetBytes_ = budgetBytes;
        }
        turn_.notify_all();
    }
    // The budget of the last setLimits (kNoBudget when none).
    std::uint64_t budgetBytes()
    {
        std::lock_guard guard(mutex_);
        return budgetBytes_;
    }
    // Takes the next turn for an owner on the thread that orders the passes
    // (the queue, in row order), so that the owner's lock() waits for that
    // turn however its thread is scheduled.
    void reserve(const void* owner)
    {
        std::lock_guard guard(mutex_);
        reserved_[owner] = nextTicket_++;
    }
    // Waits for the owner's turn and for room beside the passes holding the
    // lock. Returns whether the pass's peak alone exceeds the budget (it
    // then runs alone). Give the same peak to unlock().
    bool lock(const void* owner = nullptr, std::uint64_t peakBytes = 0)
    {
        std::unique_lock guard(mutex_);
        std::uint64_t ticket = 0;
        if (auto it = reserved_.find(owner); owner && it != reserved_.end()) {
            ticket = it->second;
            reserved_.erase(it);
        } else {
            ticket = nextTicket_++;
        }
        turn_.wait(guard, [&] { return serving_ == ticket && fits(peakBytes); });
        ++serving_;
        skipAbandoned();
        ++holders_;
        usedBytes_ += peakBytes;
        const bool alone = peakBytes > budgetBytes_;
        guard.unlock();
        // The next in line may fit beside this one.
        turn_.notify_all();
        return alone;
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
    void unlock(std::uint64_t peakBytes = 0)
    {
        {
            std::lock_guard guard(mutex_);
            --holders_;
            usedBytes_ -= peakBytes;
        }
        turn_.notify_all();
    }
    // The passes holding the lock plus those waiting for it: lets a caller
    // know that a waiter has taken its place in the line.
    std::uint64_t holdersAndWaiters() const
    {
        std::lock_guard guard(mutex_);
        return holders_ + (nextTicket_ - serving_);
    }
    // The passes holding the lock now.
    std::size_t holders() const
    {
        std::lock_guard guard(mutex_);
        return holders_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t nextTicket_ = 0;
    std::uint64_t serving_ = 0;
    std::map<const void*, std::uint64_t> reserved_;
    std::set<std::uint64_t> abandoned_;
    std::size_t maxHolders_ = 1;
    std::uint64_t budgetBytes_ = kNoBudget;
    std::size_t holders_ = 0;
    std::uint64_t usedBytes_ = 0;

    bool fits(std::uint64_t peakBytes) const
    {
        if (holders_ == 0)
            return true;
        return holders_ < maxHolders_ && usedBytes_ <= budgetBytes_ && peakBytes <= budgetBytes_ - usedBytes_;
    }
    void skipAbandoned()
    {
        while (abandoned_.erase(serving_) > 0)
            ++serving_;
    }
};

// Dialogs one at a time: a pass holds this while its question is shown, so
// a second pass with a question waits for the first answer (which may be
// "Apply to the rest of this batch").
inline std::mutex& dialogTurn()
{
    static std::mutex turn;
    return turn;
}

}  // namespace auralune

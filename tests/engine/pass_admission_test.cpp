// Several processing passes at once: admitted in line order, as many as the
// limit and the memory budget allow. Each case records the order in which
// the passes were admitted; a correct lock gives that order however the
// threads are scheduled.

#include "engine/pass_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace auralune {
namespace {

struct Pass {
    char name;
    std::uint64_t peak;
};

struct AdmissionCase {
    const char* what;
    std::size_t holders;
    std::uint64_t budget;
    Pass first;                    // holds the lock before the others ask
    std::vector<Pass> waiting;     // ask in this order
    std::string admitted;          // order of admission after the first lets go
    std::string alone;             // those told they exceed the budget
};

const AdmissionCase kCases[] = {
    // The later small pass would fit at once, but may not overtake.
    {"no overtaking", 3, 100, {'A', 60}, {{'B', 60}, {'C', 10}}, "BC", ""},
    // Over the budget: runs alone, and those behind wait for it.
    {"alone over the budget", 4, 100, {'A', 10}, {{'B', 500}, {'C', 10}}, "BC", "B"},
    // The count limit without a budget.
    {"count limit", 2, PassLock::kNoBudget, {'A', 0}, {{'B', 0}, {'C', 0}, {'D', 0}}, "BCD", ""},
};

TEST(PassAdmission, PassesStartInLineOrderWithinTheLimitAndBudget)
{
    for (const AdmissionCase& c : kCases) {
        SCOPED_TRACE(c.what);
        PassLock lock;
        lock.setLimits(c.holders, c.budget);
        EXPECT_FALSE(lock.lock(nullptr, c.first.peak));

        std::mutex mutex;
        std::string admitted;
        std::string alone;
        // Each waiter, once admitted, records itself, then holds the lock
        // until the next one in line has been admitted or everything ran.
        std::atomic<bool> release{false};
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < c.waiting.size(); ++i) {
            const Pass pass = c.waiting[i];
            threads.emplace_back([&, pass] {
                const bool over = lock.lock(nullptr, pass.peak);
                {
                    std::lock_guard guard(mutex);
                    admitted += pass.name;
                    if (over)
                        alone += pass.name;
                }
                while (!release)
                    std::this_thread::yield();
                lock.unlock(pass.peak);
            });
            // Taken its ticket before the next asks.
            while (lock.holdersAndWaiters() != i + 2)
                std::this_thread::yield();
        }
        // None of the waiters is admitted beside the first when it is full.
        if (c.holders == 1 || c.first.peak + c.waiting.front().peak > c.budget) {
            std::lock_guard guard(mutex);
            EXPECT_EQ(admitted, "");
        }
        lock.unlock(c.first.peak);
        // Admission by admission: a pass over the budget holds up the rest
        // until it lets go, so release everyone once the line has moved.
        for (;;) {
            {
                std::lock_guard guard(mutex);
                if (admitted.size() == c.waiting.size() || (!alone.empty() && admitted.back() == alone.back()))
                    break;
            }
            if (lock.holders() == c.holders)
                break;
            std::this_thread::yield();
        }
        {
            std::lock_guard guard(mutex);
            // While a pass runs over the budget nobody runs beside it.
            if (!alone.empty()) {
                EXPECT_EQ(admitted.back(), alone.back());
            }
        }
        release = true;
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(admitted, c.admitted);
        EXPECT_EQ(alone, c.alone);
        EXPECT_EQ(lock.holders(), 0u);
    }
}

// Reserved turns keep row order with several holders, and an abandoned
// turn lets the next one in.
TEST(PassAdmission, ReservedTurnsAndAbandonedOnesWithSeveralHolders)
{
    PassLock lock;
    lock.setLimits(2, PassLock::kNoBudget);
    int rows[3];
    for (int& row : rows)
        lock.reserve(&row);
    lock.abandon(&rows[0]);
    EXPECT_FALSE(lock.lock(&rows[1]));
    EXPECT_FALSE(lock.lock(&rows[2]));   // beside row 1: no wait
    EXPECT_EQ(lock.holders(), 2u);
    lock.unlock();
    lock.unlock();
    EXPECT_EQ(lock.holdersAndWaiters(), 0u);
}

}  // namespace
}  // namespace auralune

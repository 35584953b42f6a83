// Several processing passes at once: admitted in line order, as many as the
// limit and the memory budget allow. Each case records which passes were
// admitted while the first held the lock and once it let go; a correct lock
// gives those sets however the threads are scheduled.

#include "engine/pass_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    std::string whileFirstHolds;   // admitted beside the first
    std::string onceFirstLeaves;   // admitted in all once it has let go
    std::string alone;             // those told they exceed the budget
};

const AdmissionCase kCases[] = {
    // The later small pass would fit beside the first, but may not overtake.
    {"no overtaking", 3, 100, {'A', 60}, {{'B', 60}, {'C', 10}}, "", "BC", ""},
    // Over the budget: runs alone, and those behind wait for it.
    {"alone over the budget", 4, 100, {'A', 10}, {{'B', 500}, {'C', 10}}, "", "B", "B"},
    // The count limit without a budget.
    {"count limit", 2, PassLock::kNoBudget, {'A', 0}, {{'B', 0}, {'C', 0}, {'D', 0}}, "B", "BC", ""},
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
        // The passes admitted so far, in name order, once there are `count`.
        const auto admittedOnce = [&](std::size_t count) {
            for (;;) {
                {
                    std::lock_guard guard(mutex);
                    if (admitted.size() >= count) {
                        std::string sorted = admitted;
                        std::sort(sorted.begin(), sorted.end());
                        return sorted;
                    }
                }
                std::this_thread::yield();
            }
        };
        // Each waiter, once admitted, records itself and holds the lock
        // until the test releases everyone.
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
            // Taken its ticket (or its place) before the next asks.
            while (lock.holdersAndWaiters() != i + 2)
                std::this_thread::yield();
        }
        EXPECT_EQ(admittedOnce(c.whileFirstHolds.size()), c.whileFirstHolds);
        lock.unlock(c.first.peak);
        EXPECT_EQ(admittedOnce(c.onceFirstLeaves.size()), c.onceFirstLeaves);
        EXPECT_EQ(lock.holders(), c.onceFirstLeaves.size());
        release = true;
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(admittedOnce(c.waiting.size()).size(), c.waiting.size());
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

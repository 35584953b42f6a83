#include "engine/sample_buffer.h"

#include "support/failing_allocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <vector>

namespace auralune {
namespace {

bool allZero(const SampleBuffer& v)
{
    return std::all_of(v.begin(), v.end(), [](double x) { return x == 0; });
}

// Which requests reuse the kept buffer: the same size or up to 1/16 less;
// anything else gets fresh memory and the kept buffer goes first, so that a
// pass never holds a stale buffer beside its working ones.
TEST(StageBufferPool, ReusesAReleasedBufferOfTheRightSizeOnly)
{
    struct Case {
        std::uint64_t released, requested;
        bool reused;
    };
    const Case cases[] = {
        {1 << 20, 1 << 20, true},
        {1 << 20, (1 << 20) - (1 << 16), true},       // 1/16 smaller
        {1 << 20, (1 << 20) - (1 << 16) - 2, false},  // a little more
        {1 << 20, (1 << 20) + 1, false},              // larger
        {1 << 20, 1 << 19, false},                    // a halved stage
        {1 << 20, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.released) + " > " + std::to_string(c.requested));
        StageBufferPool pool;
        SampleBuffer a;
        pool.acquire(a, c.released);
        ASSERT_EQ(a.size(), c.released);
        EXPECT_TRUE(allZero(a));
        std::fill(a.begin(), a.end(), 3.5);
        const double* memory = a.data();
        pool.release(a);
        EXPECT_TRUE(a.empty());
        EXPECT_EQ(a.capacity(), 0u);
        EXPECT_EQ(pool.keptSamples(), c.released);

        SampleBuffer b(7, 1.0);
        pool.acquire(b, c.requested);
        ASSERT_EQ(b.size(), c.requested);
        EXPECT_TRUE(allZero(b)) << "a reused buffer is zeroed again";
        // Fresh memory has exactly the requested room (and may happen to
        // lie where the released buffer was).
        EXPECT_EQ(b.capacity(), c.reused ? c.released : c.requested);
        if (c.reused) {
            EXPECT_EQ(b.data(), memory);
        }
        EXPECT_EQ(pool.keptSamples(), 0u) << "nothing kept beside the new buffer";
    }
}

TEST(StageBufferPool, ARefusedAllocationLeavesNothingBehind)
{
    StageBufferPool pool;
    SampleBuffer kept;
    pool.acquire(kept, 1 << 18);
    pool.release(kept);
    SampleBuffer buffer(5, 2.0);
    {
        const test::FailingAllocation failing(1 << 20, 1);
        EXPECT_THROW(pool.acquire(buffer, 1 << 20), std::bad_alloc);
        EXPECT_TRUE(failing.failed());
    }
    EXPECT_EQ(buffer.capacity(), 0u);
    EXPECT_EQ(pool.keptSamples(), 0u);
    EXPECT_THROW(pool.acquire(buffer, ~std::uint64_t{0} / 2), std::length_error);
    EXPECT_EQ(buffer.capacity(), 0u);
}

}  // namespace
}  // namespace auralune

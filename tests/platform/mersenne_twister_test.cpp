#include "platform/mersenne_twister.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace auralune {
namespace {

// The dither of a repeatable conversion depends on the exact sequence, so
// the block generator must give std::mt19937's numbers whatever the mix of
// single draws and blocks of any length (crossing the 624-word twists).
TEST(MersenneTwister32, GivesTheStandardEnginesSequenceInAnyBlocks)
{
    for (const std::uint32_t seed : {5489u, 0u, 1u, 0xdeadbeefu, 0xffffffffu}) {
        std::mt19937 reference(seed);
        MersenneTwister32 twister(seed);
        std::minstd_rand lengths(seed + 1);
        std::vector<std::uint32_t> block(5000);
        std::uint64_t drawn = 0;
        while (drawn < 3'000'000) {
            const std::size_t count = lengths() % 3 == 0 ? 1 : lengths() % block.size();
            if (count == 1) {
                ASSERT_EQ(twister(), reference()) << "seed " << seed << " draw " << drawn;
            } else {
                twister.fill(std::span(block.data(), count));
                for (std::size_t k = 0; k < count; ++k)
                    ASSERT_EQ(block[k], reference()) << "seed " << seed << " draw " << drawn + k;
            }
            drawn += count;
        }
    }
}

}  // namespace
}  // namespace auralune

#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace auralune {

// The 32-bit Mersenne Twister (MT19937), giving exactly the numbers of
// std::mt19937 for the same seed, in blocks. Dither draws one number per
// sample, some hundred million for a long side; the standard engine makes
// them one at a time and took about as long as the whole dither stage. Here
// the twist of the 624 words and the tempering run eight words at a time
// (AVX2 where the processor has it, SSE2 otherwise).
class MersenneTwister32 {
public:
    explicit MersenneTwister32(std::uint32_t seed = 5489u);

    std::uint32_t operator()()
    {
        if (next_ == kWords)
            twist();
        return temper(state_[next_++]);
    }

    // The next values.size() numbers, as operator() would give them.
    void fill(std::span<std::uint32_t> values);

    static std::uint32_t temper(std::uint32_t y)
    {
        y ^= y >> 11;
        y ^= (y << 7) & 0x9d2c5680u;
        y ^= (y << 15) & 0xefc60000u;
        return y ^ (y >> 18);
    }

private:
    static constexpr std::size_t kWords = 624;

    void twist();

    alignas(32) std::array<std::uint32_t, kWords> state_{};
    std::size_t next_ = kWords;
};

}  // namespace auralune

#include "platform/mersenne_twister.h"

#include <algorithm>
#include <cstring>

namespace auralune {

namespace {

constexpr std::size_t kN = 624;
constexpr std::size_t kM = 397;
constexpr std::uint32_t kMatrix = 0x9908b0dfu;
constexpr std::uint32_t kUpper = 0x80000000u;
constexpr std::uint32_t kLower = 0x7fffffffu;

using Lanes = std::uint32_t __attribute__((vector_size(32)));

inline std::uint32_t mixWord(std::uint32_t current, std::uint32_t following, std::uint32_t far)
{
    const std::uint32_t y = (current & kUpper) | (following & kLower);
    return far ^ (y >> 1) ^ ((y & 1u) != 0 ? kMatrix : 0u);
}

// Eight words of the new state at once, in place. `y & 1 ? matrix : 0` becomes a
// mask: 0 − (y & 1) is all ones or zero.
[[gnu::always_inline]] inline void mixLanes(std::uint32_t* current, const std::uint32_t* far)
{
    Lanes now, next, distant;
    std::memcpy(&now, current, sizeof now);
    std::memcpy(&next, current + 1, sizeof next);
    std::memcpy(&distant, far, sizeof distant);
    const Lanes y = (now & kUpper) | (next & kLower);
    const Lanes mixed = distant ^ (y >> 1) ^ ((Lanes{} - (y & 1u)) & kMatrix);
    std::memcpy(current, &mixed, sizeof mixed);
}

// Word k of the new state needs the old words k and k + 1 and word k + M
// (mod N): old below N − M, already new from there on, always at least
// N − M = 227 words back, so eight words at a time never read one of their
// own results. The body is inlined into one function per instruction set.
[[gnu::always_inline]] inline void twistWords(std::uint32_t* x)
{
    std::size_t k = 0;
    for (; k + 8 <= kN - kM; k += 8)
        mixLanes(x + k, x + k + kM);
    for (; k < kN - kM; ++k)
        x[k] = mixWord(x[k], x[k + 1], x[k + kM]);
    for (; k + 8 <= kN - 1; k += 8)
        mixLanes(x + k, x + k + kM - kN);
    for (; k < kN - 1; ++k)
        x[k] = mixWord(x[k], x[k + 1], x[k + kM - kN]);
    x[kN - 1] = mixWord(x[kN - 1], x[0], x[kM - 1]);
}

[[gnu::always_inline]] inline void temperWords(const std::uint32_t* x, std::uint32_t* out, std::size_t count)
{
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        Lanes y;
        std::memcpy(&y, x + k, sizeof y);
        y ^= y >> 11;
        y ^= (y << 7) & 0x9d2c5680u;
        y ^= (y << 15) & 0xefc60000u;
        y ^= y >> 18;
        std::memcpy(out + k, &y, sizeof y);
    }
    for (; k < count; ++k)
        out[k] = MersenneTwister32::temper(x[k]);
}

void twistSse2(std::uint32_t* x) { twistWords(x); }
[[gnu::target("avx2")]] void twistAvx2(std::uint32_t* x) { twistWords(x); }
void temperSse2(const std::uint32_t* x, std::uint32_t* out, std::size_t count) { temperWords(x, out, count); }
[[gnu::target("avx2")]] void temperAvx2(const std::uint32_t* x, std::uint32_t* out, std::size_t count)
{
    temperWords(x, out, count);
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

}  // namespace

MersenneTwister32::MersenneTwister32(std::uint32_t seed)
{
    state_[0] = seed;
    for (std::uint32_t i = 1; i < kN; ++i)
        state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + i;
}

void MersenneTwister32::twist()
{
    if (haveAvx2())
        twistAvx2(state_.data());
    else
        twistSse2(state_.data());
    next_ = 0;
}

void MersenneTwister32::fill(std::span<std::uint32_t> values)
{
    std::uint32_t* out = values.data();
    std::size_t left = values.size();
    const bool avx2 = haveAvx2();
    while (left > 0) {
        if (next_ == kWords)
            twist();
        const std::size_t count = std::min(left, kWords - next_);
        if (avx2)
            temperAvx2(state_.data() + next_, out, count);
        else
            temperSse2(state_.data() + next_, out, count);
        next_ += count;
        out += count;
        left -= count;
    }
}

}  // namespace auralune

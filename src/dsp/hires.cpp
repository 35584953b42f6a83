#include "dsp/hires.h"

#include "dsp/simd_lanes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <vector>

namespace auralune {

namespace {

// One pass of a polyphase FIR: for every group g of outputs, with
// base = g × stride + first, output frame g × phases + p is the sum over j
// of taps[p][j] × input frame base + j. Decimation is one phase at stride
// 2, interpolation two phases at stride 1.
template <std::size_t Phases>
struct FirPlan {
    std::array<const double*, Phases> taps{};
    std::size_t length = 0;
    std::ptrdiff_t first = 0;
    std::size_t stride = 1;
    bool accumulate = false;          // add to the output instead of storing (plain filtering only)
    std::ptrdiff_t soleEvenTap = -1;  // interpolation: the one non-zero tap of a half-band even phase
};


// Groups computed together in the interior: enough for eight independent
// vector sums, so that the additions of one overlap those of the others,
// and no more, so that they all stay in registers.
template <std::size_t Width, std::size_t Channels>
constexpr std::size_t kBlock = Channels >= 4 * Width ? 1 : 4 * Width / Channels;

// Interpolation (two phases, stride 1): group b reads frames b + j, so for
// each tap both phases run over Block contiguous frames. `x` points at the
// first input frame of the first group.
template <std::size_t Width, std::size_t Block, std::size_t Channels>
[[gnu::always_inline]] inline void interpolateBlock(const FirPlan<2>& plan, const double* x, double* y)
{
    using V = typename LanesOf<Width>::type;
    constexpr std::size_t kSamples = Block * Channels;
    static_assert(kSamples % Width == 0);
    constexpr std::size_t kVectors = kSamples / Width;
    V even[kVectors] = {};
    V odd[kVectors] = {};
    const double* evenTaps = plan.taps[0];
    const double* oddTaps = plan.taps[1];
    if (plan.soleEvenTap >= 0) {
        // A half-band kernel: the even phase is one tap, so the even
        // outputs are scaled input frames and only the odd phase is summed.
        const auto sole = static_cast<std::size_t>(plan.soleEvenTap);
        for (std::size_t j = 0; j < plan.length; ++j) {
            const double* frames = x + j * Channels;
            const double oddTap = oddTaps[j];
#pragma GCC unroll 8
            for (std::size_t v = 0; v < kVectors; ++v) {
                V samples;
                std::memcpy(&samples, frames + v * Width, sizeof samples);
                odd[v] += samples * oddTap;
            }
        }
        const double* centre = x + sole * Channels;
        for (std::size_t v = 0; v < kVectors; ++v) {
            V samples;
            std::memcpy(&samples, centre + v * Width, sizeof samples);
            even[v] = samples * evenTaps[sole];
        }
    } else {
    for (std::size_t j = 0; j < plan.length; ++j) {
        const double* frames = x + j * Channels;
        const double evenTap = evenTaps[j];
        const double oddTap = oddTaps[j];
#pragma GCC unroll 8
        for (std::size_t v = 0; v < kVectors; ++v) {
            V samples;
            std::memcpy(&samples, frames + v * Width, sizeof samples);
            even[v] += samples * evenTap;
            odd[v] += samples * oddTap;
        }
    }
    }
    double evenSums[kSamples];
    double oddSums[kSamples];
    std::memcpy(evenSums, even, sizeof evenSums);
    std::memcpy(oddSums, odd, sizeof oddSums);
    for (std::size_t b = 0; b < Block; ++b)
        for (std::size_t c = 0; c < Channels; ++c) {
            y[2 * b * Channels + c] = evenSums[b * Channels + c];
            y[(2 * b + 1) * Channels + c] = oddSums[b * Channels + c];
        }
}

// Plain filtering (one phase, stride 1): group b reads frames b + j, as in
// interpolation, with one sum per sample.
template <std::size_t Width, std::size_t Block, std::size_t Channels>
[[gnu::always_inline]] inline void filterBlock(const FirPlan<1>& plan, const double* x, double* y)
{
    using V = typename LanesOf<Width>::type;
    constexpr std::size_t kSamples = Block * Channels;
    static_assert(kSamples % Width == 0);
    constexpr std::size_t kVectors = kSamples / Width;
    V sums[kVectors] = {};
    const double* taps = plan.taps[0];
    for (std::size_t j = 0; j < plan.length; ++j) {
        const double* frames = x + j * Channels;
        const double tap = taps[j];
#pragma GCC unroll 8
        for (std::size_t v = 0; v < kVectors; ++v) {
            V samples;
            std::memcpy(&samples, frames + v * Width, sizeof samples);
            sums[v] += samples * tap;
        }
    }
    if (plan.accumulate) {
        double results[kSamples];
        std::memcpy(results, sums, sizeof results);
        for (std::size_t i = 0; i < kSamples; ++i)
            y[i] += results[i];
    } else {
        std::memcpy(y, sums, sizeof sums);
    }
}

// Decimation (one phase, stride 2, a kernel of even length): the taps are
// taken in pairs over pairs of frames. Group b reads the frame pairs
// b + j / 2, which are contiguous; the lanes of a pair's first frame are
// weighted by tap j, those of its second frame by tap j + 1, and each
// output adds its two halves at the end.
template <std::size_t Width, std::size_t Block, std::size_t Channels>
[[gnu::always_inline]] inline void decimateBlock(const FirPlan<1>& plan, const double* x, double* y)
{
    using V = typename LanesOf<Width>::type;
    constexpr std::size_t kPair = 2 * Channels;
    constexpr std::size_t kSamples = Block * kPair;
    static_assert(kSamples % Width == 0);
    constexpr std::size_t kVectors = kSamples / Width;
    // Distinct tap patterns along the vectors: one when a vector holds
    // whole pairs, else kPair / Width repeating.
    constexpr std::size_t kPatterns = kPair > Width ? kPair / Width : 1;
    static_assert(kPair > Width ? kPair % Width == 0 : Width % kPair == 0);
    // Lanes of a pair's first frame (1) and of its second (0), so that a
    // tap pattern is two broadcasts and a blend by multiplication.
    V first[kPatterns];
    for (std::size_t q = 0; q < kPatterns; ++q)
        for (std::size_t lane = 0; lane < Width; ++lane)
            first[q][lane] = (q * Width + lane) % kPair < Channels ? 1.0 : 0.0;
    V sums[kVectors] = {};
    const double* taps = plan.taps[0];
    for (std::size_t j = 0; j < plan.length; j += 2) {
        V pattern[kPatterns];
        for (std::size_t q = 0; q < kPatterns; ++q)
            pattern[q] = first[q] * taps[j] + (1.0 - first[q]) * taps[j + 1];
        const double* frames = x + j * Channels;
#pragma GCC unroll 8
        for (std::size_t v = 0; v < kVectors; ++v) {
            V samples;
            std::memcpy(&samples, frames + v * Width, sizeof samples);
            sums[v] += samples * pattern[v % kPatterns];
        }
    }
    double pairSums[kSamples];
    std::memcpy(pairSums, sums, sizeof pairSums);
    for (std::size_t b = 0; b < Block; ++b)
        for (std::size_t c = 0; c < Channels; ++c)
            y[b * Channels + c] = pairSums[b * kPair + c] + pairSums[b * kPair + Channels + c];
}

template <std::size_t Width, std::size_t Block, std::size_t Phases, std::size_t Channels>
[[gnu::always_inline]] inline void interiorBlock(const FirPlan<Phases>& plan, const double* x, double* y)
{
    if constexpr (Phases == 2)
        interpolateBlock<Width, Block, Channels>(plan, x, y);
    else if (plan.stride == 1)
        filterBlock<Width, Block, Channels>(plan, x, y);
    else
        decimateBlock<Width, Block, Channels>(plan, x, y);
}

// One group of any channel count, its taps limited to [jBegin, jEnd), the
// input frames that exist; the others meet silence.
template <std::size_t Phases>
void clippedGroup(const FirPlan<Phases>& plan, const double* in, std::size_t channels, std::ptrdiff_t base,
                  std::size_t jBegin, std::size_t jEnd, double* y)
{
    for (std::size_t p = 0; p < Phases; ++p) {
        for (std::size_t c = 0; c < channels; ++c) {
            double sum = 0;
            for (std::size_t j = jBegin; j < jEnd; ++j)
                sum += plan.taps[p][j] * in[static_cast<std::size_t>(base + static_cast<std::ptrdiff_t>(j)) * channels + c];
            if (plan.accumulate)
                y[p * channels + c] += sum;
            else
                y[p * channels + c] = sum;
        }
    }
}

template <std::size_t Width, std::size_t Phases, std::size_t Channels>
[[gnu::always_inline]] inline void runFixedBody(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames,
                                                double* out, std::size_t groups, Progress& progress)
{
    const auto length = static_cast<std::ptrdiff_t>(plan.length);
    const auto stride = static_cast<std::ptrdiff_t>(plan.stride);
    const auto frames = static_cast<std::ptrdiff_t>(inFrames);
    const std::size_t groupSamples = Phases * Channels;
    constexpr std::size_t Block = kBlock<Width, Channels>;
    // The fewest groups that fill whole vectors; what is left of the
    // interior after the blocks goes through the clipped path.
    constexpr std::size_t Single = Width / std::gcd(Channels, Width);

    // Groups [interiorBegin, interiorEnd) read only frames that exist.
    const std::ptrdiff_t interiorBegin = plan.first >= 0 ? 0 : (-plan.first + stride - 1) / stride;
    const std::ptrdiff_t lastStart = frames - length - plan.first;
    const std::ptrdiff_t interiorEnd =
        lastStart < 0 ? 0 : std::min<std::ptrdiff_t>(lastStart / stride + 1, static_cast<std::ptrdiff_t>(groups));

    // Progress is counted after each block, so that which path computes a
    // group depends only on its place, never on the reporting step.
    const std::uint64_t step = std::max<std::uint64_t>(progress.step, 1);
    std::uint64_t nextReport = step;
    const auto total = static_cast<std::ptrdiff_t>(groups);
    std::ptrdiff_t g = 0;
    while (g < total) {
        double* y = out + static_cast<std::size_t>(g) * groupSamples;
        const std::ptrdiff_t base = g * stride + plan.first;
        if (g >= interiorBegin && g + static_cast<std::ptrdiff_t>(Block) <= interiorEnd) {
            interiorBlock<Width, Block, Phases, Channels>(plan, in + static_cast<std::size_t>(base) * Channels, y);
            g += static_cast<std::ptrdiff_t>(Block);
        } else if (g >= interiorBegin && g + static_cast<std::ptrdiff_t>(Single) <= interiorEnd) {
            interiorBlock<Width, Single, Phases, Channels>(plan, in + static_cast<std::size_t>(base) * Channels, y);
            g += static_cast<std::ptrdiff_t>(Single);
        } else {
            const std::ptrdiff_t jBegin = std::clamp<std::ptrdiff_t>(-base, 0, length);
            const std::ptrdiff_t jEnd = std::clamp<std::ptrdiff_t>(frames - base, jBegin, length);
            clippedGroup(plan, in, Channels, base, static_cast<std::size_t>(jBegin), static_cast<std::size_t>(jEnd), y);
            ++g;
        }
        while (static_cast<std::uint64_t>(g) >= nextReport) {
            progress.advance();
            nextReport += step;
        }
    }
}

// The loops built twice: for the x86-64 baseline (SSE2, two doubles per
// register) and for processors with AVX2 and FMA (four doubles per
// register, fused multiply-add), picked once at run time. The two differ
// only in rounding (FMA).
template <std::size_t Phases, std::size_t Channels>
void runBaseline(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames, double* out, std::size_t groups,
                 Progress& progress)
{
    runFixedBody<2, Phases, Channels>(plan, in, inFrames, out, groups, progress);
}

#if defined(__x86_64__)
template <std::size_t Phases, std::size_t Channels>
[[gnu::target("avx2,fma")]] void runAvx2(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames,
                                         double* out, std::size_t groups, Progress& progress)
{
    runFixedBody<4, Phases, Channels>(plan, in, inFrames, out, groups, progress);
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have;
}
#endif

template <std::size_t Phases, std::size_t Channels>
void runFixed(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames, double* out, std::size_t groups,
              Progress& progress)
{
#if defined(__x86_64__)
    if (haveAvx2()) {
        runAvx2<Phases, Channels>(plan, in, inFrames, out, groups, progress);
        return;
    }
#endif
    runBaseline<Phases, Channels>(plan, in, inFrames, out, groups, progress);
}

// Any other channel count: every group through the clipped path, which
// handles the interior as well.
template <std::size_t Phases>
void runDynamic(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames, std::size_t channels, double* out,
                std::size_t groups, Progress& progress)
{
    const auto length = static_cast<std::ptrdiff_t>(plan.length);
    const auto frames = static_cast<std::ptrdiff_t>(inFrames);
    const std::uint64_t step = std::max<std::uint64_t>(progress.step, 1);
    std::uint64_t untilReport = step;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::ptrdiff_t base = static_cast<std::ptrdiff_t>(g * plan.stride) + plan.first;
        const std::ptrdiff_t jBegin = std::clamp<std::ptrdiff_t>(-base, 0, length);
        const std::ptrdiff_t jEnd = std::clamp<std::ptrdiff_t>(frames - base, jBegin, length);
        clippedGroup(plan, in, channels, base, static_cast<std::size_t>(jBegin), static_cast<std::size_t>(jEnd),
                     out + g * Phases * channels);
        if (--untilReport == 0) {
            progress.advance();
            untilReport = step;
        }
    }
}

template <std::size_t Phases>
void run(const FirPlan<Phases>& plan, std::span<const double> in, std::size_t inFrames, std::uint32_t channels,
         std::span<double> out, std::size_t groups, Progress& progress)
{
    if (groups == 0 || channels == 0 || plan.length == 0)
        return;
    switch (channels) {
    case 1:
        runFixed<Phases, 1>(plan, in.data(), inFrames, out.data(), groups, progress);
        break;
    case 2:
        runFixed<Phases, 2>(plan, in.data(), inFrames, out.data(), groups, progress);
        break;
    case 6:
        runFixed<Phases, 6>(plan, in.data(), inFrames, out.data(), groups, progress);
        break;
    default:
        runDynamic<Phases>(plan, in.data(), inFrames, channels, out.data(), groups, progress);
        break;
    }
}

}  // namespace

void decimateByTwo(std::span<const double> in, std::span<double> out, std::uint32_t channels,
                   std::span<const double> kernel, Progress& progress)
{
    if (channels == 0 || kernel.empty())
        return;
    const std::size_t inFrames = in.size() / channels;
    const std::size_t outFrames = std::min(inFrames / 2, out.size() / channels);
    // The interior takes the taps in pairs: one trailing zero makes the
    // length even.
    std::vector<double> taps(kernel.begin(), kernel.end());
    if (taps.size() % 2 != 0)
        taps.push_back(0.0);
    FirPlan<1> plan;
    plan.taps[0] = taps.data();
    plan.length = taps.size();
    plan.first = -static_cast<std::ptrdiff_t>((kernel.size() - 1) / 2);
    plan.stride = 2;
    run(plan, in, inFrames, channels, out, outFrames, progress);
}

void interpolateByTwo(std::span<const double> in, std::span<double> out, std::uint32_t channels,
                      const InterpolationKernel& kernel, Progress& progress)
{
    if (channels == 0)
        return;
    const std::size_t inFrames = std::min(in.size() / channels, out.size() / channels / 2);
    FirPlan<2> plan;
    plan.taps = {kernel.phase[0].data(), kernel.phase[1].data()};
    plan.length = std::min(kernel.phase[0].size(), kernel.phase[1].size());
    plan.first = kernel.first;
    plan.stride = 1;
    const auto nonZero = [](double tap) { return tap != 0.0; };
    if (std::count_if(kernel.phase[0].begin(), kernel.phase[0].begin() + static_cast<std::ptrdiff_t>(plan.length),
                      nonZero) == 1)
        plan.soleEvenTap = std::find_if(kernel.phase[0].begin(), kernel.phase[0].end(), nonZero) - kernel.phase[0].begin();
    run(plan, in, in.size() / channels, channels, out, inFrames, progress);
}

void decimateByTwoHalfBand(std::span<double> in, std::span<double> out, std::uint32_t channels,
                           const HalfBandKernel& kernel, Progress& progress)
{
    if (channels == 0 || kernel.odd.empty())
        return;
    const std::size_t inFrames = in.size() / channels;
    const std::size_t outFrames = std::min(inFrames / 2, out.size() / channels);
    // The even input frames meet only the centre tap; the odd ones, moved
    // side by side to the front of the input, meet the odd taps.
    for (std::size_t m = 0; m < outFrames; ++m)
        for (std::size_t c = 0; c < channels; ++c)
            out[m * channels + c] = kernel.centre * in[(2 * m) * channels + c];
    for (std::size_t j = 0; j < outFrames; ++j)
        for (std::size_t c = 0; c < channels; ++c)
            in[j * channels + c] = in[(2 * j + 1) * channels + c];
    FirPlan<1> plan;
    plan.taps[0] = kernel.odd.data();
    plan.length = kernel.odd.size();
    plan.first = -static_cast<std::ptrdiff_t>(kernel.odd.size() / 2);
    plan.stride = 1;
    plan.accumulate = true;
    run(plan, in.first(outFrames * channels), outFrames, channels, out, outFrames, progress);
}

}  // namespace auralune

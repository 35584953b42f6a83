#include "dsp/hires.h"

#include "dsp/simd_lanes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <type_traits>
#include <utility>
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
    std::size_t soleEvenTap = 0;   // half-band interpolation: the one non-zero tap of the even phase
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

// One phase's sums for Vectors vectors of samples side by side:
// acc[v] += taps[j] × the samples at x + j × stride + v × Width, for j in
// [0, length), in tap order.
template <std::size_t Width, std::size_t Vectors>
[[gnu::always_inline]] inline void sumTaps(typename LanesOf<Width>::type (&acc)[Vectors], const double* taps,
                                           std::size_t length, const double* x, std::size_t stride)
{
    using V = typename LanesOf<Width>::type;
    for (std::size_t j = 0; j < length; ++j, x += stride) {
        // An empty statement that hides where `x` points: otherwise the
        // optimiser sees that a later tap loads the same samples again and
        // keeps them for it, in more registers than there are, spilling on
        // every tap (twice the time).
        asm("" : "+r"(x));
        const double tap = taps[j];
#pragma GCC unroll 8
        for (std::size_t v = 0; v < Vectors; ++v) {
            V samples;
            std::memcpy(&samples, x + v * Width, sizeof samples);
            acc[v] += samples * tap;
        }
    }
}

// Lane selectors for GCC's __builtin_shuffle over two vectors of Width
// doubles (clang takes the lanes as constants instead).
typedef long long ShuffleMask2 __attribute__((vector_size(16)));
typedef long long ShuffleMask4 __attribute__((vector_size(32)));

// The lanes that give output samples [from, from + Width) of frames of
// `Channels` samples taken in turn from two vectors of whole frames (lanes
// [0, Width) and [Width, 2 × Width) of the shuffle): even frame, odd frame,
// even, ...
template <std::size_t Width, std::size_t Channels>
constexpr std::array<long long, Width> interleaveLanes(std::size_t from)
{
    std::array<long long, Width> lanes{};
    for (std::size_t i = 0; i < Width; ++i) {
        const std::size_t frame = (from + i) / Channels;
        const std::size_t channel = (from + i) % Channels;
        lanes[i] = static_cast<long long>((frame % 2) * Width + frame / 2 * Channels + channel);
    }
    return lanes;
}

// Stores the output samples [From, From + Width) of the frames of `even`
// and `odd` taken in turn, as one vector.
template <std::size_t Width, std::size_t Channels, std::size_t From, class V, std::size_t... I>
[[gnu::always_inline]] inline void storeInterleaved(double* out, const V& even, const V& odd,
                                                    std::index_sequence<I...>)
{
#if defined(__clang__)
    const V lanes = __builtin_shufflevector(even, odd, interleaveLanes<Width, Channels>(From)[I]...);
#else
    using Mask = std::conditional_t<Width == 2, ShuffleMask2, ShuffleMask4>;
    constexpr auto kLanes = interleaveLanes<Width, Channels>(From);
    const Mask mask{kLanes[I]...};
    const V lanes = __builtin_shuffle(even, odd, mask);
#endif
    std::memcpy(out, &lanes, sizeof lanes);
}

// Interpolation by a half-band kernel: the even phase is the single tap
// soleEvenTap, so the even outputs are scaled input frames and only the odd
// phase is summed. Called with twice interpolateBlock's groups, so that it
// keeps as many independent sums going.
template <std::size_t Width, std::size_t Block, std::size_t Channels>
[[gnu::always_inline]] inline void interpolateHalfBandBlock(const FirPlan<2>& plan, const double* x, double* y)
{
    using V = typename LanesOf<Width>::type;
    constexpr std::size_t kSamples = Block * Channels;
    static_assert(kSamples % Width == 0);
    constexpr std::size_t kVectors = kSamples / Width;
    V odd[kVectors] = {};
    sumTaps<Width>(odd, plan.taps[1], plan.length, x, Channels);
    const double evenTap = plan.taps[0][plan.soleEvenTap];
    const double* centre = x + plan.soleEvenTap * Channels;
    if constexpr (Width % Channels == 0) {
        // Each vector holds whole frames: with the even outputs of the same
        // frames it makes two vectors of output, frames alternating.
        constexpr auto kLanes = std::make_index_sequence<Width>();
        for (std::size_t v = 0; v < kVectors; ++v) {
            V even;
            std::memcpy(&even, centre + v * Width, sizeof even);
            even *= evenTap;
            storeInterleaved<Width, Channels, 0>(y + 2 * v * Width, even, odd[v], kLanes);
            storeInterleaved<Width, Channels, Width>(y + (2 * v + 1) * Width, even, odd[v], kLanes);
        }
    } else {
        double oddSums[kSamples];
        std::memcpy(oddSums, odd, sizeof oddSums);
        for (std::size_t b = 0; b < Block; ++b)
            for (std::size_t c = 0; c < Channels; ++c) {
                y[2 * b * Channels + c] = centre[b * Channels + c] * evenTap;
                y[(2 * b + 1) * Channels + c] = oddSums[b * Channels + c];
            }
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

template <std::size_t Width, std::size_t Block, std::size_t Phases, std::size_t Channels, bool SoleEven>
[[gnu::always_inline]] inline void interiorBlock(const FirPlan<Phases>& plan, const double* x, double* y)
{
    if constexpr (SoleEven)
        interpolateHalfBandBlock<Width, Block, Channels>(plan, x, y);
    else if constexpr (Phases == 2)
        interpolateBlock<Width, Block, Channels>(plan, x, y);
    else
        decimateBlock<Width, Block, Channels>(plan, x, y);
}

// One group of any channel count, its taps limited to [jBegin, jEnd), the
// input frames that exist; the others meet silence.
template <std::size_t Phases, bool SoleEven>
[[gnu::always_inline]] inline void clippedGroup(const FirPlan<Phases>& plan, const double* in, std::size_t channels, std::ptrdiff_t base,
                  std::size_t jBegin, std::size_t jEnd, double* y)
{
    for (std::size_t p = 0; p < Phases; ++p) {
        if (SoleEven && p == 0) {
            const std::size_t j = plan.soleEvenTap;
            const bool exists = j >= jBegin && j < jEnd;
            for (std::size_t c = 0; c < channels; ++c)
                y[c] = exists ? in[static_cast<std::size_t>(base + static_cast<std::ptrdiff_t>(j)) * channels + c] *
                                    plan.taps[0][j]
                              : 0.0;
            continue;
        }
        for (std::size_t c = 0; c < channels; ++c) {
            double sum = 0;
            for (std::size_t j = jBegin; j < jEnd; ++j)
                sum += plan.taps[p][j] * in[static_cast<std::size_t>(base + static_cast<std::ptrdiff_t>(j)) * channels + c];
            y[p * channels + c] = sum;
        }
    }
}

template <std::size_t Width, std::size_t Phases, std::size_t Channels, bool SoleEven>
[[gnu::always_inline]] inline void runFixedBody(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames,
                                                double* out, std::size_t groups, Progress& progress)
{
    const auto length = static_cast<std::ptrdiff_t>(plan.length);
    const auto stride = static_cast<std::ptrdiff_t>(plan.stride);
    const auto frames = static_cast<std::ptrdiff_t>(inFrames);
    const std::size_t groupSamples = Phases * Channels;
    constexpr std::size_t Block = SoleEven ? 2 * kBlock<Width, Channels> : kBlock<Width, Channels>;
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
            interiorBlock<Width, Block, Phases, Channels, SoleEven>(plan, in + static_cast<std::size_t>(base) * Channels, y);
            g += static_cast<std::ptrdiff_t>(Block);
        } else if (g >= interiorBegin && g + static_cast<std::ptrdiff_t>(Single) <= interiorEnd) {
            interiorBlock<Width, Single, Phases, Channels, SoleEven>(plan, in + static_cast<std::size_t>(base) * Channels, y);
            g += static_cast<std::ptrdiff_t>(Single);
        } else {
            const std::ptrdiff_t jBegin = std::clamp<std::ptrdiff_t>(-base, 0, length);
            const std::ptrdiff_t jEnd = std::clamp<std::ptrdiff_t>(frames - base, jBegin, length);
            clippedGroup<Phases, SoleEven>(plan, in, Channels, base, static_cast<std::size_t>(jBegin),
                                           static_cast<std::size_t>(jEnd), y);
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
template <std::size_t Phases, std::size_t Channels, bool SoleEven>
void runBaseline(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames, double* out, std::size_t groups,
                 Progress& progress)
{
    runFixedBody<2, Phases, Channels, SoleEven>(plan, in, inFrames, out, groups, progress);
}

#if defined(__x86_64__)
template <std::size_t Phases, std::size_t Channels, bool SoleEven>
[[gnu::target("avx2,fma")]] void runAvx2(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames,
                                         double* out, std::size_t groups, Progress& progress)
{
    runFixedBody<4, Phases, Channels, SoleEven>(plan, in, inFrames, out, groups, progress);
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have;
}
#endif

template <std::size_t Phases, std::size_t Channels, bool SoleEven>
void runFixed(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames, double* out, std::size_t groups,
              Progress& progress)
{
#if defined(__x86_64__)
    if (haveAvx2()) {
        runAvx2<Phases, Channels, SoleEven>(plan, in, inFrames, out, groups, progress);
        return;
    }
#endif
    runBaseline<Phases, Channels, SoleEven>(plan, in, inFrames, out, groups, progress);
}

// Any other channel count: every group through the clipped path, which
// handles the interior as well.
template <std::size_t Phases, bool SoleEven>
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
        clippedGroup<Phases, SoleEven>(plan, in, channels, base, static_cast<std::size_t>(jBegin), static_cast<std::size_t>(jEnd),
                     out + g * Phases * channels);
        if (--untilReport == 0) {
            progress.advance();
            untilReport = step;
        }
    }
}

template <std::size_t Phases, bool SoleEven = false>
void run(const FirPlan<Phases>& plan, std::span<const double> in, std::size_t inFrames, std::uint32_t channels,
         std::span<double> out, std::size_t groups, Progress& progress)
{
    if (groups == 0 || channels == 0 || plan.length == 0)
        return;
    switch (channels) {
    case 1:
        runFixed<Phases, 1, SoleEven>(plan, in.data(), inFrames, out.data(), groups, progress);
        break;
    case 2:
        runFixed<Phases, 2, SoleEven>(plan, in.data(), inFrames, out.data(), groups, progress);
        break;
    case 4:
        // The standard kernels keep the general loop for four channels, so
        // their output stays what it always was to the last bit.
        if constexpr (SoleEven)
            runFixed<Phases, 4, SoleEven>(plan, in.data(), inFrames, out.data(), groups, progress);
        else
            runDynamic<Phases, SoleEven>(plan, in.data(), inFrames, channels, out.data(), groups, progress);
        break;
    case 6:
        runFixed<Phases, 6, SoleEven>(plan, in.data(), inFrames, out.data(), groups, progress);
        break;
    default:
        runDynamic<Phases, SoleEven>(plan, in.data(), inFrames, channels, out.data(), groups, progress);
        break;
    }
}

// Half-band decimation: output frame m is the odd taps' sum over the odd
// input frames 2(m + first + j) + 1 plus the centre tap times input frame
// 2m. The work goes in chunks of kDecimationChunk output frames: the odd
// frames a chunk reads are copied side by side into a series, with silence
// beyond the ends of the input, so that the sums run over whole blocks of
// samples without bounds checks; the series stays in the second-level
// cache.
constexpr std::size_t kDecimationChunk = 1024;
// Samples per block of sums: eight independent vector sums, to cover the
// latency of the multiply-adds at two per cycle (eight vectors of four with
// AVX2, two blocks of eight vectors of two with SSE2). A chunk's samples
// (1024 × channels) are whole blocks.
constexpr std::size_t kSumVectors = 8;
constexpr std::size_t kSeriesBlock = 32;

// y[n] = addend[n] + sum over j of taps[j] × series[n + j × channels] for n
// in [0, count), count a multiple of kSeriesBlock: sample n of the frame
// interleaving, its sum taken in tap order.
template <std::size_t Width>
[[gnu::always_inline]] inline void seriesSumsBody(const double* taps, std::size_t length, std::size_t channels,
                                                  const double* series, const double* addend, double* y,
                                                  std::size_t count)
{
    using V = typename LanesOf<Width>::type;
    static_assert(kSeriesBlock % (kSumVectors * Width) == 0);
    for (std::size_t n = 0; n < count; n += kSumVectors * Width) {
        V acc[kSumVectors] = {};
        sumTaps<Width>(acc, taps, length, series + n, channels);
        for (std::size_t v = 0; v < kSumVectors; ++v) {
            V term;
            std::memcpy(&term, addend + n + v * Width, sizeof term);
            acc[v] += term;
        }
        std::memcpy(y + n, acc, sizeof acc);
    }
}

void seriesSumsBaseline(const double* taps, std::size_t length, std::size_t channels, const double* series,
                        const double* addend, double* y, std::size_t count)
{
    seriesSumsBody<2>(taps, length, channels, series, addend, y, count);
}

#if defined(__x86_64__)
[[gnu::target("avx2,fma")]] void seriesSumsAvx2(const double* taps, std::size_t length, std::size_t channels,
                                                const double* series, const double* addend, double* y,
                                                std::size_t count)
{
    seriesSumsBody<4>(taps, length, channels, series, addend, y, count);
}
#endif

void seriesSums(std::span<const double> taps, std::size_t channels, const double* series, const double* addend,
                double* y, std::size_t count)
{
#if defined(__x86_64__)
    if (haveAvx2()) {
        seriesSumsAvx2(taps.data(), taps.size(), channels, series, addend, y, count);
        return;
    }
#endif
    seriesSumsBaseline(taps.data(), taps.size(), channels, series, addend, y, count);
}

// Frame i of `series` = input frame 2(origin + i) + 1 (the odd frames from
// odd frame `origin` on), or silence where that frame is outside the input.
template <std::size_t Channels>
void gatherOddFrames(const double* in, std::size_t channels, std::size_t inFrames, std::ptrdiff_t origin,
                     std::span<double> series)
{
    const std::size_t width = Channels != 0 ? Channels : channels;
    const auto size = static_cast<std::ptrdiff_t>(series.size() / width);
    // Odd frames q with 2q + 1 < inFrames exist.
    const auto oddFrames = static_cast<std::ptrdiff_t>(inFrames / 2);
    const std::ptrdiff_t begin = std::clamp<std::ptrdiff_t>(-origin, 0, size);
    const std::ptrdiff_t end = std::clamp<std::ptrdiff_t>(oddFrames - origin, begin, size);
    double* to = series.data();
    std::fill(to, to + static_cast<std::size_t>(begin) * width, 0.0);
    for (std::ptrdiff_t i = begin; i < end; ++i) {
        const double* from = in + (2 * static_cast<std::size_t>(origin + i) + 1) * width;
        for (std::size_t c = 0; c < width; ++c)
            to[static_cast<std::size_t>(i) * width + c] = from[c];
    }
    std::fill(to + static_cast<std::size_t>(end) * width, to + series.size(), 0.0);
}

template <std::size_t Channels>
void decimateHalfBand(std::span<const double> in, std::span<double> out, std::size_t channels, std::size_t outFrames,
                      const HalfBandKernel& kernel, Progress& progress)
{
    const std::size_t inFrames = in.size() / channels;
    const std::span<const double> taps = kernel.odd;
    const std::ptrdiff_t first = -static_cast<std::ptrdiff_t>(taps.size() / 2);
    const std::size_t chunkSamples = kDecimationChunk * channels;
    std::vector<double> series(chunkSamples + (taps.size() - 1) * channels);
    std::vector<double> centreTerms(chunkSamples);
    std::vector<double> lastChunk(chunkSamples);
    const std::uint64_t step = std::max<std::uint64_t>(progress.step, 1);
    std::uint64_t nextReport = step;
    for (std::size_t begin = 0; begin < outFrames; begin += kDecimationChunk) {
        const std::size_t frames = std::min(kDecimationChunk, outFrames - begin);
        const std::size_t count = frames * channels;
        const std::size_t blocks = (count + kSeriesBlock - 1) / kSeriesBlock * kSeriesBlock;
        gatherOddFrames<Channels>(in.data(), channels, inFrames, static_cast<std::ptrdiff_t>(begin) + first, series);
        // The centre tap's products, rounded on their own before the sum is
        // added; the rest of a last, short chunk is silence.
        const double* even = in.data() + 2 * begin * channels;
        const std::size_t width = Channels != 0 ? Channels : channels;
        for (std::size_t f = 0; f < frames; ++f)
            for (std::size_t c = 0; c < width; ++c)
                centreTerms[f * channels + c] = kernel.centre * even[2 * f * channels + c];
        std::fill(centreTerms.begin() + static_cast<std::ptrdiff_t>(count), centreTerms.end(), 0.0);
        double* y = out.data() + begin * channels;
        if (blocks == count) {
            seriesSums(taps, channels, series.data(), centreTerms.data(), y, count);
        } else {
            seriesSums(taps, channels, series.data(), centreTerms.data(), lastChunk.data(), blocks);
            std::copy_n(lastChunk.begin(), count, y);
        }
        while (begin + frames >= nextReport) {
            progress.advance();
            nextReport += step;
        }
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
    // A half-band kernel's even phase is a single tap.
    const std::span<const double> evenPhase = std::span<const double>(kernel.phase[0]).first(plan.length);
    const auto nonZero = [](double tap) { return tap != 0.0; };
    if (std::count_if(evenPhase.begin(), evenPhase.end(), nonZero) == 1) {
        plan.soleEvenTap =
            static_cast<std::size_t>(std::find_if(evenPhase.begin(), evenPhase.end(), nonZero) - evenPhase.begin());
        run<2, true>(plan, in, in.size() / channels, channels, out, inFrames, progress);
        return;
    }
    run(plan, in, in.size() / channels, channels, out, inFrames, progress);
}

void decimateByTwoHalfBand(std::span<const double> in, std::span<double> out, std::uint32_t channels,
                           const HalfBandKernel& kernel, Progress& progress)
{
    if (channels == 0 || kernel.odd.empty())
        return;
    const std::size_t outFrames = std::min(in.size() / channels / 2, out.size() / channels);
    switch (channels) {
    case 1:
        decimateHalfBand<1>(in, out, channels, outFrames, kernel, progress);
        break;
    case 2:
        decimateHalfBand<2>(in, out, channels, outFrames, kernel, progress);
        break;
    default:
        decimateHalfBand<0>(in, out, channels, outFrames, kernel, progress);
        break;
    }
}

}  // namespace auralune

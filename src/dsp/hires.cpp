#include "dsp/hires.h"

#include <algorithm>
#include <array>
#include <cstddef>

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
};

// Groups computed together in the interior: their sums are independent, so
// the additions of one overlap those of the others instead of waiting for
// each other.
constexpr std::size_t kBlock = 4;

// `Block` groups whose input frames all lie inside the buffer. `x` points
// at the first input frame of the first group. With Channels fixed the
// samples of a frame form one short vector step (two lanes for stereo).
template <std::size_t Block, std::size_t Phases, std::size_t Channels>
void interiorBlock(const FirPlan<Phases>& plan, const double* x, double* y)
{
    double acc[Block][Phases][Channels] = {};
    for (std::size_t j = 0; j < plan.length; ++j) {
        for (std::size_t b = 0; b < Block; ++b) {
            const double* frame = x + (b * plan.stride + j) * Channels;
            for (std::size_t p = 0; p < Phases; ++p) {
                const double tap = plan.taps[p][j];
                for (std::size_t c = 0; c < Channels; ++c)
                    acc[b][p][c] += tap * frame[c];
            }
        }
    }
    for (std::size_t b = 0; b < Block; ++b)
        for (std::size_t p = 0; p < Phases; ++p)
            for (std::size_t c = 0; c < Channels; ++c)
                y[(b * Phases + p) * Channels + c] = acc[b][p][c];
}

// One group of any channel count, its taps limited to the input frames
// [frameBegin, frameEnd) that exist; the others meet silence.
template <std::size_t Phases>
void clippedGroup(const FirPlan<Phases>& plan, const double* in, std::size_t channels, std::ptrdiff_t base,
                  std::size_t jBegin, std::size_t jEnd, double* y)
{
    for (std::size_t p = 0; p < Phases; ++p) {
        for (std::size_t c = 0; c < channels; ++c) {
            double sum = 0;
            for (std::size_t j = jBegin; j < jEnd; ++j)
                sum += plan.taps[p][j] * in[static_cast<std::size_t>(base + static_cast<std::ptrdiff_t>(j)) * channels + c];
            y[p * channels + c] = sum;
        }
    }
}

template <std::size_t Phases, std::size_t Channels>
void runFixed(const FirPlan<Phases>& plan, const double* in, std::size_t inFrames, double* out, std::size_t groups,
              Progress& progress)
{
    const auto length = static_cast<std::ptrdiff_t>(plan.length);
    const auto stride = static_cast<std::ptrdiff_t>(plan.stride);
    const auto frames = static_cast<std::ptrdiff_t>(inFrames);
    const std::size_t groupSamples = Phases * Channels;

    // Groups [interiorBegin, interiorEnd) read only frames that exist.
    const std::ptrdiff_t interiorBegin = plan.first >= 0 ? 0 : (-plan.first + stride - 1) / stride;
    const std::ptrdiff_t lastStart = frames - length - plan.first;
    const std::ptrdiff_t interiorEnd =
        lastStart < 0 ? 0 : std::min<std::ptrdiff_t>(lastStart / stride + 1, static_cast<std::ptrdiff_t>(groups));

    auto edgeGroup = [&](std::ptrdiff_t g) {
        const std::ptrdiff_t base = g * stride + plan.first;
        const std::ptrdiff_t jBegin = std::clamp<std::ptrdiff_t>(-base, 0, length);
        const std::ptrdiff_t jEnd = std::clamp<std::ptrdiff_t>(frames - base, jBegin, length);
        clippedGroup(plan, in, Channels, base, static_cast<std::size_t>(jBegin), static_cast<std::size_t>(jEnd),
                     out + static_cast<std::size_t>(g) * groupSamples);
    };

    const std::uint64_t step = std::max<std::uint64_t>(progress.step, 1);
    std::uint64_t untilReport = step;
    std::ptrdiff_t g = 0;
    const auto total = static_cast<std::ptrdiff_t>(groups);
    while (g < total) {
        // Run to the next progress report in the widest steps available.
        const std::ptrdiff_t runEnd = std::min<std::ptrdiff_t>(total, g + static_cast<std::ptrdiff_t>(untilReport));
        const std::ptrdiff_t runLength = runEnd - g;
        while (g < runEnd) {
            if (g >= interiorBegin && g + static_cast<std::ptrdiff_t>(kBlock) <= std::min(interiorEnd, runEnd)) {
                interiorBlock<kBlock, Phases, Channels>(
                    plan, in + static_cast<std::size_t>(g * stride + plan.first) * Channels,
                    out + static_cast<std::size_t>(g) * groupSamples);
                g += static_cast<std::ptrdiff_t>(kBlock);
            } else if (g >= interiorBegin && g < interiorEnd) {
                interiorBlock<1, Phases, Channels>(plan, in + static_cast<std::size_t>(g * stride + plan.first) * Channels,
                                                   out + static_cast<std::size_t>(g) * groupSamples);
                ++g;
            } else {
                edgeGroup(g);
                ++g;
            }
        }
        untilReport -= static_cast<std::uint64_t>(runLength);
        if (untilReport == 0) {
            progress.advance();
            untilReport = step;
        }
    }
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
    if (channels == 0)
        return;
    const std::size_t inFrames = in.size() / channels;
    const std::size_t outFrames = std::min(inFrames / 2, out.size() / channels);
    FirPlan<1> plan;
    plan.taps[0] = kernel.data();
    plan.length = kernel.size();
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
    run(plan, in, in.size() / channels, channels, out, inFrames, progress);
}

}  // namespace auralune

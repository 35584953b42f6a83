#include "restore/hum_zephra_kernels.h"

#include "dsp/frame2.h"
#include "dsp/zero_phase.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace auralune {

BiquadCoeffs humNotch(double f0Hz, double rate)
{
    const double w0 = 2 * std::numbers::pi * f0Hz / rate;
    const double alpha = std::sin(w0) / (2 * kHumNotchQ);
    const double b0 = 1 / (1 + alpha);
    const double b1 = -2 * std::cos(w0) / (1 + alpha);
    return {b0, b1, b0, -b1, -(1 - alpha) / (1 + alpha)};
}

std::optional<HumCascade> humCascade(double rate, bool bassCompensation)
{
    const std::optional<std::size_t> row = humZephraRateIndex(rate);
    if (!row)
        return std::nullopt;
    HumCascade cascade;
    for (double f0 : kHumNotchHz) {
        cascade.toneCycles[cascade.count] = f0 / rate;
        cascade.sections[cascade.count++] = humNotch(f0, rate);
    }
    cascade.toneCount = kHumNotchHz.size();
    if (bassCompensation)
        cascade.sections[cascade.count++] = kHumBassShelf[*row];
    return cascade;
}

namespace {

BiquadCoeffs zephraSection(const ZephraCoeffs& coeffs) { return {coeffs.g, coeffs.g, 0.0, coeffs.p, 0.0}; }

// The forward pass of `frames` frames, then the stretches beyond both ends.
std::uint64_t workSamples(const StereoCascade& cascade, std::uint64_t frames)
{
    return 2 * frames + zeroPhaseEdgeSamples(primingFrames(cascade, frames));
}

}  // namespace

std::uint64_t humWorkSamples(const HumCascade& cascade, std::uint64_t frames)
{
    return workSamples(StereoCascade(cascade.active()), frames);
}

std::uint64_t zephraWorkSamples(const ZephraCoeffs& coeffs, std::uint64_t frames)
{
    const BiquadCoeffs section = zephraSection(coeffs);
    return workSamples(StereoCascade({&section, 1}), frames);
}

void humRemoval(std::span<const double> in, std::uint32_t inChannels, std::span<double> out,
                std::uint32_t outChannels, std::uint64_t frames, const HumCascade& cascade, std::span<double> work,
                Progress& progress)
{
    if (frames == 0 || inChannels < 2 || outChannels < 2)
        return;
    StereoCascade filter(cascade.active());
    filter.setSteadyTones(cascade.tones());
    const std::uint64_t pad = primingFrames(filter, frames);
    zeroPhaseStereo(filter, in.data(), inChannels, work.data(), 2, out.data(), outChannels, frames, pad,
                    work.subspan(2 * frames, zeroPhaseEdgeSamples(pad)), 2, progress);
}

void zephra(std::span<const double> in, std::span<double> out, std::uint64_t frames, const ZephraCoeffs& coeffs,
            std::span<double> work, Progress& progress)
{
    if (frames == 0)
        return;
    const BiquadCoeffs section = zephraSection(coeffs);
    StereoCascade filter({&section, 1});
    const std::uint64_t pad = primingFrames(filter, frames);
    const double* x = in.data();
    double* w = work.data();
    double* y = out.data();
    zeroPhasePrimed(
        filter, frames, pad, work.subspan(2 * frames, zeroPhaseEdgeSamples(pad)), [&](std::uint64_t n) { return loadFrame(x + 2 * n); },
        [&](std::uint64_t n, Frame2 v) { storeFrame(w + 2 * n, v); },
        [&](std::uint64_t n) { return loadFrame(w + 2 * n); },
        [&](std::uint64_t n, Frame2 m) {
            const double halfSide = 0.5 * (m[0] - m[1]);
            storeFrame(y + 2 * n, loadFrame(x + 2 * n) + Frame2{-halfSide, halfSide});
        },
        1, progress);
}

}  // namespace auralune

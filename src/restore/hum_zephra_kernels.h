#pragma once

#include "dsp/filter_primitives.h"
#include "engine/sample_kernels.h"
#include "restore/hum_zephra_coefficients.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace auralune {

// The hum filter's sections in the order they run: ten notches, then the
// bass shelf when asked for.
struct HumCascade {
    static constexpr std::size_t kMaxSections = kHumNotchHz.size() + 1;
    std::array<BiquadCoeffs, kMaxSections> sections{};
    std::size_t count = 0;

    std::span<const BiquadCoeffs> active() const { return {sections.data(), count}; }

    // The notch centres in cycles per frame.
    std::array<double, kMaxSections> toneCycles{};
    std::size_t toneCount = 0;
    std::span<const double> tones() const { return {toneCycles.data(), toneCount}; }
};

// Bilinear-transform notch at `f0Hz` with Q = kHumNotchQ:
// b0 = b2 = 1/(1 + α), b1 = −2·cos ω0/(1 + α), d1 = −b1, d2 = −(1 − α)/(1 + α),
// with ω0 = 2π·f0/rate and α = sin ω0/(2Q).
BiquadCoeffs humNotch(double f0Hz, double rate);

// The cascade for a stage rate; nothing for a rate without coefficients.
std::optional<HumCascade> humCascade(double rate, bool bassCompensation);

// Zero-phase hum removal of channels 0 and 1. Each channel runs through the
// cascade from the first frame to the last into `work`, then through it
// again from the last frame to the first into `out`, both passes primed at
// the ends (dsp/zero_phase.h), so hum is removed from the first frames on.
// `work` holds humWorkSamples() doubles. Other channels of `out` are not
// touched. `in` and `out` may be the same buffer (with the same channel
// count). Both channel counts must be at least 2. Progress counts samples
// of the two passes over the signal.
std::uint64_t humWorkSamples(const HumCascade& cascade, std::uint64_t frames);
void humRemoval(std::span<const double> in, std::uint32_t inChannels, std::span<double> out,
                std::uint32_t outChannels, std::uint64_t frames, const HumCascade& cascade, std::span<double> work,
                Progress& progress);

// Zephra: the side signal loses its zero-phase low-passed part, the mid
// signal is untouched. Left and right run through the low-pass forward into
// `work` and backward again (both passes primed at the ends), giving mL and
// mR; then outL = inL − (mL − mR)/2 and outR = inR + (mL − mR)/2. Stereo
// buffers; `in` and `out` may be the same buffer. `work` holds
// zephraWorkSamples() doubles. Progress counts frames of both passes.
std::uint64_t zephraWorkSamples(const ZephraCoeffs& coeffs, std::uint64_t frames);
void zephra(std::span<const double> in, std::span<double> out, std::uint64_t frames, const ZephraCoeffs& coeffs,
            std::span<double> work, Progress& progress);

}  // namespace auralune

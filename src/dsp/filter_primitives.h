#pragma once

#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>

namespace auralune {

// The sample loops the enhancement routines are built from. Buffers are
// interleaved doubles (channel c of frame n at n × channels + c); every
// filter starts from zero state on each call and keeps nothing afterwards.
// The caller owns the buffers and guarantees their sizes: each holds at
// least frames × channels samples (the job's wrappers check that). Zero
// frames or zero channels write nothing and report no progress.

// Second-order section with both feedback terms added:
//   y[n] = b0·x[n] + b1·x[n−1] + b2·x[n−2] + d1·y[n−1] + d2·y[n−2].
// A design normalised as 1 + a1·z⁻¹ + a2·z⁻² is passed with d1 = −a1 and
// d2 = −a2. First-order sections leave b2 = d2 = 0.
struct BiquadCoeffs {
    double b0 = 0, b1 = 0, b2 = 0, d1 = 0, d2 = 0;
};

// One channel's state of a second-order section (the last two inputs and
// outputs), for loops that run several sections per sample.
struct BiquadLane {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double step(const BiquadCoeffs& k, double x)
    {
        const double y = k.b0 * x + k.b1 * x1 + k.b2 * x2 + k.d1 * y1 + k.d2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Frame order of a recursive pass. A forward pass followed by a reverse
// pass over its output is zero-phase.
enum class Direction : std::uint8_t { Forward, Reverse };

// Filters each channel separately from zero state. `in` and `out` may be the
// same buffer. Progress counts samples.
void biquad(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
            const BiquadCoeffs& coeffs, Direction direction, Progress& progress);

// Causal direct convolution y[n] = Σ h[k]·x[n−k], k = 0 … min(taps − 1, n),
// per channel; samples before frame 0 count as absent. The whole output is
// cleared first, so with no taps it stays zero. `out` must not overlap
// `in`. Progress counts output samples.
void fir(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
         std::span<const double> taps, Progress& progress);

// Multiplies every sample by `factor`, in place. Progress counts samples.
void gain(std::span<double> samples, std::uint64_t frames, std::uint32_t channels, double factor,
          Progress& progress);

// Full-wave rectification in place: samples below 0.0 change sign; −0.0
// stays as it is. Progress counts samples.
void rectify(std::span<double> samples, std::uint64_t frames, std::uint32_t channels, Progress& progress);

// Every channel of every frame becomes channel 0 − channel 1 of that frame,
// in place. Needs at least two channels; with fewer nothing is done.
// Progress counts samples.
void leftMinusRight(std::span<double> samples, std::uint64_t frames, std::uint32_t channels, Progress& progress);

// The two-channel shelving cross-feed. Per side a first-order section
//   h[n] = a·x[n] + b·x[n−1] + c·h[n−1]
// runs from zero state, then outL = L + g·(hR − hL), outR = R + g·(hL − hR).
// With b = −a the section is a high-pass: above its corner the side signal
// L − R is scaled by 1 − 2g, the mid signal passes unchanged.
struct KestralinCoeffs {
    double a = 0, b = 0, c = 0, g = 0;
};

// Reads channels 0 and 1 of each `inChannels` frame and writes channels 0
// and 1 of each `outChannels` frame; other output channels are not touched
// (a stereo input can fill the front pair of a six-channel output). Both
// counts must be at least 2; with fewer nothing is done. `in` and `out` may
// be the same buffer when the two counts are equal. Progress counts frames.
void kestralinCrossFeed(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                        std::uint32_t inChannels, std::uint32_t outChannels, const KestralinCoeffs& coeffs,
                        Direction direction, Progress& progress);

// The fixed width compensation of T-Sym on stereo frames:
// outL = 1.15·L − 0.15·R, outR = 1.15·R − 0.15·L (mid unchanged, side × 1.3).
// `in` and `out` may be the same buffer. Progress counts frames.
void tsymWidthCompensation(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                           Progress& progress);

// Copies frames × channels samples. Progress counts samples.
void copySamples(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
                 Progress& progress);

}  // namespace auralune

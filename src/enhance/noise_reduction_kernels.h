#pragma once

#include "enhance/noise_reduction_coefficients.h"
#include "engine/sample_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

namespace auralune {

// The decoders' side-chain limiter for one channel: instant attack, release
// by `release` per sample (10^(192 dB/s ÷ rate ÷ 20)). Loud side-chain
// samples are held to the threshold; quiet ones pass untouched once the
// gain has recovered to 1.
struct SideChainLimiter {
    double threshold = 0;
    double release = 1;
    double gain = 1.0;

    double apply(double sample)
    {
        double next = gain < 1.0 ? gain * release : gain;
        const double magnitude = std::fabs(sample);
        if (magnitude > threshold)
            next = std::min(next, threshold / magnitude);
        if (next < 1.0) {
            gain = next;
            return sample * next;
        }
        gain = 1.0;
        return sample;
    }
};

// The limiter's per-sample release factor at `rate`.
inline double limiterRelease(double rate) { return std::pow(10.0, kLimiterReleaseDbPerSecond / rate / 20); }

// Two channels picked out of interleaved frames: channels `first` and
// `first` + 1 of `in` (frames of `inChannels`) and of `out` (frames of
// `outChannels`). `in` and `out` may be the same buffer with the same layout:
// each frame is read before it is written.
struct StereoLanes {
    std::span<const double> in;
    std::uint32_t inChannels = 2;
    std::span<double> out;
    std::uint32_t outChannels = 2;
    std::uint32_t first = 0;
    std::uint64_t frames = 0;
};

// The largest |x| of the two input lanes. Progress counts frames.
double lanesPeak(const StereoLanes& lanes, Progress& progress);

// Single-band decoder: side = limited 1500 Hz high-pass of the input (each
// lane with its own section and limiter), out = in − 0.5·side. The filter,
// limiter and subtraction run fused in one pass, which gives exactly what
// separate passes over a side-chain buffer give. Progress counts frames.
void cassetteDecode(const StereoLanes& lanes, const FirstOrderCoeffs& sideChain, double threshold, double release,
                    Progress& progress);

// Two-band decoder: band 1 = high-pass then low-pass, band 2 = high-pass,
// each limited on its own; out = in − 0.7·(band 1 + band 2). One fused pass.
// Progress counts frames.
void cat22Decode(const StereoLanes& lanes, const Cat22Bands& bands, double threshold, double release,
                 Progress& progress);

// Two cascaded first-order high-passes per channel, each from zero state,
// in one pass. `in` and `out` may be the same buffer. Progress counts samples.
void cascadedHighPass(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                      std::uint32_t channels, const FirstOrderCoeffs& section, Progress& progress);

}  // namespace auralune

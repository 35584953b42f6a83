#pragma once

#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>

// Loudness in the manner of ITU-R BS.1770 / EBU R128 (Tech 3341, 3342):
// integrated loudness with absolute and relative gating, loudness range,
// true peak and the maxima of the momentary (400 ms) and short-term (3 s)
// loudness, over a whole interleaved buffer on the integer scale.
namespace auralune::metrics {

// Loudness values and maxima at or below the absolute gate (digital
// silence, or nothing passing the gate) read -70.0, never -infinity.
inline constexpr double kLoudnessFloorLufs = -70.0;

// Oversampling factor of the true-peak search for a rate: 4 at 44.1/48 kHz,
// 2 at 88.2/96 kHz, 1 at 176.4/192 kHz; 0 for any other rate.
int truePeakOversampling(double rateHz);

// Channel counts with channel weights: 1, 2 and 6 (L, R, C, LFE, Ls, Rs).
bool loudnessChannelsSupported(std::uint32_t channels);

// Momentary blocks of 400 ms at a 100 ms step over `frames`: the integer
// part of (duration / 0.1 s) - 3 when the duration exceeds 0.4 s, else 0.
std::uint64_t momentaryBlockCount(std::uint64_t frames, std::uint64_t rateHz);

// Short-term blocks of 3 s. The step is 3 s / divisor, the divisor starting
// at 3 (1 s) and doubling until there are at least 100 blocks. Both 0 when
// the duration does not exceed 3 s.
struct ShortTermLayout {
    std::uint64_t divisor = 0;
    std::uint64_t count = 0;
};
ShortTermLayout shortTermLayout(std::uint64_t frames, std::uint64_t rateHz);

struct LoudnessMeasurement {
    // Every channel, LFE included; measured whenever there is a frame.
    bool truePeakMeasured = false;
    double truePeakDbtp = kLoudnessFloorLufs;

    // Needs more than 0.4 s.
    bool momentaryMeasured = false;
    bool gateOpened = false;   // some momentary block passed the absolute gate
    double absoluteGatedLufs = kLoudnessFloorLufs;
    double integratedLufs = kLoudnessFloorLufs;   // relative-gated
    double maxMomentaryLufs = kLoudnessFloorLufs;

    // Needs more than 3 s.
    bool shortTermMeasured = false;
    double rangeLu = 0;   // 0 with fewer than two gated blocks
    double maxShortTermLufs = kLoudnessFloorLufs;
};

// Measures `samples` (whole frames of `channels` samples) at `rateHz` with
// full scale `fullScale`. The rate must have an oversampling factor and the
// channel count weights. Progress: 0-60 over the one pass through the
// signal (true peak and K-weighting together), 60-80 over the momentary
// blocks, 80-100 over the short-term blocks.
//
// The pass keeps only a running peak and one energy sum per stretch
// between block edges, so the extra memory is that of the block lists
// (about 20 doubles per second of audio), whatever the oversampling.
LoudnessMeasurement measureLoudness(std::span<const double> samples, std::uint32_t channels, double rateHz,
                                    double fullScale, Progress& progress);

}  // namespace auralune::metrics

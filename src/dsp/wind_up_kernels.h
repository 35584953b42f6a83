#pragma once

#include "engine/sample_kernels.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace auralune {

// A record cut for a faster turntable, captured at a slower one: the audio
// is resampled by 3/D at an unchanged rate (shorter, higher in pitch by D/3).
struct WindUpSpeed {
    int captureSpeed;
    std::string_view text;
    std::uint32_t decimation;   // D
};

inline constexpr std::array<WindUpSpeed, 4> kWindUpSpeeds{{
    {3, "33.3 to 78 RPM", 7},
    {4, "33.3 to 68 RPM", 6},
    {5, "33.3 to 89 RPM", 8},
    {6, "25 to 33.3 RPM", 4},
}};

// The row of a capture speed; nothing for a speed that is not a wind-up one.
constexpr const WindUpSpeed* findWindUpSpeed(int captureSpeed)
{
    for (const WindUpSpeed& speed : kWindUpSpeeds)
        if (speed.captureSpeed == captureSpeed)
            return &speed;
    return nullptr;
}

inline constexpr std::size_t kWindUpTaps = 31;
inline constexpr std::uint32_t kWindUpInterpolation = 3;

// Symmetric 31-tap low-pass kernel at the tripled rate (h[30 − k] = h[k]),
// DC gain 1 as stored.
using WindUpKernel = std::array<double, kWindUpTaps>;

// One of the four kernels: by rate group (44.1/48 kHz or 88.2/96 kHz) and
// by whether the speed is 6 (a 3/4 change keeps more of the band than the
// 3/6 to 3/8 ones). Nothing for any other rate.
std::optional<WindUpKernel> windUpKernel(double rate, int captureSpeed);

// Frames left after a change by 3/D: trunc(3 × frames / D).
constexpr std::uint64_t windUpFrames(std::uint64_t frames, std::uint32_t decimation)
{
    return frames * kWindUpInterpolation / decimation;
}

// Resamples `frames` interleaved frames of `in` by 3/D into `out`, which
// holds windUpFrames(frames, D) frames. Equivalent to zero-stuffing by 3,
// filtering with 3 × kernel (causal, samples before the first count as
// absent) and keeping every D-th frame of the result, but only the kept
// frames are computed. `in` and `out` must not overlap. Progress counts
// output frames.
void windUpResample(std::span<const double> in, std::uint64_t frames, std::uint32_t channels,
                    const WindUpKernel& kernel, std::uint32_t decimation, std::span<double> out,
                    Progress& progress);

}  // namespace auralune

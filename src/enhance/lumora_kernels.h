#pragma once

#include "engine/sample_kernels.h"
#include "enhance/lumora_coefficients.h"

#include <cstdint>
#include <span>

namespace auralune {

// One surround derivation. The mid m = (L + R)/2 feeds the centre
// (centreGain × high-pass(m), or × m without `centreHighPass`) and the
// LFE (lfeGain × low-pass(m)); the side s = (L − R)/2, `delayFrames`
// later and low-passed (its filter starting with the first delayed
// frame), times `surroundLevel`, feeds surround left and, times
// `rightSign`, surround right. The front pair is frontGain × the input, or
// the pair already in the output with `keepFront`.
struct LumoraParams {
    LumoraFilters filters;
    double frontGain = 1.0;
    bool keepFront = false;
    double centreGain = 0.5;
    bool centreHighPass = true;
    double lfeGain = -1.0;
    std::uint64_t delayFrames = 0;
    double rightSign = -1.0;
    double surroundLevel = 1.0;
    // Folds the five feeds down to two at −3 dB: left = S + C + Lf + LFE,
    // right = −S + Rf + C + LFE.
    bool headphones = false;
};

// Reads channels 0 and 1 of each `inChannels` frame of `in`; writes six
// channels per frame of `out` (L, R, C, LFE, sL, sR), or two with
// `headphones`. `in` and `out` are separate buffers. Progress counts frames.
void lumoraSurround(std::span<const double> in, std::uint32_t inChannels, std::span<double> out,
                    std::uint32_t outChannels, std::uint64_t frames, const LumoraParams& params,
                    Progress& progress);

}  // namespace auralune

#pragma once

#include "dsp/filter_primitives.h"

#include <cstdint>
#include <span>

namespace auralune {

// The second half of T-Sym in one pass: the cross-feed run from the last
// frame to the first over `forward` (the forward pass's stereo result),
// whose result goes to `twoPass`, and the width compensation of that result
// (side × 1.3) to `forward` in place. Each frame of `forward` is read before
// it is overwritten, so this equals a reverse cross-feed pass followed by
// the width compensation. Progress counts each frame twice (two passes).
void kestralinReverseWidened(std::span<double> forward, std::span<double> twoPass, std::uint64_t frames,
                             const KestralinCoeffs& coeffs, Progress& progress);

}  // namespace auralune

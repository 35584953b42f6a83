#pragma once

#include "enhance/tape_eq_coefficients.h"
#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>

namespace auralune {

// One tape EQ conversion on stereo frames, each channel with its own state
// from zero, both sections fused in one pass. `in` and `out` may be the
// same buffer. Progress counts frames.
void tapeEq(std::span<const double> in, std::span<double> out, std::uint64_t frames, const TapeEqCoeffs& coeffs,
            Progress& progress);

}  // namespace auralune

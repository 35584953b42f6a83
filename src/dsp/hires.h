#pragma once

#include "dsp/hires_kernels.h"
#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>

namespace auralune {

// Rate changes by two over interleaved frames of `channels` samples. The
// kernels are symmetric and the converters are aligned on their centres:
// output frame 2m (interpolation) or m (decimation) sits on input frame m
// (or 2m), so nothing is delayed and the filter's tails at both ends are
// kept within the frame count. Samples before the first and after the last
// input frame count as silence. A DC level or an in-band sine comes out at
// the level it went in. Progress counts output frames (interpolation: pairs
// of them).

// 2:1 decimation: out[m] = sum over i of kernel[i] * in[2m + i - centre],
// computed only for the kept frames. `out` holds floor(inFrames / 2)
// frames; `kernel` has odd length.
void decimateByTwo(std::span<const double> in, std::span<double> out, std::uint32_t channels,
                   std::span<const double> kernel, Progress& progress);

// 1:2 interpolation through the two phases of a split kernel: equal to
// stuffing a zero after every input frame and filtering with the doubled
// kernel, without the multiplications by zero. `out` holds 2 × inFrames
// frames and must not overlap `in`.
void interpolateByTwo(std::span<const double> in, std::span<double> out, std::uint32_t channels,
                      const InterpolationKernel& kernel, Progress& progress);

// 2:1 decimation with a half-band kernel (dsp/hires_kernels.h), with half
// the multiplications of decimateByTwo: the odd input frames meet the odd
// taps, the even ones only the centre tap. Equal to decimateByTwo with the
// whole kernel, up to rounding; `out` must not overlap `in`. Interpolation needs no variant of its own:
// interpolateByTwo sees that a half-band kernel's even phase is a single
// tap, copies the scaled input frames there and sums only the odd phase.
void decimateByTwoHalfBand(std::span<const double> in, std::span<double> out, std::uint32_t channels,
                           const HalfBandKernel& kernel, Progress& progress);

}  // namespace auralune

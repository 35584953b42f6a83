#pragma once

#include "engine/sample_kernels.h"
#include "platform/random_source.h"

#include <cstdint>
#include <span>

namespace auralune {

// The stylus model's curvature: on the normalised sample x = s / F,
// (1 − k)·x + k·x², back on the integer scale. With `tapOff` the output
// is only what the curvature adds, distorted − clean, which is zero for
// k = 0. `in` and `out` may be the same buffer. Progress counts samples.
void grooveDistortion(std::span<const double> in, std::span<double> out, double fullScale, double k, bool tapOff,
                      Progress& progress);

// The surface model: one generator over all samples in order, w uniform in
// [−F, F) from a 32-bit draw, low-passed by l ← 0.999287836·l +
// 0.000356082·(w_prev + w) (unity gain at DC) with a single state; each
// sample becomes s·signalMix + noiseGain·l. Progress counts samples.
void grooveSurfaceNoise(std::span<double> samples, double fullScale, double noiseGain, double signalMix,
                        RandomSource& random, Progress& progress);

}  // namespace auralune

#pragma once

#include "dsp/filter_primitives.h"
#include "engine/sample_kernels.h"
#include "restore/phonograph_coefficients.h"

#include <cstdint>
#include <span>
#include <string>

namespace auralune {

class AudioFile;

namespace phonograph {

// The optional spectrum stages of the phonograph chain, in place on a stereo
// buffer of `frames` frames, left and right side by side, every causal
// filter from zero state. Progress counts frames of each pass.

// DIZOR-OV response correction: x − 0.16·LP(x), with the one-pole low-pass
// of about 1 kHz and unity DC gain. Low frequencies drop by 16 % (about
// −1.5 dB), high frequencies pass.
void dizorResponseCorrection(std::span<double> stereo, std::uint64_t frames, const OnePoleLowPass& lowPass,
                             Progress& progress);

// `sections` cascaded copies of a second-order section run forward into
// `work` (2 × frames samples), then `sections` copies backward from there
// back into `stereo`, scaled by `scale`: a zero-phase filter with the
// squared magnitude of the cascade, both passes primed at the ends
// (dsp/zero_phase.h). At most kMaxCascade sections.
inline constexpr int kMaxCascade = 4;
void zeroPhaseCascade(std::span<double> stereo, std::span<double> work, std::uint64_t frames,
                      const BiquadCoeffs& section, int sections, double scale, Progress& progress);

// x + 0.25·HP₂(|HP₁(x)|), with HP₁ two cascaded `forward` sections run
// forward and HP₂ two cascaded `backward` sections run backward: harmonics
// made by rectifying the upper band, kept above the backward corner and
// mixed in at −12 dB. `work` holds 2 × frames samples.
void exciter(std::span<double> stereo, std::span<double> work, std::uint64_t frames, const BiquadCoeffs& forward,
             const BiquadCoeffs& backward, Progress& progress);

// Sets the job's state text to `label`, sends progress 0 and returns a
// counter that reports to the job every max(1, units/100) units.
Progress startStage(AudioFile& job, const std::string& label, std::uint64_t units);

}  // namespace phonograph
}  // namespace auralune

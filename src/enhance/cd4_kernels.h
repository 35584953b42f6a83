#pragma once

#include "engine/sample_kernels.h"
#include "enhance/cd4_coefficients.h"

#include <cstdint>
#include <span>

// The sample loops of CD-4 demodulation. Stereo buffers hold the two groove
// walls (left, right) interleaved; `frames` frames each. Filters start from
// zero state.
namespace auralune::cd4 {

// Splits the needle-drop: the zero-phase baseband B (the low-pass forward
// into `work`, then backward in place), the subcarrier `sub` = input − B,
// and the input replaced by the baseband sum (B_L + B_R)/2 and difference
// (B_L − B_R)/2. Progress counts frames of the three passes.
void splitBaseband(std::span<double> input, std::span<double> sub, std::span<double> work, std::uint64_t frames,
                   Progress& progress);

// RMS of one channel of a stereo buffer; 0 for no frames.
double channelRms(std::span<const double> stereo, std::uint32_t channel, std::uint64_t frames);

// Each wall loses kDizorCrosstalk of the other (both from the old values).
void dizorCrosstalk(std::span<double> stereo, std::uint64_t frames, Progress& progress);

// The subcarrier AGC on one channel: per chunk of kAgcChunkFrames (the
// last holds the remainder) the gain recovers towards 1 and, when more than
// half the chunk's samples exceed `threshold`, is limited to threshold ÷
// chunk peak; a gain below 1 scales the chunk. Returns the limited chunks.
// Progress counts frames.
std::uint64_t subcarrierAgc(std::span<double> stereo, std::uint32_t channel, std::uint64_t frames,
                            double threshold, Progress& progress);

// The delay-line FM discriminator, in place, each wall on its own:
// d[n] = x[n]·(x[n−9] − x[n−7]) ÷ fullScale, zero at the 30 kHz carrier and
// rising with the frequency around it. Progress counts frames.
void discriminate(std::span<double> stereo, std::uint64_t frames, double fullScale, Progress& progress);

// Post-discriminator filtering in place: JVC the cut forward, then the
// band-pass forward into `work` and backward again, twice; High-Quality the
// shelf forward. Progress counts frames of each pass.
void jvcPostFilter(std::span<double> stereo, std::span<double> work, std::uint64_t frames, Progress& progress);
void highQualityPostFilter(std::span<double> stereo, std::uint64_t frames, Progress& progress);

// Channels 0 and 1 of six-channel frames (the equalised baseband sum m and
// difference s) × kBasebandGain, then the gain that brings the RMS of the
// demodulated differences in `sub` to that of the two wall basebands
// m ± s (1 when the differences are silent). Returns that gain; `sub` is
// not changed.
double matchDemodulatedLevel(std::span<double> six, std::span<const double> sub, std::uint64_t frames,
                             Progress& progress);

// The four loudspeaker feeds from the wall basebands b = m ± s and each
// wall's demodulated difference u (scaled by `subGain`, read
// kDiscriminatorDelayFrames later to undo the discriminator's delay):
// front = (b + u)/2, rear = (b − u)/2 per side, or rear = u when
// `rearDifference` is set. Centre and LFE are 0. Progress counts frames.
void outputMatrix(std::span<double> six, std::span<const double> sub, double subGain, bool rearDifference,
                  std::uint64_t frames, Progress& progress);

}  // namespace auralune::cd4

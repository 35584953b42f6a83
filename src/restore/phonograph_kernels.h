#pragma once

#include "dsp/filter_primitives.h"
#include "engine/sample_kernels.h"
#include "restore/phonograph_coefficients.h"

#include <cstdint>
#include <optional>
#include <span>

namespace auralune::phonograph {

// The numeric stages of the phonograph chain. Unless stated otherwise they
// work in place on a stereo buffer (left, right interleaved) of `frames`
// frames, filter both channels side by side, start every filter from zero
// state and count progress in frames.

// Gain ranging: every chunk of `chunkFrames` frames (the last one holds the
// remainder) in which no sample exceeds `threshold` in magnitude is
// multiplied by 0.1 (−20 dB). Returns the number of chunks so reduced.
// Progress counts chunks.
std::uint64_t gainRanging(std::span<double> stereo, std::uint64_t frames, std::uint64_t chunkFrames,
                          double threshold, Progress& progress);

// Left ÷ √ratio, right × √ratio, where ratio is the left/right RMS ratio.
void cartridgeBalance(std::span<double> stereo, std::uint64_t frames, double rmsRatio, Progress& progress);

// Disc echo removal. Per channel a gain g starts at 1; each frame it
// recovers by `recovery` while below 1, is pulled down to threshold/|x| by
// a louder sample, and the output is x − 0.7·x·min(g, 1). Quiet passages
// (the pre- and post-echo of a groove) drop to 0.3 of their level; loud
// ones and the time just after them pass almost unchanged. Progress counts
// samples (two per frame).
void discEchoRemoval(std::span<double> stereo, std::uint64_t frames, double threshold, double recovery,
                     Progress& progress);

// Tracing distortion of an LP stylus: d = ((L + R)² − mean of (L + R)²)
// ·factor/highClamp is added to the left and taken from the right; the mean
// is taken over the whole buffer, so the correction carries no DC.
void lpDistortionCancel(std::span<double> stereo, std::uint64_t frames, double factor, double highClamp,
                        Progress& progress);

// One first-order section u[n] = p·u[n−1] + a0·x[n] + a1·x[n−1].
struct FirstOrderSection {
    double a0 = 0, a1 = 0, p = 0;
};

// A playback curve: s = d1·x + m1·LF(x), y = d2·s + m2·HF(s).
struct Equaliser {
    FirstOrderSection lf;
    double d1 = 0, m1 = 0;
    FirstOrderSection hf;
    double d2 = 0, m2 = 0;
};

// The curve of an enhancement code at a rate; every coefficient is 0 at a
// rate without a design or for a code without a curve.
Equaliser equaliserFor(std::uint64_t code, std::optional<Rate> rate);

// How the two equalised channels are combined.
enum class Regime : std::uint8_t {
    Stereo = 1,     // L, R
    Mono = 2,       // (L + R)/2 on both
    Blend = 3,      // 3/4 own channel + 1/4 the other
    Vertical = 4,   // (L − R)/2 on both
};

// Equalisation (when `equaliser` is given) followed by the regime, then the
// zero-phase rumble high-pass (when `rumble` is given), from the stereo
// `source` into channels 0 and 1 of the `dstChannels`-channel
// `destination`; its other channels are left as they are. The rumble
// filter runs in place on the destination, both passes primed at the ends
// (dsp/zero_phase.h), with `rumbleTail` of rumbleTailSamples() doubles.
// Without equalisation the regime is not applied. Progress counts frames
// of two passes with the rumble filter, of one without.
std::uint64_t rumbleTailSamples(const BiquadCoeffs& rumble, std::uint64_t frames);
void equalise(std::span<const double> source, std::span<double> destination, std::uint32_t dstChannels,
              std::uint64_t frames, const Equaliser* equaliser, Regime regime, const BiquadCoeffs* rumble,
              std::span<double> rumbleTail, Progress& progress);

// The RIAA recording characteristic from the stereo `source` to the stereo
// `destination`.
void antiRiaa(std::span<const double> source, std::span<double> destination, std::uint64_t frames,
              const AntiRiaaCoeffs& coeffs, Progress& progress);

// Bilinear-transform second-order sections with pre-warping (resonance Q
// at the corner f0), in the added-feedback form.
BiquadCoeffs designLowPass(double cornerHz, double q, double rateHz);
BiquadCoeffs designHighPass(double cornerHz, double q, double rateHz);

}  // namespace auralune::phonograph

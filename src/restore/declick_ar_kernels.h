#pragma once

#include "dsp/autoregressive.h"
#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>
#include <vector>

namespace auralune {

// The interpolating declicker: a model-based counterpart of the level-based
// pop-click removal. Each channel is described block by block by a short
// autoregressive (AR) model, fitted with Burg's method. A click is what the
// model cannot predict: the prediction error from the samples before a
// frame (forward) and from the samples after it (backward) both stand out
// there, while a musical attack disturbs mainly one of them, so the smaller
// of the two, against the block's robust error scale, finds clicks that are
// not far above the local RMS. Hits closer than the look-ahead form one
// run; the run, widened by the margin, is replaced by least-squares AR
// interpolation from the samples around it (the values that make the
// model's prediction error over the whole neighbourhood smallest). Samples
// outside the runs are never changed.

// How hard the detector looks: the error ratio a frame must exceed.
enum class DeclickSensitivity : std::uint8_t { Low = 1, Normal = 2, High = 3 };

struct ArDeclickParams {
    std::uint32_t order = 0;             // AR model order
    std::uint64_t blockFrames = 0;       // frames per fitted model
    std::uint64_t lookAheadFrames = 0;   // hits closer than this form one run
    std::uint64_t marginFrames = 0;      // each run is widened by this much
    double threshold = 0;                // prediction error ÷ the block's error scale
    double edgeRatio = 0;                // a run reaches on while the ratio exceeds threshold × this
    std::uint64_t maxRunFrames = 0;      // longer runs are left alone (a burst, not a click)
    std::uint32_t passes = 0;            // detection and repair rounds
};

// The parameters at a frame rate: order 16 up to 48 kHz and 32 above,
// fitted to 20 ms blocks; the look-ahead of the pop-click removal
// (0.57 ms), margins of 2 frames (the residual places a click's edges to
// the frame; the wider margins of the level-based removal cost repairs of
// clean signal); thresholds 8, 5.5 and 4 for the three sensitivities, edges
// down to 0.3 of them; runs up to 5 ms; two rounds.
ArDeclickParams arDeclickParams(double frameRate, DeclickSensitivity sensitivity);

struct ArDeclickCount {
    std::uint64_t runs = 0;     // repaired runs, both channels
    std::uint64_t frames = 0;   // interpolated samples, both channels
};

// Declicks channels 0 and 1 of a stereo buffer of `frames` frames in place.
// `work` holds 2 × `frames` doubles. Progress counts the models fitted:
// arDeclickModels() per channel and round.
std::uint64_t arDeclickModels(std::uint64_t frames, const ArDeclickParams& params);
ArDeclickCount arDeclick(std::span<double> stereo, std::uint64_t frames, const ArDeclickParams& params,
                         std::span<double> work, Progress& progress);

// The building blocks, exposed for their tests.

// Least-squares AR interpolation: replaces x[i] for every i in `unknown`
// (ascending indices into x) by the values that minimise the sum of
// squared prediction errors Σ (Σ a[k]·x[n − k])² over every n whose error
// involves an unknown sample, the other samples held. Returns false (and
// leaves x alone) when the system cannot be solved.
bool arInterpolate(std::span<double> x, std::span<const std::uint64_t> unknown, std::span<const double> a);

}  // namespace auralune

#pragma once

#include "dsp/filter_primitives.h"
#include "dsp/frame2.h"
#include "engine/sample_kernels.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>
#include <algorithm>

namespace auralune {

// Zero-phase filtering (a forward pass, then a backward pass over its
// output) of a stereo pair, with both passes primed at the ends of the
// signal, so that neither end carries the transient of a filter started
// from rest (which leaves hum untouched for a fifth of a second after the
// start, or bends the last milliseconds of a band split). The forward pass
// first runs over a stretch before the first frame and goes on over a
// stretch after the last frame; the backward pass starts at the far end of
// that extended forward output. The stretches continue the signal: each
// end is extended by the linear prediction of an autoregressive model
// (Burg, order 32) fitted to the last 8192 frames next to it, around their
// mean. A steady signal (hum, a tone, a DC level) therefore runs on in its
// own phase, and the filter meets the first frame in the state it would
// have on an endless recording; a signal that does not go on decays to its
// mean in the stretch. Each stretch begins from the steady state of its
// first value. (A plain odd reflection, 2·x[0] − x[k], as some zero-phase
// routines use, continues only a sine that starts in phase at the first
// frame: hum in any other phase came out only 9 dB down near the start.)

// Up to this many biquad sections in cascade, both channels side by side.
class StereoCascade {
public:
    static constexpr std::size_t kMaxSections = 12;

    explicit StereoCascade(std::span<const BiquadCoeffs> sections);

    // The state the cascade reaches after a constant input `level` held
    // forever (each section at its DC gain).
    void settle(Frame2 level);

    Frame2 step(Frame2 x)
    {
        for (std::size_t s = 0; s < count_; ++s) {
            const Frame2 y = b0_[s] * x + b1_[s] * x1_[s] + b2_[s] * x2_[s] + d1_[s] * y1_[s] + d2_[s] * y2_[s];
            x2_[s] = x1_[s];
            x1_[s] = x;
            y2_[s] = y1_[s];
            y1_[s] = y;
            x = y;
        }
        return x;
    }

    // One section with its state, as a value the compiler keeps in
    // registers: the same arithmetic as step() on a one-section cascade,
    // without the section loop and the state's round trip through memory,
    // which sat on the recursion's critical path.
    struct Section {
        Frame2 b0, b1, b2, d1, d2, x1, x2, y1, y2;
        Frame2 step(Frame2 x)
        {
            const Frame2 y = b0 * x + b1 * x1 + b2 * x2 + d1 * y1 + d2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    bool single() const { return count_ == 1; }
    Section section() const { return {b0_[0], b1_[0], b2_[0], d1_[0], d2_[0], x1_[0], x2_[0], y1_[0], y2_[0]}; }
    void setState(const Section& s)
    {
        x1_[0] = s.x1;
        x2_[0] = s.x2;
        y1_[0] = s.y1;
        y2_[0] = s.y2;
    }

    // Steady tones the cascade is made to act on (a notch's centre, in
    // cycles per frame): the stretches beyond the ends continue them at
    // constant amplitude, which a fitted model would not quite do.
    void setSteadyTones(std::span<const double> cyclesPerFrame);
    std::span<const double> steadyTones() const { return {tones_.data(), toneCount_}; }

    // Frames in which the slowest pole of the cascade decays by 80 dB: how
    // far a priming stretch must reach for its own start not to matter.
    std::uint64_t settlingFrames() const;

private:
    std::size_t count_ = 0;
    std::array<Frame2, kMaxSections> b0_{}, b1_{}, b2_{}, d1_{}, d2_{};
    std::array<Frame2, kMaxSections> x1_{}, x2_{}, y1_{}, y2_{};
    std::array<double, kMaxSections> dcGain_{};
    double slowestPole_ = 0;
    std::array<double, kMaxSections> tones_{};
    std::size_t toneCount_ = 0;
};

// Frames of each priming stretch: the cascade's settling time (none for
// an empty signal). The stretches are predicted, so they may be longer
// than the signal itself.
std::uint64_t primingFrames(const StereoCascade& cascade, std::uint64_t frames);

// Doubles of scratch a primed run needs for its two stretches of `pad` frames.
constexpr std::uint64_t zeroPhaseEdgeSamples(std::uint64_t pad) { return 4 * pad; }

// The stretches before and after a stereo signal: `before` receives frame
// −k at index 2(k − 1), `after` frame N − 1 + k, for k = 1 … pad, predicted
// from `opening` (the first frames of the signal) and `closing` (its last
// frames), both stereo. Each channel's stretch is fitted with the steady
// tones (least squares, with a constant) and the rest with an
// autoregressive model; both run on beyond the end.
void predictEdges(std::span<const double> opening, std::span<const double> closing, std::uint64_t pad,
                  std::span<const double> steadyTones, std::span<double> before, std::span<double> after);

// The frames an edge model is fitted to: 8192, or enough to tell the
// steady tones apart (four periods of their closest spacing), at most the
// signal.
std::uint64_t edgeModelFrames(std::span<const double> steadyTones, std::uint64_t frames);

// One primed zero-phase run over `frames` stereo frames.
//   input(n)          frame n of the signal (every frame is read before
//                     forward() stores anything at it)
//   forward(n, v)     stores the forward output of frame n
//   forwardAt(n)      reads it back
//   backward(n, v)    receives the final output of frame n, last frame first
// `edges` holds zeroPhaseEdgeSamples(pad) doubles; `pad` comes from
// primingFrames(). Progress counts `unitsPerFrame` per frame of each of the
// two passes over the signal.
template <class Input, class Forward, class ForwardAt, class Backward>
void zeroPhasePrimed(StereoCascade& cascade, std::uint64_t frames, std::uint64_t pad, std::span<double> edges,
                     Input input, Forward forward, ForwardAt forwardAt, Backward backward,
                     std::uint64_t unitsPerFrame, Progress& progress)
{
    if (frames == 0)
        return;
    const std::span<double> before = edges.first(2 * pad);
    const std::span<double> after = edges.subspan(2 * pad, 2 * pad);
    if (pad > 0) {
        const std::uint64_t fit = edgeModelFrames(cascade.steadyTones(), frames);
        std::vector<double> opening(2 * fit), closing(2 * fit);
        for (std::uint64_t n = 0; n < fit; ++n) {
            storeFrame(opening.data() + 2 * n, input(n));
            storeFrame(closing.data() + 2 * n, input(frames - fit + n));
        }
        predictEdges(opening, closing, pad, cascade.steadyTones(), before, after);
    }

    const auto at = [](std::span<double> stretch, std::uint64_t k) { return loadFrame(stretch.data() + 2 * (k - 1)); };
    cascade.settle(pad > 0 ? at(before, pad) : input(0));
    for (std::uint64_t k = pad; k >= 1; --k)
        cascade.step(at(before, k));
    // The loops run a local copy of the cascade, whose state the compiler
    // can keep in registers (the stores through the callbacks might
    // otherwise alias it).
    progress.run(frames, unitsPerFrame, [&](std::uint64_t begin, std::uint64_t end) {
        if (cascade.single()) {
            StereoCascade::Section local = cascade.section();
            for (std::uint64_t n = begin; n < end; ++n)
                forward(n, local.step(input(n)));
            cascade.setState(local);
            return;
        }
        StereoCascade local = cascade;
        for (std::uint64_t n = begin; n < end; ++n)
            forward(n, local.step(input(n)));
        cascade = local;
    });
    for (std::uint64_t k = 1; k <= pad; ++k)
        storeFrame(after.data() + 2 * (k - 1), cascade.step(at(after, k)));

    cascade.settle(pad > 0 ? at(after, pad) : forwardAt(frames - 1));
    for (std::uint64_t k = pad; k >= 1; --k)
        cascade.step(at(after, k));
    progress.run(frames, unitsPerFrame, [&](std::uint64_t begin, std::uint64_t end) {
        if (cascade.single()) {
            StereoCascade::Section local = cascade.section();
            for (std::uint64_t i = begin; i < end; ++i) {
                const std::uint64_t n = frames - 1 - i;
                backward(n, local.step(forwardAt(n)));
            }
            cascade.setState(local);
            return;
        }
        StereoCascade local = cascade;
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t n = frames - 1 - i;
            backward(n, local.step(forwardAt(n)));
        }
        cascade = local;
    });
}

// The common case: channels 0 and 1 of `in` (stride `inStride` doubles per
// frame) through the cascade forward into `work` (stride `workStride`),
// backward into channels 0 and 1 of `out` (stride `outStride`). `in`,
// `work` and `out` may all be the same buffer when their strides agree.
void zeroPhaseStereo(StereoCascade& cascade, const double* in, std::uint32_t inStride, double* work,
                     std::uint32_t workStride, double* out, std::uint32_t outStride, std::uint64_t frames,
                     std::uint64_t pad, std::span<double> edges, std::uint64_t unitsPerFrame, Progress& progress);

}  // namespace auralune

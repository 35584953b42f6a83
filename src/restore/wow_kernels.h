#pragma once

#include "dsp/filter_primitives.h"
#include "engine/sample_kernels.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace auralune::wow {

// ---------------------------------------------------------------------------
// Decimation and interpolation of the control signal

// For each channel, the first ⌊frames/factor⌋ frames of `out` receive the
// frames 0, factor, 2·factor, … of `in`; the later frames of `out` are set to
// 0. `out` may be `in`. Progress counts output samples.
void shrinkTrack(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
                 std::uint32_t factor, Progress& progress);

// Frame i = k·factor + m (0 ≤ m < factor) of a track of `frames` frames
// stretched by linear interpolation from the points s[0], s[1], …:
// s[k] + m·(s[k+1] − s[k])/factor while segment k ends inside the track,
// else s[k]. `s` must hold frame ⌊(frames − 1)/factor⌋ + 1 where that
// segment slopes. `stride` is the distance between points.
inline double stretchedValue(const double* s, std::uint64_t stride, std::uint64_t k, std::uint64_t m,
                             std::uint64_t frames, std::uint32_t factor)
{
    const bool slopes = (k == 0 ? factor < frames : (k + 1) * factor <= frames) && k + 1 < frames;
    const double here = s[k * stride];
    if (!slopes)
        return here;
    return here + static_cast<double>(m) * (s[(k + 1) * stride] - here) / factor;
}

// Every channel of `out` (frames frames) stretched from the first frames of
// `in` by `factor`. `out` must not overlap `in`. Progress counts output
// samples.
void stretchTrack(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
                  std::uint32_t factor, Progress& progress);

// The mono 63-tap FIR `taps` over `in` (interleaved, channel 0 read), kept
// only at frames 0, factor, 2·factor, …: out[j] = Σ h[k]·x[j·factor − k] for
// the first ⌊frames/factor⌋ entries of `out`, later entries 0. The filter
// and the decimation in one step, since only every factor-th output is kept.
// Progress counts `unitsPerFrame` per input frame covered.
void decimatingFir(std::span<const double> in, std::uint32_t inChannels, std::uint64_t frames,
                   std::span<const double> taps, std::uint32_t factor, std::span<double> out,
                   std::uint64_t unitsPerFrame, Progress& progress);

// ---------------------------------------------------------------------------
// Locking

// The zero crossings of a control signal and what the locking step learns
// about them; the lists run in parallel.
struct Crossings {
    std::vector<std::uint64_t> position;   // frame of the first sample past the crossing
    std::vector<double> value;             // the control signal there
    std::vector<bool> isPositive;          // sign after the crossing
    std::vector<double> diff;              // spacing to the neighbours (twice one spacing at the ends)
    std::vector<double> diffPercent;       // diff / mean − 1
    std::vector<bool> rogue;
    std::size_t size() const { return position.size(); }
};

// Walks channel 0 of a control signal given as a track of `frames` frames
// stretched by `factor` from the points `points` (factor 1: the signal
// itself). A crossing is a frame whose sign (x ≥ 0 or not) differs from the
// running sign, which starts as that of frame 0. Progress counts frames ×
// `unitsPerFrame`.
Crossings findCrossings(std::span<const double> points, std::uint64_t frames, std::uint32_t factor,
                        std::uint64_t unitsPerFrame, Progress& progress);

// Spacing and rogue marking: a point is rogue when its spacing is at least
// 40 % short and its neighbours' at least 15 % short. Needs at least two
// crossings.
void markRoguePoints(Crossings& crossings);

// Pairing: walking forward, a rogue point keeps its mark only with a rogue
// successor (the pair goes together) or when it is the first or the last
// point; a lone short interval stays.
void pairRoguePoints(Crossings& crossings);

// Drops the marked points from every list; returns the indices removed, in
// ascending order.
std::vector<std::size_t> removeRoguePoints(Crossings& crossings);

// One message of the windowed line fit, in order.
struct FitEvent {
    enum Kind { Added, Blended } kind;
    std::size_t index;
    double position;
};

struct Fit {
    bool locked = false;          // every window's slope within (0.9·P, P/0.9)
    std::vector<double> fitted;   // one per crossing when locked
    std::vector<FitEvent> events;
};

// Least-squares lines through the crossing positions in windows of up to 20
// crossings starting every 10; overlapping points are blended into the
// previous window's with weights 0, 0.1, … . Fitted positions are clamped
// to [0, frames − 1]. A window of a single point (the tail of the list, already
// fitted by the window before) adds nothing. `expectedSpacing` is P.
Fit fitCrossingLines(const std::vector<std::uint64_t>& positions, std::uint64_t frames, double expectedSpacing);

// The ideal unit control signal: one half-sine per interval between fitted
// crossings, negative after a crossing to positive (the detector's sign is
// inverted: a louder left high band means a slow record). The first interval
// extends back to frame 0 and the last on to the end of the track.
class ControlSine {
public:
    ControlSine(std::vector<double> fitted, std::vector<bool> isPositive, std::uint64_t frames);
    // The value at frame n; calls must come with n not decreasing.
    double next(std::uint64_t n);
    // Both (all) channels of `out` for every frame.
    void write(std::span<double> out, std::uint32_t channels);
    std::uint64_t frames() const { return frames_; }

private:
    std::vector<std::uint64_t> start_;
    std::vector<bool> isPositive_;
    std::uint64_t frames_;
    std::size_t segment_ = 0;
};

// ---------------------------------------------------------------------------
// Correction

struct CorrectionSettings {
    std::uint64_t blockFrames;   // B, frames per 10 ms block
    double scale;                // S
    double tonearmSway;          // mm
    double startDiameter;        // mm
    double stopDiameter;         // mm
};

struct CorrectionPlan {
    std::vector<std::int64_t> extra;   // frames to add (duplicate) or drop per block
    std::int64_t total = 0;            // E
    bool clamped = false;              // some block asked for more than it holds
};

// The whole number of frames each 10 ms block gains (> 0, duplicated) or
// loses (< 0, dropped): B·sway/D_j times the control at the block's first
// frame, rounded half away from zero, with the diameter falling linearly from
// start to stop across the blocks. The last partial block gets none. A block
// never gains or loses more frames than it holds (a non-finite request counts
// as 0). Progress counts blocks.
// `control` is asked for frames 0, B, 2·B, … in that order.
CorrectionPlan planCorrection(std::uint64_t frames, const CorrectionSettings& settings,
                              const std::function<double(std::uint64_t)>& control, Progress& progress);

// Result of applying a plan.
struct Applied {
    std::int64_t offset = 0;      // output minus input position after the last block
    bool marksMatch = true;       // every block marked exactly |extra| frames
    std::uint64_t marked = 0;     // at the first block that did not: frames marked
    std::uint64_t wanted = 0;     // and frames asked for
};

// Copies the stereo `in` (frames frames) into `out` (frames + max(0, E)
// frames, zeroed by the caller), duplicating or dropping frames at evenly
// spaced positions start + ⌊m·B/|e|⌋ of each block. Progress counts blocks.
Applied applyCorrection(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                        std::uint64_t blockFrames, const std::vector<std::int64_t>& extra, Progress& progress);

}  // namespace auralune::wow

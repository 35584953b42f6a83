#pragma once

#include "dsp/filter_primitives.h"
#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>

namespace auralune {

// Click removal on two-channel interleaved buffers (left at even indices,
// right at odd ones). A click is a run of samples standing far above the
// RMS level of its channel over the surrounding 20 ms; each run found,
// widened by a short margin, is pulled down to a fixed level below that
// RMS. Levels are kept per sample in dB in buffers of the same layout, so
// the run detector can look ahead cheaply.

// The lengths of the detector, each rate × seconds truncated to whole
// frames: window 20 ms (882 at 44.1 kHz, 1920 at 96 kHz), look-ahead
// 0.57 ms (25, 54) and margin 0.35 ms (15, 33).
struct ClickLengths {
    std::uint64_t windowFrames = 0;
    std::uint64_t lookAheadFrames = 0;
    std::uint64_t marginFrames = 0;
};
ClickLengths clickLengths(double frameRate);

// Level of every sample against the RMS of its channel over a window of
// `windowFrames` frames, as the ratio |x| / RMS into `levels` (L in dB is
// 20·log10 of it; the thresholds below are compared as ratios). The
// window sum starts over frames 0 … W−1 and slides by one frame from frame
// W/2 onwards, for as long as the frame it takes in lies inside the buffer,
// so the window stays centred except near the ends. With `sideLevels` not
// empty the side signal S = (left − right)·0.5 of each frame is measured
// against each channel's RMS as well. Silence (RMS 0) gives undefined
// levels, which never pass a threshold. Progress counts three
// units per frame.
// Levels are kept in single precision: they only decide hits and scale the
// repaired samples, and halving them keeps a long side's chain smaller.
using ClickLevel = float;
void measureClickLevels(std::span<const double> samples, std::uint64_t frames, std::uint64_t windowFrames,
                        std::span<ClickLevel> levels, std::span<ClickLevel> sideLevels, Progress& progress);

// What makes a frame of one channel a hit and how far a repair pulls it
// down. With `useSide` the side level must pass its threshold too.
struct ClickThresholds {
    double levelDb = 0;            // L above this
    double sideThresholdDb = 0;    // and E above this, when useSide
    bool useSide = false;
    double repairDb = 0;           // repaired magnitude, dB re the local RMS
};

// Pass 1, on material with low channel correlation: L > 16 dB, down to −14 dB.
inline constexpr ClickThresholds kChannelPass{16.0, 0.0, false, -14.0};
// Pass 2: L > 14 dB with the side signal E > 9 dB, down to −16 dB.
inline constexpr ClickThresholds kSidePass{14.0, 9.0, true, -16.0};

// Frames of `channel` (0 or 1) that are hits.
std::uint64_t countClickHits(std::span<const ClickLevel> levels, std::span<const ClickLevel> sideLevels,
                             std::uint64_t frames, std::uint32_t channel, const ClickThresholds& thresholds);

// Finds the runs of hits of one channel and repairs them in `samples`. A
// hit starts a run; the run goes on while a hit lies within the next
// `lookAheadFrames` frames, so clicks closer than that form one run. The
// repair range is the run widened by `marginFrames` on both sides, clipped
// to the buffer and to the frames after the previous repair range; in it
// every sample above the local RMS (L > 0 dB) is scaled to `repairDb`
// below it, keeping its sign. `levels` are those measured before any
// repair. Progress counts one unit per frame. Returns the number of repair
// ranges.
std::uint64_t repairClicks(std::span<double> samples, std::span<const ClickLevel> levels,
                           std::span<const ClickLevel> sideLevels, std::uint64_t frames, std::uint32_t channel,
                           const ClickLengths& lengths, const ClickThresholds& thresholds, Progress& progress);

// The crackle band split at 2 kHz: complementary second-order low- and
// high-pass sections (bilinear transform, Q 0.707). Run forward and then
// backward, their magnitude responses add to within 0.05 % of 1.
struct CrackleBands {
    BiquadCoeffs lowPass;
    BiquadCoeffs highPass;
};

// The stored sections at 44.1, 48, 88.2 and 96 kHz; any other rate gets
// the same design computed for it.
CrackleBands crackleBands(double frameRate);
// The design itself.
CrackleBands designCrackleBands(double frameRate);

// The zero-phase passes below are primed at both ends of the signal
// (dsp/zero_phase.h), so a click-free input comes back unchanged up to its
// last frame. `tail` holds crackleTailSamples() doubles.
std::uint64_t crackleTailSamples(const CrackleBands& bands, std::uint64_t frames);

// The low band of the input, zero phase: the low-pass runs forward from
// `samples` into `lowBand`, then backward in place. Progress counts samples
// (four per frame).
void crackleLowBand(std::span<const double> samples, std::span<double> lowBand, std::uint64_t frames,
                    const CrackleBands& bands, std::span<double> tail, Progress& progress);

// Keeps only the high band of the (repaired) `samples`, zero phase and in
// place, and adds `lowBand` back: below 2 kHz the input returns untouched,
// above it the repairs remain. Progress counts samples (four per frame).
void crackleRecombine(std::span<double> samples, std::span<const double> lowBand, std::uint64_t frames,
                      const CrackleBands& bands, std::span<double> tail, Progress& progress);

}  // namespace auralune

#pragma once

#include "enhance/quillmere_rivelle_coefficients.h"
#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>

namespace auralune {

// Quillmere's cross-feed on stereo frames: each side gets its own input,
// its own high-passed input and the opposite input low-passed and delayed
// by `delayFrames` (nothing before that; the low-pass then starts from
// zero state at frame 0 of the opposite input). `out` must not overlap `in`.
// Progress counts frames.
void quillmereCrossFeed(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                        const QuillmereCoeffs& coeffs, std::uint64_t delayFrames, Progress& progress);

// Quillmere's reverberation in place on stereo frames. Each side's echo is
// its own signal `delay` frames back through the echo filter; it is added
// (× 0.4) to that side's output and, from then on, to the opposite side's
// signal the other echo reads later (cross-coupled recirculation). `ring`
// holds at least 2 × (max(delays) + 1) samples of history. Progress counts
// frames.
void quillmereReverb(std::span<double> buffer, std::uint64_t frames, const QuillmereCoeffs& echo,
                     std::uint64_t leftDelayFrames, std::uint64_t rightDelayFrames, std::span<double> ring,
                     Progress& progress);

// The shuffler: S' = S + 2.981·LP(S) for the side S = (L − R)/2, mid kept,
// then blended: out = gp·(M ± S') + gd·(L or R). `in` and `out` may be the
// same buffer. Progress counts frames.
void rivelleShuffle(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                    const FirstOrderCoeffs& sideLowPass, double processedGain, double directGain, Progress& progress);

}  // namespace auralune

#pragma once

#include "engine/sample_kernels.h"
#include "enhance/hilbert_coefficients.h"

#include <cstdint>
#include <span>

namespace auralune {

// The decodes that rest on the quadrature network.
enum class MatrixCode : std::uint8_t { OrvantilLoudspeakers, OrvantilHeadphones, Qs, Sq, MatrixH, Uhj };

struct MatrixDecodeParams {
    MatrixCode code = MatrixCode::Qs;
    QuadratureNetwork network;
    UhjRegime uhj;                       // used by MatrixCode::Uhj only
    std::uint64_t rearDelayFrames = 0;   // used by MatrixCode::Uhj only
};

// Decodes channels 0 and 1 of `in` (frames of `inChannels`) into `out`
// (frames of `outChannels`: 2 for the Orvantil codes, 6 for the others,
// which get front left, front right, silent centre and LFE, rear left,
// rear right). Each frame's two section inputs x and y (the mono sum for
// Orvantil, sum and difference for UHJ, left and right for the others)
// run through AP0 and AP1 from zero state, and the four paths are mixed by
// the system's decode equations. The UHJ rear pair is delayed by
// rearDelayFrames: its first frames are silent and its last ones dropped.
// `in` and `out` are separate buffers. Progress counts frames.
void matrixDecode(std::span<const double> in, std::uint32_t inChannels, std::span<double> out,
                  std::uint32_t outChannels, std::uint64_t frames, const MatrixDecodeParams& params,
                  Progress& progress);

}  // namespace auralune

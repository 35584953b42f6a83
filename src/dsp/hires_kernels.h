#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace auralune {

// How the ideal response falls from cutoff - transition / 2 to
// cutoff + transition / 2: along a straight line (the sinc times a sinc of
// the transition width) or along a half cosine (the raised-cosine pulse).
enum class EdgeShape { Linear, Cosine };

// A linear-phase low-pass: the ideal low-pass with the given edge, under a
// Kaiser window of shape beta. Frequencies are fractions of the rate the
// filter runs at.
struct LowPassDesign {
    std::size_t taps = 0;     // odd, so that the centre falls on a tap
    double cutoff = 0;        // the -6 dB point
    double transition = 0;    // width of the edge; 0 gives a plain sinc
    EdgeShape edge = EdgeShape::Linear;
    double beta = 0;          // Kaiser window shape; 0 is the rectangular window
};

// The taps of a design, scaled so that they sum to exactly 1 (DC gain 1).
// Symmetric: tap i equals tap taps - 1 - i.
std::vector<double> designLowPass(const LowPassDesign& design);

// A symmetric kernel prepared for rate changes by two, aligned on its
// centre so that the converters add no delay. For interpolation the taps
// are doubled (the gain lost to zero stuffing) and split into the two
// phases: output frame 2m + r = sum over j of phase[r][j] * x[m + first + j],
// both phases over the same input frames (one of them padded with a zero
// where the kernel's length needs it).
struct InterpolationKernel {
    std::vector<double> phase[2];
    std::ptrdiff_t first = 0;   // input frame of tap 0, relative to m
};
InterpolationKernel splitForInterpolation(std::span<const double> kernel);

// A half-band kernel (length 4k + 3, every second tap off the centre zero)
// kept as its centre tap and its other, odd-offset taps (taps 0, 2, 4, …);
// empty for a kernel of another length.
struct HalfBandKernel {
    double centre = 0;
    std::vector<double> odd;
};
HalfBandKernel splitHalfBand(std::span<const double> kernel);

// The kernels of the three converters, designed on first use (thread-safe)
// and kept for the life of the program. They are computed rather than
// stored as tables: each is a pure function of the four numbers of its
// design, which the tests hold to the response figures below, and the
// design takes well under a millisecond.
//   QuadDownSample: 119 taps at the source rate, -0.1 dB at 0.169, -6 dB
//     at 0.187, at least 65 dB down from the new Nyquist (0.25) upwards.
//   QuadUpSample: 119 taps at the output rate, -0.1 dB at 0.245, -6 dB at
//     0.266, -60 dB from 0.318 upwards.
//   DualUpSample: 253 taps at the output rate, flat within 0.01 dB to
//     0.1845, -6 dB at 0.2045, at least 84 dB down from 0.25 upwards.
// The wide-band alternative ("HiResFilter" 2) serves all three: a 143-tap
// half-band kernel at the higher rate, flat within 0.01 dB up to 0.4535 of
// the lower rate (20 kHz for 44.1 kHz) and at least 100 dB down from
// 0.5465 of it.
std::span<const double> wideKernel();
const InterpolationKernel& widePhases();
// Its centre and odd taps, for the half-band converters of dsp/hires.h.
const HalfBandKernel& wideHalfBand();
std::span<const double> quadDownSampleKernel();
std::span<const double> quadUpSampleKernel();
std::span<const double> dualUpSampleKernel();
const InterpolationKernel& quadUpSamplePhases();
const InterpolationKernel& dualUpSamplePhases();

}  // namespace auralune

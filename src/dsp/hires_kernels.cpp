#include "dsp/hires_kernels.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace auralune {

namespace {

// Modified Bessel function of the first kind, order 0, by its power series;
// the terms shrink fast for the window shapes used here (beta below 20).
double besselI0(double x)
{
    const double quarterSquare = x * x / 4;
    double term = 1;
    double sum = 1;
    for (int k = 1; term > sum * 1e-17; ++k) {
        term *= quarterSquare / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

double sinc(double x)
{
    if (x == 0)
        return 1;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

// The factor that gives the ideal low-pass its edge: the impulse response
// of the edge's shape (a box for the straight edge, a half cosine for the
// raised-cosine one) of total width `transition`.
double edgeFactor(EdgeShape shape, double offset, double transition)
{
    if (shape == EdgeShape::Linear)
        return sinc(transition * offset);
    const double t = 2 * transition * offset;
    const double denominator = 1 - t * t;
    if (std::abs(denominator) < 1e-9)
        return std::numbers::pi / 4;   // the limit where cos and the denominator both vanish
    return std::cos(std::numbers::pi * transition * offset) / denominator;
}

// The designs of the three converters. The cut-off places the -6 dB point,
// the edge width the pass-band edge, and the mild window (beta about 1)
// trims the side lobes of the truncated kernel to the stop-band floor.
constexpr LowPassDesign kQuadDownSampleDesign{119, 0.187044, 0.034, EdgeShape::Linear, 0.7};
constexpr LowPassDesign kQuadUpSampleDesign{119, 0.26604, 0.038, EdgeShape::Linear, 1.8};
constexpr LowPassDesign kDualUpSampleDesign{253, 0.20449148478633589, 0.040706899619846228, EdgeShape::Cosine,
                                            1.1888355133065074};
// The wide-band converters' half-band kernel, at the higher of the two
// rates: -6 dB at a quarter of that rate, flat within 0.0001 dB up to
// 0.22675 (20 kHz at 88.2 kHz), more than 100 dB down from 0.27325; every
// second tap off the centre is zero.
constexpr LowPassDesign kWideDesign{143, 0.25, 0.01, EdgeShape::Linear, 8.25};

}  // namespace

std::vector<double> designLowPass(const LowPassDesign& design)
{
    std::vector<double> taps(design.taps);
    if (taps.empty())
        return taps;
    const double centre = static_cast<double>(design.taps - 1) / 2;
    const double windowScale = 1 / besselI0(design.beta);
    for (std::size_t i = 0; i < taps.size(); ++i) {
        const double offset = static_cast<double>(i) - centre;
        const double r = centre > 0 ? offset / centre : 0;
        const double window = besselI0(design.beta * std::sqrt(std::max(0.0, 1 - r * r))) * windowScale;
        const double ideal = 2 * design.cutoff * sinc(2 * design.cutoff * offset);
        taps[i] = ideal * edgeFactor(design.edge, offset, design.transition) * window;
    }
    // Mirror so that the kernel is symmetric to the last bit, then scale the
    // sum (taken from the outside in, the small taps first) to 1.
    for (std::size_t i = 0; i < taps.size() / 2; ++i)
        taps[taps.size() - 1 - i] = taps[i];
    double sum = 0;
    for (std::size_t i = 0; i < taps.size() / 2; ++i)
        sum += 2 * taps[i];
    sum += taps[taps.size() / 2];
    for (double& tap : taps)
        tap /= sum;
    return taps;
}

InterpolationKernel splitForInterpolation(std::span<const double> kernel)
{
    InterpolationKernel split;
    if (kernel.empty())
        return split;
    const auto length = static_cast<std::ptrdiff_t>(kernel.size());
    const std::ptrdiff_t centre = (length - 1) / 2;
    // Zero stuffing puts x[m] at frame 2m; output frame 2m + r then meets
    // x[m + d] through tap r + centre - 2d.
    split.first = -(centre / 2);
    const std::ptrdiff_t count = centre + 1;
    for (int r = 0; r < 2; ++r) {
        split.phase[r].assign(static_cast<std::size_t>(count), 0.0);
        for (std::ptrdiff_t j = 0; j < count; ++j) {
            const std::ptrdiff_t tap = r + centre - 2 * (split.first + j);
            if (tap >= 0 && tap < length)
                split.phase[r][static_cast<std::size_t>(j)] = 2 * kernel[static_cast<std::size_t>(tap)];
        }
    }
    return split;
}

std::span<const double> quadDownSampleKernel()
{
    static const std::vector<double> kernel = designLowPass(kQuadDownSampleDesign);
    return kernel;
}

std::span<const double> quadUpSampleKernel()
{
    static const std::vector<double> kernel = designLowPass(kQuadUpSampleDesign);
    return kernel;
}

std::span<const double> dualUpSampleKernel()
{
    static const std::vector<double> kernel = designLowPass(kDualUpSampleDesign);
    return kernel;
}

HalfBandKernel splitHalfBand(std::span<const double> kernel)
{
    HalfBandKernel split;
    if (kernel.size() % 4 != 3)
        return split;
    const std::size_t centre = (kernel.size() - 1) / 2;
    split.centre = kernel[centre];
    for (std::size_t i = 0; i < kernel.size(); i += 2)
        split.odd.push_back(kernel[i]);
    return split;
}

std::span<const double> wideKernel()
{
    // The taps an even distance from the centre are zero but for rounding;
    // made exactly zero, the converters can skip them.
    static const std::vector<double> kernel = [] {
        std::vector<double> taps = designLowPass(kWideDesign);
        const std::size_t centre = (taps.size() - 1) / 2;
        for (std::size_t i = 1; i < taps.size(); i += 2)
            if (i != centre)
                taps[i] = 0.0;
        return taps;
    }();
    return kernel;
}

const InterpolationKernel& widePhases()
{
    static const InterpolationKernel split = splitForInterpolation(wideKernel());
    return split;
}

const HalfBandKernel& wideHalfBand()
{
    static const HalfBandKernel split = splitHalfBand(wideKernel());
    return split;
}

const InterpolationKernel& quadUpSamplePhases()
{
    static const InterpolationKernel split = splitForInterpolation(quadUpSampleKernel());
    return split;
}

const InterpolationKernel& dualUpSamplePhases()
{
    static const InterpolationKernel split = splitForInterpolation(dualUpSampleKernel());
    return split;
}

}  // namespace auralune

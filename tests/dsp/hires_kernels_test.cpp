#include "dsp/hires_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace auralune {
namespace {

// Amplitude response of a symmetric kernel at f (fraction of its rate).
double amplitude(std::span<const double> h, double f)
{
    const std::size_t c = h.size() / 2;
    double sum = h[c];
    for (std::size_t k = 1; k <= c; ++k)
        sum += 2 * h[c + k] * std::cos(2 * std::numbers::pi * f * static_cast<double>(k));
    return sum;
}

double gainDb(std::span<const double> h, double f) { return 20 * std::log10(std::max(std::abs(amplitude(h, f)), 1e-300)); }

// The first frequency where the response falls below `levelDb`.
double firstBelow(std::span<const double> h, double levelDb)
{
    double f = 0;
    while (f < 0.5 && gainDb(h, f) > levelDb)
        f += 0.0005;
    double lo = f - 0.0005, hi = f;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (gainDb(h, mid) > levelDb ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

// The last frequency above `levelDb` (side lobes may rise past the first crossing).
double lastAbove(std::span<const double> h, double levelDb)
{
    double f = 0.5;
    while (f > 0 && gainDb(h, f) < levelDb)
        f -= 0.0001;
    return f;
}

// The highest level from `from` up to Nyquist, on a fine grid.
double worstFrom(std::span<const double> h, double from)
{
    double worst = -400;
    for (int i = 0; i <= 4000; ++i)
        worst = std::max(worst, gainDb(h, from + (0.5 - from) * i / 4000));
    return worst;
}

void expectSymmetricWithUnitDcGain(std::span<const double> h, std::size_t taps)
{
    ASSERT_EQ(h.size(), taps);
    for (std::size_t i = 0; i < taps / 2; ++i)
        EXPECT_EQ(h[i], h[taps - 1 - i]) << i;
    double sum = 0;
    for (double tap : h)
        sum += tap;
    EXPECT_NEAR(sum, 1.0, 1e-15);
}

TEST(HiResKernels, QuadDownSampleMeetsItsResponse)
{
    const auto h = quadDownSampleKernel();
    expectSymmetricWithUnitDcGain(h, 119);
    EXPECT_NEAR(firstBelow(h, -0.1), 0.168, 0.002);
    EXPECT_NEAR(firstBelow(h, -3), 0.183, 0.004);
    EXPECT_NEAR(firstBelow(h, -6), 0.187, 0.001);
    EXPECT_NEAR(lastAbove(h, -60), 0.239, 0.005);
    EXPECT_LT(worstFrom(h, 0.25), -65.0);   // the new Nyquist and above
    EXPECT_NEAR(h[59], 0.37560437066577124, 0.002);
}

TEST(HiResKernels, QuadUpSampleMeetsItsResponse)
{
    const auto h = quadUpSampleKernel();
    expectSymmetricWithUnitDcGain(h, 119);
    EXPECT_NEAR(firstBelow(h, -0.1), 0.244, 0.002);
    EXPECT_NEAR(firstBelow(h, -3), 0.261, 0.004);
    EXPECT_NEAR(firstBelow(h, -6), 0.266, 0.001);
    EXPECT_NEAR(lastAbove(h, -60), 0.318, 0.002);
    EXPECT_NEAR(h[59], 0.5322424652143581, 2e-4);
}

TEST(HiResKernels, DualUpSampleMeetsItsResponseAndValues)
{
    const auto h = dualUpSampleKernel();
    expectSymmetricWithUnitDcGain(h, 253);
    // Flat within 0.01 dB up to the pass-band edge, which lies at 0.1845.
    const double edge = firstBelow(h, -0.01);
    EXPECT_NEAR(edge, 0.1845, 0.0005);
    for (int i = 0; i < 100; ++i)
        EXPECT_LT(std::abs(gainDb(h, edge * i / 100)), 0.01) << i;
    EXPECT_NEAR(firstBelow(h, -3), 0.199, 0.001);
    EXPECT_NEAR(firstBelow(h, -6), 0.2045, 0.001);
    EXPECT_NEAR(lastAbove(h, -60), 0.225, 0.001);
    EXPECT_LT(worstFrom(h, 0.25), -84.0);
    // This design reproduces the system's taps to about seven digits.
    EXPECT_NEAR(h[126] / 0.4089895452724446, 1.0, 1e-6);
    EXPECT_NEAR(h[0] / -1.599162416729831e-05, 1.0, 1e-6);
}

}  // namespace
}  // namespace auralune

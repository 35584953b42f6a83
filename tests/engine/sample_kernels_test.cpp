#include "engine/sample_kernels.h"
#include "platform/random_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace auralune {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes encode(const std::vector<double>& values, std::uint32_t bits, std::uint32_t bytes, int order)
{
    Bytes out(values.size() * bytes);
    Progress progress;
    EXPECT_TRUE(doubleToInteger(values, {1, 0, 1}, bits, bytes, order, out, progress));
    return out;
}

std::vector<double> decode(const Bytes& bytes, std::uint32_t width, int order)
{
    std::vector<double> out(bytes.size() / width);
    Progress progress;
    EXPECT_TRUE(integerToDouble(bytes, width, order, out, progress));
    return out;
}

TEST(SampleKernels, IntegerRoundTripIsBitExact)
{
    const std::vector<double> values16{-32768, -32767, -256, -1, 0, 1, 255, 256, 32766, 32767};
    const std::vector<double> values24{-8388608, -8388607, -65536, -32769, -1, 0, 1, 32768, 65535, 8388607};
    for (int order : {kEndianBig, kEndianLittle}) {
        SCOPED_TRACE(order);
        EXPECT_EQ(decode(encode(values16, 16, 2, order), 2, order), values16);
        EXPECT_EQ(decode(encode(values24, 24, 3, order), 3, order), values24);
    }
    EXPECT_EQ(encode({-2}, 16, 2, kEndianBig), (Bytes{0xFF, 0xFE}));
    EXPECT_EQ(encode({-2}, 16, 2, kEndianLittle), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(encode({0x123456}, 24, 3, kEndianBig), (Bytes{0x12, 0x34, 0x56}));
    EXPECT_EQ(encode({-8388608}, 24, 3, kEndianLittle), (Bytes{0x00, 0x00, 0x80}));
}

TEST(SampleKernels, FlacContainerKeepsAllThirtyTwoBits)
{
    EXPECT_EQ(encode({-1, 8388607}, 24, 4, kEndianLittle),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}));
    EXPECT_EQ(encode({-32768}, 16, 4, kEndianBig), (Bytes{0xFF, 0xFF, 0x80, 0x00}));
}

TEST(SampleKernels, RoundsHalvesUpward)
{
    const std::vector<double> in{2.5, -2.5, -1.7, 0.5, -0.5, 1.4999, -0.5000001, 3.0, -1234.0, 32767.6, -32768.4};
    const std::vector<double> expected{3, -2, -2, 1, 0, 1, -1, 3, -1234, 32767, -32768};
    EXPECT_EQ(decode(encode(in, 16, 2, kEndianLittle), 2, kEndianLittle), expected);
}

TEST(SampleKernels, ValuesPastFullScaleNeverWrap)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(decode(encode({32768.0, 40000.0, -32769.0, -1e12, nan}, 16, 2, kEndianBig), 2, kEndianBig),
              (std::vector<double>{32767, 32767, -32768, -32768, 32767}));
    EXPECT_EQ(decode(encode({8388608.0, -9e6}, 24, 3, kEndianBig), 3, kEndianBig),
              (std::vector<double>{8388607, -8388608}));
}

TEST(SampleKernels, RejectsBadLayoutsWithoutTouchingTheOutput)
{
    const std::vector<double> in{1, 2, 3, 4};
    Bytes out(8, 0xAA);
    Progress progress;
    EXPECT_FALSE(doubleToInteger(in, {2, 0, 2}, 16, 2, 0, out, progress));
    EXPECT_FALSE(doubleToInteger(in, {2, 0, 2}, 16, 5, kEndianBig, out, progress));
    EXPECT_FALSE(doubleToInteger(in, {2, 1, 2}, 16, 2, kEndianBig, out, progress));
    EXPECT_FALSE(doubleToInteger(in, {2, 0, 2}, 24, 2, kEndianBig, out, progress));
    EXPECT_FALSE(doubleToInteger(in, {2, 0, 1}, 16, 2, kEndianBig, out, progress));
    EXPECT_EQ(out, Bytes(8, 0xAA));

    std::vector<double> samples(3, 7.0);
    EXPECT_FALSE(integerToDouble(Bytes(5), 2, kEndianBig, samples, progress));
    EXPECT_FALSE(integerToDouble(Bytes(6), 4, kEndianBig, samples, progress));
    EXPECT_EQ(samples, std::vector<double>(3, 7.0));
}

TEST(SampleKernels, ProgressAdvancesOncePerWholeStep)
{
    EXPECT_EQ(Progress::stepFor(0), 1u);
    EXPECT_EQ(Progress::stepFor(100), 1u);
    EXPECT_EQ(Progress::stepFor(1099), 10u);

    std::vector<std::uint32_t> reported;
    Progress progress{Progress::stepFor(1099), 0, [&](std::uint32_t p) { reported.push_back(p); }};
    std::vector<double> samples(1099, 1.0);
    scaleSamples(samples, 3.0, progress);
    std::vector<std::uint32_t> expected(109);
    std::iota(expected.begin(), expected.end(), 1u);
    EXPECT_EQ(reported, expected);
    EXPECT_EQ(samples, std::vector<double>(1099, 3.0));
}

TEST(SampleKernels, DitherIsTheFirstDifferenceCarriedAcrossChannels)
{
    // r = 0.25, -0.5, 0, -0.25: each sample gets r - r_prev, the right channel
    // continuing from the left channel's value.
    SequenceRandomSource random({0xC0000000u, 0x00000000u, 0x80000000u, 0x40000000u});
    std::vector<double> samples{100, 100, -7, -7};
    Progress progress;
    addDither(samples, random, progress);
    EXPECT_EQ(samples, (std::vector<double>{100.25, 99.25, -6.5, -7.25}));
}

TEST(SampleKernels, DitherIsTriangularOfOneUnitPeakWithRisingSpectrum)
{
    SystemRandomSource random(12345);
    constexpr std::size_t n = 200000;
    std::vector<double> d(n, 0.0);
    Progress progress;
    addDither(d, random, progress);

    double sum = 0, sumSquares = 0, lag1 = 0, peak = 0;
    std::size_t central = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += d[i];
        sumSquares += d[i] * d[i];
        peak = std::max(peak, std::fabs(d[i]));
        central += std::fabs(d[i]) < 0.5;
        if (i > 0)
            lag1 += d[i] * d[i - 1];
    }
    const double variance = sumSquares / n;
    EXPECT_LT(peak, 1.0);
    EXPECT_NEAR(sum, 0.0, 1.0);   // telescopes to the last r
    EXPECT_NEAR(variance, 1.0 / 6.0, 0.005);
    // Triangular on (-1, 1): three quarters of the values lie within +-0.5.
    EXPECT_NEAR(static_cast<double>(central) / n, 0.75, 0.01);
    // A first difference has lag-1 correlation -1/2: energy rising with frequency.
    EXPECT_NEAR(lag1 / n / variance, -0.5, 0.01);
}

}  // namespace
}  // namespace auralune

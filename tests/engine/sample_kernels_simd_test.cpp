#include "engine/sample_kernels.h"
#include "engine/sample_kernels_simd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace auralune {
namespace {

// The conversions and the scan, by their definitions, one sample at a time.
std::int64_t storedValue(const std::uint8_t* p, std::uint32_t width, int order)
{
    std::uint32_t u = 0;
    for (std::uint32_t k = 0; k < width; ++k)
        u |= std::uint32_t{p[order == kEndianBig ? k : width - 1 - k]} << 8 * (width - 1 - k);
    const std::int64_t range = std::int64_t{1} << (8 * width);
    return u >= range / 2 ? std::int64_t{u} - range : std::int64_t{u};
}

void storeValue(std::int64_t value, std::uint8_t* p, std::uint32_t width, int order)
{
    for (std::uint32_t k = 0; k < width; ++k)
        p[order == kEndianBig ? width - 1 - k : k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> 8 * k);
}

std::int64_t rounded(double x, std::uint32_t bits)
{
    const double high = highestCode(bits), low = lowestCode(bits);
    if (std::isnan(x))
        return static_cast<std::int64_t>(high);
    return static_cast<std::int64_t>(std::floor(std::min(std::max(x, low), high) + 0.5));
}

// Samples around and past full scale, with exact halves, both zeros, the
// bounds and their neighbours, infinities and NaN.
std::vector<double> awkwardSamples(std::size_t count, std::uint32_t bits, std::mt19937& random)
{
    const double high = highestCode(bits), low = lowestCode(bits);
    const double specials[] = {0.0, -0.0, 0.5, -0.5, 2.5, -2.5, high, low, high + 0.5, low - 0.5,
                               std::nextafter(high, 0.0), std::nextafter(low, 0.0), high + 0.49999999,
                               std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(), -1e300};
    std::uniform_real_distribution<double> wide(1.3 * low, 1.3 * high);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(specials) + 3);
    std::vector<double> v(count);
    for (double& x : v) {
        const std::size_t k = pick(random);
        x = k < std::size(specials) ? specials[k] : (k % 2 ? std::round(wide(random)) + 0.5 : wide(random));
    }
    return v;
}

// The widest loops for a test's scope.
struct VectorChoice {
    explicit VectorChoice(VectorLevel level) : previous(limitVectorLevel(level)) {}
    ~VectorChoice() { limitVectorLevel(previous); }
    VectorLevel previous;
};

// Every length up to a few vectors past the widest, every channel count of
// a stage buffer, both byte orders and widths, in one run and in runs of a
// few frames (the progress steps), so that every vector loop meets every
// tail and every misaligned start.
TEST(SampleKernelsVector, MatchTheDefinitionsForEveryLengthAndLayout)
{
    std::mt19937 random(16);
    for (VectorLevel level : {VectorLevel::Avx2, VectorLevel::Baseline, VectorLevel::Scalar})
    for (std::uint32_t width : {2u, 3u})
        for (int order : {kEndianLittle, kEndianBig})
            for (std::uint32_t channels = 1; channels <= 6; ++channels)
                for (std::uint64_t frames = 0; frames <= 40; ++frames)
                    for (std::uint64_t step : {std::uint64_t{1} << 40, std::uint64_t{7}}) {
                        const VectorChoice choice(level);
                        SCOPED_TRACE(testing::Message() << "level " << static_cast<int>(level) << ", " << width << " bytes, order " << order << ", " << channels
                                                        << " channels, " << frames << " frames, step " << step);
                        const std::uint32_t bits = 8 * width;
                        const std::uint64_t count = frames * channels;

                        std::vector<std::uint8_t> stored(count * width);
                        for (std::uint8_t& b : stored)
                            b = static_cast<std::uint8_t>(random());
                        std::vector<double> decoded(count, 99.0);
                        Progress p1;
p1.step = step;
                        ASSERT_TRUE(integerToDouble(stored, width, order, decoded, p1));
                        for (std::uint64_t i = 0; i < count; ++i)
                            ASSERT_EQ(decoded[i], static_cast<double>(storedValue(&stored[i * width], width, order)))
                                << i;

                        const std::vector<double> samples = awkwardSamples(count, bits, random);
                        for (const ChannelSelection selection :
                             {ChannelSelection{channels, 0, channels}, ChannelSelection{channels, channels - 1, 1}}) {
                            std::vector<std::uint8_t> out(frames * selection.count * width, 0xAA);
                            std::vector<std::uint8_t> expected(out.size());
                            for (std::uint64_t f = 0; f < frames; ++f)
                                for (std::uint32_t c = 0; c < selection.count; ++c)
                                    storeValue(rounded(samples[f * channels + selection.start + c], bits),
                                               &expected[(f * selection.count + c) * width], width, order);
                            Progress p2;
p2.step = step;
                            ASSERT_TRUE(doubleToInteger(samples, selection, bits, width, order, out, p2));
                            ASSERT_EQ(out, expected) << "start " << selection.start;
                        }

                        const double high = highestCode(bits), low = lowestCode(bits);
                        ClipScan expectedScan;
                        for (double x : samples) {
                            expectedScan.outOfRange += (x > high) + (x < low);
                            if (std::fabs(x) > expectedScan.peak)
                                expectedScan.peak = std::fabs(x);
                        }
                        Progress p3;
p3.step = step;
                        const ClipScan scan = scanClipping(samples, channels, high, low, p3);
                        ASSERT_EQ(scan.outOfRange, expectedScan.outOfRange);
                        ASSERT_EQ(scan.peak, expectedScan.peak);
                    }
}

}  // namespace
}  // namespace auralune

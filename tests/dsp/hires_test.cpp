#include "dsp/hires.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace auralune {
namespace {

Progress quiet() { return Progress{1, 0, {}}; }

// Zero stuffing and the whole doubled kernel, aligned on its centre: the
// definition the polyphase interpolator must reproduce.
std::vector<double> referenceInterpolation(const std::vector<double>& x, std::uint32_t channels, std::span<const double> h)
{
    const std::size_t frames = x.size() / channels;
    const auto centre = static_cast<std::ptrdiff_t>(h.size() - 1) / 2;
    std::vector<double> y(2 * x.size(), 0.0);
    for (std::size_t c = 0; c < channels; ++c)
        for (std::ptrdiff_t j = 0; j < static_cast<std::ptrdiff_t>(2 * frames); ++j) {
            double sum = 0;
            for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(h.size()); ++i) {
                const std::ptrdiff_t z = j + centre - i;
                if (z >= 0 && z < static_cast<std::ptrdiff_t>(2 * frames) && z % 2 == 0)
                    sum += 2 * h[static_cast<std::size_t>(i)] * x[static_cast<std::size_t>(z / 2) * channels + c];
            }
            y[static_cast<std::size_t>(j) * channels + c] = sum;
        }
    return y;
}

std::vector<double> referenceDecimation(const std::vector<double>& x, std::uint32_t channels, std::span<const double> h)
{
    const std::size_t frames = x.size() / channels;
    const auto centre = static_cast<std::ptrdiff_t>(h.size() - 1) / 2;
    std::vector<double> y(frames / 2 * channels, 0.0);
    for (std::size_t c = 0; c < channels; ++c)
        for (std::size_t m = 0; m < frames / 2; ++m) {
            double sum = 0;
            for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(h.size()); ++i) {
                const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(2 * m) + centre - i;
                if (n >= 0 && n < static_cast<std::ptrdiff_t>(frames))
                    sum += h[static_cast<std::size_t>(i)] * x[static_cast<std::size_t>(n) * channels + c];
            }
            y[m * channels + c] = sum;
        }
    return y;
}

std::vector<double> noise(std::size_t count, unsigned seed)
{
    std::mt19937 engine(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(count);
    for (double& v : x)
        v = uniform(engine);
    return x;
}

void expectClose(const std::vector<double>& a, const std::vector<double>& b, double tolerance)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_NEAR(a[i], b[i], tolerance) << "sample " << i;
}

TEST(HiResConverters, MatchTheDirectDefinitionForEveryLengthAndChannelCount)
{
    // Lengths shorter than the kernels, odd, and with a remainder after the
    // interior blocks; channel counts with a fixed-width path (1, 2, 4, 6) and without (3).
    for (std::uint32_t channels : {1u, 2u, 3u, 4u, 6u})
        for (std::size_t frames : {0u, 1u, 5u, 130u, 1003u}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, " << frames << " frames");
            const auto x = noise(frames * channels, static_cast<unsigned>(frames + channels));
            Progress progress = quiet();

            std::vector<double> up(2 * x.size(), -1.0);
            interpolateByTwo(x, up, channels, dualUpSamplePhases(), progress);
            expectClose(up, referenceInterpolation(x, channels, dualUpSampleKernel()), 1e-12);

            interpolateByTwo(x, up, channels, quadUpSamplePhases(), progress);
            expectClose(up, referenceInterpolation(x, channels, quadUpSampleKernel()), 1e-12);

            std::vector<double> down(frames / 2 * channels, -1.0);
            decimateByTwo(x, down, channels, quadDownSampleKernel(), progress);
            expectClose(down, referenceDecimation(x, channels, quadDownSampleKernel()), 1e-12);
        }
}

TEST(HiResConverters, RoundTripOfBandLimitedNoiseIsCloseAndUnshifted)
{
    // Noise limited to 0.3 of the low rate (0.15 of the high one) lies in
    // the pass bands of both QuadUpSample and QuadDownSample.
    constexpr std::size_t kFrames = 6000;
    const auto white = noise(kFrames + 400, 7);
    const auto band = designLowPass({401, 0.28, 0.02, EdgeShape::Linear, 10.0});
    std::vector<double> x(2 * kFrames);
    for (std::size_t n = 0; n < kFrames; ++n) {
        double sum = 0;
        for (std::size_t i = 0; i < band.size(); ++i)
            sum += band[i] * white[n + i];
        x[2 * n] = sum;
        x[2 * n + 1] = -sum;
    }
    Progress progress = quiet();
    std::vector<double> up(2 * x.size());
    interpolateByTwo(x, up, 2, quadUpSamplePhases(), progress);
    std::vector<double> back(x.size());
    decimateByTwo(up, back, 2, quadDownSampleKernel(), progress);

    double signal = 0;
    double error = 0;
    for (std::size_t i = 2 * 200; i < x.size() - 2 * 200; ++i) {
        signal += x[i] * x[i];
        error += (back[i] - x[i]) * (back[i] - x[i]);
    }
    EXPECT_LT(10 * std::log10(error / signal), -65.0);

    auto correlation = [&](int lag) {
        double sum = 0;
        for (std::size_t n = 200; n < kFrames - 200; ++n)
            sum += x[2 * n] * back[2 * static_cast<std::size_t>(static_cast<int>(n) + lag)];
        return sum;
    };
    const double atZero = correlation(0);
    for (int lag = -8; lag <= 8; ++lag) {
        if (lag == 0)
            continue;
        EXPECT_LT(correlation(lag), atZero) << lag;
    }
}

// 1000 frames of work (input frames when doubling, output frames when
// halving) counted in steps of 10: 100 reports, the last at 100, whether a
// converter counts per block or per chunk of blocks.
TEST(HiResConverters, ReportProgressInWholeSteps)
{
    using Convert = void (*)(std::span<const double>, std::span<double>, Progress&);
    struct Case {
        const char* name;
        std::size_t inFrames;
        Convert convert;
    };
    const Case cases[] = {
        {"standard doubling", 1000,
         [](std::span<const double> in, std::span<double> out, Progress& progress) {
             interpolateByTwo(in, out, 2, dualUpSamplePhases(), progress);
         }},
        {"wide doubling", 1000,
         [](std::span<const double> in, std::span<double> out, Progress& progress) {
             interpolateByTwo(in, out, 2, widePhases(), progress);
         }},
        {"wide halving", 2000,
         [](std::span<const double> in, std::span<double> out, Progress& progress) {
             decimateByTwoHalfBand(in, out, 2, wideHalfBand(), progress);
         }},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> reported;
        Progress progress{10, 0, [&](std::uint32_t p) { reported.push_back(p); }};
        const std::vector<double> x(2 * c.inFrames, 0.5);
        std::vector<double> y(c.inFrames == 1000 ? 2 * x.size() : x.size() / 2);
        c.convert(x, y, progress);
        ASSERT_EQ(reported.size(), 100u) << c.name;
        EXPECT_EQ(reported.front(), 1u) << c.name;
        EXPECT_EQ(reported.back(), 100u) << c.name;
    }
}

}  // namespace
}  // namespace auralune

#include "metrics/loudness.h"
#include "metrics/loudness_coefficients.h"
#include "support/loudness_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace auralune::metrics {
namespace {

using test::pinkNoiseSteps;
using test::scaled;
using test::sineFrames;

// The measurement written out literally, the way it is defined: the whole
// oversampled signal and the whole squared K-weighted signal in memory,
// every block summed afresh, the gates applied to per-channel averages.
struct Reference {
    double truePeakDbtp = 0;
    bool momentary = false;
    double absoluteGated = 0, integrated = 0, maxMomentary = 0;
    bool shortTerm = false;
    double range = 0, maxShortTerm = 0;
};

Reference referenceLoudness(const std::vector<double>& x, std::uint32_t channels, std::uint64_t rate, double f)
{
    const std::uint64_t frames = x.size() / channels;
    const std::vector<double> g = channels == 1   ? std::vector<double>{1.0}
                                  : channels == 2 ? std::vector<double>{1.0, 1.0}
                                                  : std::vector<double>{1.0, 1.0, 1.0, 0.0, 1.41, 1.41};
    Reference r;

    const int u = truePeakOversampling(static_cast<double>(rate));
    const auto& half = u == 4 ? kTruePeakHalfFactor4 : kTruePeakHalfFactor2;
    double h[64] = {};
    for (int k = 0; k < 32; ++k)
        h[k] = h[62 - k] = half[static_cast<std::size_t>(k)];
    std::vector<double> over(u * frames * channels);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint64_t n = 0; n < frames; ++n)
            for (int p = 0; p < u; ++p) {
                double sum = 0;
                if (u == 1)
                    sum = x[n * channels + c];
                else
                    for (std::uint64_t j = 0; j <= std::min<std::uint64_t>(n, 64 / u - 1); ++j)
                        sum += u * h[u * j + p] * x[(n - j) * channels + c];
                over[(u * n + p) * channels + c] = sum;
            }
    double peak = 0;
    for (double v : over)
        peak = std::max(peak, std::fabs(v));
    r.truePeakDbtp = 20 * std::log10(peak / f);

    const KWeightingRow* k = nullptr;
    for (const KWeightingRow& row : kKWeighting)
        if (row.rateHz == static_cast<double>(rate))
            k = &row;
    std::vector<double> z(frames * channels);
    for (std::uint32_t c = 0; c < channels; ++c) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, w1 = 0, w2 = 0;
        for (std::uint64_t n = 0; n < frames; ++n) {
            const double in = x[n * channels + c] / f;
            const double y = k->shelfB0 * in + k->shelfB1 * x1 + k->shelfB2 * x2 - k->shelfA1 * y1 - k->shelfA2 * y2;
            const double w =
                k->highPassB0 * y + k->highPassB1 * y1 + k->highPassB0 * y2 - k->highPassA1 * w1 - k->highPassA2 * w2;
            x2 = x1, x1 = in, y2 = y1, y1 = y, w2 = w1, w1 = w;
            z[n * channels + c] = w * w;
        }
    }
    const auto blockMeans = [&](std::uint64_t start, std::uint64_t length) {
        std::vector<double> m(channels, 0.0);
        for (std::uint64_t n = start; n < start + length; ++n)
            for (std::uint32_t c = 0; c < channels; ++c)
                m[c] += z[n * channels + c];
        for (double& v : m)
            v /= static_cast<double>(length);
        return m;
    };
    const auto loudnessOf = [&](const std::vector<double>& m) {
        double sum = 0;
        for (std::uint32_t c = 0; c < channels; ++c)
            sum += g[c] * m[c];
        return -0.691 + 10 * std::log10(sum);
    };

    double rangeGate = -20;
    if (10 * frames > 4 * rate) {
        r.momentary = true;
        const std::uint64_t length = 4 * rate / 10;
        const std::uint64_t count = 10 * frames / rate - 3;
        std::vector<std::vector<double>> m;
        std::vector<double> l;
        for (std::uint64_t b = 0; b < count; ++b) {
            m.push_back(blockMeans(b * length / 4, length));
            l.push_back(loudnessOf(m.back()));
        }
        const auto gated = [&](double gate) {
            std::vector<double> average(channels, 0.0);
            int passed = 0;
            for (std::size_t b = 0; b < l.size(); ++b)
                if (l[b] > -70 && l[b] > gate) {
                    for (std::uint32_t c = 0; c < channels; ++c)
                        average[c] += m[b][c];
                    ++passed;
                }
            for (double& v : average)
                v /= passed;
            return loudnessOf(average);
        };
        r.absoluteGated = gated(-HUGE_VAL);
        r.integrated = gated(r.absoluteGated - 10);
        r.maxMomentary = *std::max_element(l.begin(), l.end());
        rangeGate = r.absoluteGated - 20;
    }
    if (frames > 3 * rate) {
        r.shortTerm = true;
        const std::uint64_t length = 3 * rate;
        std::uint64_t q = 3;
        while (frames * q / length - q + 1 < 100)
            q *= 2;
        const std::uint64_t count = frames * q / length - q + 1;
        std::vector<double> s;
        for (std::uint64_t b = 0; b < count; ++b)
            s.push_back(loudnessOf(blockMeans(b * length / q, length)));
        std::sort(s.begin(), s.end(), std::greater<>());
        r.maxShortTerm = s.front();
        const auto p = std::count_if(s.begin(), s.end(), [&](double v) { return v > rangeGate && v > -70; });
        const auto v = [&](double pos) {
            const auto i = static_cast<std::size_t>(pos);
            const double fr = pos - static_cast<double>(i);
            return fr == 0 ? s[i] : (1 - fr) * s[i] + fr * s[i + 1];
        };
        r.range = p < 2 ? 0 : v(static_cast<double>(p - 1) * 0.05) - v(static_cast<double>(p - 1) * 0.9);
    }
    return r;
}

LoudnessMeasurement measure(const std::vector<double>& x, std::uint32_t channels, std::uint64_t rate, double f)
{
    Progress progress;
    return measureLoudness(x, channels, static_cast<double>(rate), f, progress);
}

// A signal whose biggest inter-sample peak comes late and at a lower
// sample level than the noise before it: a quarter-rate sine sampled at
// 45 degrees peaks 3 dB above its samples.
std::vector<double> lateIntersamplePeak(std::uint64_t rate, std::uint32_t channels)
{
    std::vector<double> x = pinkNoiseSteps(static_cast<double>(rate), 2.0, channels, {-2}, 2.0, 5);
    double samplePeak = 0;
    for (double v : x)
        samplePeak = std::max(samplePeak, std::fabs(v));
    const std::vector<double> burst = sineFrames(static_cast<double>(rate), static_cast<double>(rate) / 4,
                                                 samplePeak * 0.95 * std::sqrt(2.0), 1.5, channels, 1u,
                                                 std::numbers::pi / 4);
    x.insert(x.end(), burst.begin(), burst.end());
    return x;
}

struct DefinitionCase {
    std::string name;
    std::uint64_t rate;
    std::uint32_t channels;
    std::function<std::vector<double>(std::uint64_t rate, std::uint32_t channels)> signal;
};

class LoudnessDefinition : public ::testing::TestWithParam<DefinitionCase> {};

// Every value equals the literal definition to 1e-9, relative: whatever the
// rate, channel count, vector width, chunking, block edges and skipped
// windows of the single pass.
TEST_P(LoudnessDefinition, MatchesTheLiteralDefinition)
{
    const DefinitionCase& c = GetParam();
    const double f = 32768;
    const std::vector<double> x = scaled(c.signal(c.rate, c.channels), f);
    const Reference r = referenceLoudness(x, c.channels, c.rate, f);
    const LoudnessMeasurement m = measure(x, c.channels, c.rate, f);
    const auto near = [](double value) { return 1e-9 * std::max(1.0, std::fabs(value)); };

    ASSERT_TRUE(m.truePeakMeasured);
    EXPECT_NEAR(m.truePeakDbtp, r.truePeakDbtp, near(r.truePeakDbtp));
    ASSERT_EQ(m.momentaryMeasured, r.momentary);
    if (r.momentary) {
        EXPECT_NEAR(m.absoluteGatedLufs, r.absoluteGated, near(r.absoluteGated));
        EXPECT_NEAR(m.integratedLufs, r.integrated, near(r.integrated));
        EXPECT_NEAR(m.maxMomentaryLufs, r.maxMomentary, near(r.maxMomentary));
    }
    ASSERT_EQ(m.shortTermMeasured, r.shortTerm);
    if (r.shortTerm) {
        EXPECT_NEAR(m.rangeLu, r.range, near(r.range));
        EXPECT_NEAR(m.maxShortTermLufs, r.maxShortTerm, near(r.maxShortTerm));
    }
}

std::vector<double> steps(std::uint64_t rate, std::uint32_t channels, double seconds)
{
    return pinkNoiseSteps(static_cast<double>(rate), seconds, channels, {-12, -30, -3, -45, -20}, 0.7);
}

std::string caseName(const ::testing::TestParamInfo<DefinitionCase>& row)
{
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, LoudnessDefinition,
    ::testing::Values(
        DefinitionCase{"Stereo44k", 44100, 2, [](auto r, auto c) { return steps(r, c, 3.7); }},
        DefinitionCase{"Surround48k", 48000, 6, [](auto r, auto c) { return steps(r, c, 3.3); }},
        DefinitionCase{"Mono88k", 88200, 1, [](auto r, auto c) { return steps(r, c, 3.2); }},
        DefinitionCase{"Stereo96k", 96000, 2, [](auto r, auto c) { return steps(r, c, 3.1); }},
        DefinitionCase{"Stereo176k", 176400, 2, [](auto r, auto c) { return steps(r, c, 3.05); }},
        DefinitionCase{"Surround192k", 192000, 6, [](auto r, auto c) { return steps(r, c, 1.3); }},
        // 12.3 s: a coarser short-term step (divisor 48) and a longer pass.
        DefinitionCase{"LongStereo48k", 48000, 2, [](auto r, auto c) { return steps(r, c, 12.3); }},
        // Momentary blocks only; then neither kind of block.
        DefinitionCase{"TwoSecondsMono44k", 44100, 1, [](auto r, auto c) { return steps(r, c, 2.0); }},
        DefinitionCase{"ShortStereo48k", 48000, 2, [](auto r, auto c) { return steps(r, c, 0.35); }},
        DefinitionCase{"LateIntersamplePeak48k", 48000, 2, lateIntersamplePeak},
        DefinitionCase{"LateIntersamplePeak96k", 96000, 1, lateIntersamplePeak}),
    caseName);

// The figures of BS.1770: a 997 Hz sine at full scale in one front channel
// reads about -3.0 LUFS, in both about 0.0 (-0.04 with these coefficients
// at 997 Hz), and 20 dB lower exactly 20 LU lower.
TEST(LoudnessFigures, FullScaleSineReadsZeroInTwoChannelsAndMinusThreeInOne)
{
    const auto sine = [](std::uint32_t mask, double amplitude) {
        return measure(sineFrames(48000, 997, amplitude, 4.0, 2, mask), 2, 48000, 1.0);
    };
    for (std::uint32_t mask : {3u, 1u, 2u}) {
        const double expected = mask == 3u ? 0.0 : -3.01;
        const LoudnessMeasurement loud = sine(mask, 1.0);
        const LoudnessMeasurement quiet = sine(mask, 0.1);
        SCOPED_TRACE(mask);
        for (const double value : {loud.integratedLufs, loud.maxMomentaryLufs, loud.maxShortTermLufs})
            EXPECT_NEAR(value, expected, 0.05);
        EXPECT_NEAR(loud.integratedLufs - quiet.integratedLufs, 20.0, 1e-3);
        EXPECT_NEAR(loud.maxMomentaryLufs - quiet.maxMomentaryLufs, 20.0, 1e-3);
        EXPECT_NEAR(loud.maxShortTermLufs - quiet.maxShortTermLufs, 20.0, 1e-3);
        EXPECT_NEAR(loud.truePeakDbtp - quiet.truePeakDbtp, 20.0, 1e-9);
        EXPECT_NEAR(loud.truePeakDbtp, 0.0, 0.05);
        EXPECT_NEAR(loud.rangeLu, 0.0, 0.01);
    }
}

TEST(LoudnessFigures, WithoutOversamplingTheTruePeakIsTheSamplePeak)
{
    std::vector<double> x = steps(192000, 2, 0.5);
    x[4711] = -0.9;
    const LoudnessMeasurement m = measure(x, 2, 192000, 1.0);
    EXPECT_DOUBLE_EQ(m.truePeakDbtp, 20 * std::log10(0.9));
}

// Silence, and a signal that never passes the gate: the floor, never
// -infinity, and no range.
TEST(LoudnessFigures, NothingAboveTheGateReadsTheFloor)
{
    for (double amplitude : {0.0, 1e-5}) {
        SCOPED_TRACE(amplitude);
        const std::vector<double> x = sineFrames(44100, 997, amplitude, 4.0, 2, 3u);
        const LoudnessMeasurement m = measure(x, 2, 44100, 1.0);
        EXPECT_TRUE(m.momentaryMeasured && m.shortTermMeasured);
        EXPECT_FALSE(m.gateOpened);
        EXPECT_EQ(m.integratedLufs, kLoudnessFloorLufs);
        EXPECT_EQ(m.absoluteGatedLufs, kLoudnessFloorLufs);
        EXPECT_EQ(m.maxMomentaryLufs, kLoudnessFloorLufs);
        EXPECT_EQ(m.maxShortTermLufs, kLoudnessFloorLufs);
        EXPECT_EQ(m.rangeLu, 0.0);
        EXPECT_EQ(m.truePeakDbtp, kLoudnessFloorLufs);
    }
}

// Block counts at the edges of the durations that allow them, counted
// exactly in integers (a duration in floating point can land a hair
// below a whole number of steps).
TEST(LoudnessBlocks, CountsAtTheEdges)
{
    EXPECT_EQ(momentaryBlockCount(19200, 48000), 0u);   // exactly 0.4 s
    EXPECT_EQ(momentaryBlockCount(19201, 48000), 1u);
    EXPECT_EQ(momentaryBlockCount(44100 * 2, 44100), 17u);
    EXPECT_EQ(momentaryBlockCount(4410 * 7, 44100), 4u);   // 0.7 s: 7 steps of 100 ms less 3

    EXPECT_EQ(shortTermLayout(144000, 48000).count, 0u);   // exactly 3 s
    const ShortTermLayout justOver = shortTermLayout(134505, 44100);   // 3.05 s
    EXPECT_GE(justOver.count, 100u);
    EXPECT_LT(134505 * (justOver.divisor / 2) / (3 * 44100) - justOver.divisor / 2 + 1, 100u);
    const ShortTermLayout minutes = shortTermLayout(48000 * 600, 48000);
    EXPECT_EQ(minutes.divisor, 3u);
    EXPECT_EQ(minutes.count, 598u);
    // One frame over 3 s at 192 kHz: a divisor past 2^26, still exact.
    const ShortTermLayout oneFrame = shortTermLayout(576001, 192000);
    EXPECT_GE(oneFrame.count, 100u);
}

TEST(LoudnessBlocks, TheOneFrameOverThreeSecondsStillMeasures)
{
    const std::vector<double> x = steps(192000, 1, 3.0 + 1.0 / 192000);
    ASSERT_EQ(x.size(), 576001u);
    const LoudnessMeasurement m = measure(x, 1, 192000, 1.0);
    EXPECT_TRUE(m.shortTermMeasured);
    EXPECT_GT(m.maxShortTermLufs, -30.0);
}

TEST(LoudnessProgress, RisesThroughEveryPercentToOneHundred)
{
    const std::vector<double> x = steps(48000, 2, 3.5);
    std::vector<std::uint32_t> seen;
    Progress progress{1, 0, [&](std::uint32_t p) { seen.push_back(p); }};
    measureLoudness(x, 2, 48000, 1.0, progress);
    ASSERT_EQ(seen.size(), 101u);
    for (std::uint32_t p = 0; p <= 100; ++p)
        EXPECT_EQ(seen[p], p);
}

}  // namespace
}  // namespace auralune::metrics

#include "metrics/loudness.h"
#include "metrics/loudness_coefficients.h"
#include "support/loudness_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>

namespace auralune::metrics {
namespace {

using test::pinkNoiseSteps;
using test::sineFrames;

// The measurement written out literally: the whole oversampled and the
// whole squared K-weighted signal in memory, every block summed afresh,
// the gates applied to per-channel averages. {true peak, absolute-gated,
// integrated, max momentary, range, max short-term}; NaN where undefined.
std::array<double, 6> literalDefinition(const std::vector<double>& x, std::uint32_t channels, std::uint64_t rate)
{
    const std::uint64_t frames = x.size() / channels;
    const std::vector<double> g = channels == 1 ? std::vector<double>{1.0}
                                  : channels == 2 ? std::vector<double>{1.0, 1.0}
                                                  : std::vector<double>{1.0, 1.0, 1.0, 0.0, 1.41, 1.41};
    std::array<double, 6> r;
    r.fill(std::nan(""));
    const int u = truePeakOversampling(static_cast<double>(rate));
    double h[64] = {}, peak = 0;
    for (int k = 0; k < 32; ++k)
        h[k] = h[62 - k] = (u == 4 ? kTruePeakHalfFactor4 : kTruePeakHalfFactor2)[static_cast<std::size_t>(k)];
    for (std::uint64_t i = 0; i < x.size(); ++i)
        for (int p = 0; p < u; ++p) {
            double sum = u == 1 ? x[i] : 0;
            for (std::uint64_t j = 0; u > 1 && j <= std::min<std::uint64_t>(i / channels, 64 / u - 1); ++j)
                sum += u * h[u * j + p] * x[i - j * channels];
            peak = std::max(peak, std::fabs(sum));
        }
    r[0] = 20 * std::log10(peak);

    const KWeightingRow& k = *std::find_if(kKWeighting.begin(), kKWeighting.end(),
                                           [&](const auto& row) { return row.rateHz == static_cast<double>(rate); });
    std::vector<double> z(x.size());
    for (std::uint32_t c = 0; c < channels; ++c) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, w1 = 0, w2 = 0;
        for (std::uint64_t n = 0; n < frames; ++n) {
            const double in = x[n * channels + c];
            const double y = k.shelfB0 * in + k.shelfB1 * x1 + k.shelfB2 * x2 - k.shelfA1 * y1 - k.shelfA2 * y2;
            const double w = k.highPassB0 * y + k.highPassB1 * y1 + k.highPassB0 * y2 - k.highPassA1 * w1 -
                             k.highPassA2 * w2;
            x2 = x1, x1 = in, y2 = y1, y1 = y, w2 = w1, w1 = w;
            z[n * channels + c] = w * w;
        }
    }
    using Means = std::vector<double>;
    const auto block = [&](std::uint64_t start, std::uint64_t length) {
        Means m(channels, 0.0);
        for (std::uint64_t n = start * channels; n < (start + length) * channels; ++n)
            m[n % channels] += z[n] / static_cast<double>(length);
        return m;
    };
    const auto loudness = [&](const Means& m) {
        double sum = 0;
        for (std::uint32_t c = 0; c < channels; ++c)
            sum += g[c] * m[c];
        return -0.691 + 10 * std::log10(sum);
    };
    double rangeGate = -20;
    if (10 * frames > 4 * rate) {
        std::vector<Means> m;
        for (std::uint64_t b = 0; b < 10 * frames / rate - 3; ++b)
            m.push_back(block(b * (4 * rate / 10) / 4, 4 * rate / 10));
        const auto gated = [&](double gate) {
            Means sum(channels, 0.0);
            int passed = 0;
            for (const Means& mb : m)
                if (loudness(mb) > -70 && loudness(mb) > gate && ++passed)
                    for (std::uint32_t c = 0; c < channels; ++c)
                        sum[c] += mb[c];
            for (double& v : sum)
                v /= passed;
            return loudness(sum);
        };
        r[1] = gated(-HUGE_VAL);
        r[2] = gated(r[1] - 10);
        r[3] = -HUGE_VAL;
        for (const Means& mb : m)
            r[3] = std::max(r[3], loudness(mb));
        rangeGate = r[1] - 20;
    }
    if (frames > 3 * rate) {
        std::uint64_t q = 3;
        while (frames * q / (3 * rate) - q + 1 < 100)
            q *= 2;
        std::vector<double> s;
        for (std::uint64_t b = 0; b < frames * q / (3 * rate) - q + 1; ++b)
            s.push_back(loudness(block(b * 3 * rate / q, 3 * rate)));
        std::sort(s.begin(), s.end(), std::greater<>());
        const auto p = std::count_if(s.begin(), s.end(), [&](double v) { return v > rangeGate && v > -70; });
        const auto v = [&](double pos) {
            const auto i = static_cast<std::size_t>(pos);
            const double f = pos - static_cast<double>(i);
            return f == 0 ? s[i] : (1 - f) * s[i] + f * s[i + 1];
        };
        r[4] = p < 2 ? 0 : v(static_cast<double>(p - 1) * 0.05) - v(static_cast<double>(p - 1) * 0.9);
        r[5] = s.front();
    }
    return r;
}

LoudnessMeasurement measure(const std::vector<double>& x, std::uint32_t channels, double rate, double f = 1.0)
{
    Progress progress;
    return measureLoudness(x, channels, rate, f, progress);
}

struct DefinitionCase {
    std::string name;
    std::uint64_t rate;
    std::uint32_t channels;
    double seconds;
    bool latePeak = false;
};

class LoudnessDefinition : public ::testing::TestWithParam<DefinitionCase> {};

// Every value equals the literal definition to 1e-9, relative, whatever
// the rate, channels, vector width, chunking, block edges and skipped
// windows of the single pass. The late-peak signals end in a quarter-rate
// sine sampled at 45 degrees, whose peak between samples is 3 dB above
// them and above every sample of the noise before it.
TEST_P(LoudnessDefinition, MatchesTheLiteralDefinition)
{
    const DefinitionCase& c = GetParam();
    const auto rate = static_cast<double>(c.rate);
    std::vector<double> x = pinkNoiseSteps(rate, c.seconds, c.channels, {-12, -30, -3, -45, -20}, 0.7);
    if (c.latePeak) {
        const double top = std::fabs(*std::max_element(x.begin(), x.end(), [](double a, double b) {
            return std::fabs(a) < std::fabs(b);
        }));
        const std::vector<double> burst = sineFrames(rate, rate / 4, top * 1.34, 1.5, c.channels, 1u,
                                                     std::numbers::pi / 4);
        x.insert(x.end(), burst.begin(), burst.end());
    }
    const std::array<double, 6> r = literalDefinition(x, c.channels, c.rate);
    const LoudnessMeasurement m = measure(test::scaled(x, 32768), c.channels, rate, 32768);
    const double ours[6] = {m.truePeakDbtp, m.absoluteGatedLufs, m.integratedLufs, m.maxMomentaryLufs, m.rangeLu,
                            m.maxShortTermLufs};
    EXPECT_EQ(m.momentaryMeasured, !std::isnan(r[1]));
    EXPECT_EQ(m.shortTermMeasured, !std::isnan(r[5]));
    for (int i = 0; i < 6; ++i) {
        if (!std::isnan(r[i])) {
            EXPECT_NEAR(ours[i], r[i], 1e-9 * std::max(1.0, std::fabs(r[i]))) << i;
        }
    }
}

std::string caseName(const ::testing::TestParamInfo<DefinitionCase>& row)
{
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Signals, LoudnessDefinition,
                         ::testing::Values(DefinitionCase{"Stereo44k", 44100, 2, 3.7},
                                           DefinitionCase{"Surround48k", 48000, 6, 3.3},
                                           DefinitionCase{"Mono88k", 88200, 1, 3.2},
                                           DefinitionCase{"Stereo96k", 96000, 2, 3.1},
                                           DefinitionCase{"Stereo176k", 176400, 2, 3.05},
                                           DefinitionCase{"Surround192k", 192000, 6, 1.3},
                                           DefinitionCase{"LongStereo48k", 48000, 2, 12.3},
                                           DefinitionCase{"MomentaryOnlyMono44k", 44100, 1, 2.0},
                                           DefinitionCase{"NoBlocksStereo48k", 48000, 2, 0.35},
                                           DefinitionCase{"LatePeak48k", 48000, 2, 2.0, true},
                                           DefinitionCase{"LatePeak96k", 96000, 1, 2.0, true}),
                         caseName);

// BS.1770's figures: a 997 Hz sine at full scale reads about 0.0 LUFS in
// both front channels (-0.04 with these coefficients), -3.0 in one, and
// exactly 20 LU less 20 dB lower.
TEST(LoudnessFigures, FullScaleSineReadsZeroInTwoChannelsAndMinusThreeInOne)
{
    for (std::uint32_t mask : {3u, 1u, 2u}) {
        SCOPED_TRACE(mask);
        const LoudnessMeasurement loud = measure(sineFrames(48000, 997, 1.0, 4.0, 2, mask), 2, 48000);
        const LoudnessMeasurement quiet = measure(sineFrames(48000, 997, 0.1, 4.0, 2, mask), 2, 48000);
        for (const double value : {loud.integratedLufs, loud.maxMomentaryLufs, loud.maxShortTermLufs})
            EXPECT_NEAR(value, mask == 3u ? 0.0 : -3.01, 0.05);
        EXPECT_NEAR(loud.integratedLufs - quiet.integratedLufs, 20.0, 1e-3);
        EXPECT_NEAR(loud.truePeakDbtp, 0.0, 0.05);
        EXPECT_NEAR(loud.rangeLu, 0.0, 0.01);
    }
}

// Silence, and a signal under the gate: the floor, never -infinity.
TEST(LoudnessFigures, NothingAboveTheGateReadsTheFloor)
{
    for (double amplitude : {0.0, 1e-5}) {
        const LoudnessMeasurement m = measure(sineFrames(44100, 997, amplitude, 4.0, 2, 3u), 2, 44100);
        EXPECT_TRUE(m.momentaryMeasured && m.shortTermMeasured && !m.gateOpened) << amplitude;
        for (double value : {m.integratedLufs, m.absoluteGatedLufs, m.maxMomentaryLufs, m.maxShortTermLufs})
            EXPECT_EQ(value, kLoudnessFloorLufs) << amplitude;
        EXPECT_EQ(m.rangeLu, 0.0);
        EXPECT_EQ(m.truePeakDbtp, kLoudnessFloorLufs);   // -100 dBTP for the quiet one
    }
}

// Counted in integers: a duration in floating point can land a hair below
// a whole number of steps.
TEST(LoudnessBlocks, CountsAtTheEdgesOfTheDurations)
{
    EXPECT_EQ(momentaryBlockCount(19200, 48000), 0u);   // exactly 0.4 s
    EXPECT_EQ(momentaryBlockCount(19201, 48000), 1u);
    EXPECT_EQ(momentaryBlockCount(4410 * 7, 44100), 4u);
    EXPECT_EQ(shortTermLayout(144000, 48000).count, 0u);   // exactly 3 s
    EXPECT_EQ(shortTermLayout(48000 * 600, 48000).divisor, 3u);
    const ShortTermLayout justOver = shortTermLayout(134505, 44100);   // 3.05 s
    EXPECT_GE(justOver.count, 100u);
    EXPECT_LT(134505 * (justOver.divisor / 2) / (3 * 44100) - justOver.divisor / 2 + 1, 100u);
    // One frame over 3 s at 192 kHz needs a divisor past 2^26 and still measures.
    EXPECT_TRUE(measure(std::vector<double>(576001, 0.1), 1, 192000).shortTermMeasured);
}

}  // namespace
}  // namespace auralune::metrics

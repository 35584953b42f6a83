#include "metrics/loudness.h"
#include "support/loudness_signals.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

// Against libebur128, an independent implementation with its own filter
// design (K-weighting designed per rate, a 49-tap true-peak interpolator).
namespace auralune::metrics {
namespace {

using test::pinkNoiseSteps;
using test::sineFrames;

struct Ebur128Figures {
    double integrated = 0, range = 0, truePeakDb = 0, maxMomentary = -HUGE_VAL, maxShortTerm = -HUGE_VAL;
};

// Fed 100 ms at a time; the maxima are taken after each 100 ms, so its
// momentary blocks fall where ours do (400 ms, 100 ms apart from the
// start) and its short-term ones at least as densely as ours.
Ebur128Figures ebur128Measure(const std::vector<double>& x, std::uint32_t channels, unsigned long rate)
{
    const int mode = EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_M | EBUR128_MODE_S;
    std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> st(ebur128_init(channels, rate, mode),
                                                                [](ebur128_state* s) { ebur128_destroy(&s); });
    const std::size_t frames = x.size() / channels;
    const std::size_t step = rate / 10;
    Ebur128Figures f;
    for (std::size_t done = 0; done + step <= frames; done += step) {
        ebur128_add_frames_double(st.get(), x.data() + done * channels, step);
        double value = 0;
        if (done + step >= 4 * step && ebur128_loudness_momentary(st.get(), &value) == EBUR128_SUCCESS)
            f.maxMomentary = std::max(f.maxMomentary, value);
        if (done + step >= 30 * step && ebur128_loudness_shortterm(st.get(), &value) == EBUR128_SUCCESS)
            f.maxShortTerm = std::max(f.maxShortTerm, value);
    }
    if (frames % step != 0)
        ebur128_add_frames_double(st.get(), x.data() + (frames - frames % step) * channels, frames % step);
    ebur128_loudness_global(st.get(), &f.integrated);
    ebur128_loudness_range(st.get(), &f.range);
    double peak = 0;
    for (std::uint32_t c = 0; c < channels; ++c) {
        double channelPeak = 0;
        ebur128_true_peak(st.get(), c, &channelPeak);
        peak = std::max(peak, channelPeak);
    }
    f.truePeakDb = 20 * std::log10(peak);
    return f;
}

struct OracleCase {
    std::string name;
    unsigned long rate;
    std::uint32_t channels;
    std::vector<double> (*signal)(double rate, std::uint32_t channels);
};

std::vector<double> sineMinus6(double rate, std::uint32_t channels)
{
    return sineFrames(rate, 997, 0.5, 5.0, channels, 0x3Fu);
}
std::vector<double> sineMinus20(double rate, std::uint32_t channels)
{
    return sineFrames(rate, 3000, 0.1, 5.0, channels, 0x1u);
}
std::vector<double> sineMinus40(double rate, std::uint32_t channels)
{
    return sineFrames(rate, 100, 0.01, 5.0, channels, 0x3Fu);
}
// Level steps of 6 s, longer than a short-term block, with the loudest and
// the quietest level a third of the time each: the blocks that decide the
// range lie inside steps on either block grid.
std::vector<double> pinkSteps(double rate, std::uint32_t channels)
{
    return pinkNoiseSteps(rate, 36.0, channels, {-6, -26, -14, -26, -10, -6}, 6.0, 3);
}

class LoudnessAgainstEbur128 : public ::testing::TestWithParam<OracleCase> {};

// Our short-term step is 1 s for long programmes and finer for short ones,
// where libebur128 steps its loudness-range blocks by 1 s throughout; the
// percentiles of the two block sets differ by a fraction of an LU on
// changing material, hence 1 LU for the range.
TEST_P(LoudnessAgainstEbur128, AgreesWithinTheTolerances)
{
    const OracleCase& c = GetParam();
    const std::vector<double> x = c.signal(static_cast<double>(c.rate), c.channels);
    const Ebur128Figures theirs = ebur128Measure(x, c.channels, c.rate);
    Progress progress;
    const LoudnessMeasurement ours = measureLoudness(x, c.channels, static_cast<double>(c.rate), 1.0, progress);
    EXPECT_NEAR(ours.integratedLufs, theirs.integrated, 0.1);
    EXPECT_NEAR(ours.maxMomentaryLufs, theirs.maxMomentary, 0.1);
    EXPECT_NEAR(ours.maxShortTermLufs, theirs.maxShortTerm, 0.1);
    EXPECT_NEAR(ours.truePeakDbtp, theirs.truePeakDb, 0.2);
    EXPECT_NEAR(ours.rangeLu, theirs.range, 1.0);
}

std::string caseName(const ::testing::TestParamInfo<OracleCase>& row)
{
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, LoudnessAgainstEbur128,
    ::testing::Values(OracleCase{"SineMinus6Stereo44k", 44100, 2, sineMinus6},
                      OracleCase{"SineMinus20Mono48k", 48000, 1, sineMinus20},
                      OracleCase{"SineMinus40Stereo88k", 88200, 2, sineMinus40},
                      OracleCase{"SineMinus6Surround96k", 96000, 6, sineMinus6},
                      OracleCase{"SineMinus20Stereo192k", 192000, 2, sineMinus20},
                      OracleCase{"PinkStepsStereo48k", 48000, 2, pinkSteps},
                      OracleCase{"PinkStepsSurround48k", 48000, 6, pinkSteps}),
    caseName);

}  // namespace
}  // namespace auralune::metrics

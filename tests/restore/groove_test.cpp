#include "enhance/availability.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace auralune {
namespace {

using test::StageJob;

constexpr EnhancementCode kGroove = 0x10000000;
constexpr double kFullScale = 8388608;
constexpr double kRate = 88200;   // the model always runs at the doubled rate

struct GrooveJob : StageJob {
    GrooveJob(const std::vector<double>& in, double distortion, bool tapOff, double noiseDb,
              std::vector<std::uint32_t> random = {0x80000000u})
        : StageJob(kGroove, kRate, in, 2, 24, std::move(random))
    {
        job.settings.grooveDistortion = distortion;
        job.settings.grooveDistortionTapOff = tapOff;
        job.settings.grooveNoise = noiseDb;
    }
};

std::vector<std::uint32_t> uniformDraws(std::size_t count)
{
    std::mt19937 engine(12345);
    std::vector<std::uint32_t> v(count);
    for (std::uint32_t& x : v)
        x = static_cast<std::uint32_t>(engine());
    return v;
}

TEST(Groove, SecondHarmonicFollowsTheDistortionSettingAndTapOffIsWhatItAdds)
{
    // 1 kHz at half scale: x² puts k·A²/2 at 2 kHz, k = setting × 0.025.
    const double amplitude = 0.5;
    const std::vector<double> in = test::stereoTone(8820, kRate, 1000, amplitude * kFullScale, amplitude * kFullScale);
    for (double setting : {1.0, 2.0, 4.0}) {
        GrooveJob s(in, setting, false, -70.0);
        const std::vector<double> out = s.run();
        ASSERT_EQ(s.job.error, 0);
        const std::vector<double> left = test::channelOf(out, 2, 0);
        const double k = setting * 0.025;
        // 8820 frames hold whole cycles of both tones.
        const double second = 2 * std::abs(test::responseAt(left, 2000, kRate)) / 8820;
        const double first = 2 * std::abs(test::responseAt(left, 1000, kRate)) / 8820;
        EXPECT_NEAR(second / kFullScale, k * amplitude * amplitude / 2, 1e-9) << setting;
        EXPECT_NEAR(first / kFullScale, (1 - k) * amplitude, 1e-9) << setting;

        GrooveJob tap(in, setting, true, -50.0);
        const std::vector<double>& tapped = tap.run();
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_EQ(tapped[i], out[i] - in[i]) << setting;
        EXPECT_EQ(tap.job.tableText(TableText::Progress), "");
        EXPECT_EQ(tap.job.audioBuf_0, in);
    }
    // Nothing to add, nothing to tap off.
    GrooveJob off(in, 0.0, false, -70.0);
    EXPECT_EQ(off.run(), in);
    GrooveJob tapNothing(in, 0.0, true, -70.0);
    const std::vector<double>& nothing = tapNothing.run();
    EXPECT_TRUE(std::all_of(nothing.begin(), nothing.end(), [](double x) { return x == 0; }));
}

TEST(Groove, SurfaceNoiseLevelFollowsTheSettingAndComesFromThePlatformSource)
{
    // Uniform noise of ±F is −4.77 dBFS RMS; its 5 Hz low-pass keeps
    // −34.49 dB of it, and the gain adds 30 dB over the setting: the noise
    // sits 9.26 dB under the setting.
    const std::size_t frames = 4 * 88200;
    const std::vector<double> silence(2 * frames, 0.0);
    const std::vector<std::uint32_t> draws = uniformDraws(2 * frames);
    for (double setting : {-60.0, -40.0}) {
        GrooveJob s(silence, 0.0, false, setting, draws);
        const std::vector<double>& out = s.run();
        const double rms = test::rmsOf(out, 2, 0, frames / 4, frames);
        EXPECT_NEAR(test::dB(rms / kFullScale), setting - 9.26, 0.6) << setting;
        EXPECT_EQ(s.log.lines().back(), setting == -60.0 ? "<Info>  Adding Groove surface model noise (-60.0dBFS)"
                                                         : "<Info>  Adding Groove surface model noise (-40.0dBFS)");
        // The same draws give the same file.
        GrooveJob again(silence, 0.0, false, setting, draws);
        EXPECT_EQ(again.run(), out);
    }
    // Any level but −70 scales the programme by 1 − 10^(N/20) under the noise.
    const std::vector<double> dc(2000, 1000000.0);
    GrooveJob constant(dc, 0.0, false, -69.9, {0x80000000u});
    const std::vector<double>& mixed = constant.run();
    EXPECT_NEAR(mixed.back(), 1000000.0 * (1 - std::pow(10.0, -69.9 / 20)), 1e-6);
    EXPECT_LT(mixed.back(), 1000000.0);
}

TEST(GrooveDeathTest, SixteenBitDestinationsAndOtherCodesEndTheProgram)
{
    EXPECT_TRUE(enhancementAvailable(kGroove));
    StageJob s(kGroove, kRate, std::vector<double>(200, 0.0), 2, 16);
    EXPECT_DEATH(s.job.Groove24(1), "Unexpected destination sample bits \\(16\\) in -\\[AudioFile Groove24:\\]");
    StageJob other(0x2, kRate, std::vector<double>(200, 0.0));
    EXPECT_DEATH(other.job.Groove24(1), "Unknown enhancement type 2 in -\\[AudioFile Groove24:\\]");
}

}  // namespace
}  // namespace auralune

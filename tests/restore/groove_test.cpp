#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace auralune {
namespace {

constexpr double kFullScale = 8388608;
constexpr double kRate = 88200;   // the model always runs at the doubled rate

struct GrooveJob : test::StageJob {
    GrooveJob(const std::vector<double>& in, double distortion, bool tapOff, double noiseDb,
              std::vector<std::uint32_t> random = {0x80000000u})
        : StageJob(0x10000000, kRate, in, 2, 24, std::move(random))
    {
        job.settings.grooveDistortion = distortion;
        job.settings.grooveDistortionTapOff = tapOff;
        job.settings.grooveNoise = noiseDb;
    }
};

TEST(Groove, SecondHarmonicFollowsTheDistortionSettingAndTapOffIsWhatItAdds)
{
    // 1 kHz at half scale: x² puts k·A²/2 at 2 kHz, k = setting × 0.025;
    // 8820 frames hold whole cycles of both.
    const double amplitude = 0.5;
    const std::vector<double> in = test::stereoTone(8820, kRate, 1000, amplitude * kFullScale, amplitude * kFullScale);
    for (double setting : {0.0, 1.0, 2.0, 4.0}) {
        GrooveJob s(in, setting, false, -70.0);
        const std::vector<double> out = s.run();
        const std::vector<double> left = test::channelOf(out, 2, 0);
        const double k = setting * 0.025;
        const auto level = [&](double hz) { return 2 * std::abs(test::responseAt(left, hz, kRate)) / 8820 / kFullScale; };
        EXPECT_NEAR(level(2000), k * amplitude * amplitude / 2, 1e-9) << setting;
        EXPECT_NEAR(level(1000), (1 - k) * amplitude, 1e-9) << setting;
        if (setting == 0.0) {
            EXPECT_EQ(out, in);
        }

        // Tap-off: what the curvature adds, with no noise whatever its setting.
        GrooveJob tap(in, setting, true, -50.0);
        const std::vector<double>& tapped = tap.run();
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_EQ(tapped[i], out[i] - in[i]) << setting;
        EXPECT_EQ(tap.job.audioBuf_0, in);
    }
}

TEST(Groove, SurfaceNoiseLevelFollowsTheSettingAndComesFromThePlatformSource)
{
    // Uniform noise of ±F is −4.77 dBFS RMS, its 5 Hz low-pass keeps
    // −34.49 dB of it and the gain adds 30 dB over the setting: the noise
    // sits 9.26 dB under the setting.
    const std::size_t frames = 4 * 88200;
    const std::vector<double> silence(2 * frames, 0.0);
    std::mt19937 engine(12345);
    std::vector<std::uint32_t> draws(2 * frames);
    std::generate(draws.begin(), draws.end(), [&] { return static_cast<std::uint32_t>(engine()); });
    for (double setting : {-60.0, -40.0}) {
        GrooveJob s(silence, 0.0, false, setting, draws);
        const std::vector<double>& out = s.run();
        EXPECT_NEAR(test::dB(test::rmsOf(out, 2, 0, frames / 4, frames) / kFullScale), setting - 9.26, 0.6);
        GrooveJob again(silence, 0.0, false, setting, draws);
        EXPECT_EQ(again.run(), out);
    }
    // Any level but −70 scales the programme by 1 − 10^(N/20) under the noise.
    GrooveJob constant(std::vector<double>(2000, 1000000.0), 0.0, false, -69.9);
    EXPECT_NEAR(constant.run().back(), 1000000.0 * (1 - std::pow(10.0, -69.9 / 20)), 1e-6);
}

}  // namespace
}  // namespace auralune

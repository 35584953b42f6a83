#include "metrics/level_metrics.h"
#include "support/metrics_job.h"
#include "support/wav_fixtures.h"
#include "support/stage_buffers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace auralune {
namespace {

using Lines = std::vector<std::string>;
using metrics::LevelMetrics;

LevelMetrics measure(const std::vector<double>& samples, std::uint32_t channels, std::uint32_t bits = 16)
{
    Progress progress{Progress::stepFor(samples.size() / channels), 0, {}};
    return metrics::measureLevels(samples, channels, bits, progress);
}

// Frames of two channels from one generator per channel.
template <class Left, class Right>
std::vector<double> stereo(std::size_t frames, Left left, Right right)
{
    std::vector<double> samples;
    for (std::size_t n = 0; n < frames; ++n) {
        samples.push_back(left(n));
        samples.push_back(right(n));
    }
    return samples;
}

TEST(LevelKernels, SineSquareAndDcAgainstAnalyticLevels)
{
    // 1 kHz at 48 kHz, whole periods, reaching the largest positive code.
    const auto sine = [](std::size_t n) { return 32767.0 * std::sin(2 * std::numbers::pi * 1000.0 * n / 48000.0); };
    const auto square = [](std::size_t n) { return n % 2 ? -16384.0 : 16384.0; };
    const LevelMetrics m = measure(stereo(48000, sine, square), 2);

    EXPECT_EQ(m.channels[0].peak, 32768.0);
    EXPECT_EQ(m.channels[0].peakDbfs, 0.0);
    EXPECT_NEAR(m.channels[0].rms, 32767.0 / std::numbers::sqrt2, 1e-6);
    EXPECT_NEAR(metrics::levelDb(m.channels[0].rms, 32768.0), -3.0103, 0.001);
    EXPECT_NEAR(m.channels[0].crestDb, 3.0103, 0.001);

    EXPECT_EQ(m.channels[1].rms, 16384.0);
    EXPECT_NEAR(m.channels[1].peakDbfs, -6.0206, 1e-4);
    EXPECT_EQ(m.channels[1].crestDb, 0.0);

    const LevelMetrics dc = measure(std::vector<double>(1000, -8192.0), 1);
    EXPECT_EQ(dc.channels[0].peak, 8192.0);
    EXPECT_EQ(dc.channels[0].rms, 8192.0);
    EXPECT_NEAR(dc.channels[0].peakDbfs, -12.0412, 1e-4);
    EXPECT_FALSE(dc.stereo || dc.surround);
}

TEST(LevelKernels, LargestPositiveCodeCountsAsFullScale)
{
    for (const std::uint32_t bits : {16u, 24u}) {
        const double full = metrics::fullScale(bits);
        const LevelMetrics top = measure({full - 1, full - 1, 0, 0}, 2, bits);
        EXPECT_EQ(top.channels[0].peak, full) << bits;
        EXPECT_EQ(top.channels[0].peakDbfs, 0.0);
        EXPECT_EQ(top.stereoLevels.mid.peak, full);   // (L + R) / 2 of two top codes
        const LevelMetrics below = measure({full - 2, -(full - 2)}, 2, bits);
        EXPECT_EQ(below.channels[0].peak, full - 2);
        EXPECT_EQ(below.stereoLevels.side.peak, full - 2);
    }
}

TEST(LevelKernels, CorrelationOfIdenticalOppositeAndIndependentChannels)
{
    const auto tone = [](std::size_t n) { return 10000.0 * std::sin(0.01 * static_cast<double>(n)); };
    const LevelMetrics same = measure(stereo(10000, tone, tone), 2);
    EXPECT_NEAR(same.stereoLevels.cccDb, 40.0, 1e-9);
    EXPECT_EQ(same.stereoLevels.side.rms, 0.0);
    EXPECT_TRUE(std::isinf(same.stereoLevels.side.peakDbfs));
    EXPECT_EQ(same.stereoLevels.rmsRatio, 1.0);

    const LevelMetrics opposite = measure(stereo(10000, tone, [&](std::size_t n) { return -tone(n); }), 2);
    EXPECT_NEAR(opposite.stereoLevels.cccDb, -40.0, 1e-9);
    EXPECT_TRUE(std::isinf(opposite.stereoLevels.leqDb));

    std::mt19937 generator(7);
    std::uniform_real_distribution<double> noise(-20000.0, 20000.0);
    std::vector<double> independent(2 * 200000);
    for (double& x : independent)
        x = noise(generator);
    EXPECT_NEAR(measure(independent, 2).stereoLevels.cccDb, 0.0, 0.05);
}

TEST(LevelKernels, RatioAndLeqOfAKnownGainDifference)
{
    const auto left = [](std::size_t n) { return 12000.0 * std::cos(0.2 * static_cast<double>(n)); };
    const LevelMetrics m = measure(stereo(50000, left, [&](std::size_t n) { return 0.5 * left(n); }), 2);
    EXPECT_NEAR(m.stereoLevels.rmsRatio, 2.0, 1e-12);
    EXPECT_NEAR(m.stereoLevels.rmsRatioDb, 6.0206, 1e-4);
    EXPECT_NEAR(m.stereoLevels.mid.rms, 0.75 * m.channels[0].rms, 1e-9);
    EXPECT_NEAR(m.stereoLevels.leqDb, metrics::levelDb(0.75 * m.channels[0].rms, 32768.0), 1e-12);
}

TEST(LevelKernels, ProgressGoesUpOnePercentPerHundredthOfTheFrames)
{
    std::vector<std::uint32_t> reported;
    Progress progress{Progress::stepFor(1050), 0, [&](std::uint32_t p) { reported.push_back(p); }};
    metrics::scanLevels(std::vector<double>(2 * 1050, 1.0), 2, progress);
    ASSERT_EQ(reported.size(), 100u);
    EXPECT_EQ(reported.back(), 100u);
}

TEST(AnalyseAudioMetricsVeridane, SourceStereoReportAndLog)
{
    test::MetricsJob t;
    t.job.srcChannels = 2;
    t.job.srcFrames = 4;
    t.job.srcSampleBits = 16;
    t.job.audioIn = {16384, 8192, -16384, -8192, 16384, 8192, -16384, -8192};
    t.job.srcMetrics = {"Time = 00:00"};
    t.job.AnalyseAudioMetricsVeridane(1);

    EXPECT_EQ(t.job.srcMetrics, (Lines{"Time = 00:00", "---- Veridane Metrics ----",
                                       "Ch 0: Peak = 16384.0 (-6.021 dBFS), RMS = 16384.000, Crest = 0.000",
                                       "Ch 1: Peak = 8192.0 (-12.041 dBFS), RMS = 8192.000, Crest = 0.000",
                                       "L/R RMS Ratio = 2.00000 (6.021 dBFS)",
                                       "(L+R)/2: Peak = 12288.0 (-8.519 dBFS), RMS = 12288.000",
                                       "(L-R)/2: Peak = 4096.0 (-18.062 dBFS), RMS = 4096.000",
                                       "Equivalent Continuous Sound Level (Leq) = -8.519 dB",
                                       "Channel Correlation Coefficient (CCC) = 9.315 dB"}));
    EXPECT_TRUE(t.log.contains("<Info>  Channel correlation coefficient (CCC) = 9.315 dB"));
    EXPECT_EQ(t.job.rmsRatio, 2.0);
    EXPECT_NEAR(t.job.ccc, 9.3146, 1e-4);
    EXPECT_EQ(t.job.tableText(TableText::Progress), "100%");
}

TEST(AnalyseAudioMetricsVeridane, DestinationSurroundAndMonoBlocks)
{
    test::MetricsJob t;
    t.job.dstChannels_2 = 6;
    t.job.dstChannelsData = 2;   // the written pair does not limit what is measured
    t.job.dstFrames = 2;
    t.job.dstSampleBits = 24;
    t.job.audioBuf_2 = {1000, -2000, 3000, 30000, -400, 500, 1000, -2000, 3000, -30000, -400, 500};
    t.job.rmsRatio = 0.5;
    t.job.AnalyseAudioMetricsVeridane(4);
    // The rear pair weighted by 1.41, the LFE (channel 3) left out.
    ASSERT_EQ(t.job.dstMetrics.size(), 9u);
    EXPECT_EQ(t.job.dstMetrics[4], "Ch 3: Peak = 30000.0 (-48.931 dBFS), RMS = 30000.000, Crest = 0.000");
    EXPECT_EQ(t.job.dstMetrics[7], "RMS 5.1 = 3818.128");
    EXPECT_EQ(t.job.dstMetrics[8], "Equivalent Continuous Sound Level (Leq 5.1) = -66.837 dB");
    EXPECT_EQ(t.log.lines().at(1), "<Info>  RMS 5.1 = 3818.128");   // the 5.1 level first
    EXPECT_EQ(t.job.rmsRatio, 0.5);                                  // stereo only

    test::MetricsJob mono;
    mono.job.dstChannels_1 = 1;
    mono.job.dstFrames = 2;
    mono.job.dstSampleBits = 16;
    mono.job.audioBuf_1 = {32767, -100};
    mono.job.AnalyseAudioMetricsVeridane(2);
    EXPECT_EQ(mono.job.midMetrics,
              (Lines{"---- Veridane Metrics ----", "Ch 0: Peak = 32768.0 (0.000 dBFS), RMS = 23169.876, Crest = 3.011"}));
}

TEST(AnalyseAudioMetricsVeridane, SilenceReadsSilentAndLeavesNeutralFields)
{
    test::MetricsJob t;
    t.job.srcChannels = 2;
    t.job.srcFrames = 1000;
    t.job.srcSampleBits = 24;
    t.job.audioIn.assign(2000, 0.0);
    t.job.AnalyseAudioMetricsVeridane(1);
    EXPECT_EQ(t.job.srcMetrics, (Lines{"---- Veridane Metrics ----",
                                       "Ch 0: Peak = 0.0 (silent), RMS = 0.000, Crest = silent",
                                       "Ch 1: Peak = 0.0 (silent), RMS = 0.000, Crest = silent",
                                       "L/R RMS Ratio = undefined (silent channel)",
                                       "(L+R)/2: Peak = 0.0 (silent), RMS = 0.000",
                                       "(L-R)/2: Peak = 0.0 (silent), RMS = 0.000",
                                       "Equivalent Continuous Sound Level (Leq) = silent",
                                       "Channel Correlation Coefficient (CCC) = silent"}));
    for (const std::string& line : t.log.lines())
        EXPECT_TRUE(line.find("inf") == std::string::npos && line.find("nan") == std::string::npos) << line;
    EXPECT_EQ(t.job.rmsRatio, 1.0);   // the balance steps then change nothing
    EXPECT_EQ(t.job.ccc, 0.0);
    EXPECT_EQ(t.job.error, 0);

    // One silent channel: the ratio cannot be formed either way.
    test::MetricsJob half;
    half.job.srcChannels = 2;
    half.job.srcFrames = 2;
    half.job.srcSampleBits = 16;
    half.job.audioIn = {0, 100, 0, -100};
    half.job.AnalyseAudioMetricsVeridane(1);
    EXPECT_EQ(half.job.srcMetrics[3], "L/R RMS Ratio = undefined (silent channel)");
    EXPECT_EQ(half.job.rmsRatio, 1.0);
    EXPECT_NEAR(half.job.ccc, 0.0, 1e-12);   // M and S of equal level
}

TEST(AnalyseAudioMetricsVeridaneDeathTest, UnknownStageOrShortBufferEndsTheProgram)
{
    test::MetricsJob t;
    EXPECT_DEATH(t.job.AnalyseAudioMetricsVeridane(3),
                 "Unexpected metrics stage in -\\[AudioFile AnalyseAudioMetricsVeridane:\\]");
    t.job.srcChannels = 2;
    t.job.srcFrames = 10;
    t.job.audioIn.assign(19, 0.0);
    EXPECT_DEATH(t.job.AnalyseAudioMetricsVeridane(1),
                 "Unexpected buffer size in -\\[AudioFile AnalyseAudioMetricsVeridane:\\]");
}

// ---------------------------------------------------------------------------
// Against an independent measurement.

std::string commandOutput(const std::string& command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return out;
    char block[4096];
    while (std::size_t n = std::fread(block, 1, sizeof block, pipe.get()))
        out.append(block, n);
    return out;
}

// The left and right values of a "sox -n stats" row such as "Pk lev dB".
std::vector<double> soxStatsRow(const std::string& stats, const std::string& label)
{
    std::istringstream in(stats);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(label, 0) != 0)
            continue;
        std::istringstream values(line.substr(label.size()));
        double overall = 0, left = 0, right = 0;
        values >> overall >> left >> right;
        return {left, right};
    }
    return {};
}

TEST(AnalyseAudioMetricsVeridane, AgreesWithSoxStatsOnASoxFile)
{
    if (std::system("command -v sox >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed";
    test::TempDir dir;
    const std::string path = (dir.path() / "tone.wav").string();
    ASSERT_EQ(std::system(("sox -n -r 48000 -b 16 -c 2 " + path +
                           " synth 1 sine 440 pinknoise remix 1v0.8 2v0.25 2>/dev/null")
                              .c_str()),
              0);
    const std::string stats = commandOutput("sox " + path + " -n stats 2>&1");
    const std::vector<double> peakDb = soxStatsRow(stats, "Pk lev dB");
    const std::vector<double> rmsDb = soxStatsRow(stats, "RMS lev dB");
    ASSERT_EQ(peakDb.size(), 2u) << stats;
    ASSERT_EQ(rmsDb.size(), 2u) << stats;

    test::JobHarness h(path);
    h.job.AnalyseWAV(false);
    ASSERT_EQ(h.job.error, 0);
    h.job.ConvertAudioToDouble();
    h.job.AnalyseAudioMetricsVeridane(1);
    const LevelMetrics m = measure(test::plain(h.job.audioIn), 2);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        // sox prints two decimals.
        EXPECT_NEAR(m.channels[c].peakDbfs, peakDb[c], 0.006);
        EXPECT_NEAR(metrics::levelDb(m.channels[c].rms, 32768.0), rmsDb[c], 0.006);
    }
    EXPECT_NEAR(20 * std::log10(h.job.rmsRatio), rmsDb[0] - rmsDb[1], 0.011);
}

}  // namespace
}  // namespace auralune

#include "enhance/noise_reduction_coefficients.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace auralune {
namespace {

using test::StageJob;

constexpr EnhancementCode kCassette = 0x8000000;
constexpr EnhancementCode kCinema51 = 0x40000000;
constexpr EnhancementCode kCat22 = 0x1000000000000;
constexpr EnhancementCode kUnlimiting = 0x200000000;
constexpr double kFullScale = 8388608;   // 24-bit
constexpr double kRate = 48000;

// A full-scale click that sets the programme's peak, 0.2 s of silence
// while the limiter recovers from it, then 0.4 s of a tone of `amplitude`
// on both channels.
std::vector<double> clickThenTone(double hz, double amplitude)
{
    const std::size_t quiet = 9600;
    std::vector<double> v = test::stereoTone(quiet + 19200, kRate, hz, amplitude, amplitude);
    std::fill(v.begin(), v.begin() + 2 * quiet, 0.0);
    v[0] = v[1] = kFullScale;
    return v;
}

// Output over input level of the left channel over the last 0.2 s, in dB.
double settledGainDb(const std::vector<double>& in, const std::vector<double>& out)
{
    const std::size_t frames = in.size() / 2;
    return test::dB(test::rmsOf(out, 2, 0, frames - 9600, frames) / test::rmsOf(in, 2, 0, frames - 9600, frames));
}

double biquadAt(const BiquadCoeffs& k, double hz, double rate, std::complex<double>* value = nullptr)
{
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / rate);
    const std::complex<double> h = (k.b0 + k.b1 * z1 + k.b2 * z1 * z1) / (1.0 - k.d1 * z1 - k.d2 * z1 * z1);
    if (value)
        *value = h;
    return std::abs(h);
}

TEST(CassetteNoiseReduction, StaticCurveCutsQuietContentAndPassesLoudContent)
{
    // Threshold 20 dB under the click's full scale. Below it the decoder is
    // linear: in − 0.5·HP1500(in); above it the cut shrinks towards nothing.
    const double threshold = 0.1 * kFullScale;
    for (double hz : {1000.0, 5000.0}) {
        const std::complex<double> side = test::bilinearFirstOrder(true, 1500, hz, kRate);
        const double linearDb = test::dB(std::abs(1.0 - 0.5 * side));
        double previous = -100;
        for (double levelDb = -70; levelDb <= 0; levelDb += 10) {
            const double amplitude = kFullScale * std::pow(10.0, levelDb / 20);
            const std::vector<double> in = clickThenTone(hz, amplitude);
            StageJob s(kCassette, kRate, in);
            const std::vector<double>& out = s.run();
            const double gainDb = settledGainDb(in, out);
            if (amplitude * std::abs(side) < 0.9 * threshold) {
                EXPECT_NEAR(gainDb, linearDb, 0.01) << hz << " Hz at " << levelDb;
            }
            EXPECT_GE(gainDb, previous - 1e-9) << hz << " Hz at " << levelDb;
            previous = gainDb;
            // The limited side-chain never exceeds the threshold.
            for (std::size_t i = 0; i < in.size(); ++i)
                ASSERT_LE(std::fabs(out[i] - in[i]), threshold / 2 * (1 + 1e-12));
        }
        EXPECT_NEAR(previous, 0, 0.5) << hz;   // a full-scale tone
    }
    // The quiet 10 kHz case: about half its amplitude.
    const std::vector<double> in = clickThenTone(10000, kFullScale * 0.01);
    StageJob s(kCassette, kRate, in);
    EXPECT_NEAR(settledGainDb(in, s.run()), -6.0, 0.4);
}

TEST(CassetteNoiseReduction, LimiterAttacksAtOnceAndReleasesAt192DbPerSecond)
{
    // 0.1 s of a loud 5 kHz burst (it sets the peak), then the tone 40 dB down.
    const std::size_t frames = 24000, burstEnd = 4800;
    std::vector<double> in = test::stereoTone(frames, kRate, 5000, 0.5 * kFullScale, 0.5 * kFullScale);
    for (std::size_t i = 2 * burstEnd; i < in.size(); ++i)
        in[i] *= 0.01;
    StageJob s(kCassette, kRate, in);
    const std::vector<double>& out = s.run();
    const double threshold = 0.1 * 0.5 * kFullScale;

    // The side-chain computed here from the 1500 Hz design; the limiter's
    // gain at each frame is what the output took away from it.
    const double k = std::tan(std::numbers::pi * 1500 / kRate);
    const double a = 1 / (1 + k), p = (1 - k) / (1 + k);
    std::vector<double> side(frames), gain(frames);
    double x1 = 0, h1 = 0;
    for (std::size_t n = 0; n < frames; ++n) {
        side[n] = a * (in[2 * n] - x1) + p * h1;
        x1 = in[2 * n];
        h1 = side[n];
        gain[n] = (in[2 * n] - out[2 * n]) / (0.5 * side[n]);
    }
    // Attack: the first frame over the threshold is already held to it.
    const auto first = static_cast<std::size_t>(
        std::find_if(side.begin(), side.end(), [&](double h) { return std::fabs(h) > threshold; }) - side.begin());
    ASSERT_LT(first, std::size_t{10});
    EXPECT_NEAR(std::fabs(side[first]) * gain[first], threshold, 1e-6 * threshold);

    // Release: from the last limited gain back to unity, at 192 dB/s.
    const double heldDb = test::dB(gain[burstEnd - 1]);
    ASSERT_LT(heldDb, -15);
    std::size_t recovered = burstEnd;
    while (recovered < frames && (std::fabs(side[recovered]) < 1e-3 * threshold || gain[recovered] < 0.999))
        ++recovered;
    const double seconds = static_cast<double>(recovered - burstEnd) / kRate;
    EXPECT_NEAR(seconds, (-heldDb + test::dB(0.999)) / 192, 0.0015) << heldDb;
    for (std::size_t n = recovered + 100; n < frames; n += 37)
        if (std::fabs(side[n]) > 1e-3 * threshold) {
            ASSERT_NEAR(gain[n], 1.0, 1e-9);
        }
}

TEST(CassetteNoiseReduction, SilenceStaysSilentAndTheCinemaDecodeTouchesOnlyTheRearPair)
{
    StageJob quiet(kCassette, 44100, std::vector<double>(2000, 0.0));
    const std::vector<double>& silent = quiet.run();
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](double x) { return x == 0; }));
    EXPECT_EQ(quiet.log.lines().back(), "<Info>  Limiting threshold = 0.000000");

    // The rear pair decodes as a stereo programme would.
    const std::size_t frames = 4000;
    const std::vector<double> rear = clickThenTone(3000, kFullScale / 300);
    std::vector<double> six(frames * 6);
    for (std::size_t n = 0; n < frames; ++n)
        for (std::size_t c = 0; c < 6; ++c)
            six[6 * n + c] = c < 4 ? static_cast<double>(n * 6 + c) : rear[2 * n + c - 4];
    StageJob stereo(kCassette, kRate, std::vector<double>(rear.begin(), rear.begin() + 2 * frames));
    const std::vector<double> expected = stereo.run();
    StageJob cinema(kCinema51, kRate, std::vector<double>(2 * frames, 0.0), 6);
    cinema.job.audioBuf_1 = six;
    cinema.job.CassetteNoiseReduction(1);
    EXPECT_EQ(cinema.job.error, 0);
    for (std::size_t n = 0; n < frames; ++n) {
        for (std::size_t c = 0; c < 4; ++c)
            ASSERT_EQ(cinema.job.audioBuf_1[6 * n + c], six[6 * n + c]);
        ASSERT_EQ(cinema.job.audioBuf_1[6 * n + 4], expected[2 * n]);
        ASSERT_EQ(cinema.job.audioBuf_1[6 * n + 5], expected[2 * n + 1]);
    }
    EXPECT_EQ(cinema.job.tableText(TableText::State), "Cinema Surround 5.1...");
}

TEST(Cat22NoiseReduction, BandsHaveTheirCornersAndTheStaticCurveBendsAtTheThreshold)
{
    // The side-chain bands, −3 dB where they are said to be.
    for (std::size_t row = 0; row < kStageRates.size(); ++row) {
        const double rate = kStageRates[row];
        const Cat22Bands& b = kCat22SideChain[row];
        const double low = rate < 80000 ? 3002 : 2996;
        EXPECT_NEAR(test::dB(biquadAt(b.band1HighPass, 81, rate)), -3.01, 0.05) << rate;
        EXPECT_NEAR(test::dB(biquadAt(b.band1LowPass, low, rate)), -3.01, 0.05) << rate;
        EXPECT_NEAR(test::dB(biquadAt(b.band2HighPass, 3038, rate)), -3.01, 0.05) << rate;
    }

    // With the tone at −14 dBFS the threshold is −36 dBFS of the 24-bit scale.
    const double threshold = std::pow(10.0, -36.0 / 20) * kFullScale;
    const Cat22Bands& bands = kCat22SideChain[1];
    for (double hz : {1000.0, 5000.0}) {
        std::complex<double> hp1, lp1, hp2;
        biquadAt(bands.band1HighPass, hz, kRate, &hp1);
        biquadAt(bands.band1LowPass, hz, kRate, &lp1);
        const double band2 = biquadAt(bands.band2HighPass, hz, kRate, &hp2);
        const double band1 = std::abs(hp1 * lp1);
        const double linearDb = test::dB(std::abs(1.0 - 0.7 * (hp1 * lp1 + hp2)));
        double previous = -100;
        for (double levelDb = -70; levelDb <= 0; levelDb += 10) {
            const double amplitude = kFullScale * std::pow(10.0, levelDb / 20);
            const std::vector<double> in = test::stereoTone(28800, kRate, hz, amplitude, amplitude);
            StageJob s(kCat22, kRate, in);
            s.job.settings.dolbyTone = -14;
            const std::vector<double>& out = s.run();
            const double gainDb = settledGainDb(in, out);
            if (amplitude * std::max(band1, band2) < 0.9 * threshold) {
                EXPECT_NEAR(gainDb, linearDb, 0.01) << hz << " Hz at " << levelDb;
            }
            EXPECT_GE(gainDb, previous - 1e-9) << hz << " Hz at " << levelDb;
            previous = gainDb;
            for (std::size_t i = 0; i < in.size(); ++i)
                ASSERT_LE(std::fabs(out[i] - in[i]), 1.4 * threshold * (1 + 1e-12));
            const std::vector<std::string> lines = s.log.lines();
            EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
                      (std::vector<std::string>{"<Info>  Dolby tone (dBFS) = -14.000000",
                                                "<Info>  Limiting threshold (dBFS)  = -36.000000"}));
        }
        EXPECT_NEAR(previous, 0, 0.3) << hz;
        EXPECT_LT(linearDb, -1.5) << hz;   // quiet content is cut
    }
}

TEST(Unlimiting, TwoTenHertzHighPassesRemoveDcCompletely)
{
    for (double rate : kStageRates) {
        std::vector<double> in = test::leftImpulse(65536, 0);
        StageJob s(kUnlimiting, rate, in);
        const std::vector<double> left = test::channelOf(s.run(), 2, 0);
        for (double hz : {2.0, 5.0, 10.0, 20.0, 50.0, 1000.0}) {
            const std::complex<double> h = test::bilinearFirstOrder(true, 10, hz, rate);
            EXPECT_NEAR(std::abs(test::responseAt(left, hz, rate) - h * h), 0, 2e-6) << rate << " Hz " << hz;
        }
        std::vector<double> offset = test::stereoTone(static_cast<std::size_t>(rate), rate, 440, 1000, -1000);
        for (std::size_t i = 0; i < offset.size(); ++i)
            offset[i] += i % 2 ? -250000 : 250000;
        StageJob dc(kUnlimiting, rate, offset);
        const std::vector<double>& out = dc.run();
        double sum[2] = {0, 0};
        const std::size_t last = static_cast<std::size_t>(rate / 2);
        for (std::size_t n = out.size() / 2 - last; n < out.size() / 2; ++n) {
            sum[0] += out[2 * n];
            sum[1] += out[2 * n + 1];
        }
        EXPECT_NEAR(sum[0] / static_cast<double>(last), 0, 0.05) << rate;
        EXPECT_NEAR(sum[1] / static_cast<double>(last), 0, 0.05) << rate;
    }
}

TEST(NoiseReductionDeathTest, WrongCodesAndChannelsEndTheProgram)
{
    StageJob s(kCassette, 44100, std::vector<double>(200, 0.0), 6);
    EXPECT_DEATH(s.job.CassetteNoiseReduction(1),
                 "The number of channels must be 2 in -\\[AudioFile CassetteNoiseReduction:\\]");
    StageJob cinema(kCinema51, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(cinema.job.CassetteNoiseReduction(1),
                 "The number of channels must be 6 in -\\[AudioFile CassetteNoiseReduction:\\]");
    EXPECT_DEATH(cinema.job.Cat22NoiseReduction(1), "Filter type is unknown in -\\[AudioFile Cat22NoiseReduction:\\]");
    StageJob cat(kCat22, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(cat.job.CassetteNoiseReduction(1),
                 "Filter type is unknown in -\\[AudioFile CassetteNoiseReduction:\\]");
    EXPECT_DEATH(cat.job.Unlimiting(1), "Unknown enhancement type 281474976710656 in -\\[AudioFile Unlimiting:\\]");
}

}  // namespace
}  // namespace auralune

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
constexpr EnhancementCode kCat22 = 0x1000000000000;
constexpr double kFullScale = 8388608;   // 24-bit
constexpr double kRate = 48000;

// A full-scale click (it sets the cassette decoder's peak), 0.2 s of
// silence while the limiter recovers, then 0.4 s of a tone.
std::vector<double> clickThenTone(double hz, double amplitude)
{
    std::vector<double> v = test::stereoTone(28800, kRate, hz, amplitude, amplitude);
    std::fill(v.begin(), v.begin() + 2 * 9600, 0.0);
    v[0] = v[1] = kFullScale;
    return v;
}

// Output over input level of the left channel over the last 0.2 s, in dB.
double settledGainDb(const std::vector<double>& in, const std::vector<double>& out)
{
    const std::size_t frames = in.size() / 2;
    return test::dB(test::rmsOf(out, 2, 0, frames - 9600, frames) / test::rmsOf(in, 2, 0, frames - 9600, frames));
}

std::complex<double> biquadAt(const BiquadCoeffs& k, double hz, double rate)
{
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / rate);
    return (k.b0 + k.b1 * z1 + k.b2 * z1 * z1) / (1.0 - k.d1 * z1 - k.d2 * z1 * z1);
}

// Runs the static curve from −70 to 0 dBFS: linear (`linearDb`) while the
// side-chain stays under `linearBelow` in amplitude, rising with the level,
// every sample within `maxChange` of its input, near 0 dB at full scale.
template <class Configure>
void checkStaticCurve(EnhancementCode code, double hz, double linearDb, double linearBelow, double maxChange,
                      double fullScaleDb, Configure&& configure)
{
    double previous = -100;
    for (double levelDb = -70; levelDb <= 0; levelDb += 10) {
        const double amplitude = kFullScale * std::pow(10.0, levelDb / 20);
        const std::vector<double> in = clickThenTone(hz, amplitude);
        StageJob s(code, kRate, in);
        configure(s);
        const std::vector<double>& out = s.run();
        const double gainDb = settledGainDb(in, out);
        if (amplitude < linearBelow) {
            EXPECT_NEAR(gainDb, linearDb, 0.01) << hz << " Hz at " << levelDb;
        }
        EXPECT_GE(gainDb, previous - 1e-9) << hz << " Hz at " << levelDb;
        previous = gainDb;
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_LE(std::fabs(out[i] - in[i]), maxChange * (1 + 1e-12)) << hz << " Hz at " << levelDb;
    }
    EXPECT_NEAR(previous, 0, fullScaleDb) << hz;
}

TEST(CassetteNoiseReduction, StaticCurveCutsQuietContentAndPassesLoudContent)
{
    // Threshold 20 dB under the peak; below it out = in − 0.5·HP1500(in).
    const double threshold = 0.1 * kFullScale;
    for (double hz : {1000.0, 5000.0, 10000.0}) {
        const std::complex<double> side = test::bilinearFirstOrder(true, 1500, hz, kRate);
        checkStaticCurve(kCassette, hz, test::dB(std::abs(1.0 - 0.5 * side)), 0.9 * threshold / std::abs(side),
                         threshold / 2, 0.5, [](StageJob&) {});
    }
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
    const double threshold = 0.05 * kFullScale;

    // The side-chain from the 1500 Hz design; the limiter's gain at each
    // frame is what the output took away from it.
    const double k = std::tan(std::numbers::pi * 1500 / kRate);
    std::vector<double> side(frames), gain(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        side[n] = (in[2 * n] - (n ? in[2 * n - 2] : 0)) / (1 + k) + (1 - k) / (1 + k) * (n ? side[n - 1] : 0);
        gain[n] = (in[2 * n] - out[2 * n]) / (0.5 * side[n]);
    }
    const auto first = static_cast<std::size_t>(
        std::find_if(side.begin(), side.end(), [&](double h) { return std::fabs(h) > threshold; }) - side.begin());
    ASSERT_LT(first, std::size_t{10});
    EXPECT_NEAR(std::fabs(side[first]) * gain[first], threshold, 1e-6 * threshold);   // within the sample

    const double heldDb = test::dB(gain[burstEnd - 1]);
    ASSERT_LT(heldDb, -15);
    std::size_t recovered = burstEnd;
    while (recovered < frames && (std::fabs(side[recovered]) < 1e-3 * threshold || gain[recovered] < 0.999))
        ++recovered;
    EXPECT_NEAR(static_cast<double>(recovered - burstEnd) / kRate, (test::dB(0.999) - heldDb) / 192, 0.0015);
}

TEST(CassetteNoiseReduction, CinemaDecodeWorksOnTheRearPairAlone)
{
    const std::size_t frames = 4000;
    const std::vector<double> rear = clickThenTone(3000, kFullScale / 300);
    StageJob stereo(kCassette, kRate, std::vector<double>(rear.begin(), rear.begin() + 2 * frames));
    const std::vector<double> expected = stereo.run();
    StageJob cinema(0x40000000, kRate, std::vector<double>(2 * frames, 0.0), 6);
    for (std::size_t n = 0; n < frames; ++n)
        for (std::size_t c = 0; c < 6; ++c)
            cinema.job.audioBuf_1[6 * n + c] = c < 4 ? static_cast<double>(n * 6 + c) : rear[2 * n + c - 4];
    cinema.job.CassetteNoiseReduction(1);
    for (std::size_t n = 0; n < frames; ++n)
        for (std::size_t c = 0; c < 6; ++c)
            ASSERT_EQ(cinema.job.audioBuf_1[6 * n + c],
                      c < 4 ? static_cast<double>(n * 6 + c) : expected[2 * n + c - 4]);
}

TEST(Cat22NoiseReduction, BandsHaveTheirCornersAndTheStaticCurveBendsAtTheThreshold)
{
    for (std::size_t row = 0; row < kStageRates.size(); ++row) {
        const double rate = kStageRates[row];
        const Cat22Bands& b = kCat22SideChain[row];
        EXPECT_NEAR(test::dB(std::abs(biquadAt(b.band1HighPass, 81, rate))), -3.01, 0.05) << rate;
        EXPECT_NEAR(test::dB(std::abs(biquadAt(b.band1LowPass, rate < 80000 ? 3002 : 2996, rate))), -3.01, 0.05);
        EXPECT_NEAR(test::dB(std::abs(biquadAt(b.band2HighPass, 3038, rate))), -3.01, 0.05) << rate;
    }
    // With the tone at −14 dBFS the threshold is −36 dBFS of the 24-bit scale.
    const double threshold = std::pow(10.0, -36.0 / 20) * kFullScale;
    const Cat22Bands& bands = kCat22SideChain[1];
    for (double hz : {1000.0, 5000.0}) {
        const std::complex<double> band1 =
            biquadAt(bands.band1HighPass, hz, kRate) * biquadAt(bands.band1LowPass, hz, kRate);
        const std::complex<double> band2 = biquadAt(bands.band2HighPass, hz, kRate);
        checkStaticCurve(kCat22, hz, test::dB(std::abs(1.0 - 0.7 * (band1 + band2))),
                         0.9 * threshold / std::max(std::abs(band1), std::abs(band2)), 1.4 * threshold, 0.3,
                         [](StageJob& s) { s.job.settings.dolbyTone = -14; });
    }
    StageJob s(kCat22, kRate, clickThenTone(1000, 1000));
    s.job.settings.dolbyTone = -14;
    s.run();
    EXPECT_EQ(s.log.lines().back(), "<Info>  Limiting threshold (dBFS)  = -36.000000");
}

TEST(Unlimiting, TwoTenHertzHighPassesRemoveDcCompletely)
{
    for (double rate : kStageRates) {
        StageJob s(0x200000000, rate, test::leftImpulse(65536, 0));
        const std::vector<double> left = test::channelOf(s.run(), 2, 0);
        for (double hz : {0.0, 2.0, 5.0, 10.0, 20.0, 50.0, 1000.0}) {
            const std::complex<double> h = test::bilinearFirstOrder(true, 10, hz, rate);
            EXPECT_NEAR(std::abs(test::responseAt(left, hz, rate) - h * h), 0, 2e-6) << rate << " Hz " << hz;
        }
    }
}

}  // namespace
}  // namespace auralune

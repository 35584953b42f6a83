#include "restore/phonograph_coefficients.h"
#include "restore/phonograph_kernels.h"
#include "restore/phonograph_options.h"
#include "restore/phonograph_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace auralune {
namespace {

using namespace test;
using namespace phonograph;

constexpr std::array<Rate, 4> kAllRates{Rate::Hz44100, Rate::Hz48000, Rate::Hz88200, Rate::Hz96000};

void expectSameDesign(const BiquadCoeffs& designed, const BiquadCoeffs& table, const char* what, Rate rate)
{
    // The tables hold 15 significant digits.
    const auto near = [](double a, double b) { return std::fabs(a - b) <= 2e-14 * std::max(1.0, std::fabs(b)); };
    EXPECT_TRUE(near(designed.b0, table.b0) && near(designed.b1, table.b1) && near(designed.b2, table.b2) &&
                near(designed.d1, table.d1) && near(designed.d2, table.d2))
        << what << " at " << rateHz(rate) << ": " << designed.b0 << " " << designed.b1 << " " << designed.d1 << " "
        << designed.d2;
}

std::complex<double> biquadResponse(const BiquadCoeffs& k, double hz, double rate)
{
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / rate);
    return (k.b0 + k.b1 * z1 + k.b2 * z1 * z1) / (1.0 - k.d1 * z1 - k.d2 * z1 * z1);
}

TEST(PhonographDesign, TablesAreTheBilinearDesignsTheyName)
{
    constexpr std::array<double, 4> gradientHz{8400, 8500, 8900, 9000};
    for (Rate rate : kAllRates) {
        const double hz = rateHz(rate);
        expectSameDesign(designHighPass(19, 0.8, hz), at(kRumble, rate), "rumble", rate);
        expectSameDesign(designLowPass(10000, 0.707, hz), at(kNeedleScratch, rate), "needle scratch", rate);
        expectSameDesign(designLowPass(gradientHz[static_cast<std::size_t>(rate)], 0.707, hz),
                         at(kGradientScratch, rate), "gradient", rate);
        expectSameDesign(designHighPass(2450, 0.707, hz), at(kExciterForward, rate), "exciter forward", rate);
        expectSameDesign(designHighPass(4200, 0.707, hz), at(kExciterBackward, rate), "exciter backward", rate);
    }
}

TEST(PhonographDesign, ExciterBackwardSectionAt88200MatchesTheOtherRates)
{
    // Every row, the designed 88.2 kHz one included, is the analogue high-pass
    // s²/(s² + s/Q + 1) at the pre-warped frequency tan(πf/fs)/tan(πf0/fs).
    constexpr double q = 0.707, cornerHz = 4200;
    for (Rate rate : kAllRates) {
        const double fs = rateHz(rate);
        for (double hz : {100.0, 1000.0, 4200.0, 8000.0, 20000.0}) {
            const double w = std::tan(std::numbers::pi * hz / fs) / std::tan(std::numbers::pi * cornerHz / fs);
            const double analogue = std::abs(-w * w / std::complex<double>(1 - w * w, w / q));
            EXPECT_NEAR(std::abs(biquadResponse(at(kExciterBackward, rate), hz, fs)), analogue, 1e-12)
                << fs << ", " << hz << " Hz";
        }
    }
    const BiquadCoeffs k88 = at(kExciterBackward, Rate::Hz88200);
    EXPECT_NEAR(std::abs(biquadResponse(k88, 4200, 88200)), q, 1e-12);   // −3 dB at the corner
    EXPECT_NEAR(std::abs(biquadResponse(k88, 44100, 88200)), 1.0, 1e-12);
    for (double hz : {500.0, 2000.0, 4200.0, 16000.0})
        EXPECT_NEAR(dB(biquadResponse(k88, hz, 88200)), dB(biquadResponse(at(kExciterBackward, Rate::Hz96000), hz, 96000)),
                    0.1)
            << hz << " Hz";
    // Sign convention: feedback added, poles inside the unit circle.
    EXPECT_GT(k88.d1, 0.0);
    EXPECT_LT(k88.d2, 0.0);
    EXPECT_LT(-k88.d2, 1.0);
}

TEST(PhonographKernels, GainRangingWorksInChunksIncludingTheLastPartialOne)
{
    constexpr double threshold = 10.0;
    // 25 frames in chunks of 10: the third chunk holds the last 5 frames.
    std::vector<double> v(50, 9.0);
    v[2 * 9 + 1] = 10.5;   // right channel, last frame of chunk 0: loud
    v[2 * 12] = 10.0;      // exactly the threshold is still quiet
    Progress progress;
    EXPECT_EQ(gainRanging(v, 25, 10, threshold, progress), 2u);
    for (std::size_t n = 0; n < 25; ++n) {
        const double want = n < 10 ? 9.0 : 0.9;
        EXPECT_DOUBLE_EQ(v[2 * n], n == 12 ? 1.0 : want) << n;
        if (n != 9) {
            EXPECT_DOUBLE_EQ(v[2 * n + 1], want) << n;
        }
    }
    EXPECT_EQ(v[19], 10.5);
    EXPECT_EQ(progress.percent, 3u);   // one step per chunk below 100 chunks

    // Shorter than a chunk: one chunk.
    std::vector<double> shortBuffer(6, 1.0);
    Progress p2;
    EXPECT_EQ(gainRanging(shortBuffer, 3, 4410, threshold, p2), 1u);
    EXPECT_EQ(shortBuffer, std::vector<double>(6, 0.1));
}

TEST(PhonographKernels, DiscEchoRemovalLowersQuietPassagesOnly)
{
    constexpr double t = 100.0;
    const double recovery = std::pow(10.0, 192.0 / 1000 / 20);   // a 1000 Hz rate: 192 dB in 1000 frames
    std::vector<double> v(2 * 2000);
    for (std::size_t n = 0; n < 2000; ++n) {
        v[2 * n] = n == 100 ? 10 * t : 0.5 * t;
        v[2 * n + 1] = 0.5 * t;
    }
    Progress progress;
    discEchoRemoval(v, 2000, t, recovery, progress);
    EXPECT_DOUBLE_EQ(v[2 * 50], 0.15 * t);            // quiet: 0.3 of its value
    EXPECT_DOUBLE_EQ(v[2 * 100], 10 * t * 0.93);      // loud: g = 0.1
    EXPECT_NEAR(v[2 * 101], 0.5 * t * 0.93, 0.2);    // just after: almost unchanged
    EXPECT_DOUBLE_EQ(v[2 * 1500], 0.15 * t);          // 20 dB recovered well within a second
    EXPECT_DOUBLE_EQ(v[2 * 101 + 1], 0.15 * t);       // the right channel has its own gain
}

TEST(PhonographKernels, BalanceAndLpDistortion)
{
    std::vector<double> v{8, 8, -2, 3};
    Progress progress;
    cartridgeBalance(v, 2, 4.0, progress);
    EXPECT_EQ(v, (std::vector<double>{4, 16, -1, 6}));

    std::vector<double> w{100, -100, 30, 10, 0, 0};
    lpDistortionCancel(w, 3, 0.0, 1000, progress);   // 2 µm stylus: factor 0
    EXPECT_EQ(w, (std::vector<double>{100, -100, 30, 10, 0, 0}));
    lpDistortionCancel(w, 3, 0.5, 1000, progress);
    // (L + R)² is 0, 1600, 0 with mean 1600/3: the correction is
    // ((L + R)² − 1600/3) · 0.5 / 1000, to the left and from the right, and
    // it adds up to nothing over the buffer (no DC).
    EXPECT_DOUBLE_EQ(w[2], 30 + 3200.0 / 3 * 0.0005);
    EXPECT_DOUBLE_EQ(w[3], 10 - 3200.0 / 3 * 0.0005);
    EXPECT_DOUBLE_EQ(w[0], 100 - 1600.0 / 3 * 0.0005);
    EXPECT_DOUBLE_EQ(w[5], 1600.0 / 3 * 0.0005);
    EXPECT_NEAR(w[0] + w[2] + w[4], 130, 1e-12);
}

// A job at `rate` with `frames` frames of a stereo tone in audioBuf_0.
struct OptionJob : PhonographJob {
    OptionJob(double hz, double rate, std::size_t frames, double amplitude = 1e5)
        : PhonographJob(kRiaaCode, rate, stereoSine(frames, hz, rate, amplitude)), work(2 * frames)
    {
    }
    // Peak of the left channel over the middle half, and its largest
    // difference from `reference` there (when given).
    std::pair<double, double> middle(const std::vector<double>& reference) const
    {
        double peak = 0, error = 0;
        const std::size_t frames = job.dstFrames;
        for (std::size_t n = frames / 4; n < 3 * frames / 4; ++n) {
            peak = std::max(peak, std::fabs(job.audioBuf_0[2 * n]));
            if (!reference.empty())
                error = std::max(error, std::fabs(job.audioBuf_0[2 * n] - reference[2 * n]));
        }
        return {peak, error};
    }
    std::vector<double> work;
};

TEST(PhonographOptions, NeedleScratchRemovalIsAZeroPhaseLowPass)
{
    OptionJob pass(1000, 44100, 44100);
    const std::vector<double> tone = test::plain(pass.job.audioBuf_0);
    pass.job.NeedleScratchRemoval(pass.job.audioBuf_0, pass.work);
    EXPECT_LT(pass.middle(tone).second, 1e5 * 1e-3);   // unity gain, no delay
    EXPECT_EQ(pass.job.tableText(TableText::State), "Needle-Scratch Removal...");

    OptionJob stop(15000, 44100, 44100);
    stop.job.NeedleScratchRemoval(stop.job.audioBuf_0, stop.work);
    EXPECT_NEAR(20 * std::log10(stop.middle(tone).first / 1e5), -53.0, 1.5);
}

TEST(PhonographOptions, GradientScratchLowersByThreeDecibelsThenExcites)
{
    // The gradient stage alone: the 16th-order zero-phase low-pass at −3 dB.
    OptionJob low(1000, 48000, 48000);
    const std::vector<double> tone = test::plain(low.job.audioBuf_0);
    Progress progress;
    zeroPhaseCascade(low.job.audioBuf_0, low.work, 48000, at(kGradientScratch, Rate::Hz48000), 4,
                     0.7079457843841379, progress);
    std::vector<double> scaled = tone;
    for (double& x : scaled)
        x *= 0.7079457843841379;
    EXPECT_LT(low.middle(scaled).second, 1e5 * 1e-3);

    // The exciter adds what rectifying the upper band makes; it is
    // positively homogeneous (twice the input, twice the output).
    for (Rate rate : kAllRates) {
        const double hz = rateHz(rate);
        const std::size_t frames = 8192;
        std::vector<double> x = stereoSine(frames, 3000, hz, 1000), x2 = stereoSine(frames, 3000, hz, 2000);
        std::vector<double> work(2 * frames);
        exciter(x, work, frames, at(kExciterForward, rate), at(kExciterBackward, rate), progress);
        exciter(x2, work, frames, at(kExciterForward, rate), at(kExciterBackward, rate), progress);
        const std::vector<double> plain = stereoSine(frames, 3000, hz, 1000);
        double added = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            ASSERT_NEAR(x2[i], 2 * x[i], 1e-9) << hz;
            added = std::max(added, std::fabs(x[i] - plain[i]));
        }
        EXPECT_GT(added, 10.0) << hz;
    }

    OptionJob job(1000, 88200, 2000);
    job.job.GradientNeedleScratchRemoval(job.job.audioBuf_0, job.work);
    EXPECT_TRUE(job.log.contains("<Info>  Gradient Needle-Scratch Removal"));
    EXPECT_EQ(job.job.tableText(TableText::State), "Exciter chain...");
}

TEST(PhonographOptions, DizorLowersTheBassBySixteenPercent)
{
    for (double rate : {44100.0, 96000.0}) {
        OptionJob bass(50, rate, static_cast<std::size_t>(rate));
        bass.job.DizorResponseCorrection(bass.job.audioBuf_0);
        EXPECT_NEAR(20 * std::log10(bass.middle({}).first / 1e5), -1.5, 0.1) << rate;

        OptionJob treble(10000, rate, static_cast<std::size_t>(rate) / 4);
        treble.job.DizorResponseCorrection(treble.job.audioBuf_0);
        EXPECT_NEAR(20 * std::log10(treble.middle({}).first / 1e5), 0.0, 0.1) << rate;
    }
}

}  // namespace
}  // namespace auralune

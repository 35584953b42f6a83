#include "restore/hum_zephra_kernels.h"

#include "enhance/availability.h"
#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace auralune {
namespace {

using test::SampleJob;

constexpr EnhancementCode kHum = 0x400000000;
constexpr EnhancementCode kHumBass = 0x800000000;
constexpr EnhancementCode kZephra = 0x20000000000000;
constexpr EnhancementCode kRiaa = 0x800;
constexpr EnhancementCode kCd4 = 0x100000000000;
constexpr EnhancementCode kCdDeemphasis = 0x4000000;

constexpr double kPi = std::numbers::pi;

// A sine in the given channels, zero elsewhere.
std::vector<double> tone(std::uint64_t frames, std::uint32_t channels, double rate, double hz, double amplitude,
                         std::initializer_list<std::uint32_t> inChannels = {0, 1})
{
    std::vector<double> v(frames * channels, 0.0);
    for (std::uint64_t n = 0; n < frames; ++n)
        for (std::uint32_t c : inChannels)
            v[n * channels + c] = amplitude * std::sin(2 * kPi * hz * static_cast<double>(n) / rate);
    return v;
}

// RMS over the middle half, clear of the zero-phase filter's end transients.
double middleRms(const std::vector<double>& v, std::uint32_t channels, std::uint32_t channel)
{
    const std::uint64_t frames = v.size() / channels;
    double sum = 0;
    std::uint64_t count = 0;
    for (std::uint64_t n = frames / 4; n < frames * 3 / 4; ++n, ++count)
        sum += v[n * channels + channel] * v[n * channels + channel];
    return std::sqrt(sum / static_cast<double>(count));
}

double dB(double ratio) { return 20 * std::log10(ratio); }

std::vector<double> humFiltered(const std::vector<double>& in, double rate, bool bass)
{
    const std::uint64_t frames = in.size() / 2;
    const HumCascade cascade = *humCascade(rate, bass);
    std::vector<double> out(in.size()), work(humWorkSamples(cascade, frames));
    Progress progress;
    humRemoval(in, 2, out, 2, frames, cascade, work, progress);
    return out;
}

std::vector<double> zephraFiltered(const std::vector<double>& in, double rate)
{
    const ZephraCoeffs coeffs = kZephraLowPass[*humZephraRateIndex(rate)];
    std::vector<double> out(in.size()), work(zephraWorkSamples(coeffs, in.size() / 2));
    Progress progress;
    zephra(in, out, in.size() / 2, coeffs, work, progress);
    return out;
}

double biquadGain(const BiquadCoeffs& k, double hz, double rate)
{
    const std::complex<double> z1 = std::polar(1.0, -2 * kPi * hz / rate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((k.b0 + k.b1 * z1 + k.b2 * z2) / (1.0 - k.d1 * z1 - k.d2 * z2));
}

TEST(HumCoefficients, ShelfAndZephraTablesMatchTheirDesigns)
{
    // Each stored shelf row is the bilinear low shelf of 160 Hz, +1.5 dB, Q 0.5.
    for (std::size_t row = 0; row < kHumZephraRates.size(); ++row) {
        const double rate = kHumZephraRates[row];
        const double a = std::pow(10.0, 1.5 / 40);
        const double w0 = 2 * kPi * 160 / rate;
        const double cw = std::cos(w0);
        const double s = 2 * std::sqrt(a) * std::sin(w0) / (2 * 0.5);
        const double a0 = (a + 1) + (a - 1) * cw + s;
        const BiquadCoeffs& k = kHumBassShelf[row];
        EXPECT_NEAR(k.b0, a * ((a + 1) - (a - 1) * cw + s) / a0, 1e-13) << rate;
        EXPECT_NEAR(k.b1, 2 * a * ((a - 1) - (a + 1) * cw) / a0, 1e-13) << rate;
        EXPECT_NEAR(k.b2, a * ((a + 1) - (a - 1) * cw - s) / a0, 1e-13) << rate;
        EXPECT_NEAR(k.d1, 2 * ((a - 1) + (a + 1) * cw) / a0, 1e-13) << rate;
        EXPECT_NEAR(k.d2, -((a + 1) + (a - 1) * cw - s) / a0, 1e-13) << rate;

        // Zephra's low-pass: unity at DC, −3 dB at 150 Hz.
        const ZephraCoeffs z = kZephraLowPass[row];
        EXPECT_NEAR(2 * z.g / (1 - z.p), 1.0, 1e-9);
        const BiquadCoeffs lowPass{z.g, z.g, 0, z.p, 0};
        EXPECT_NEAR(dB(biquadGain(lowPass, 150, rate)), -3.01, 0.05) << rate;
    }
    EXPECT_FALSE(humCascade(32000, false));
}

TEST(HumRemovalKernel, RemovesMainsHarmonicsAndPassesMusicUnshifted)
{
    for (double rate : {44100.0, 96000.0}) {
        const auto frames = static_cast<std::uint64_t>(rate);
        for (double hz : kHumNotchHz) {
            const std::vector<double> in = tone(frames, 2, rate, hz, 10000);
            const std::vector<double> out = humFiltered(in, rate, false);
            EXPECT_LT(dB(middleRms(out, 2, 0) / middleRms(in, 2, 0)), -40) << hz << " Hz at " << rate;
            EXPECT_LT(dB(middleRms(out, 2, 1) / middleRms(in, 2, 1)), -40) << hz << " Hz at " << rate;
        }
        // 1 kHz: same level, and sample for sample the same wave (a shift
        // of a single frame would leave an error of 14 % of the peak).
        const std::vector<double> in = tone(frames, 2, rate, 1000, 10000);
        const std::vector<double> out = humFiltered(in, rate, false);
        EXPECT_NEAR(dB(middleRms(out, 2, 0) / middleRms(in, 2, 0)), 0.0, 0.01);
        double worst = 0;
        for (std::uint64_t i = frames / 4 * 2; i < frames * 3 / 4 * 2; ++i)
            worst = std::max(worst, std::abs(out[i] - in[i]));
        EXPECT_LT(worst, 10000 * 0.001) << rate;
    }
}

TEST(HumRemovalKernel, BassCompensationIsTheShelfTwice)
{
    const double rate = 48000;
    const auto frames = static_cast<std::uint64_t>(rate * 2);
    for (double hz : {20.0, 35.0, 5000.0}) {
        const std::vector<double> in = tone(frames, 2, rate, hz, 10000);
        const double lift = dB(middleRms(humFiltered(in, rate, true), 2, 0) /
                               middleRms(humFiltered(in, rate, false), 2, 0));
        EXPECT_NEAR(lift, 2 * dB(biquadGain(kHumBassShelf[1], hz, rate)), 0.02) << hz;
        if (hz == 20.0) {
            EXPECT_NEAR(lift, 3.0, 0.15);
        }
    }
}

TEST(ZephraKernel, LowBassSideIsRemovedAndMidKept)
{
    const double rate = 44100;
    const auto frames = static_cast<std::uint64_t>(rate * 2);

    // Mono passes bit for bit.
    const std::vector<double> mono = tone(frames, 2, rate, 40, 10000);
    EXPECT_EQ(zephraFiltered(mono, rate), mono);

    // 40 Hz on the left only becomes nearly mono at half amplitude.
    const std::vector<double> left = tone(frames, 2, rate, 40, 10000, {0});
    const std::vector<double> out = zephraFiltered(left, rate);
    const double inRms = middleRms(left, 2, 0);
    EXPECT_NEAR(middleRms(out, 2, 0) / inRms, 0.5, 0.05);
    EXPECT_NEAR(middleRms(out, 2, 1) / inRms, 0.5, 0.05);
    for (std::size_t n = 0; n < frames; ++n)
        ASSERT_NEAR(out[2 * n] + out[2 * n + 1], left[2 * n] + left[2 * n + 1], 1e-9);

    // The side signal keeps 1 − |H|² of the 150 Hz low-pass: half at 150 Hz.
    const ZephraCoeffs z = kZephraLowPass[0];
    for (double hz : {40.0, 150.0}) {
        const std::vector<double> side = tone(frames, 2, rate, hz, 10000, {0});
        const std::vector<double> result = zephraFiltered(side, rate);
        std::vector<double> outSide(frames);
        for (std::size_t n = 0; n < frames; ++n)
            outSide[n] = result[2 * n] - result[2 * n + 1];
        const double h = biquadGain(BiquadCoeffs{z.g, z.g, 0, z.p, 0}, hz, rate);
        EXPECT_NEAR(middleRms(outSide, 1, 0) / inRms, 1 - h * h, 0.005) << hz;
    }
}

TEST(HumZephraKernels, SilenceStaysSilence)
{
    const std::vector<double> silence(2 * 48000, 0.0);
    EXPECT_EQ(humFiltered(silence, 48000, true), silence);
    EXPECT_EQ(zephraFiltered(silence, 48000), silence);
}

std::vector<double> programme(std::uint64_t frames, std::uint32_t channels)
{
    std::vector<double> v(frames * channels);
    for (std::uint64_t i = 0; i < v.size(); ++i)
        v[i] = 3000 * std::sin(0.0071 * static_cast<double>(i)) + 700 * std::sin(0.31 * static_cast<double>(i)) +
               static_cast<double>(i % channels) * 50;
    return v;
}

void prepare(SampleJob& s, std::uint32_t frames, std::uint32_t channels = 2)
{
    s.job.dstFrames = frames;
    s.job.dstFrameRate = 44100;
    s.job.srcChannels = 2;
    s.job.dstChannels_1 = s.job.dstChannels_2 = channels;
    s.log.clear();
}

using Buffer = SampleBuffer AudioFile::*;

// Runs one call on a stereo programme in `in` and returns `out`.
std::vector<double> runStage(EnhancementCode type1, EnhancementCode type2, bool bass, Buffer in, Buffer out,
                             void (AudioFile::*method)(std::uint32_t), std::uint32_t number)
{
    SampleJob s;
    prepare(s, 3000);
    s.job.settings.filterType_1 = type1;
    s.job.settings.filterType_2 = type2;
    s.job.settings.useHumFilterBassCompensation = bass;
    s.job.*out = SampleBuffer(6000, 0.0);
    s.job.*in = test::staged(programme(3000, 2));
    s.job.error = 0x40;
    (s.job.*method)(number);
    EXPECT_EQ(s.job.error, 0);
    return test::plain(s.job.*out);
}

TEST(HumZephraStage, EnhancementStagesAndChainCallsApplyTheKernels)
{
    EXPECT_TRUE(enhancementAvailable(kHum) && enhancementAvailable(kHumBass) && enhancementAvailable(kZephra));
    const std::vector<double> in = programme(3000, 2);
    using A = AudioFile;
    for (bool bass : {false, true}) {
        const std::vector<double> hum = humFiltered(in, 44100, bass);
        const EnhancementCode code = bass ? kHumBass : kHum;
        EXPECT_EQ(runStage(code, 0, false, &A::audioBuf_0, &A::audioBuf_1, &A::StereoEnhancement, 1), hum) << bass;
        EXPECT_EQ(runStage(0, code, false, &A::audioBuf_1, &A::audioBuf_2, &A::HumRemoval, 2), hum) << bass;
        EXPECT_EQ(runStage(kRiaa, 0, bass, &A::audioBuf_1, &A::audioBuf_1, &A::HumRemoval, 101), hum) << bass;
        EXPECT_EQ(runStage(0, kRiaa, bass, &A::audioBuf_2, &A::audioBuf_2, &A::HumRemoval, 102), hum) << bass;
    }
    const std::vector<double> zephra = zephraFiltered(in, 44100);
    EXPECT_EQ(runStage(kZephra, 0, false, &A::audioBuf_0, &A::audioBuf_1, &A::StereoEnhancement, 1), zephra);
    // The CD-4 baseband is stereo.
    EXPECT_EQ(runStage(kCd4, 0, false, &A::audioBuf_0, &A::audioBuf_0, &A::ZephraFilter, 101), zephra);
    EXPECT_EQ(runStage(0, kRiaa, false, &A::audioBuf_1, &A::audioBuf_1, &A::ZephraFilter, 102), zephra);

    SampleJob s;
    prepare(s, 3000);
    s.job.settings.filterType_1 = kHumBass;
    s.job.audioBuf_0 = test::staged(in);
    s.job.audioBuf_1.assign(6000, 0.0);
    s.job.StereoEnhancement(1);
    EXPECT_EQ(s.log.lines(), (std::vector<std::string>{"<Info> Apply the Hum Removal Bass Compensation enhancement",
                                                       "<Info>  Hum Removal Bass Compensation"}));
    EXPECT_EQ(s.job.tableText(TableText::Progress), "100%");
}

TEST(HumRemovalStage, CD4KeepsTheRearChannelsAndUsesItsOwnBassSwitch)
{
    SampleJob s;
    prepare(s, 2000, 6);
    s.job.settings.filterType_1 = kCd4;
    s.job.settings.useHumFilterBassCompensation = false;
    s.job.settings.useHumFilterBassCompensationCD4 = true;
    const std::vector<double> before = programme(2000, 6);
    s.job.audioBuf_1 = test::staged(before);
    s.job.HumRemoval(101);

    std::vector<double> front(4000);
    for (std::size_t n = 0; n < 2000; ++n) {
        front[2 * n] = before[6 * n];
        front[2 * n + 1] = before[6 * n + 1];
    }
    const std::vector<double> expected = humFiltered(front, 44100, true);
    for (std::size_t n = 0; n < 2000; ++n) {
        ASSERT_EQ(s.job.audioBuf_1[6 * n], expected[2 * n]);
        ASSERT_EQ(s.job.audioBuf_1[6 * n + 1], expected[2 * n + 1]);
        for (std::size_t c = 2; c < 6; ++c)
            ASSERT_EQ(s.job.audioBuf_1[6 * n + c], before[6 * n + c]);
    }
    EXPECT_EQ(s.job.tableText(TableText::State), "Hum Removal Bass Compensation...");
}

TEST(HumZephraStageDeathTest, InconsistentCallsEndTheProgram)
{
    SampleJob s;
    prepare(s, 100);
    s.job.audioBuf_0.assign(200, 0.0);
    s.job.audioBuf_1.assign(600, 0.0);
    s.job.settings.filterType_1 = kHum;

    s.job.dstChannels_1 = 6;
    EXPECT_DEATH(s.job.HumRemoval(1), "The number of channels_out must be 2 in -\\[AudioFile HumRemoval:\\]");
    s.job.settings.filterType_1 = kCd4;
    s.job.dstChannels_1 = 2;
    EXPECT_DEATH(s.job.HumRemoval(101), "The number of channels_in must be 6 in -\\[AudioFile HumRemoval:\\]");
    s.job.settings.filterType_1 = kCdDeemphasis;
    EXPECT_DEATH(s.job.HumRemoval(101), "Unknown enhancement type 67108864 in -\\[AudioFile HumRemoval:\\]");
    s.job.settings.filterType_1 = kHum;
    s.job.dstFrameRate = 32000;
    EXPECT_DEATH(s.job.HumRemoval(1), "Invalid frame rate in -\\[AudioFile HumRemoval:\\]");
    s.job.dstFrameRate = 44100;
    s.job.dstFrames = 101;
    EXPECT_DEATH(s.job.HumRemoval(1), "Buffer too small for its frames in -\\[AudioFile HumRemoval:\\]");

    s.job.dstFrames = 100;
    s.job.settings.filterType_1 = kZephra;
    s.job.srcChannels = 6;
    EXPECT_DEATH(s.job.ZephraFilter(1), "The number of channels_in must be 2 in -\\[AudioFile ZephraFilter:\\]");
}

}  // namespace
}  // namespace auralune

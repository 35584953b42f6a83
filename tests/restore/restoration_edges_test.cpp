// Measurements of the phonograph chain where its filters and corrections
// once gave wrong results: DC from LP distortion cancellation, bass that
// changed with the rate, and the zero-state transients of the zero-phase
// filters at the ends of a file.

#include "restore/hum_zephra_kernels.h"
#include "restore/phonograph_kernels.h"
#include "restore/phonograph_options.h"
#include "restore/phonograph_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <complex>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace auralune {
namespace {

using namespace test;

constexpr double kPi = std::numbers::pi;
constexpr double kFullScale = 8388608.0;   // 24-bit

double mean(const std::vector<double>& v, std::size_t channel, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t n = from; n < to; ++n)
        sum += v[2 * n + channel];
    return sum / static_cast<double>(to - from);
}

// Level of channel 0 over frames [from, to), in dB of `reference`.
double rmsDb(const std::vector<double>& v, std::size_t from, std::size_t to, double reference)
{
    double sum = 0;
    for (std::size_t n = from; n < to; ++n)
        sum += v[2 * n] * v[2 * n];
    return 10 * std::log10(sum / static_cast<double>(to - from)) - 20 * std::log10(reference);
}

// Before: ±0.30 of full scale DC in antiphase on a −6 dBFS 1 kHz tone with a
// 10 µm stylus (the square of the sum signal is never negative).
TEST(LpDistortionCancellation, AddsNoDc)
{
    const std::size_t frames = 44100;
    PhonographJob p(kFlatCode, 44100, stereoSine(frames, 1000, 44100, 0.5 * kFullScale));
    p.job.settings.useLpDistortionCancel = true;
    p.job.settings.lpDistortionStylusRadius = 10;
    const std::vector<double> out = p.run();
    EXPECT_LT(std::fabs(mean(out, 0, 0, frames)) / kFullScale, 1e-6);
    EXPECT_LT(std::fabs(mean(out, 1, 0, frames)) / kFullScale, 1e-6);
    // The correction itself is still there: the second harmonic of the sum,
    // (L + R)² · 0.06 / full scale, 0.06 × 0.5 of full scale in amplitude.
    std::complex<double> second = 0;
    for (std::size_t n = 0; n < frames; ++n)
        second += out[2 * n] * std::polar(1.0, -2 * kPi * 2000 * static_cast<double>(n) / 44100);
    EXPECT_NEAR(std::abs(second) * 2 / static_cast<double>(frames) / kFullScale, 0.03, 0.0005);
}

// The response of a curve at `hz`, measured with a sine through the
// equaliser (steady state: the last half of a second).
double curveGainDb(EnhancementCode code, phonograph::Rate rate, double hz)
{
    const double fs = phonograph::rateHz(rate);
    const auto frames = static_cast<std::size_t>(fs);
    const std::vector<double> in = stereoSine(frames, hz, fs, 1.0);
    std::vector<double> out(in.size());
    const phonograph::Equaliser eq = phonograph::equaliserFor(code, rate);
    Progress progress;
    phonograph::equalise(in, out, 2, frames, &eq, phonograph::Regime::Stereo, nullptr, {}, progress);
    std::complex<double> sum = 0;
    for (std::size_t n = frames / 2; n < frames; ++n)
        sum += out[2 * n] * std::polar(1.0, -2 * kPi * hz * static_cast<double>(n) / fs);
    return 20 * std::log10(std::abs(sum) * 2 / static_cast<double>(frames - frames / 2));
}

// Before: 1.1–1.4 dB more bass at 88.2/96 kHz than at 44.1/48 kHz.
TEST(PhonographCurves, BassIsTheSameAtTheDoubledRates)
{
    constexpr std::array<EnhancementCode, 6> kCurves{0x20000, 0x4000000000, 0x8000000000, 0x10000000000,
                                                     0x80000000000, 0x800000000000};   // D, G, H, J, P2, P3
    const std::array<std::pair<phonograph::Rate, phonograph::Rate>, 2> pairs{
        {{phonograph::Rate::Hz44100, phonograph::Rate::Hz88200}, {phonograph::Rate::Hz48000, phonograph::Rate::Hz96000}}};
    for (EnhancementCode code : kCurves)
        for (const auto& [base, doubled] : pairs)
            for (double hz : {20.0, 50.0, 100.0, 300.0, 1000.0})
                EXPECT_NEAR(curveGainDb(code, doubled, hz), curveGainDb(code, base, hz), 0.2)
                    << std::hex << code << std::dec << " at " << hz << " Hz, rate " << phonograph::rateHz(doubled);
}

// Mains hum (50 Hz and its harmonics, each in its own phase) from the first
// frame of a file, through hum removal.
TEST(HumRemoval, HumIsGoneFromTheStartAndTheEnd)
{
    for (const double rate : {44100.0, 96000.0}) {
        const auto frames = static_cast<std::size_t>(rate * 1.5);
        std::vector<double> hum(2 * frames);
        for (std::size_t n = 0; n < frames; ++n)
            for (int h = 1; h <= 5; ++h)
                hum[2 * n] = hum[2 * n + 1] +=
                    std::sin(2 * kPi * 50 * h * static_cast<double>(n) / rate + 0.7 * h) / h;
        const HumCascade cascade = *humCascade(rate, false);
        std::vector<double> out(hum.size()), work(humWorkSamples(cascade, frames));
        Progress progress;
        humRemoval(hum, 2, out, 2, frames, cascade, work, progress);
        const auto ms = [rate](double t) { return static_cast<std::size_t>(rate * t / 1000); };
        const double humRms = std::pow(10.0, rmsDb(hum, 0, frames, 1.0) / 20);
        // Before: nearly untouched for the first 0.2 s, 31 dB down at 0.8 s.
        EXPECT_LT(rmsDb(out, ms(50), ms(150), humRms), -40) << rate;
        EXPECT_LT(rmsDb(out, ms(150), frames - ms(150), humRms), -40) << rate;
        EXPECT_LT(rmsDb(out, frames - ms(150), frames - ms(50), humRms), -40) << rate;
    }
}

// A click-free recording through crackle mode comes back as it went in, up
// to its last frame. Before: the last 10 ms were 32 dB off.
TEST(CrackleRemoval, LeavesTheEndsOfACleanRecordingAlone)
{
    const double rate = 44100;
    const std::size_t frames = 22050;
    std::vector<double> music(2 * frames);
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 1000.0);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        music[2 * n] = 2e5 * std::sin(2 * kPi * 440 * t) + 8e4 * std::sin(2 * kPi * 3520 * t + 1) + noise(random);
        music[2 * n + 1] = 2e5 * std::sin(2 * kPi * 660 * t + 2) + 8e4 * std::sin(2 * kPi * 5280 * t) + noise(random);
    }
    PhonographJob p(kFlatCode, rate, music);
    p.job.settings.phonographPopClick = 3;
    p.job.ccc = 30;
    const std::vector<double> out = p.run();
    for (const auto& [from, to] : {std::pair<std::size_t, std::size_t>{0, 441}, {frames - 441, frames}}) {
        for (std::size_t c = 0; c < 2; ++c) {
            double error = 0, signal = 0;
            for (std::size_t n = from; n < to; ++n) {
                error += (out[2 * n + c] - music[2 * n + c]) * (out[2 * n + c] - music[2 * n + c]);
                signal += music[2 * n + c] * music[2 * n + c];
            }
            // Within 0.1 dB: an error below 1.2 % of the signal.
            EXPECT_LT(std::sqrt(error / signal), 0.012) << "frames " << from << " channel " << c;
        }
    }
}

// Zephra, the rumble filter and needle-scratch removal treat a DC level and
// a tone at the ends as in the middle, where zero-state passes bent them.
TEST(ZeroPhaseEdges, ZephraRumbleAndNeedleScratchHaveNoEndTransients)
{
    const double rate = 48000;
    const std::size_t frames = 24000;
    std::vector<double> in(2 * frames);
    for (std::size_t n = 0; n < frames; ++n) {
        in[2 * n] = 3e5 + 2e5 * std::sin(2 * kPi * 1000 * static_cast<double>(n) / rate);
        in[2 * n + 1] = -1e5 + 2e5 * std::sin(2 * kPi * 1000 * static_cast<double>(n) / rate);
    }
    const ZephraCoeffs coeffs = kZephraLowPass[*humZephraRateIndex(rate)];
    std::vector<double> zephraOut(in.size()), work(zephraWorkSamples(coeffs, frames));
    Progress progress;
    zephra(in, zephraOut, frames, coeffs, work, progress);
    // The constant side level 4e5 is below 150 Hz: it is made mono at every
    // frame, the 1 kHz mid passes.
    for (std::size_t n : {std::size_t{0}, std::size_t{10}, frames / 2, frames - 10, frames - 1}) {
        EXPECT_NEAR(zephraOut[2 * n], zephraOut[2 * n + 1], 2e5 * 0.01) << n;
        EXPECT_NEAR(zephraOut[2 * n] + zephraOut[2 * n + 1], in[2 * n] + in[2 * n + 1], 1e-6) << n;
    }

    const BiquadCoeffs rumble = phonograph::at(phonograph::kRumble, phonograph::Rate::Hz48000);
    std::vector<double> out(in.size()), tail(phonograph::rumbleTailSamples(rumble, frames));
    phonograph::equalise(in, out, 2, frames, nullptr, phonograph::Regime::Stereo, &rumble, tail, progress);
    // The DC is gone and the 1 kHz tone is untouched from the first frame to
    // the last.
    for (std::size_t n = 0; n < frames; ++n)
        ASSERT_NEAR(out[2 * n], 2e5 * std::sin(2 * kPi * 1000 * static_cast<double>(n) / rate), 2e5 * 0.01) << n;

    // Needle-scratch removal (a low-pass near 7 kHz) passes both untouched.
    std::vector<double> scratch = in, scratchWork(in.size());
    phonograph::zeroPhaseCascade(scratch, scratchWork, frames, phonograph::at(phonograph::kNeedleScratch, phonograph::Rate::Hz48000),
                                 2, 1.0, progress);
    for (std::size_t n = 0; n < frames; ++n)
        ASSERT_NEAR(scratch[2 * n], in[2 * n], 2e5 * 0.01) << n;
}

}  // namespace
}  // namespace auralune

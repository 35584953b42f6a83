// The converters against an independent resampler (sox's very-high-quality
// "rate -v") on the same sweeps: image rejection when doubling, aliasing
// when halving. Skipped where sox is not installed.

#include "dsp/hires.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace auralune {
namespace {

bool haveSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

// sox on raw mono doubles from `fromRate` to `toRate`.
std::vector<double> soxRate(const std::vector<double>& in, int fromRate, int toRate)
{
    test::TempDir dir;
    const auto input = dir.path() / "in.f64";
    const auto output = dir.path() / "out.f64";
    std::vector<std::uint8_t> bytes(in.size() * sizeof(double));
    std::memcpy(bytes.data(), in.data(), bytes.size());
    test::writeFile(input, bytes);
    const std::string command = "sox -D -t f64 -r " + std::to_string(fromRate) + " -c 1 '" + input.string() +
                                "' -t f64 '" + output.string() + "' rate -v " + std::to_string(toRate) +
                                " 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return {};
    bytes = test::readFile(output);
    std::vector<double> samples(bytes.size() / sizeof(double));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(double));
    return samples;
}

// A linear sweep from f0 to f1 (fractions of the rate) over `frames` frames.
std::vector<double> sweep(std::size_t frames, double f0, double f1, double amplitude)
{
    std::vector<double> x(frames);
    const double n = static_cast<double>(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i);
        x[i] = amplitude * std::sin(2 * std::numbers::pi * (f0 * t + (f1 - f0) * t * t / (2 * n)));
    }
    return x;
}

// Energy above a quarter of the rate (the Nyquist of the rate before
// doubling) relative to all the energy, in dB. A 401-tap high-pass with a
// deep stop band (Kaiser 12) below 0.24 separates it.
double imageLevelDb(const std::vector<double>& y)
{
    auto low = designLowPass({401, 0.25, 0.0, EdgeShape::Linear, 12.0});
    std::vector<double> high(low.size());
    for (std::size_t i = 0; i < low.size(); ++i)
        high[i] = -low[i];
    high[200] += 1.0;
    double images = 0;
    double total = 0;
    for (std::size_t n = 1000; n + high.size() < y.size() - 1000; ++n) {
        double sum = 0;
        for (std::size_t i = 0; i < high.size(); ++i)
            sum += high[i] * y[n + i];
        images += sum * sum;
        total += y[n + 200] * y[n + 200];
    }
    return 10 * std::log10(images / total);
}

TEST(HiResAgainstSox, DoublingRejectsImagesBelowTheFloor)
{
    if (!haveSox())
        GTEST_SKIP() << "sox is not installed";
    // 2 s sweeping 20 Hz to 20 kHz at 44.1 kHz.
    const auto x = sweep(88200, 20.0 / 44100, 20000.0 / 44100, 0.5);
    std::vector<double> ours(2 * x.size());
    Progress progress{1, 0, {}};
    interpolateByTwo(x, ours, 1, dualUpSamplePhases(), progress);
    const auto theirs = soxRate(x, 44100, 88200);
    ASSERT_GT(theirs.size(), x.size());

    const double oursDb = imageLevelDb(ours);
    const double theirsDb = imageLevelDb(theirs);
    std::printf("image level after doubling: ours %.1f dB, sox rate -v %.1f dB\n", oursDb, theirsDb);
    EXPECT_LT(oursDb, -84.0);
}

// Level of what comes out while the sweep is above the new Nyquist (all of
// it is aliasing), relative to the sweep's in-band level, in dB.
double aliasLevelDb(const std::vector<double>& y, std::size_t begin, std::size_t end, double amplitude)
{
    double energy = 0;
    for (std::size_t m = begin; m < end; ++m)
        energy += y[m] * y[m];
    const double rms = std::sqrt(energy / static_cast<double>(end - begin));
    return 20 * std::log10(rms / (amplitude / std::numbers::sqrt2));
}

TEST(HiResAgainstSox, HalvingKeepsAliasingBelowTheFloor)
{
    if (!haveSox())
        GTEST_SKIP() << "sox is not installed";
    // 4 s at 88.2 kHz sweeping 0 to 44.1 kHz; halved to 44.1 kHz. From
    // 23 kHz to 43 kHz everything that comes out is aliasing.
    constexpr std::size_t kFrames = 4 * 88200;
    constexpr double kAmplitude = 0.5;
    const auto x = sweep(kFrames, 0.0, 0.5, kAmplitude);
    std::vector<double> ours(kFrames / 2);
    Progress progress{1, 0, {}};
    decimateByTwo(x, ours, 1, quadDownSampleKernel(), progress);
    const auto theirs = soxRate(x, 88200, 44100);
    ASSERT_GE(theirs.size(), ours.size() - 1);

    // The sweep passes f (fraction of 88.2 kHz) at input frame f / 0.5 × kFrames.
    const auto outputFrameAt = [](double hz) { return static_cast<std::size_t>(hz / 44100.0 * kFrames / 2); };
    const std::size_t begin = outputFrameAt(23000);
    const std::size_t end = outputFrameAt(43000);
    const double oursDb = aliasLevelDb(ours, begin, end, kAmplitude);
    const double theirsDb = aliasLevelDb(theirs, begin, end, kAmplitude);
    std::printf("alias level after halving: ours %.1f dB, sox rate -v %.1f dB\n", oursDb, theirsDb);
    EXPECT_LT(oursDb, -65.0);
    // In band the two agree: at 5 kHz both pass the sweep at its level.
    const std::size_t at5k = outputFrameAt(5000);
    EXPECT_NEAR(aliasLevelDb(ours, at5k, at5k + 2000, kAmplitude), 0.0, 0.05);
}

}  // namespace
}  // namespace auralune

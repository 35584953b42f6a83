#include "dsp/denormals.h"
#include "dsp/filter_primitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace auralune {
namespace {

struct Recorder {
    std::vector<std::uint32_t> values;
    Progress progress(std::uint64_t step, std::uint32_t start = 0)
    {
        return Progress{step, start, [this](std::uint32_t v) { values.push_back(v); }};
    }
};

std::vector<double> ramp(std::size_t frames, std::uint32_t channels)
{
    std::vector<double> v(frames * channels);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = std::sin(0.37 * static_cast<double>(i) + 0.1 * static_cast<double>(i % channels)) * 1000.0 +
               static_cast<double>(i % 7);
    return v;
}

std::vector<double> channelOf(const std::vector<double>& v, std::uint32_t channels, std::uint32_t c)
{
    std::vector<double> out;
    for (std::size_t i = c; i < v.size(); i += channels)
        out.push_back(v[i]);
    return out;
}

std::vector<double> reversedFrames(const std::vector<double>& v, std::uint32_t channels)
{
    std::vector<double> out(v.size());
    const std::size_t frames = v.size() / channels;
    for (std::size_t n = 0; n < frames; ++n)
        for (std::uint32_t c = 0; c < channels; ++c)
            out[(frames - 1 - n) * channels + c] = v[n * channels + c];
    return out;
}

void runBiquad(const std::vector<double>& in, std::vector<double>& out, std::uint32_t channels,
               const BiquadCoeffs& k, Direction d)
{
    Progress none;
    out.resize(in.size());
    biquad(in, out, in.size() / channels, channels, k, d, none);
}

// RBJ low-pass, 1 kHz at 48 kHz, feedback signs flipped (d = −a).
BiquadCoeffs lowPass1k()
{
    const double w0 = 2 * std::numbers::pi * 1000.0 / 48000.0;
    const double alpha = std::sin(w0) / (2 * 0.707);
    const double a0 = 1 + alpha;
    const double cw = std::cos(w0);
    return {(1 - cw) / 2 / a0, (1 - cw) / a0, (1 - cw) / 2 / a0, 2 * cw / a0, -(1 - alpha) / a0};
}

TEST(Biquad, PassThroughAndAddedFeedback)
{
    const std::vector<double> in = ramp(40, 2);
    std::vector<double> out;
    for (Direction d : {Direction::Forward, Direction::Reverse}) {
        runBiquad(in, out, 2, {1, 0, 0, 0, 0}, d);
        EXPECT_EQ(out, in);
    }

    // d1 = +1 integrates: the impulse becomes a step, not an alternating sequence.
    std::vector<double> impulse(8, 0.0);
    impulse[0] = 1;
    runBiquad(impulse, out, 1, {1, 0, 0, 1, 0}, Direction::Forward);
    EXPECT_EQ(out, std::vector<double>(8, 1.0));
    // Reversed, the step grows from the last frame back to the impulse.
    impulse = std::vector<double>(8, 0.0);
    impulse[7] = 1;
    runBiquad(impulse, out, 1, {1, 0, 0, 1, 0}, Direction::Reverse);
    EXPECT_EQ(out, std::vector<double>(8, 1.0));

    // Feed-forward taps delay by one and two frames, per channel.
    std::vector<double> stereo{1, 10, 0, 0, 0, 0, 0, 0};
    runBiquad(stereo, out, 2, {0, 2, 3, 0, 0}, Direction::Forward);
    EXPECT_EQ(out, (std::vector<double>{0, 0, 2, 20, 3, 30, 0, 0}));
}

TEST(Biquad, ReversePassIsTheTimeReversedForwardPassAndChannelsAreIndependent)
{
    const BiquadCoeffs k = lowPass1k();
    for (std::uint32_t channels : {1u, 2u, 3u}) {
        const std::vector<double> in = ramp(300, channels);
        std::vector<double> reverse, forward, alone;
        runBiquad(in, reverse, channels, k, Direction::Reverse);
        runBiquad(reversedFrames(in, channels), forward, channels, k, Direction::Forward);
        EXPECT_EQ(reverse, reversedFrames(forward, channels)) << channels << " channels";
        runBiquad(channelOf(in, channels, channels - 1), alone, 1, k, Direction::Reverse);
        EXPECT_EQ(channelOf(reverse, channels, channels - 1), alone) << channels << " channels";

        std::vector<double> inPlace = in;
        Progress none;
        biquad(inPlace, inPlace, 300, channels, k, Direction::Reverse, none);
        EXPECT_EQ(inPlace, reverse);
    }
}

TEST(Biquad, ImpulseResponseMatchesTheTransferFunction)
{
    const BiquadCoeffs k = lowPass1k();
    std::vector<double> impulse(4096, 0.0), h;
    impulse[0] = 1;
    runBiquad(impulse, h, 1, k, Direction::Forward);
    for (double f : {100.0 / 48000, 1000.0 / 48000, 15000.0 / 48000}) {
        std::complex<double> measured = 0;
        for (std::size_t n = 0; n < h.size(); ++n)
            measured += h[n] * std::polar(1.0, -2 * std::numbers::pi * f * static_cast<double>(n));
        const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * f);
        const std::complex<double> expected = (k.b0 + k.b1 * z1 + k.b2 * z1 * z1) / (1.0 - k.d1 * z1 - k.d2 * z1 * z1);
        EXPECT_NEAR(std::abs(measured - expected), 0.0, 1e-9) << f;
    }
}

TEST(Fir, MatchesDirectConvolution)
{
    const std::vector<double> taps{0.5, -0.25, 0.125, 2.0, -1.0, 0.0, 0.75};
    for (std::uint32_t channels : {1u, 2u, 3u}) {
        const std::size_t frames = 40;
        const std::vector<double> in = ramp(frames, channels);
        std::vector<double> out(in.size(), 99.0);
        Progress none;
        fir(in, out, frames, channels, taps, none);
        for (std::size_t n = 0; n < frames; ++n)
            for (std::uint32_t c = 0; c < channels; ++c) {
                double expected = 0;
                for (std::size_t j = 0; j <= n; ++j)
                    if (n - j < taps.size())
                        expected += taps[n - j] * in[j * channels + c];
                ASSERT_NEAR(out[n * channels + c], expected, 1e-9) << n << "/" << c;
            }
    }
    std::vector<double> out(8, 7.0);
    Progress none;
    fir(ramp(4, 2), out, 4, 2, {}, none);
    EXPECT_EQ(out, std::vector<double>(8, 0.0));
}

TEST(SampleOperations, GainRectifierAndLeftMinusRight)
{
    Progress none;
    std::vector<double> v{1, -2, 0.5, 4};
    gain(v, 2, 2, -2.0, none);
    EXPECT_EQ(v, (std::vector<double>{-2, 4, -1, -8}));

    v = {-0.5, -0.0, 0.0, 3, -7};
    rectify(v, 5, 1, none);
    EXPECT_EQ(v, (std::vector<double>{0.5, 0.0, 0.0, 3, 7}));
    EXPECT_TRUE(std::signbit(v[1]));

    v = {1, 0.25, 5, 7, 2, 3, 0, 0};
    leftMinusRight(v, 2, 4, none);
    EXPECT_EQ(v, (std::vector<double>{0.75, 0.75, 0.75, 0.75, -1, -1, -1, -1}));
}

TEST(Kestralin, PureMidPassesAndTheStepDecaysAsTheEquationSays)
{
    const KestralinCoeffs k{0.3, -0.3, 0.9, 0.25};
    Progress none;
    std::vector<double> mid{1, 1, 2, 2, -5, -5, 0.5, 0.5};
    std::vector<double> out(8);
    kestralinCrossFeed(mid, out, 4, 2, 2, k, Direction::Forward, none);
    EXPECT_EQ(out, mid);

    // A side step L = 1, R = −1 from frame 0: with b = −a, h[n] = ±a·c^n, so
    // outL = 1 − 2g·a·c^n and outR = −outL.
    const std::size_t frames = 20;
    std::vector<double> side(frames * 2, 1.0);
    for (std::size_t n = 0; n < frames; ++n)
        side[n * 2 + 1] = -1;
    for (Direction d : {Direction::Forward, Direction::Reverse}) {
        out.assign(frames * 2, 0.0);
        kestralinCrossFeed(side, out, frames, 2, 2, k, d, none);
        for (std::size_t i = 0; i < frames; ++i) {
            const std::size_t n = d == Direction::Forward ? i : frames - 1 - i;
            const double expected = 1 - 2 * k.g * k.a * std::pow(k.c, static_cast<double>(i));
            ASSERT_NEAR(out[n * 2], expected, 1e-12) << i;
            ASSERT_NEAR(out[n * 2 + 1], -expected, 1e-12) << i;
        }
    }
}

TEST(FilterPrimitives, ZeroFramesOrChannelsTouchNothing)
{
    Recorder rec;
    const std::vector<double> in(12, 5.0);
    const std::vector<double> untouched(12, -1.0);
    const std::vector<double> taps{1, 2};
    for (auto [frames, channels] : {std::pair<std::uint64_t, std::uint32_t>{0, 2}, {6, 0}}) {
        std::vector<double> out = untouched;
        Progress p = rec.progress(1);
        biquad(in, out, frames, channels, {1, 0, 0, 0, 0}, Direction::Reverse, p);
        fir(in, out, frames, channels, taps, p);
        gain(out, frames, channels, 2.0, p);
        rectify(out, frames, channels, p);
        leftMinusRight(out, frames, channels, p);
        copySamples(in, out, frames, channels, p);
        kestralinCrossFeed(in, out, frames, channels, channels, {1, 1, 1, 1}, Direction::Forward, p);
        if (channels == 2)
            tsymWidthCompensation(in, out, frames, p);
        EXPECT_EQ(out, untouched);
    }
    EXPECT_TRUE(rec.values.empty());
}

TEST(PrimitiveProgress, CountsUnitsAcrossRunsAndChannels)
{
    // 30 units at an interval of 7, not restarted per channel: 4 steps.
    Recorder rec;
    const std::vector<double> in = ramp(10, 3);
    std::vector<double> out(30);
    Progress p = rec.progress(7, 33);
    biquad(in, out, 10, 3, lowPass1k(), Direction::Forward, p);
    EXPECT_EQ(rec.values, (std::vector<std::uint32_t>{34, 35, 36, 37}));

    // Samples are counted, two per stereo frame: 300 at 1 % steps.
    rec.values.clear();
    const std::vector<double> stereo = ramp(150, 2);
    out.resize(300);
    p = rec.progress(Progress::stepFor(300));
    copySamples(stereo, out, 150, 2, p);
    EXPECT_EQ(out, stereo);
    ASSERT_EQ(rec.values.size(), 100u);
    EXPECT_EQ(rec.values.back(), 100u);

    // The cross-feed and the width filter count frames.
    rec.values.clear();
    p = rec.progress(50);
    kestralinCrossFeed(stereo, out, 150, 2, 2, {1, -1, 0.5, 0.1}, Direction::Forward, p);
    tsymWidthCompensation(stereo, out, 150, p);
    EXPECT_EQ(rec.values, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
}

TEST(Denormals, FlushedWhileTheGuardLives)
{
    volatile double tiny = 1e-300;
    volatile double scale = 1e-10;
    EXPECT_NE(tiny * scale, 0.0);
    {
        DenormalsFlushedToZero guard;
        EXPECT_EQ(tiny * scale, 0.0);
    }
    EXPECT_NE(tiny * scale, 0.0);
}

}  // namespace
}  // namespace auralune

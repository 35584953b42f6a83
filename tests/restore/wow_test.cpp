#include "restore/phonograph_test_support.h"
#include "restore/wow_coefficients.h"
#include "restore/wow_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <random>
#include <string>

namespace auralune {
namespace {

using namespace test;
constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kToneHz = 3150;   // the usual wow-and-flutter test frequency
constexpr double kFullScale = 8388608.0;

// ---------------------------------------------------------------------------
// A synthetic off-centre record, made from the physics and not from the
// detector. A pressing whose spindle hole is ε mm off centre plays the groove
// of diameter D at a radius swinging by ±ε once per revolution, so the groove
// speed, and every pitch on it, deviates by ±2ε/D. The tonearm follows the
// groove sideways by 2ε peak to peak: that is the correction's "tonearm
// sway", and its fractional speed correction sway/D is the same ±2ε/D. The
// sway also turns the stylus against the groove walls, which tips the level of
// the top octave from one channel to the other once per revolution, in step
// with the speed error: here the right channel's high band is louder while
// the record runs fast and the left one's while it runs slow. That is the
// sign the detector expects (its control is the opposite of left minus
// right). The record is a 3150 Hz tone, programme-like noise falling with
// frequency, and surface noise rising with it, partly common to both
// channels; the speed error modulates the tone's frequency, the balance the
// surface noise's level.
struct Record {
    double rate;
    double rpm;
    double seconds;
    double deviation;      // peak fractional speed error
    double balanceDepth;   // peak fractional level swing of the high band
};

std::vector<double> offCentreRecord(const Record& r, std::uint32_t seed)
{
    const auto frames = static_cast<std::size_t>(r.rate * r.seconds);
    const double revolutionHz = r.rpm / 60;
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> x(2 * frames);
    double programme = 0, previousCommon = 0, previousLeft = 0, previousRight = 0;
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / r.rate;
        const double speedError = std::sin(kTwoPi * revolutionHz * t);
        // The tone's phase is the integral of 3150 Hz × (1 + δ·speedError).
        const double phase =
            kTwoPi * kToneHz * (t - r.deviation / (kTwoPi * revolutionHz) * std::cos(kTwoPi * revolutionHz * t));
        programme = 0.9 * programme + 0.1 * noise(random);
        const double common = noise(random), left = noise(random), right = noise(random);
        const double surfaceLeft = (common - previousCommon) + (left - previousLeft);
        const double surfaceRight = (common - previousCommon) + (right - previousRight);
        previousCommon = common;
        previousLeft = left;
        previousRight = right;
        const double tone = 0.25 * std::sin(phase) + 0.15 * programme;
        x[2 * n] = kFullScale * (tone + 0.01 * surfaceLeft * (1 - r.balanceDepth * speedError));
        x[2 * n + 1] = kFullScale * (tone + 0.01 * surfaceRight * (1 + r.balanceDepth * speedError));
    }
    return x;
}

// Peak fractional deviation of the 3150 Hz tone's frequency (left channel)
// between two times, from its analytic signal: demodulated at 3150 Hz, then
// two 10 ms moving averages (which null the image at 6300 Hz and keep about
// ±100 Hz), then the phase advance over 40 ms steps.
double peakDeviation(const std::vector<double>& stereo, double rate, double fromSeconds, double toSeconds)
{
    const std::size_t frames = stereo.size() / 2;
    std::vector<std::complex<double>> z(frames);
    for (std::size_t n = 0; n < frames; ++n)
        z[n] = stereo[2 * n] * std::polar(1.0, -kTwoPi * kToneHz * static_cast<double>(n) / rate);
    const auto box = static_cast<std::size_t>(std::lround(rate / 100));
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::complex<double>> sum(frames + 1);
        std::partial_sum(z.begin(), z.end(), sum.begin() + 1);
        for (std::size_t n = box; n <= frames; ++n)
            z[n - box] = (sum[n] - sum[n - box]) / static_cast<double>(box);
        z.resize(frames - box + 1);
    }
    const auto step = static_cast<std::size_t>(std::lround(rate * 0.04));
    double peak = 0;
    for (auto n = static_cast<std::size_t>(fromSeconds * rate); n + step < std::min(z.size(), static_cast<std::size_t>(toSeconds * rate)); n += step) {
        const double advance = std::arg(z[n + step] * std::conj(z[n]));
        peak = std::max(peak, std::abs(advance * rate / (kTwoPi * static_cast<double>(step)) / kToneHz));
    }
    return peak;
}

// One stage-1 run of the chain with the flat curve, so that only wow
// correction changes the audio.
struct WowJob : PhonographJob {
    WowJob(double rate, std::vector<double> stereo, int speed, double sway, double diameter)
        : PhonographJob(kFlatCode, rate, std::move(stereo))
    {
        job.settings.useWowCorrection = true;
        job.settings.rotationalSpeedWow = speed;
        job.settings.tonearmSwayWow = sway;
        job.settings.startDiameterWow = job.settings.stopDiameterWow = diameter;
    }
    bool found() const { return (job.warning & kWarningWowNotFound) == 0; }
};

TEST(WowCorrection, HalvesTheWowOfAnOffCentreRecordAtEachSpeed)
{
    struct Case {
        int speed;
        double rpm;
        double rate;
        double seconds;
    };
    // 0.3 % at a 300 mm groove is a sway of 0.9 mm (ε = 0.45 mm).
    for (const Case& c : {Case{1, 100.0 / 3, 96000, 24}, Case{2, 45, 96000, 16}, Case{3, 78, 44100, 10}}) {
        SCOPED_TRACE(c.rpm);
        const std::vector<double> record = offCentreRecord({c.rate, c.rpm, c.seconds, 0.003, 0.1}, 11);
        const double before = peakDeviation(record, c.rate, 2, c.seconds - 2);
        WowJob wow(c.rate, record, c.speed, 0.9, 300);
        const double after = peakDeviation(wow.run(), c.rate, 2, c.seconds - 2);
        EXPECT_TRUE(wow.found());
        EXPECT_NEAR(before, 0.003, 0.0002);
        EXPECT_LE(after, 0.5 * before);
    }
}

TEST(WowCorrection, AddsNoWowToARecordWithout)
{
    const std::vector<double> record = offCentreRecord({48000, 100.0 / 3, 16, 0.0, 0.0}, 5);
    const double before = peakDeviation(record, 48000, 2, 14);
    WowJob wow(48000, record, 1, 0.9, 300);
    const double after = peakDeviation(wow.run(), 48000, 2, 14);
    EXPECT_LE(after, before + 0.0002);
}

}  // namespace
}  // namespace auralune

namespace auralune {
namespace {

TEST(WowCorrection, LeavesARecordWithoutASwingAsItIs)
{
    // Nothing to lock onto: no left/right difference at all, no sound, or
    // less than one revolution of a swinging record.
    std::vector<double> swinging = offCentreRecord({44100, 78, 0.6, 0.003, 0.1}, 3);
    struct Case {
        const char* name;
        std::vector<double> record;
    };
    const Case cases[] = {
        {"mono", stereoSine(44100 * 3, 3150, 44100, 2e6)},
        {"silence", std::vector<double>(2 * 44100 * 3, 0.0)},
        {"shorter than a revolution", swinging},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WowJob wow(44100, c.record, 3, 0.9, 300);
        EXPECT_EQ(wow.run(), c.record);
        EXPECT_FALSE(wow.found());
        EXPECT_EQ(wow.job.error, 0);
        EXPECT_TRUE(wow.log.contains("<WARNING> Cannot detect any Wow! to correct in -[AudioFile ControlSinWaveFit::::]"));
    }
}

}  // namespace
}  // namespace auralune

namespace auralune {
namespace {

TEST(WowControl, DecimationAndInterpolationFollowTheirDefinitions)
{
    Progress quiet;
    // Every 4th frame of a two-channel ramp, then zeros.
    std::vector<double> ramp(2 * 10);
    std::iota(ramp.begin(), ramp.end(), 0.0);
    std::vector<double> shrunk(ramp.size(), -1.0);
    wow::shrinkTrack(ramp, shrunk, 10, 2, 4, quiet);
    EXPECT_EQ(shrunk, (std::vector<double>{0, 1, 8, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // Points 0, 8, 16 stretched by 4 to 10 frames: a line while a segment
    // ends inside the track, then the last point held.
    const std::vector<double> points{0, 8, 16};
    std::vector<double> stretched(10);
    wow::stretchTrack(points, stretched, 10, 1, 4, quiet);
    EXPECT_EQ(stretched, (std::vector<double>{0, 2, 4, 6, 8, 10, 12, 14, 16, 16}));

    // The decimating FIR is the FIR followed by the decimation, bit for bit.
    std::mt19937 random(1);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (const std::uint64_t frames : {1u, 47u, 48u, 1000u, 4801u}) {
        std::vector<double> x(2 * frames);
        for (double& v : x)
            v = uniform(random);
        std::vector<double> full(2 * frames), reference(2 * frames), fused(frames, -1.0);
        fir(x, full, frames, 2, wow::kFirA, quiet);
        wow::shrinkTrack(full, reference, frames, 2, 48, quiet);
        wow::decimatingFir(x, 2, frames, wow::kFirA, 48, fused, 2, quiet);
        for (std::uint64_t j = 0; j < frames; ++j)
            ASSERT_EQ(fused[j], reference[2 * j]) << frames << " frames, point " << j;
    }
    EXPECT_NEAR(std::accumulate(wow::kFirA.begin(), wow::kFirA.end(), 0.0), 1.0, 1e-12);
    EXPECT_NEAR(std::accumulate(wow::kFirB.begin(), wow::kFirB.end(), 0.0), 1.0, 1e-12);
}

wow::Crossings crossingsAt(const std::vector<std::uint64_t>& positions)
{
    wow::Crossings c;
    c.position = positions;
    c.value.assign(positions.size(), 0.0);
    for (std::size_t k = 0; k < positions.size(); ++k)
        c.isPositive.push_back(k % 2 == 0);
    return c;
}

TEST(WowControl, SpuriousPairsGoAndLoneShortIntervalsStay)
{
    constexpr std::uint64_t p = 1000;
    std::vector<std::uint64_t> regular;
    for (std::uint64_t k = 0; k < 40; ++k)
        regular.push_back(k * p);
    struct Case {
        const char* name;
        std::vector<std::uint64_t> inserted;
        std::vector<std::size_t> removed;
    };
    const Case cases[] = {
        {"regular", {}, {}},
        // Two crossings close together half way between two true ones.
        {"pair", {5 * p + p / 2 - 20, 5 * p + p / 2 + 20}, {6, 7}},
        {"lone", {5 * p + p / 2}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint64_t> positions = regular;
        positions.insert(positions.end(), c.inserted.begin(), c.inserted.end());
        std::sort(positions.begin(), positions.end());
        wow::Crossings crossings = crossingsAt(positions);
        wow::markRoguePoints(crossings);
        wow::pairRoguePoints(crossings);
        EXPECT_EQ(wow::removeRoguePoints(crossings), c.removed);
        EXPECT_EQ(crossings.size(), positions.size() - c.removed.size());
    }
}

TEST(WowControl, LocksOnlyOntoTheRevolutionPeriod)
{
    // A square control with crossings every `spacing` frames, at frames
    // (k + ½)·spacing, against the half revolution of 78 rpm at 44.1 kHz
    // (16962 frames).
    const double expected = 44100 * 60 / wow::crossingsPerMinute(3);
    struct Case {
        double spacing;
        bool locks;
        std::uint64_t crossings = 30;
    };
    // 21 crossings leave a last window of one point, which has no slope.
    for (const Case& c : {Case{expected, true}, Case{1.05 * expected, true}, Case{0.95 * expected, true},
                          Case{1.15 * expected, false}, Case{0.85 * expected, false}, Case{expected, true, 21}}) {
        SCOPED_TRACE(c.spacing);
        const auto frames = static_cast<std::uint64_t>(static_cast<double>(c.crossings) * c.spacing);
        std::vector<double> control(frames);
        for (std::uint64_t n = 0; n < frames; ++n)
            control[n] = std::fmod(static_cast<double>(n) + 0.5 * c.spacing, 2 * c.spacing) < c.spacing ? 1.0 : -1.0;
        SampleJob sample;
        sample.job.dstFrameRate = 44100;
        sample.job.settings.rotationalSpeedWow = 3;
        std::vector<double> fitted;
        std::vector<bool> isPositive;
        EXPECT_EQ(sample.job.ControlSinWaveFit(control, frames, 1, fitted, isPositive), c.locks);
        EXPECT_EQ((sample.job.warning & kWarningWowNotFound) == 0, c.locks);
        if (!c.locks)
            continue;
        // The ideal sine changes sign where the control does, opposite to it,
        // and peaks half way between.
        wow::ControlSine sine(fitted, isPositive, frames);
        std::vector<double> ideal(2 * frames);
        sine.write(ideal, 2);
        EXPECT_TRUE(std::ranges::all_of(ideal, [](double v) { return std::abs(v) <= 1.0; }));
        for (std::uint64_t k = 1; k + 1 < c.crossings; ++k) {
            const auto middle = static_cast<std::uint64_t>(static_cast<double>(k) * c.spacing);
            EXPECT_NEAR(ideal[2 * middle], -control[middle], 0.01) << k;
            EXPECT_EQ(ideal[2 * middle], ideal[2 * middle + 1]);
        }
    }
}

TEST(WowCorrectionBlocks, DuplicateOrDropEvenlySpacedFrames)
{
    // Blocks of 10 frames: two duplicated (frames 0 and 5), two dropped
    // (frames 10 and 15), one untouched.
    std::vector<double> ramp(2 * 30);
    for (std::size_t n = 0; n < 30; ++n)
        ramp[2 * n] = ramp[2 * n + 1] = static_cast<double>(n);
    std::vector<double> out(2 * 30, -1.0);
    Progress quiet;
    const wow::Applied applied = wow::applyCorrection(ramp, out, 30, 10, {2, -2, 0}, quiet);
    EXPECT_TRUE(applied.marksMatch);
    EXPECT_EQ(applied.offset, 0);
    std::vector<double> left;
    for (std::size_t n = 0; n < 30; ++n)
        left.push_back(out[2 * n]);
    EXPECT_EQ(left, (std::vector<double>{0, 0, 1, 2, 3, 4, 5, 5, 6, 7, 8, 9, 11, 12, 13, 14, 16, 17, 18, 19,
                                         20, 21, 22, 23, 24, 25, 26, 27, 28, 29}));
    // A plan asking a block for more frames than it holds is not applied.
    EXPECT_FALSE(wow::applyCorrection(ramp, out, 30, 10, {11, 0, 0}, quiet).marksMatch);
}

TEST(WowCorrectionBlocks, CountsStayWithinTheirBlocks)
{
    // 10.5 blocks of 441 frames under a control of +1 (or −1).
    constexpr std::uint64_t frames = 441 * 10 + 220;
    struct Case {
        const char* name;
        double control, sway, start, stop;
        bool clamped;
        std::int64_t first, last;   // of the full blocks
    };
    const Case cases[] = {
        {"no sway", 1, 0, 300, 120, false, 0, 0},
        {"one diameter", 1, 0.9, 300, 300, false, 1, 1},
        {"diameter falling", 1, 1, 300, 120, false, 1, 3},
        {"start below stop", 1, 1, 120, 300, false, 4, 2},
        {"sway above the diameter", 1, 2, 1, 1, true, 441, 441},
        {"dropping more than held", -1, 500, 300, 120, true, -441, -441},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Progress quiet;
        const wow::CorrectionPlan plan =
            wow::planCorrection(frames, {441, 5.0, c.sway, c.start, c.stop}, [&](std::uint64_t) { return c.control; }, quiet);
        ASSERT_EQ(plan.extra.size(), 11u);
        EXPECT_EQ(plan.clamped, c.clamped);
        EXPECT_EQ(plan.extra.front(), c.first);
        EXPECT_EQ(plan.extra[9], c.last);
        EXPECT_EQ(plan.extra.back(), 0);   // the partial last block
        EXPECT_EQ(plan.total, std::accumulate(plan.extra.begin(), plan.extra.end(), std::int64_t{0}));
        // The output holds the input plus the frames gained, and every block
        // gives up at most all its frames.
        std::vector<double> in(2 * frames, 1.0);
        std::vector<double> out(2 * (frames + static_cast<std::uint64_t>(std::max<std::int64_t>(0, plan.total))));
        const wow::Applied applied = wow::applyCorrection(in, out, frames, 441, plan.extra, quiet);
        EXPECT_TRUE(applied.marksMatch);
        EXPECT_EQ(applied.offset, plan.total);
    }
}

TEST(WowCorrection, NoSwayLeavesTheAudioAsItIs)
{
    const std::vector<double> record = offCentreRecord({44100, 78, 10, 0.003, 0.1}, 11);
    WowJob wow(44100, record, 3, 0.0, 300);
    EXPECT_EQ(wow.run(), record);
    EXPECT_TRUE(wow.found());
    EXPECT_TRUE(wow.log.contains("<Info>  Extra frames to add for wow correction = 0"));
}

}  // namespace
}  // namespace auralune


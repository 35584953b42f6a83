#include "restore/pop_click_kernels.h"
#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace auralune {
namespace {

using test::SampleJob;

constexpr double kRate = 44100.0;

Progress silentProgress() { return Progress{1, 0, {}}; }

// A quiet needle-drop stand-in: two tones with a swell and a noise floor
// per channel, about 1000 RMS on the 16-bit scale.
std::vector<double> record(std::uint64_t frames, std::uint32_t seed = 1)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(frames * 2);
    constexpr double twoPi = 2 * std::numbers::pi;
    for (std::uint64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double swell = 0.7 + 0.3 * std::sin(twoPi * 0.5 * t);
        const double noise0 = uniform(random) + uniform(random) + uniform(random);
        const double noise1 = uniform(random) + uniform(random) + uniform(random);
        x[2 * i] = swell * (1100 * std::sin(twoPi * 220 * t) + 500 * std::sin(twoPi * 1318 * t)) + 150 * noise0;
        x[2 * i + 1] = swell * (900 * std::sin(twoPi * 330 * t + 1) + 600 * std::sin(twoPi * 2637 * t)) + 150 * noise1;
    }
    return x;
}

struct Click {
    std::uint64_t frame;
    std::uint64_t width;
    bool left, right;
};

void addClicks(std::vector<double>& x, const std::vector<Click>& clicks, double amplitude, std::uint32_t seed = 7)
{
    std::mt19937 random(seed);
    for (const Click& c : clicks) {
        for (std::uint64_t k = c.frame; k < c.frame + c.width; ++k) {
            const double v = (random() & 1) ? amplitude : -amplitude;
            if (c.left)
                x[2 * k] += v;
            if (c.right)
                x[2 * k + 1] += v;
        }
    }
}

struct PopClickRun : SampleJob {
    PopClickRun(std::uint64_t frames, double cccDb)
    {
        job.dstFrames = static_cast<std::uint32_t>(frames);
        job.dstFrameRate = kRate;
        job.ccc = cccDb;
    }
};

TEST(ClickLengths, TruncatedFromTheRate)
{
    for (const auto [rate, window, lookAhead, margin] :
         {std::array{44100.0, 882.0, 25.0, 15.0}, std::array{48000.0, 960.0, 27.0, 16.0},
          std::array{96000.0, 1920.0, 54.0, 33.0}}) {
        const ClickLengths l = clickLengths(rate);
        EXPECT_EQ(l.windowFrames, window) << rate;
        EXPECT_EQ(l.lookAheadFrames, lookAhead) << rate;
        EXPECT_EQ(l.marginFrames, margin) << rate;
    }
}

// Against the window recomputed for every frame; an odd window must stop
// sliding one frame earlier to stay inside the buffer. An odd frame count
// leaves a frame for the scalar tail of the vector loops, and the levels
// without the side must be those with it.
TEST(ClickLevels, MatchTheWindowRecomputedAtEveryFrame)
{
    for (const std::uint64_t window : {std::uint64_t{40}, std::uint64_t{41}}) {
        const std::uint64_t frames = 300 + window;
        const std::vector<double> x = record(frames, 3);
        std::vector<ClickLevel> levels(frames * 2), side(frames * 2);
        Progress progress{3, 0, {}};
        std::uint32_t steps = 0;
        progress.report = [&steps](std::uint32_t) { ++steps; };
        measureClickLevels(x, frames, window, levels, side, progress);
        EXPECT_EQ(steps, frames);   // three units per frame, one step per three units
        std::vector<ClickLevel> alone(frames * 2);
        Progress quiet{3, 0, {}};
        measureClickLevels(x, frames, window, alone, {}, quiet);
        EXPECT_EQ(alone, levels);

        for (std::uint64_t i = 0; i < frames; ++i) {
            const std::uint64_t half = window / 2;
            std::uint64_t first = i >= half ? i - half + 1 : 0;
            first = std::min(first, frames - window);
            for (std::uint32_t c = 0; c < 2; ++c) {
                double sum = 0;
                for (std::uint64_t j = first; j < first + window; ++j)
                    sum += x[2 * j + c] * x[2 * j + c];
                const double rms = std::sqrt(sum / static_cast<double>(window));
                const double level = std::fabs(x[2 * i + c]) / rms;
                EXPECT_NEAR(levels[2 * i + c], level, 1e-6 * std::max(1.0, level)) << i;
                const double s = std::fabs((x[2 * i] - x[2 * i + 1]) * 0.5);
                EXPECT_NEAR(side[2 * i + c], s / rms, 1e-6 * std::max(1.0, s / rms)) << i;
            }
        }
    }
}

// Left-channel levels of 3 dB over the local RMS, 40 dB at the hits and
// undefined where asked, on a constant 1000; the runs repaired and the left
// frames changed.
std::pair<std::uint64_t, std::vector<std::uint64_t>> repair(std::vector<double>& x, const std::vector<std::uint64_t>& hits,
                                                            const std::vector<std::uint64_t>& undefined = {})
{
    const std::uint64_t frames = x.size() / 2;
    std::vector<ClickLevel> levels(x.size(), static_cast<ClickLevel>(std::pow(10.0, 3.0 / 20.0)));
    for (const std::uint64_t h : hits)
        levels[2 * h] = 100.0;
    for (const std::uint64_t u : undefined)
        levels[2 * u] = std::nanf("");
    Progress progress = silentProgress();
    const std::uint64_t runs = repairClicks(x, levels, {}, frames, 0, ClickLengths{50, 6, 3}, kChannelPass, progress);
    std::vector<std::uint64_t> changed;
    for (std::uint64_t i = 0; i < frames; ++i)
        if (x[2 * i] != 1000.0)
            changed.push_back(i);
    return {runs, changed};
}

std::vector<std::uint64_t> frameRange(std::uint64_t first, std::uint64_t last, std::vector<std::uint64_t> before = {})
{
    for (std::uint64_t f = first; f <= last; ++f)
        before.push_back(f);
    return before;
}

TEST(RepairClicks, HitsWidenedByTheMarginJoinedWithinTheLookAheadAndKeptInside)
{
    std::vector<double> x(800, 1000.0);
    EXPECT_EQ(repair(x, {100}), std::pair(std::uint64_t{1}, frameRange(97, 103)));
    // Scaled by 10^((R − L)/20), R = −14 dB; the right channel untouched.
    EXPECT_NEAR(x[200], 1000.0 * std::pow(10.0, (-14.0 - 40.0) / 20.0), 1e-6);   // levels are floats
    EXPECT_NEAR(x[2 * 97], 1000.0 * std::pow(10.0, (-14.0 - 3.0) / 20.0), 1e-4);
    for (std::size_t i = 1; i < x.size(); i += 2)
        ASSERT_EQ(x[i], 1000.0);

    // 6 apart: one run; 7 apart: two, adjacent, no frame repaired twice.
    x.assign(800, 1000.0);
    EXPECT_EQ(repair(x, {100, 106, 200, 207}), std::pair(std::uint64_t{3}, frameRange(197, 210, frameRange(97, 109))));
    EXPECT_NEAR(x[2 * 204], 1000.0 * std::pow(10.0, -17.0 / 20.0), 1e-4);

    x.assign(800, 1000.0);
    EXPECT_EQ(repair(x, {0, 1, 398, 399}), std::pair(std::uint64_t{2}, frameRange(395, 399, frameRange(0, 4))));

    // Undefined levels are neither hits nor repaired.
    x.assign(800, 1000.0);
    EXPECT_EQ(repair(x, {150}, {100, 151}),
              std::pair(std::uint64_t{1}, (std::vector<std::uint64_t>{147, 148, 149, 150, 152, 153})));
}

TEST(CrackleBands, DesignReproducesTheStoredSections)
{
    for (const double rate : {44100.0, 48000.0, 88200.0, 96000.0}) {
        const CrackleBands stored = crackleBands(rate);
        const CrackleBands designed = designCrackleBands(rate);
        for (const auto& [s, d] : {std::pair{stored.lowPass, designed.lowPass},
                                   std::pair{stored.highPass, designed.highPass}})
            for (const auto& [a, b] : {std::pair{s.b0, d.b0}, std::pair{s.b1, d.b1}, std::pair{s.b2, d.b2},
                                       std::pair{s.d1, d.d1}, std::pair{s.d2, d.d2}})
                EXPECT_NEAR(a, b, 1e-14) << rate;
    }
}

// Split and recombined without repairs, sines come back within 0.05 %.
TEST(CrackleBands, LowAndHighBandAddBackToTheInput)
{
    for (const double rate : {44100.0, 96000.0, 32000.0}) {
        const CrackleBands bands = crackleBands(rate);
        const std::uint64_t frames = static_cast<std::uint64_t>(rate / 4);
        for (const double hz : {100.0, 2000.0, 16000.0}) {
            std::vector<double> x(frames * 2), low(frames * 2);
            for (std::uint64_t i = 0; i < frames; ++i)
                x[2 * i] = x[2 * i + 1] = 10000 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
            const std::vector<double> input = x;
            Progress progress = silentProgress();
            std::vector<double> tail(crackleTailSamples(bands, frames));
            crackleLowBand(x, low, frames, bands, tail, progress);
            crackleRecombine(x, low, frames, bands, tail, progress);
            double worst = 0;
            for (std::uint64_t i = 0; i < frames; ++i)
                worst = std::max(worst, std::fabs(x[2 * i] - input[2 * i]));
            EXPECT_LT(worst, 10000 * 0.0005) << rate << " Hz " << hz;
        }
    }
}

// One click every ~23 ms, 1 to 8 frames wide, on the left, the right or
// both channels.
std::vector<Click> clickPlan(std::uint64_t frames)
{
    std::vector<Click> clicks;
    std::mt19937 random(11);
    for (std::uint64_t at = 500; at + 600 < frames; at += 1000 + random() % 200) {
        const std::uint32_t which = random() % 3;
        clicks.push_back({at, 1 + random() % 8, which != 1, which != 0});
    }
    return clicks;
}

struct Outcome {
    double repairedShare;    // clicks whose every sample lost its click
    double changedShare;     // click-free samples changed, outside the repair ranges
};

Outcome judge(const std::vector<double>& clean, const std::vector<double>& input, const std::vector<double>& output,
              const std::vector<Click>& clicks, double amplitude, std::uint64_t margin)
{
    std::vector<bool> excluded(clean.size(), false);
    std::uint64_t repaired = 0;
    for (const Click& c : clicks) {
        bool all = true;
        for (std::uint32_t ch = 0; ch < 2; ++ch) {
            if (!(ch == 0 ? c.left : c.right))
                continue;
            for (std::uint64_t k = c.frame; k < c.frame + c.width; ++k)
                all = all && std::fabs(output[2 * k + ch] - clean[2 * k + ch]) < amplitude / 4;
            for (std::uint64_t k = c.frame - margin; k < c.frame + c.width + margin; ++k)
                excluded[2 * k + ch] = true;
        }
        repaired += all ? 1 : 0;
    }
    std::uint64_t changed = 0, counted = 0;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        if (excluded[i])
            continue;
        ++counted;
        changed += output[i] != input[i] ? 1 : 0;
    }
    return {static_cast<double>(repaired) / static_cast<double>(clicks.size()),
            static_cast<double>(changed) / static_cast<double>(counted)};
}

TEST(PopClickRemoval, FindsAndRepairsClicksAndLeavesTheRestAlone)
{
    constexpr std::uint64_t frames = 5 * 44100;
    constexpr double amplitude = 25000;
    const std::vector<double> clean = record(frames);
    const std::vector<Click> clicks = clickPlan(frames);
    ASSERT_GT(clicks.size(), 150u);
    std::vector<double> input = clean;
    addClicks(input, clicks, amplitude);

    for (const double ccc : {0.0, 30.0}) {
        PopClickRun run(frames, ccc);
        std::vector<double> buffer = input;
        run.job.error = 0x10;
        run.job.PopClick_Crackle(buffer, true, false);
        const Outcome outcome = judge(clean, input, buffer, clicks, amplitude, 15);
        // With the per-channel pass off, clicks common to both channels have
        // no side signal and stay.
        if (ccc < 20) {
            EXPECT_GE(outcome.repairedShare, 0.95);
        } else {
            std::vector<Click> single, common;
            std::partition_copy(clicks.begin(), clicks.end(), std::back_inserter(single),
                                std::back_inserter(common), [](const Click& c) { return c.left != c.right; });
            EXPECT_GE(judge(clean, input, buffer, single, amplitude, 15).repairedShare, 0.95);
            EXPECT_EQ(judge(clean, input, buffer, common, amplitude, 15).repairedShare, 0.0);
        }
        EXPECT_LT(outcome.changedShare, 0.001) << ccc;
        EXPECT_EQ(run.job.error.load(), 0);
        EXPECT_EQ(run.job.tableText(TableText::Progress), "100%");
        const std::vector<std::string> lines = run.log.lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.starts_with("<Info>  Pop/click pass 1 :"); }),
                  ccc < 20 ? 2 : 0);
    }
}

TEST(PopClickRemoval, PassLinesCountTheFramesOverThreshold)
{
    constexpr std::uint64_t frames = 10000;
    std::vector<double> buffer = record(frames);
    addClicks(buffer, {{3000, 2, true, false}}, 30000);
    PopClickRun run(frames, 0);
    run.job.PopClick_Crackle(buffer, true, false);
    EXPECT_TRUE(run.log.contains(
        "<Info>  Pop/click pass 1 : channel = 0, samples over threshold = 2 (0.020000%)"));
    // Pass 1 has already brought the click down.
    EXPECT_TRUE(run.log.contains("<Info>  Pop/click pass 2 : channel = 0, samples over threshold = 0 (0.000%)"));
}

TEST(PopClickRemoval, ShortTracksAreLeftAlone)
{
    // 882 frames (20 ms at 44.1 kHz) is too short; 883 is the shortest
    // track processed, with clicks on its first and last frames.
    for (const std::uint64_t frames : {std::uint64_t{882}, std::uint64_t{883}}) {
        std::vector<double> buffer = record(frames);
        addClicks(buffer, {{0, 2, true, false}, {frames - 2, 2, false, true}}, 30000);
        const std::vector<double> input = buffer;
        PopClickRun run(frames, 0);
        run.job.error = 0x10;
        run.job.PopClick_Crackle(buffer, true, false);
        EXPECT_EQ(run.job.error.load(), 0);
        const bool tooShort = frames <= 882;
        EXPECT_EQ(run.log.contains("<WARNING>  Track is too short to perform Pop-Click Removal"), tooShort);
        EXPECT_EQ(run.log.contains("<Info>  Pop-Click Removal"), !tooShort);
        if (tooShort) {
            EXPECT_EQ(buffer, input);
            EXPECT_EQ(run.job.tableText(TableText::State), "Pop-Click Removal: Allocating buffers...");
        } else {
            EXPECT_LT(std::fabs(buffer[0]), 3000);
            EXPECT_LT(std::fabs(buffer[2 * frames - 1]), 3000);
        }
    }
}

TEST(PopClickRemoval, SilenceStaysSilence)
{
    constexpr std::uint64_t frames = 20000;
    for (const bool crackle : {false, true}) {
        std::vector<double> buffer(frames * 2, 0.0);
        PopClickRun run(frames, 0);
        run.job.PopClick_Crackle(buffer, !crackle, crackle);
        EXPECT_EQ(buffer, std::vector<double>(frames * 2, 0.0));
    }
}

TEST(PopClickRemoval, CrackleIsRemovedAboveTheSplitAndCleanSoundPassesThrough)
{
    constexpr std::uint64_t frames = 3 * 44100;
    const std::vector<double> clean = record(frames);
    std::vector<Click> crackle;
    std::mt19937 random(5);
    for (std::uint64_t at = 400; at + 400 < frames; at += 300 + random() % 900)
        crackle.push_back({at, 1 + random() % 2, true, false});
    std::vector<double> input = clean;
    addClicks(input, crackle, 15000);

    PopClickRun run(frames, 30);
    std::vector<double> buffer = input;
    run.job.PopClick_Crackle(buffer, false, true);
    EXPECT_EQ(run.job.tableText(TableText::Progress), "100%");
    double before = 0, after = 0;
    for (std::uint64_t i = 0; i < frames; ++i) {
        before += std::pow(input[2 * i] - clean[2 * i], 2);
        after += std::pow(buffer[2 * i] - clean[2 * i], 2);
    }
    EXPECT_LT(after, before * 0.15) << after / before;   // the low band of each click stays

    PopClickRun cleanRun(frames, 30);
    std::vector<double> untouched = clean;
    cleanRun.job.PopClick_Crackle(untouched, false, true);
    double signal = 0, difference = 0;
    for (std::uint64_t i = 2 * 441; i < 2 * (frames - 441); ++i) {
        signal += clean[i] * clean[i];
        difference += std::pow(untouched[i] - clean[i], 2);
    }
    EXPECT_LT(std::sqrt(difference / signal), 0.0005) << std::sqrt(difference / signal);
}

TEST(PopClickRemovalDeathTest, OneFlagAndAWholeBufferAreRequired)
{
    PopClickRun run(10000, 0);
    std::vector<double> buffer(20000);
    EXPECT_DEATH(run.job.PopClick_Crackle(buffer, false, false),
                 "bPopClickRemoval or bCrackleRemoval must be set in -\\[AudioFile PopClick_Crackle:::\\]");
    buffer.resize(19998);
    EXPECT_DEATH(run.job.PopClick_Crackle(buffer, true, false),
                 "Buffer too small for its frames in -\\[AudioFile PopClick_Crackle:::\\]");
}

}  // namespace
}  // namespace auralune

#include "enhance/stage_support.h"
#include "support/failing_allocation.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>

namespace auralune {
namespace {

using test::StageJob;

constexpr EnhancementCode kQuillmere = 0x40;

std::complex<double> delayed(std::complex<double> h, double frames, double hz, double rate)
{
    return h * std::polar(1.0, -2 * std::numbers::pi * hz / rate * frames);
}

TEST(Quillmere, CrossFeedOfALeftImpulseFollowsItsDesign)
{
    // Direct: 0.63 + 0.32·HP530; crossed: 0.45·LP1000 after 0.4 ms.
    constexpr double kDelay[] = {18, 19, 35, 38};
    for (std::size_t r = 0; r < kStageRates.size(); ++r) {
        const double rate = kStageRates[r];
        StageJob s(kQuillmere, rate, test::leftImpulse(4096, 0));
        s.job.Quillmere(1);
        const std::vector<double> direct = test::channelOf(test::plain(s.job.audioBuf_1), 2, 0);
        const std::vector<double> crossed = test::channelOf(test::plain(s.job.audioBuf_1), 2, 1);
        EXPECT_EQ(std::find_if(crossed.begin(), crossed.end(), [](double x) { return x != 0; }) - crossed.begin(),
                  kDelay[r]);
        for (double hz : {30.0, 200.0, 530.0, 1000.0, 4000.0, 12000.0}) {
            const std::complex<double> wantDirect = 0.63 + 0.32 * test::bilinearFirstOrder(true, 530, hz, rate);
            const std::complex<double> wantCrossed =
                0.45 * delayed(test::bilinearFirstOrder(false, 1000, hz, rate), kDelay[r], hz, rate);
            EXPECT_NEAR(std::abs(test::responseAt(direct, hz, rate) - wantDirect), 0, 2e-4) << rate << " " << hz;
            EXPECT_NEAR(std::abs(test::responseAt(crossed, hz, rate) - wantCrossed), 0, 3e-4) << rate << " " << hz;
        }
    }
}

TEST(Quillmere, ReverbEchoesEachSideAfterItsDelayAndCrossCouples)
{
    for (double rate : kStageRates) {
        const auto leftDelay = static_cast<std::ptrdiff_t>(rate * 0.018 + 0.5);
        const auto rightDelay = static_cast<std::ptrdiff_t>(rate * 0.02 + 0.5);
        StageJob s(kQuillmere, rate, std::vector<double>(8 * static_cast<std::size_t>(rightDelay), 0.0));
        s.job.audioBuf_1 = test::staged(test::leftImpulse(4 * static_cast<std::size_t>(rightDelay), 0));
        s.job.QuillmereReverb(1);
        const std::vector<double> left = test::channelOf(test::plain(s.job.audioBuf_1), 2, 0);
        const std::vector<double> right = test::channelOf(test::plain(s.job.audioBuf_1), 2, 1);
        const auto zero = [](double x) { return x == 0; };
        // The right side hears the left echo once its own delay has passed too.
        EXPECT_TRUE(std::all_of(left.begin() + 1, left.begin() + leftDelay, zero));
        EXPECT_TRUE(std::all_of(right.begin(), right.begin() + leftDelay + rightDelay, zero));
        EXPECT_NE(right[static_cast<std::size_t>(leftDelay + rightDelay)], 0.0);

        // The first echo, until the recirculation returns, is 0.4 × 180 Hz
        // high-pass × 3 kHz low-pass (165 Hz and 2756 Hz at 44.1/88.2 kHz).
        const double scale = (rate == 44100 || rate == 88200) ? 44100.0 / 48000 : 1.0;
        const std::vector<double> echo(left.begin() + leftDelay, left.begin() + 2 * leftDelay + rightDelay);
        for (double hz : {100.0, 180.0, 1000.0, 3000.0, 8000.0}) {
            const std::complex<double> want = 0.4 * test::bilinearFirstOrder(true, 180 * scale, hz, rate) *
                                              test::bilinearFirstOrder(false, 3000 * scale, hz, rate);
            EXPECT_NEAR(std::abs(test::responseAt(echo, hz, rate) - want), 0, 1e-4) << rate << " " << hz;
        }
    }
}

TEST(Quillmere, ReverbThatCannotAllocateLeavesTheCrossFeedAsItWas)
{
    StageJob s(kQuillmere, 44100, std::vector<double>(2000, 0.0));
    s.job.audioBuf_1 = test::staged(test::leftImpulse(1000, 0));
    s.job.error = 0;
    {
        const test::FailingAllocation failing(10000, 1);   // the 20 ms history
        s.job.QuillmereReverb(1);
        EXPECT_TRUE(failing.failed());
    }
    EXPECT_EQ(s.job.error, kErrorMemory);
    EXPECT_EQ(s.job.audioBuf_1, test::leftImpulse(1000, 0));
    EXPECT_EQ(s.log.lines().back(), "<ERROR> Memory allocation");
}

TEST(Rivelle, SideLowsAreRaisedTwelveDecibelsAndBlended)
{
    for (double rate : kStageRates) {
        for (const auto& [code, gp] : {std::pair{EnhancementCode{0x10}, 1.0}, std::pair{EnhancementCode{0x20}, 0.4125},
                                       std::pair{EnhancementCode{0x4}, 0.4125}}) {
            StageJob s(code, rate, test::leftImpulse(16384, 0));
            const std::vector<double>& out = s.run();
            const std::vector<double> left = test::channelOf(out, 2, 0), right = test::channelOf(out, 2, 1);
            // Left alone is mid 0.5 plus side 0.5; the side gains 1 + 2.981·LP160.
            for (double hz : {0.0, 10.0, 80.0, 160.0, 320.0, 2000.0, 10000.0}) {
                const std::complex<double> side = 0.5 * (1.0 + 2.981 * test::bilinearFirstOrder(false, 160, hz, rate));
                // The stored low-pass sits up to 0.04 dB over the design.
                EXPECT_NEAR(std::abs(test::responseAt(left, hz, rate) - (gp * (0.5 + side) + (1 - gp))), 0, 8e-3) << hz;
                EXPECT_NEAR(std::abs(test::responseAt(right, hz, rate) - gp * (0.5 - side)), 0, 8e-3) << rate;
            }
        }
    }
}

}  // namespace
}  // namespace auralune

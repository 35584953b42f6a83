#include "enhance/availability.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace auralune {
namespace {

using test::StageJob;

constexpr std::array<double, 4> kRates{44100, 48000, 88200, 96000};
constexpr EnhancementCode kQuillmere = 0x40;
constexpr EnhancementCode kKs1 = 0x4;
constexpr EnhancementCode kRivelle = 0x10;
constexpr EnhancementCode kTessalin = 0x20;

std::complex<double> delayed(std::complex<double> h, double frames, double hz, double rate)
{
    return h * std::polar(1.0, -2 * std::numbers::pi * hz / rate * frames);
}

TEST(Quillmere, CrossFeedOfALeftImpulseFollowsItsDesign)
{
    // Direct: 0.63 + 0.32·HP530; crossed: 0.45·LP1000 after 0.4 ms.
    constexpr double kDelay[] = {18, 19, 35, 38};
    for (std::size_t r = 0; r < kRates.size(); ++r) {
        const double rate = kRates[r];
        StageJob s(kQuillmere, rate, test::leftImpulse(4096, 0));
        s.job.Quillmere(1);
        ASSERT_EQ(s.job.error, 0);
        const std::vector<double> direct = test::channelOf(s.job.audioBuf_1, 2, 0);
        const std::vector<double> crossed = test::channelOf(s.job.audioBuf_1, 2, 1);
        const auto firstCrossed = std::find_if(crossed.begin(), crossed.end(), [](double x) { return x != 0; });
        EXPECT_EQ(firstCrossed - crossed.begin(), kDelay[r]) << rate;
        for (double hz : {30.0, 200.0, 530.0, 1000.0, 4000.0, 12000.0}) {
            const std::complex<double> wantDirect = 0.63 + 0.32 * test::bilinearFirstOrder(true, 530, hz, rate);
            const std::complex<double> wantCrossed =
                0.45 * delayed(test::bilinearFirstOrder(false, 1000, hz, rate), kDelay[r], hz, rate);
            EXPECT_NEAR(std::abs(test::responseAt(direct, hz, rate) - wantDirect), 0, 2e-4) << rate << " " << hz;
            // The stored low-pass sits 0.002 dB over the design.
            EXPECT_NEAR(std::abs(test::responseAt(crossed, hz, rate) - wantCrossed), 0, 3e-4) << rate << " " << hz;
        }
    }
}

TEST(Quillmere, ReverbEchoesEachSideAfterItsDelayAndCrossCouples)
{
    for (double rate : kRates) {
        const auto leftDelay = static_cast<std::size_t>(rate * 0.018 + 0.5);
        const auto rightDelay = static_cast<std::size_t>(rate * 0.02 + 0.5);
        const std::size_t frames = 4 * rightDelay;
        StageJob s(kQuillmere, rate, std::vector<double>(2 * frames, 0.0));
        s.job.audioBuf_1 = test::leftImpulse(frames, 0);
        s.job.QuillmereReverb(1);
        ASSERT_EQ(s.job.error, 0);
        const std::vector<double> left = test::channelOf(s.job.audioBuf_1, 2, 0);
        const std::vector<double> right = test::channelOf(s.job.audioBuf_1, 2, 1);
        EXPECT_EQ(left[0], 1.0);
        EXPECT_TRUE(std::all_of(left.begin() + 1, left.begin() + static_cast<std::ptrdiff_t>(leftDelay),
                                [](double x) { return x == 0; }));
        EXPECT_NE(left[leftDelay], 0.0);
        // The right side hears the left echo once its own delay has passed too.
        const std::size_t crossed = leftDelay + rightDelay;
        EXPECT_TRUE(std::all_of(right.begin(), right.begin() + static_cast<std::ptrdiff_t>(crossed),
                                [](double x) { return x == 0; }));
        EXPECT_NE(right[crossed], 0.0);

        // The first echo, until the recirculation returns, is 0.4 × the echo
        // filter: 180 Hz high-pass and 3 kHz low-pass (165 Hz and 2756 Hz at 44.1/88.2 kHz).
        const double scale = (rate == 44100 || rate == 88200) ? 44100.0 / 48000 : 1.0;
        const std::vector<double> echo(left.begin() + static_cast<std::ptrdiff_t>(leftDelay),
                                       left.begin() + static_cast<std::ptrdiff_t>(crossed + leftDelay));
        for (double hz : {100.0, 180.0, 1000.0, 3000.0, 8000.0}) {
            const std::complex<double> want = 0.4 * test::bilinearFirstOrder(true, 180 * scale, hz, rate) *
                                              test::bilinearFirstOrder(false, 3000 * scale, hz, rate);
            EXPECT_NEAR(std::abs(test::responseAt(echo, hz, rate) - want), 0, 1e-4) << rate << " " << hz;
        }
    }
}

TEST(Rivelle, SideLowsAreRaisedTwelveDecibelsAndBlended)
{
    for (double rate : kRates) {
        for (EnhancementCode code : {kRivelle, kTessalin}) {
            const double gp = code == kRivelle ? 1.0 : 0.4125;
            StageJob s(code, rate, test::leftImpulse(16384, 0));
            const std::vector<double>& out = s.run();
            ASSERT_EQ(s.job.error, 0);
            const std::vector<double> left = test::channelOf(out, 2, 0);
            const std::vector<double> right = test::channelOf(out, 2, 1);
            // Left alone is mid 0.5 plus side 0.5; the side gains 1 + 2.981·LP160.
            for (double hz : {10.0, 80.0, 160.0, 320.0, 2000.0, 10000.0}) {
                const std::complex<double> side = 0.5 * (1.0 + 2.981 * test::bilinearFirstOrder(false, 160, hz, rate));
                const std::complex<double> wantLeft = gp * (0.5 + side) + (1 - gp);
                const std::complex<double> wantRight = gp * (0.5 - side);
                // The stored low-pass sits up to 0.04 dB over the design.
                EXPECT_NEAR(std::abs(test::responseAt(left, hz, rate) - wantLeft), 0, 8e-3) << rate << " " << hz;
                EXPECT_NEAR(std::abs(test::responseAt(right, hz, rate) - wantRight), 0, 8e-3) << rate << " " << hz;
            }
        }
    }
    // DC on the side alone settles at ±(1 + 2.981 × 1.003) ≈ ±3.99.
    std::vector<double> side(2 * 20000);
    for (std::size_t i = 0; i < side.size(); ++i)
        side[i] = i % 2 ? -1.0 : 1.0;
    StageJob dc(kRivelle, 44100, side);
    const std::vector<double>& out = dc.run();
    EXPECT_NEAR(out[out.size() - 2], 3.99, 0.005);
    EXPECT_NEAR(out.back(), -3.99, 0.005);
}

TEST(Rivelle, MonoPassesRivelleAndKs1EqualsTessalin)
{
    const std::vector<double> mono = test::stereoTone(2000, 44100, 97, 9000, 9000);
    StageJob rivelle(kRivelle, 44100, mono);
    EXPECT_EQ(rivelle.run(), mono);
    const std::vector<double> stereo = test::stereoTone(2000, 44100, 97, 9000, -3000);
    StageJob ks1(kKs1, 44100, stereo), tessalin(kTessalin, 44100, stereo);
    EXPECT_EQ(ks1.run(), tessalin.run());
    EXPECT_EQ(ks1.log.lines().back(), "<Info>  KESTRALIN KS1");
    EXPECT_EQ(tessalin.job.tableText(TableText::State), "Tessalin...");
}

TEST(QuillmereRivelleDeathTest, WrongCodesAndChannelsEndTheProgram)
{
    EXPECT_TRUE(enhancementAvailable(kQuillmere) && enhancementAvailable(kRivelle));
    StageJob s(kQuillmere, 44100, std::vector<double>(200, 0.0), 6);
    EXPECT_DEATH(s.job.Quillmere(1), "The number of channels must be 2 in -\\[AudioFile Quillmere:\\]");
    EXPECT_DEATH(s.job.QuillmereReverb(1), "The number of channels must be 2 in -\\[AudioFile QuillmereReverb:\\]");
    StageJob other(kRivelle, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(other.job.Quillmere(1), "Unknown enhancement type 16 in -\\[AudioFile Quillmere:\\]");
    StageJob quill(kQuillmere, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(quill.job.Rivelle(1), "Unknown enhancement type 64 in -\\[AudioFile Rivelle:\\]");
}

}  // namespace
}  // namespace auralune

#include "enhance/tone_level.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace auralune {
namespace {

using test::StageJob;
using test::stereoTone;

constexpr EnhancementCode kLumora20 = 0x80;
constexpr EnhancementCode kLumora51 = 0x100;
constexpr EnhancementCode kLumora50 = 0x200;
constexpr EnhancementCode kLumora40 = 0x400;
constexpr EnhancementCode kCinema51 = 0x40000000;
constexpr EnhancementCode kCinema40 = 0x80000000;

// Enhancement 1 of `code` (its whole dispatch row) on a stereo buffer, with
// the source's channel correlation `cccDb`.
std::vector<double> enhance(EnhancementCode code, const std::vector<double>& stereo, double rate, double cccDb = 9.0)
{
    StageJob s(code, rate, stereo, code == kLumora20 ? 2 : 6);
    s.job.ccc = cccDb;
    return s.run();
}

TEST(LumoraSurround, MonoFeedsCentreAndLfeThroughTheirFiltersAndNoSurround)
{
    // An impulse on both channels (mid only): silent surrounds, a centre of
    // half the 2 kHz first-order high-pass, an LFE of minus the 2nd-order
    // Butterworth low-pass (40 Hz at 96 kHz, 37 Hz at 44.1 kHz), against
    // the analytic magnitudes at the rates the corners are given for.
    for (const auto& [rate, lfeCornerHz] : {std::pair{44100.0, 37.0}, std::pair{96000.0, 40.0}}) {
        std::vector<double> impulse(2 * static_cast<std::size_t>(rate), 0.0);
        impulse[0] = impulse[1] = 1.0;
        const std::vector<double> out = enhance(kLumora51, impulse, rate);
        const std::vector<double> centre = test::channelOf(out, 6, 2), lfe = test::channelOf(out, 6, 3);
        for (double hz : {1000.0, 2000.0, 6000.0})
            EXPECT_NEAR(std::abs(test::responseAt(centre, hz, rate)), 0.5 / std::hypot(1.0, 2000 / hz), 0.01)
                << rate << " " << hz;
        for (double ratio : {0.5, 1.0, 2.0})
            EXPECT_NEAR(std::abs(test::responseAt(lfe, ratio * lfeCornerHz, rate)),
                        1 / std::sqrt(1 + std::pow(ratio, 4)), 0.01) << rate << " " << ratio;
        EXPECT_NEAR(test::responseAt(lfe, 0, rate).real(), -1.0, 1e-6);   // minus at DC
        for (double v : test::channelOf(out, 6, 4))
            ASSERT_EQ(v, 0.0);
    }
}

TEST(LumoraSurround, SideSignalReachesTheSurroundsAfterTheirDelay)
{
    // An L − R click at frame 1000 at 48 kHz: nothing in centre or LFE, the
    // surrounds start 12 ms (Lumora) or 20 ms (cinema) later, in opposite
    // polarity for Lumora and alike for the cinema decode.
    for (const auto& [code, delay, rightSign] :
         {std::tuple{kLumora51, 576u, -1.0}, std::tuple{kLumora50, 576u, -1.0}, std::tuple{kCinema51, 960u, 1.0}}) {
        std::vector<double> in(2 * 3000, 0.0);
        in[2 * 1000] = 1000;
        in[2 * 1000 + 1] = -1000;
        const std::vector<double> out = enhance(code, in, 48000);
        std::size_t first = 0;
        while (first < 3000 && out[6 * first + 4] == 0.0)
            ++first;
        EXPECT_EQ(first, 1000 + delay) << std::hex << code;
        for (std::size_t n = 0; n < 3000; ++n) {
            ASSERT_EQ(out[6 * n + 5], rightSign * out[6 * n + 4]) << n;
            ASSERT_TRUE(out[6 * n + 2] == 0.0 && out[6 * n + 3] == 0.0) << n;
        }
    }
}

TEST(LumoraSurround, SurroundLevelFollowsTheSourceCorrelation)
{
    // Against k = 1 (9 dB): 0.35 at 1 dB, 0.675 at 4.5 dB; the cinema
    // decode ignores the correlation.
    const std::vector<double> side = stereoTone(4800, 48000, 1000, 1000, -1000);
    for (EnhancementCode code : {kLumora51, kLumora50, kLumora40}) {
        const std::vector<double> full = enhance(code, side, 48000, 9.0);
        for (const auto& [ccc, k] : {std::pair{1.0, 0.35}, std::pair{4.5, 0.675}}) {
            const std::vector<double> out = enhance(code, side, 48000, ccc);
            for (std::size_t n = 0; n < 4800; ++n)
                ASSERT_NEAR(out[6 * n + 4], k * full[6 * n + 4], 1e-9) << n;
        }
    }
    EXPECT_EQ(enhance(kCinema51, side, 48000, 1.0), enhance(kCinema51, side, 48000, 9.0));
}

TEST(LumoraSurround, FiveZeroHasASilentLfeAndFourZeroKeepsTheCrossFedFront)
{
    const std::vector<double> bass = stereoTone(9600, 48000, 30, 1000, 600);
    const std::vector<double> fiveZero = enhance(kLumora50, bass, 48000);
    for (double v : test::channelOf(fiveZero, 6, 3))
        ASSERT_EQ(v, 0.0);
    EXPECT_GT(test::rmsOf(fiveZero, 6, 2, 4800, 9600), 1.0);

    // The four-channel variants take their front pair from the KESTRALIN
    // cross-feed that runs first; centre and LFE are silent.
    for (EnhancementCode code : {kLumora40, kCinema40}) {
        StageJob crossFeed(code, 48000, bass, 6);
        crossFeed.job.Kestralin(1);
        const std::vector<double> out = enhance(code, bass, 48000);
        for (std::size_t n = 0; n < 9600; ++n) {
            ASSERT_EQ(out[6 * n], crossFeed.job.audioBuf_1[6 * n]) << n;
            ASSERT_EQ(out[6 * n + 1], crossFeed.job.audioBuf_1[6 * n + 1]) << n;
            ASSERT_TRUE(out[6 * n + 2] == 0.0 && out[6 * n + 3] == 0.0) << n;
        }
    }
}

TEST(LumoraSurround, HeadphonesFoldTheFiveOneFeedsDownByThreeDecibels)
{
    // Lumora 20 against the feeds of Lumora 51 at the same surround level
    // (k = 1): left = −3 dB × (S + C + 0.795·L + LFE), right = −3 dB ×
    // (−S + 0.795·R + C + LFE).
    std::vector<double> in = stereoTone(4800, 44100, 300, 900, 200);
    const std::vector<double> treble = stereoTone(4800, 44100, 7000, 100, -400);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] += treble[i];
    const std::vector<double> feeds = enhance(kLumora51, in, 44100, 9.0);
    const std::vector<double> folded = enhance(kLumora20, in, 44100);
    const double g = std::pow(10.0, -3.0 / 20);
    for (std::size_t n = 0; n < 4800; ++n) {
        const double* f = &feeds[6 * n];
        ASSERT_NEAR(folded[2 * n], g * (f[4] + 0.795 * in[2 * n] + f[2] + f[3]), 1e-9) << n;
        ASSERT_NEAR(folded[2 * n + 1], g * (-f[4] + 0.795 * in[2 * n + 1] + f[2] + f[3]), 1e-9) << n;
    }
}

}  // namespace
}  // namespace auralune

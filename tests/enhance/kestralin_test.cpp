#include "enhance/stage_support.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>

namespace auralune {
namespace {

using test::StageJob;

TEST(Kestralin, OneSidedImpulseFollowsTheShelvingCrossFeedDesign)
{
    // Left only: crossed path g·H, direct path 1 − g·H, H the 530 Hz
    // first-order high-pass; the side signal loses 2g above the corner.
    for (const auto& [code, depth] : {std::pair{EnhancementCode{0x2}, 0.16}, std::pair{EnhancementCode{0x8}, 0.12}}) {
        for (double rate : kStageRates) {
            StageJob s(code, rate, test::leftImpulse(4096, 0));
            const std::vector<double>& out = s.run();
            const std::vector<double> direct = test::channelOf(out, 2, 0), crossed = test::channelOf(out, 2, 1);
            for (double hz : {20.0, 100.0, 300.0, 530.0, 1000.0, 3000.0, 10000.0, 16000.0, 0.45 * rate}) {
                const std::complex<double> h = test::bilinearFirstOrder(true, 530, hz, rate);
                // The stored a values lie 0.03 % under the design's.
                EXPECT_NEAR(std::abs(test::responseAt(crossed, hz, rate) - depth * h), 0, 4e-4 * depth) << rate;
                EXPECT_NEAR(std::abs(test::responseAt(direct, hz, rate) - (1.0 - depth * h)), 0, 4e-4 * depth) << hz;
            }
        }
    }
}

TEST(Kestralin, TSymIsZeroPhaseWithTheSideShelfTwiceAndWidened)
{
    for (double rate : kStageRates) {
        const std::size_t at = 4096;
        StageJob s(0x100000000, rate, test::leftImpulse(2 * at, at));
        const std::vector<double>& out = s.run();
        const std::vector<double> left = test::channelOf(out, 2, 0), right = test::channelOf(out, 2, 1);
        for (double hz : {50.0, 400.0, 822.0, 2000.0, 8000.0, 18000.0}) {
            // Mid passes; side × |1 − 2g·H|² × 1.3 with g = 0.06, H at 822 Hz, and no phase.
            const double side = 1.3 * std::norm(1.0 - 0.12 * test::bilinearFirstOrder(true, 822, hz, rate));
            const std::complex<double> l = test::responseAt(left, hz, rate, at);
            const std::complex<double> r = test::responseAt(right, hz, rate, at);
            EXPECT_NEAR(l.real(), 0.5 + 0.5 * side, 2e-4) << rate << " Hz " << hz;
            EXPECT_NEAR(r.real(), 0.5 - 0.5 * side, 2e-4) << rate << " Hz " << hz;
            EXPECT_NEAR(l.imag(), 0, 1e-9);
            EXPECT_NEAR(r.imag(), 0, 1e-9);
        }
    }
}

TEST(Kestralin, TSymEqualsItsThreePassesBitForBit)
{
    // Forward cross-feed into the output, backward into the input, widening into the output.
    const std::vector<double> in = test::stereoTone(5000, 44100, 3000, 7000, -1000);
    StageJob s(0x100000000, 44100, in);
    s.run();
    StageJob passes(0x100000000, 44100, in);
    AudioFile& job = passes.job;
    const FirstOrderCoeffs hp{0.944589788684716, 0.8892438351211535};
    job.KestralinFilter(job.audioBuf_0, job.audioBuf_1, 5000, 2, 2, hp.a, -hp.a, hp.c, 0.06, false, 50, 0);
    job.KestralinFilter(job.audioBuf_1, job.audioBuf_0, 5000, 2, 2, hp.a, -hp.a, hp.c, 0.06, true, 50, 0);
    job.TsymWidthCompensationFilter(job.audioBuf_0, job.audioBuf_1, 5000, 2, 50, 0);
    EXPECT_EQ(s.job.audioBuf_0, job.audioBuf_0);
    EXPECT_EQ(s.job.audioBuf_1, job.audioBuf_1);
}

TEST(Kestralin, SurroundCodesWriteBridesFrontPairAndNothingElse)
{
    const std::vector<double> stereo = test::stereoTone(3000, 48000, 3100, 5000, -2000);
    StageJob bride(0x8, 48000, stereo);
    const std::vector<double> expected = bride.run();
    for (EnhancementCode code : {EnhancementCode{0x400}, EnhancementCode{0x80000000}}) {
        StageJob s(code, 48000, stereo, 6);
        std::fill(s.job.audioBuf_1.begin(), s.job.audioBuf_1.end(), 7.0);
        s.job.Kestralin(1);
        ASSERT_EQ(s.job.error, 0);
        for (std::size_t n = 0; n < 3000; ++n) {
            for (std::size_t c = 0; c < 6; ++c)
                ASSERT_EQ(s.job.audioBuf_1[6 * n + c], c < 2 ? expected[2 * n + c] : 7.0) << code;
        }
    }
}

}  // namespace
}  // namespace auralune

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
constexpr EnhancementCode kKestralin = 0x2;
constexpr EnhancementCode kBride = 0x8;
constexpr EnhancementCode kLumora40 = 0x400;
constexpr EnhancementCode kCinema40 = 0x80000000;
constexpr EnhancementCode kTSym = 0x100000000;

struct Variant {
    EnhancementCode code;
    double cornerHz;
    double depth;
};

TEST(Kestralin, OneSidedImpulseFollowsTheShelvingCrossFeedDesign)
{
    // Left only: the crossed path is g·H and the direct path 1 − g·H, with H
    // the 530 Hz first-order high-pass: the side signal loses 2g above the corner.
    for (const Variant& v : {Variant{kKestralin, 530, 0.16}, Variant{kBride, 530, 0.12}}) {
        for (double rate : kRates) {
            StageJob s(v.code, rate, test::leftImpulse(4096, 0));
            const std::vector<double>& out = s.run();
            ASSERT_EQ(s.job.error, 0);
            const std::vector<double> direct = test::channelOf(out, 2, 0);
            const std::vector<double> crossed = test::channelOf(out, 2, 1);
            for (double hz : {20.0, 100.0, 300.0, 530.0, 1000.0, 3000.0, 10000.0, 16000.0, 0.45 * rate}) {
                const std::complex<double> h = test::bilinearFirstOrder(true, v.cornerHz, hz, rate);
                const std::complex<double> gotCrossed = test::responseAt(crossed, hz, rate);
                const std::complex<double> gotDirect = test::responseAt(direct, hz, rate);
                // The stored a values lie 0.03 % under the design's.
                EXPECT_NEAR(std::abs(gotCrossed - v.depth * h), 0, 4e-4 * v.depth) << rate << " Hz " << hz;
                EXPECT_NEAR(std::abs(gotDirect - (1.0 - v.depth * h)), 0, 4e-4 * v.depth) << rate << " Hz " << hz;
            }
        }
    }
}

TEST(Kestralin, TSymIsZeroPhaseWithTheSideShelfTwiceAndWidened)
{
    for (double rate : kRates) {
        const std::size_t frames = 8192, at = 4096;
        StageJob s(kTSym, rate, test::leftImpulse(frames, at));
        const std::vector<double>& out = s.run();
        ASSERT_EQ(s.job.error, 0);
        const std::vector<double> left = test::channelOf(out, 2, 0);
        const std::vector<double> right = test::channelOf(out, 2, 1);
        for (double hz : {50.0, 400.0, 822.0, 2000.0, 8000.0, 18000.0}) {
            // Mid passes; side × |1 − 2g·H|² × 1.3, with no phase at all.
            const double side = 1.3 * std::norm(1.0 - 2 * 0.06 * test::bilinearFirstOrder(true, 822, hz, rate));
            const std::complex<double> l = test::responseAt(left, hz, rate, at);
            const std::complex<double> r = test::responseAt(right, hz, rate, at);
            EXPECT_NEAR(l.real(), 0.5 + 0.5 * side, 2e-4) << rate << " Hz " << hz;
            EXPECT_NEAR(r.real(), 0.5 - 0.5 * side, 2e-4) << rate << " Hz " << hz;
            EXPECT_NEAR(l.imag(), 0, 1e-9);
            EXPECT_NEAR(r.imag(), 0, 1e-9);
        }
    }
}

TEST(Kestralin, MonoComesOutUnchangedAndSurroundCodesFillOnlyTheFrontPair)
{
    const std::vector<double> mono = test::stereoTone(3000, 48000, 3100, 5000, 5000);
    for (EnhancementCode code : {kKestralin, kBride, kTSym}) {
        StageJob s(code, 48000, mono);
        EXPECT_EQ(s.run(), mono) << code;
    }
    // The up-mix that completes these is another routine; the cross-feed
    // alone must write Bride's front pair and leave the rest as allocated.
    const std::vector<double> stereo = test::stereoTone(3000, 48000, 3100, 5000, -2000);
    StageJob bride(kBride, 48000, stereo);
    const std::vector<double> expected = bride.run();
    for (EnhancementCode code : {kLumora40, kCinema40}) {
        StageJob s(code, 48000, stereo, 6);
        std::fill(s.job.audioBuf_1.begin(), s.job.audioBuf_1.end(), 7.0);
        s.job.Kestralin(1);
        ASSERT_EQ(s.job.error, 0);
        for (std::size_t n = 0; n < 3000; ++n) {
            ASSERT_EQ(s.job.audioBuf_1[6 * n], expected[2 * n]);
            ASSERT_EQ(s.job.audioBuf_1[6 * n + 1], expected[2 * n + 1]);
            for (std::size_t c = 2; c < 6; ++c)
                ASSERT_EQ(s.job.audioBuf_1[6 * n + c], 7.0);
        }
        EXPECT_EQ(s.job.tableText(TableText::State),
                  code == kLumora40 ? "Lumora 40 Surround..." : "Cinema Surround 4.0...");
    }
}

TEST(Kestralin, ReportsItselfAndFailsTheJobAtARateWithoutCoefficients)
{
    EXPECT_TRUE(enhancementAvailable(kKestralin) && enhancementAvailable(kBride) && enhancementAvailable(kTSym));
    StageJob s(kTSym, 44100, test::stereoTone(500, 44100, 1000, 1, 0));
    s.run();
    EXPECT_EQ(s.log.lines(),
              (std::vector<std::string>{"<Info> Apply the KESTRALIN T-Sym enhancement", "<Info>  KESTRALIN T-Sym"}));
    EXPECT_EQ(s.job.tableText(TableText::State), "KESTRALIN T-Sym...");

    for (EnhancementCode code : {kKestralin, kTSym}) {
        StageJob odd(code, 32000, test::stereoTone(500, 32000, 1000, 1, 0));
        odd.job.error = 0;
        odd.run();
        EXPECT_EQ(odd.job.error, kErrorFrameRate);
        EXPECT_TRUE(std::all_of(odd.job.audioBuf_1.begin(), odd.job.audioBuf_1.end(), [](double x) { return x == 0; }));
        const std::string method = code == kTSym ? "KestralinTSym:" : "Kestralin:";
        EXPECT_EQ(odd.log.lines().back(),
                  "<ERROR> Destination frame rate 32000.000000 is unknown in -[AudioFile " + method + "]");
    }
}

TEST(KestralinDeathTest, WrongChannelsOrCodesEndTheProgram)
{
    StageJob s(kKestralin, 44100, std::vector<double>(200, 0.0), 6);
    EXPECT_DEATH(s.job.Kestralin(1), "The number of channels must be 2 in -\\[AudioFile Kestralin:\\]");
    StageJob surround(kLumora40, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(surround.job.Kestralin(1), "The number of channels must be 6 in -\\[AudioFile Kestralin:\\]");
    StageJob other(kTSym, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(other.job.Kestralin(1), "Unknown enhancement type 4294967296 in -\\[AudioFile Kestralin:\\]");
    StageJob tsym(kKestralin, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(tsym.job.KestralinTSym(1), "Unknown enhancement type 2 in -\\[AudioFile KestralinTSym:\\]");
}

}  // namespace
}  // namespace auralune

#include "enhance/lumora_coefficients.h"

#include "enhance/tone_level.h"
#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace auralune {
namespace {

using test::SampleJob;
using test::toneDb;

constexpr double kPi = std::numbers::pi;
constexpr EnhancementCode kLumora20 = 0x80;
constexpr EnhancementCode kLumora51 = 0x100;
constexpr EnhancementCode kLumora50 = 0x200;
constexpr EnhancementCode kLumora40 = 0x400;
constexpr EnhancementCode kCinema51 = 0x40000000;
constexpr EnhancementCode kCinema40 = 0x80000000;

struct Enhanced {
    std::vector<double> out;
    std::string channelsText;
};

// Enhancement 1 of `code` (its whole dispatch row) on a stereo buffer.
Enhanced enhance(EnhancementCode code, const std::vector<double>& stereo, double rate, double cccDb = 9.0)
{
    SampleJob s;
    AudioFile& job = s.job;
    const std::uint32_t channels = code == kLumora20 ? 2 : 6;
    job.settings.filterType_1 = code;
    job.ccc = cccDb;
    job.srcChannels = 2;
    job.dstChannels_1 = job.dstChannelsData = channels;
    job.dstFrames = static_cast<std::uint32_t>(stereo.size() / 2);
    job.dstFrameRate = rate;
    job.audioBuf_0 = stereo;
    job.audioBuf_1.assign(std::size_t{job.dstFrames} * channels, 0.0);
    job.StereoEnhancement(1);
    EXPECT_EQ(job.error, 0);
    return {job.audioBuf_1, job.tableText(TableText::Channels)};
}

std::vector<double> tones(std::uint64_t frames, double rate, double hz, double left, double right)
{
    std::vector<double> v(2 * frames);
    for (std::uint64_t n = 0; n < frames; ++n) {
        const double x = std::sin(2 * kPi * hz * static_cast<double>(n) / rate);
        v[2 * n] = left * x;
        v[2 * n + 1] = right * x;
    }
    return v;
}

TEST(LumoraSurround, MonoFeedsCentreAboveAndLfeBelowTheirCornersAndNoSurround)
{
    // Mono (L = R): no side signal, so silent surrounds; the centre is half
    // the 2 kHz first-order high-pass of the mid and the LFE minus its
    // 2nd-order Butterworth low-pass, each measured against the analytic
    // response at the rates the corners are given for.
    struct Case {
        double rate, centreCornerHz, lfeCornerHz;
    };
    for (const Case& c : {Case{44100, 2000, 37}, Case{96000, 2000, 40}}) {
        const auto frames = static_cast<std::uint64_t>(c.rate);
        for (double hz : {c.centreCornerHz / 2, c.centreCornerHz, c.centreCornerHz * 3}) {
            const Enhanced r = enhance(kLumora51, tones(frames, c.rate, hz, 1000, 1000), c.rate);
            const double expected = 20 * std::log10(500 / std::sqrt(1 + std::pow(c.centreCornerHz / hz, 2)));
            EXPECT_NEAR(toneDb(r.out, 6, 2, hz, c.rate, frames / 2, frames / 2), expected, 0.25) << c.rate << " " << hz;
        }
        for (double hz : {c.lfeCornerHz / 2, c.lfeCornerHz, c.lfeCornerHz * 2}) {
            const Enhanced r = enhance(kLumora51, tones(frames, c.rate, hz, 1000, 1000), c.rate);
            const double expected = 20 * std::log10(1000 / std::sqrt(1 + std::pow(hz / c.lfeCornerHz, 4)));
            EXPECT_NEAR(toneDb(r.out, 6, 3, hz, c.rate, frames / 2, frames / 2), expected, 0.25) << c.rate << " " << hz;
            // Minus: the LFE is in opposite phase to the mid at low frequencies.
            if (hz < c.lfeCornerHz) {
                const double l = r.out[6 * (frames - 1)], lfe = r.out[6 * (frames - 1) + 3];
                EXPECT_LT(l * lfe, 0.0);
            }
            for (std::uint64_t n = 0; n < frames; ++n)
                ASSERT_TRUE(r.out[6 * n + 4] == 0.0 && r.out[6 * n + 5] == 0.0);
        }
    }
}

TEST(LumoraSurround, SideSignalReachesTheSurroundsAfterTheirDelay)
{
    // An L − R click at frame 1000 at 48 kHz: nothing in centre or LFE, the
    // surrounds start 12 ms (Lumora) or 20 ms (cinema) later, in opposite
    // polarity for Lumora and alike for the cinema decode.
    struct Case {
        EnhancementCode code;
        std::uint64_t delay;
        double rightSign;
    };
    for (const Case& c : {Case{kLumora51, 576, -1}, Case{kLumora50, 576, -1}, Case{kCinema51, 960, 1}}) {
        std::vector<double> in(2 * 3000, 0.0);
        in[2 * 1000] = 1000;
        in[2 * 1000 + 1] = -1000;
        const Enhanced r = enhance(c.code, in, 48000);
        std::uint64_t first = 0;
        while (first < 3000 && r.out[6 * first + 4] == 0.0)
            ++first;
        EXPECT_EQ(first, 1000 + c.delay) << std::hex << c.code;
        for (std::uint64_t n = 0; n < 3000; ++n) {
            ASSERT_EQ(r.out[6 * n + 5], c.rightSign * r.out[6 * n + 4]) << n;
            ASSERT_TRUE(r.out[6 * n + 2] == 0.0 && r.out[6 * n + 3] == 0.0) << n;
        }
    }
}

TEST(LumoraSurround, SurroundLevelFollowsTheSourceCorrelation)
{
    // Against k = 1 (9 dB): 0.35 at 1 dB, 0.675 at 4.5 dB; the cinema
    // decode ignores the correlation.
    const std::vector<double> side = tones(4800, 48000, 1000, 1000, -1000);
    for (EnhancementCode code : {kLumora51, kLumora50, kLumora40}) {
        const Enhanced full = enhance(code, side, 48000, 9.0);
        for (const auto& [ccc, k] : {std::pair{1.0, 0.35}, std::pair{4.5, 0.675}}) {
            const Enhanced r = enhance(code, side, 48000, ccc);
            for (std::uint64_t n = 0; n < 4800; ++n)
                ASSERT_NEAR(r.out[6 * n + 4], k * full.out[6 * n + 4], 1e-9) << n;
        }
    }
    EXPECT_EQ(enhance(kCinema51, side, 48000, 1.0).out, enhance(kCinema51, side, 48000, 9.0).out);
}

TEST(LumoraSurround, FiveZeroHasASilentLfeAndFourZeroKeepsTheCrossFedFront)
{
    const std::vector<double> bass = tones(9600, 48000, 30, 1000, 600);
    const Enhanced fiveZero = enhance(kLumora50, bass, 48000);
    for (std::uint64_t n = 0; n < 9600; ++n)
        ASSERT_EQ(fiveZero.out[6 * n + 3], 0.0) << n;
    EXPECT_GT(toneDb(fiveZero.out, 6, 2, 30, 48000, 4800, 4800), 0.0);

    // The four-channel variants take their front pair from the KESTRALIN
    // cross-feed that runs first; centre and LFE are silent.
    for (EnhancementCode code : {kLumora40, kCinema40}) {
        SampleJob s;
        AudioFile& job = s.job;
        job.settings.filterType_1 = code;
        job.srcChannels = 2;
        job.dstChannels_1 = job.dstChannelsData = 6;
        job.dstFrames = 9600;
        job.dstFrameRate = 48000;
        job.audioBuf_0 = bass;
        job.audioBuf_1.assign(6 * 9600, 0.0);
        job.Kestralin(1);
        const std::vector<double> crossFed = job.audioBuf_1;
        const Enhanced r = enhance(code, bass, 48000);
        for (std::uint64_t n = 0; n < 9600; ++n) {
            ASSERT_EQ(r.out[6 * n], crossFed[6 * n]) << n;
            ASSERT_EQ(r.out[6 * n + 1], crossFed[6 * n + 1]) << n;
            ASSERT_TRUE(r.out[6 * n + 2] == 0.0 && r.out[6 * n + 3] == 0.0) << n;
        }
    }
}

TEST(LumoraSurround, HeadphonesFoldTheFiveOneFeedsDownByThreeDecibels)
{
    // Lumora 20 against the feeds of Lumora 51 at the same surround level
    // (k = 1): left = −3 dB × (S + C + 0.795·L + LFE), right = −3 dB ×
    // (−S + 0.795·R + C + LFE).
    std::vector<double> in = tones(4800, 44100, 300, 900, 200);
    const std::vector<double> treble = tones(4800, 44100, 7000, 100, -400);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] += treble[i];
    const Enhanced feeds = enhance(kLumora51, in, 44100, 9.0);
    const Enhanced folded = enhance(kLumora20, in, 44100);
    const double g = std::pow(10.0, -3.0 / 20);
    for (std::uint64_t n = 0; n < 4800; ++n) {
        const double* f = &feeds.out[6 * n];
        const double centreAndLfe = f[2] + f[3];
        ASSERT_NEAR(folded.out[2 * n], g * (f[4] + 0.795 * in[2 * n] + centreAndLfe), 1e-9) << n;
        ASSERT_NEAR(folded.out[2 * n + 1], g * (-f[4] + 0.795 * in[2 * n + 1] + centreAndLfe), 1e-9) << n;
    }
}

TEST(LumoraSurround, ChannelsTextNamesTheLayout)
{
    const std::vector<double> in(200, 0.0);
    for (const auto& [code, text] : {std::pair{kLumora51, "2 > 5.1"}, std::pair{kLumora50, "2 > 5.0"},
                                     std::pair{kLumora40, "2 > 4.0"}, std::pair{kCinema51, "2 > 5.1"},
                                     std::pair{kCinema40, "2 > 4.0"}})
        EXPECT_EQ(enhance(code, in, 44100).channelsText, text) << std::hex << code;
}

}  // namespace
}  // namespace auralune

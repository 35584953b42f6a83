#include "enhance/cd4_coefficients.h"

#include "enhance/tone_level.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace auralune {
namespace {

using test::toneDb;
using Phasor = std::complex<double>;

constexpr double kPi = std::numbers::pi;
constexpr double kRate = 96000;
constexpr std::uint32_t kFrames = 48000;
constexpr double kToneHz = 1000;
constexpr EnhancementCode kJvc = 0x100000000000;
constexpr EnhancementCode kHighQuality = 0x200000000000;

Phasor atHz(double hz) { return std::polar(1.0, -2 * kPi * hz / kRate); }

Phasor biquadResponse(const BiquadCoeffs& k, double hz)
{
    const Phasor z1 = atHz(hz), z2 = z1 * z1;
    return (k.b0 + k.b1 * z1 + k.b2 * z2) / (1.0 - k.d1 * z1 - k.d2 * z2);
}

// The decoder's de-emphasis of the demodulated difference at `hz`; the
// record's carrier channel is pre-emphasised by its inverse.
Phasor postDiscriminator(EnhancementCode code, double hz)
{
    if (code == kJvc)
        return biquadResponse(cd4::kJvcCut, hz) * std::pow(std::abs(biquadResponse(cd4::kJvcBandPass, hz)), 4);
    const Phasor z1 = atHz(hz);
    return cd4::kShelfDirect + cd4::kShelfLowPass * cd4::kShelfA * (1.0 + z1) / (1.0 - cd4::kShelfC * z1);
}

// The RIAA recording characteristic (3180, 318 and 75 µs), 0 dB at 1 kHz.
Phasor riaaRecording(double hz)
{
    const auto at = [](double f) {
        const Phasor jw(0, 2 * kPi * f);
        return (1.0 + jw * 3180e-6) * (1.0 + jw * 75e-6) / (1.0 + jw * 318e-6);
    };
    return at(hz) / std::abs(at(kToneHz));
}

struct Corners {
    double lf = 0, rf = 0, lb = 0, rb = 0;
};

// A 96 kHz CD-4 groove of a 1 kHz tone in the given corners (amplitudes as
// fractions of full scale). Each wall carries its baseband sum front + back
// and a 30 kHz carrier frequency-modulated by its difference front − back,
// ±600 Hz per 0.1 of full scale; both are cut with the recording
// characteristic, the difference also with the inverse of the decoder's
// de-emphasis. The carrier's peak (0.06 of full scale, −27.4 dB RMS) is
// above the pilot floor and below the AGC threshold. Without `carrier` it
// is a plain stereo record; `hiss` adds white noise of that peak.
std::vector<double> cd4Groove(const Corners& c, double fullScale, EnhancementCode code, bool carrier = true,
                              double hiss = 0)
{
    std::uint32_t noise = 12345;
    const Phasor base = riaaRecording(kToneHz);
    const Phasor difference = base / postDiscriminator(code, kToneHz);
    const std::array<double, 2> sums{c.lf + c.lb, c.rf + c.rb};
    const std::array<double, 2> differences{c.lf - c.lb, c.rf - c.rb};
    std::vector<double> groove(2 * std::size_t{kFrames});
    for (std::size_t wall = 0; wall < 2; ++wall) {
        double phase = 0;
        for (std::uint32_t n = 0; n < kFrames; ++n) {
            const double w = 2 * kPi * kToneHz * n / kRate;
            const double sum = sums[wall] * std::abs(base) * std::sin(w + std::arg(base));
            const double diff = differences[wall] * std::abs(difference) * std::sin(w + std::arg(difference));
            phase += 2 * kPi * (30000 + 6000 * diff) / kRate;
            noise = noise * 1664525u + 1013904223u;
            const double white = hiss * (noise / 2147483648.0 - 1.0);
            groove[2 * n + wall] = fullScale * (sum + white + (carrier ? 0.06 * std::cos(phase) : 0.0));
        }
    }
    return groove;
}

struct Decoded {
    std::vector<double> feeds;   // six channels
    int warning = 0;
    std::vector<std::string> log;
};

// The CD-4 route of StereoEnhancement on a groove at the scale of
// `dstBits` samples, from a source of `srcBits`.
Decoded decode(EnhancementCode code, std::vector<double> groove, std::uint32_t srcBits, std::uint32_t dstBits,
               int outputCd4 = 1)
{
    test::StageJob s(code, kRate, std::move(groove), 6, dstBits);
    AudioFile& job = s.job;
    job.settings.outputCD4 = outputCd4;
    job.srcFrames = job.dstFrames;
    job.srcFrameRate = kRate;
    job.srcSampleBits = srcBits;
    job.dstChannelsData = 6;
    job.rmsRatio = 1.0;
    job.audioBuf_0_sub.assign(2 * std::size_t{kFrames}, 0.0);
    job.error = 0;
    s.run();
    EXPECT_EQ(job.error, 0);
    return {test::plain(job.audioBuf_1), job.warning, s.log.lines()};
}

std::vector<std::string> linesWith(const Decoded& d, std::string_view part)
{
    std::vector<std::string> found;
    for (const std::string& line : d.log)
        if (line.find(part) != std::string::npos)
            found.push_back(line);
    return found;
}

double feedDb(const Decoded& d, std::uint32_t channel, double fullScale)
{
    return toneDb(d.feeds, 6, channel, kToneHz, kRate, kFrames / 4, kFrames / 2) - 20 * std::log10(fullScale);
}

TEST(Cd4Decoders, EachCornerComesOutAloneOnItsSideAtOneLevel)
{
    constexpr double kFullScale = 8388608;
    struct Corner {
        const char* name;
        Corners tone;
        std::uint32_t own;     // its feed
        std::uint32_t other;   // the other feed of its side
    };
    const Corner corners[] = {{"LF", {0.1, 0, 0, 0}, 0, 4},
                              {"LB", {0, 0, 0.1, 0}, 4, 0},
                              {"RF", {0, 0.1, 0, 0}, 1, 5},
                              {"RB", {0, 0, 0, 0.1}, 5, 1}};
    for (EnhancementCode code : {kJvc, kHighQuality}) {
        double firstLevel = 0;
        for (const Corner& corner : corners) {
            const Decoded d = decode(code, cd4Groove(corner.tone, kFullScale, code), 24, 24);
            EXPECT_EQ(d.warning & kWarningNoCd4Radar, 0);
            const double own = feedDb(d, corner.own, kFullScale);
            const double other = feedDb(d, corner.other, kFullScale);
            EXPECT_GE(own - other, 20.0) << std::hex << code << " " << corner.name;
            if (corner.own == 0)
                firstLevel = own;
            EXPECT_NEAR(own, firstLevel, 1.0) << std::hex << code << " " << corner.name;
        }
    }
}

TEST(Cd4Decoders, SixteenAndTwentyFourBitCopiesDecodeAlike)
{
    // The same record as 16-bit samples promoted to the 24-bit scale (what
    // hi-res does), as 24-bit samples, and as 16-bit samples left alone:
    // the same pilot finding, the same AGC and the same levels against full
    // scale. The plain stereo record has the hiss of a needle-drop (−55 dB
    // RMS), far below the pilot floor.
    const Corners tone{0.1, 0, 0.05, 0};
    for (bool carrier : {true, false}) {
        const std::vector<double> record16 = cd4Groove(tone, 32768, kJvc, carrier, 0.003);
        std::vector<double> promoted = record16;
        for (double& v : promoted)
            v *= 256;
        const Decoded fromPromoted = decode(kJvc, promoted, 16, 24);
        const Decoded from24 = decode(kJvc, promoted, 24, 24);
        const Decoded from16 = decode(kJvc, record16, 16, 16);
        EXPECT_EQ(fromPromoted.warning, carrier ? 0 : kWarningNoCd4Radar);
        EXPECT_EQ(from24.warning, fromPromoted.warning);
        EXPECT_EQ(from16.warning, fromPromoted.warning);
        if (carrier) {
            const std::vector<std::string> unlimited{"<Info>  Ch0: AGC applied to 0 of 480 chunks of 100 samples",
                                                     "<Info>  Ch1: AGC applied to 0 of 480 chunks of 100 samples"};
            EXPECT_EQ(linesWith(fromPromoted, "AGC applied"), unlimited);
            EXPECT_EQ(linesWith(from24, "AGC applied"), unlimited);
            EXPECT_EQ(linesWith(from16, "AGC applied"), unlimited);
        }
        for (std::uint32_t channel : {0u, 4u}) {
            const double level = feedDb(from24, channel, 8388608);
            EXPECT_NEAR(feedDb(fromPromoted, channel, 8388608), level, 0.01) << carrier << " " << channel;
            EXPECT_NEAR(feedDb(from16, channel, 32768), level, 0.01) << carrier << " " << channel;
        }
    }
}

TEST(Cd4Decoders, PlainStereoRecordHasNoRadarAndDecodesFromTheBaseband)
{
    const Decoded d = decode(kHighQuality, cd4Groove({0.1, 0.05, 0, 0}, 8388608, kHighQuality, false), 24, 24);
    EXPECT_EQ(d.warning, kWarningNoCd4Radar);
    const std::string tail = " (less than -30.0dBFS). Either the disc is ruined, or the needle-drop set-up is "
                             "inadequate, or the user is attempting to decode a standard stereo disc";
    const std::vector<std::string> warned = linesWith(d, "No RADAR");
    ASSERT_EQ(warned.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c)
        EXPECT_TRUE(warned[c].starts_with("<WARNING> No RADAR. Subcarrier RMS for ch" + std::to_string(c) + " is ") &&
                    warned[c].ends_with(tail)) << warned[c];
    // Without a demodulated difference each wall feeds its front and rear alike.
    for (std::uint32_t n = 0; n < kFrames; ++n) {
        ASSERT_EQ(d.feeds[6 * n], d.feeds[6 * n + 4]) << n;
        ASSERT_EQ(d.feeds[6 * n + 1], d.feeds[6 * n + 5]) << n;
    }
    EXPECT_GT(feedDb(d, 0, 8388608), -30.0);
}

TEST(Cd4Decoders, RearDifferenceOutputCarriesEachWallsDemodulatedSignal)
{
    // outputCD4 2: the rear pair is the demodulated difference of each
    // wall; a left-front tone leaves the right one silent.
    const Decoded d = decode(kJvc, cd4Groove({0.1, 0, 0, 0}, 8388608, kJvc), 24, 24, 2);
    EXPECT_GT(feedDb(d, 4, 8388608), -30.0);
    EXPECT_LT(feedDb(d, 5, 8388608), feedDb(d, 4, 8388608) - 40);
}

}  // namespace
}  // namespace auralune

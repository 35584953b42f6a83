#include "engine/peak_estimate.h"

#include "support/job_fixture.h"

#include <gtest/gtest.h>

namespace auralune {
namespace {

// The codes as `auralune-cli catalogue` lists them.
constexpr EnhancementCode kPhonographA1 = 0x800;
constexpr EnhancementCode kLumora51 = 0x100;
constexpr EnhancementCode kCd4 = 0x100000000000;

// Peak resident memory of whole conversions of 60 s stereo sources, measured
// with `/usr/bin/time -f %M auralune-cli convert -q` (30 s for 192 kHz),
// and three of them on 10-minute sources.
struct Measured {
    const char* what;
    double rate;
    std::uint32_t bits;
    double seconds;
    EnhancementCode enhancement1;
    int outputFormat;
    void (*tweak)(SettingsSnapshot&);
    double peakMiB;
};

void noTweak(SettingsSnapshot&) {}

const Measured kMeasured[] = {
    {"None 44.1 kHz doubled", 44100, 16, 60, kEnhancementNone, 1, noTweak, 132},
    {"None 44.1 kHz kept", 44100, 16, 60, kEnhancementNone, 1, [](SettingsSnapshot& s) { s.hiResType = 2; }, 61},
    {"None 44.1 kHz, loudness adjusted", 44100, 16, 60, kEnhancementNone, 1,
     [](SettingsSnapshot& s) { s.calculateDstR128 = s.adjustDstR128 = true; }, 132},
    {"None 192 kHz", 192000, 24, 30, kEnhancementNone, 1, noTweak, 186},
    {"Phonograph A1 96 kHz", 96000, 24, 60, kPhonographA1, 1, noTweak, 187},
    {"Phonograph A1 44.1 kHz", 44100, 16, 60, kPhonographA1, 1, noTweak, 173},
    {"Phonograph A1 96 kHz with wow", 96000, 24, 60, kPhonographA1, 1,
     [](SettingsSnapshot& s) { s.useWowCorrection = true; }, 189},
    {"CD-4 96 kHz", 96000, 24, 60, kCd4, 1, noTweak, 538},
    {"Lumora 51 44.1 kHz to FLAC", 44100, 16, 60, kLumora51, 16, noTweak, 374},
    {"None 44.1 kHz doubled, 10 minutes", 44100, 16, 600, kEnhancementNone, 1, noTweak, 1222},
    {"Phonograph A1 96 kHz, 10 minutes", 96000, 24, 600, kPhonographA1, 1, noTweak, 1769},
    {"CD-4 96 kHz, 10 minutes", 96000, 24, 600, kCd4, 1, noTweak, 5285},
};

TEST(PeakEstimate, BoundsTheMeasuredPeakWithinAQuarter)
{
    test::TestPlatform services;
    for (const Measured& m : kMeasured) {
        SCOPED_TRACE(m.what);
        auto job = services.job("/music/source.wav");
        job->srcFileType = kFileWav;
        job->srcFrameRate = m.rate;
        job->srcFrames = static_cast<std::uint32_t>(m.rate * m.seconds);
        job->srcChannels = 2;
        job->srcSampleBits = m.bits;
        job->srcSampleBytes = m.bits / 8;
        SettingsSnapshot settings;
        settings.filterType_1 = m.enhancement1;
        settings.outputFormatType = m.outputFormat;
        m.tweak(settings);
        const double estimateMiB = static_cast<double>(peakBytes(passShape(*job, settings))) / (1024.0 * 1024.0);
        EXPECT_GE(estimateMiB, m.peakMiB);
        EXPECT_LE(estimateMiB, 1.25 * m.peakMiB);
    }
}

}  // namespace
}  // namespace auralune

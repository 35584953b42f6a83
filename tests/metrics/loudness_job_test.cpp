#include "engine/pass_lock.h"
#include "engine/text_format.h"
#include "formats/processing_mark.h"
#include "metrics/loudness.h"
#include "support/failing_allocation.h"
#include "support/loudness_signals.h"
#include "support/sample_job.h"
#include "support/wav_fixtures.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace auralune {
namespace {

using test::pinkNoiseSteps;
using test::scaled;
using test::sineFrames;
namespace fs = std::filesystem;

bool hasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A destination stage buffer of 16-bit stereo at 48 kHz, loudness measured
// (and adjusted when asked).
struct DestinationLoudness : test::SampleJob {
    DestinationLoudness(const std::vector<double>& unitScale, bool adjust)
    {
        setDestination(scaled(unitScale, 32768), 16);
        job.dstFrameRate = 48000;
        job.settings.calculateDstR128 = true;
        job.settings.adjustDstR128 = adjust;
        job.settings.adjustDstR128Level = -16.5;
    }
    void measure() { job.AnalyseAudioMetricsR128(4); }
};

std::vector<double> pinkAt(double seconds, double levelDb)
{
    return pinkNoiseSteps(48000, seconds, 2, {levelDb}, seconds + 1);
}

// Too short for any block: the warning for each kind, bit 0x8, the true
// peak alone measured, the other four reported as not measured.
TEST(LoudnessStage, TracksTooShortForBlocksReportWhatWasNotMeasured)
{
    struct Row {
        double seconds;
        std::uint32_t measured;
        bool momentaryWarning;
    } rows[] = {{0.3, AudioFile::kMaxTruePeakMeasured, true},
                {2.0, AudioFile::kMaxTruePeakMeasured | AudioFile::kLoudnessValueMeasured |
                          AudioFile::kMaxMomentaryMeasured,
                 false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.seconds);
        DestinationLoudness d(pinkAt(row.seconds, -10), false);
        d.measure();
        EXPECT_EQ(d.job.dstLoudnessMeasured, row.measured);
        EXPECT_EQ(d.job.warning, kWarningR128TooShort);
        EXPECT_EQ(d.log.contains("<WARNING> Momenary loudness calculations are not possible if track is less than "
                                 "0.400000 seconds"),
                  row.momentaryWarning);
        EXPECT_TRUE(d.log.contains(
            "<WARNING> Short-term loudness calculations are not possible if track is less than 3.000000 seconds"));
        EXPECT_TRUE(hasLine(d.job.dstMetrics, "Loudness Range = not measured (track too short)"));
        EXPECT_EQ(hasLine(d.job.dstMetrics, "Loudness Value = not measured (track too short)"), row.momentaryWarning);
    }
}

TEST(LoudnessStage, AdjustmentRaisesSamplesAndValuesButNotTheRange)
{
    DestinationLoudness d(pinkAt(4.0, -16), true);
    const std::vector<double> before = d.job.audioBuf_2;
    Progress quiet;
    const metrics::LoudnessMeasurement m =
        metrics::measureLoudness(before, 2, 48000, 32768, quiet);
    d.measure();

    const double delta = -16.5 - m.integratedLufs;
    const double gain = std::pow(10.0, delta / 20);
    for (std::size_t i = 0; i < before.size(); i += 997)
        EXPECT_DOUBLE_EQ(d.job.audioBuf_2[i], before[i] * gain);
    EXPECT_NEAR(d.job.dstLoudnessValue, -16.5, 1e-12);
    EXPECT_NEAR(d.job.dstMaxTruePeakLevel, m.truePeakDbtp + delta, 1e-12);
    EXPECT_NEAR(d.job.dstMaxMomentaryLoudness, m.maxMomentaryLufs + delta, 1e-12);
    EXPECT_NEAR(d.job.dstMaxShortTermLoudness, m.maxShortTermLufs + delta, 1e-12);
    EXPECT_EQ(d.job.dstLoudnessRange, m.rangeLu);
    EXPECT_EQ(d.job.warning, kWarningLoudnessAdjusted);
    EXPECT_TRUE(hasLine(d.job.dstMetrics, formatText("Adjust loudness from %.3f to %.3f LUFS (%.3f LU)",
                                                     m.integratedLufs, -16.5, delta)));
    // The adjusted buffer measures at the target.
    const metrics::LoudnessMeasurement after = metrics::measureLoudness(d.job.audioBuf_2, 2, 48000, 32768, quiet);
    EXPECT_NEAR(after.integratedLufs, -16.5, 1e-9);
}

// No loudness value to adjust from (too short), or nothing above the gate
// (silence): the samples stay, one warning, no bit 0x10.
TEST(LoudnessStage, NoAdjustmentWithoutALoudnessValue)
{
    struct Row {
        std::vector<double> signal;
        const char* warning;
    } rows[] = {{pinkAt(0.3, -30), "<WARNING> Loudness not adjusted: the track is too short for a loudness value"},
                {std::vector<double>(2 * 48000 * 4, 0.0),
                 "<WARNING> Loudness not adjusted: nothing in the track is above the -70 LUFS gate"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.warning);
        DestinationLoudness d(row.signal, true);
        const std::vector<double> before = d.job.audioBuf_2;
        d.measure();
        EXPECT_EQ(d.job.audioBuf_2, before);
        EXPECT_TRUE(d.log.contains(row.warning));
        EXPECT_EQ(d.job.warning & kWarningLoudnessAdjusted, 0);
        EXPECT_EQ(d.job.dstLoudnessValue, row.signal.size() > 48000 ? -70.0 : 0.0);
    }
}

// Each of the measurement's own allocations (block lists, sums, copies)
// refused in turn: error bit 0x2, the line, no report and no warning.
TEST(LoudnessStage, AFailedAllocationSetsTheErrorAndReportsNothing)
{
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE(failAt);
        DestinationLoudness d(pinkAt(4.0, -20), true);
        const std::vector<double> before = d.job.audioBuf_2;
        {
            const test::FailingAllocation failing(1000, failAt);
            d.measure();
            ASSERT_TRUE(failing.failed());
        }
        EXPECT_EQ(d.job.error, kErrorMemory);
        EXPECT_TRUE(d.log.contains("<ERROR> Memory allocation"));
        EXPECT_TRUE(d.job.dstMetrics.empty());
        EXPECT_EQ(d.job.warning, 0);
        EXPECT_EQ(d.job.audioBuf_2, before);
    }
}

TEST(LoudnessStage, SourceReportFollowsTheSettingAndTheSourceFields)
{
    test::SampleJob s;
    s.job.audioIn = scaled(sineFrames(44100, 997, 0.5, 3.5, 2, 3u), 32768);
    s.job.srcChannels = 2;
    s.job.srcFrames = static_cast<std::uint32_t>(s.job.audioIn.size() / 2);
    s.job.srcFrameRate = 44100;
    s.job.srcSampleBits = 16;
    s.job.AnalyseAudioMetricsR128(1);
    EXPECT_TRUE(s.job.srcMetrics.empty());

    s.job.settings.calculateSrcR128 = true;
    s.job.AnalyseAudioMetricsR128(1);
    ASSERT_EQ(s.job.srcMetrics.size(), 6u);
    EXPECT_EQ(s.job.srcMetrics[0], "---- R128 Metrics ----");
    EXPECT_EQ(s.job.srcMetrics[1], formatText("Loudness Value = %.3f LUFS", s.job.srcLoudnessValue));
    EXPECT_NEAR(s.job.srcLoudnessValue, -6.05, 0.05);
    EXPECT_EQ(s.job.srcLoudnessMeasured, 0x1Fu);
    EXPECT_EQ(s.job.dstLoudnessMeasured, 0u);
    EXPECT_EQ(s.job.warning, 0);
}

// ---------------------------------------------------------------------------
// Through the processing pass into the written file.

// The little-endian 16-bit fields at 420-429 of the written bext chunk.
std::optional<std::vector<std::int16_t>> bextLoudnessFields(const std::vector<std::uint8_t>& image)
{
    for (std::size_t at = 12; at + 8 <= image.size();) {
        const std::uint32_t size = bytes::readU32LE(image, at + 4).value_or(0);
        if (std::equal(image.begin() + static_cast<std::ptrdiff_t>(at),
                       image.begin() + static_cast<std::ptrdiff_t>(at) + 4, "bext")) {
            std::vector<std::int16_t> fields;
            for (std::size_t i = 0; i < 5; ++i)
                fields.push_back(static_cast<std::int16_t>(bytes::readU16LE(image, at + 420 + 2 * i).value_or(0)));
            return fields;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// The integrated loudness of a written 16-bit stereo WAV (44-byte header
// plus chunks; data found by its id) by libebur128.
double ebur128Integrated(const std::vector<std::uint8_t>& image, unsigned long rate)
{
    for (std::size_t at = 12; at + 8 <= image.size();) {
        const std::uint32_t size = bytes::readU32LE(image, at + 4).value_or(0);
        if (std::equal(image.begin() + static_cast<std::ptrdiff_t>(at),
                       image.begin() + static_cast<std::ptrdiff_t>(at) + 4, "data")) {
            ebur128_state* st = ebur128_init(2, rate, EBUR128_MODE_I);
            ebur128_add_frames_short(st, reinterpret_cast<const short*>(image.data() + at + 8), size / 4);
            double lufs = 0;
            ebur128_loudness_global(st, &lufs);
            ebur128_destroy(&st);
            return lufs;
        }
        at += 8 + size + (size & 1);
    }
    return HUGE_VAL;
}

struct LoudnessConversion : test::JobHarness {
    test::TempDir dir;
    PassLock lock;
    SettingsSnapshot settings;
    fs::path written;

    explicit LoudnessConversion(const std::vector<double>& unitScale)
    {
        std::vector<std::uint8_t> data;
        for (double v : unitScale)
            bytes::appendLE(data, static_cast<std::int16_t>(std::clamp(std::lround(v * 32768), -32768L, 32767L)));
        const fs::path source = dir.path() / "take.wav";
        test::writeFile(source, test::RiffBuilder().fmt(2, 48000, 16).chunk("data", data).image());
        job.initWithName(source.string(), false, false);
        job.AnalyseFileThread(SettingsSnapshot{});
        settings.passLock = &lock;
        settings.destinationFileSuffix = "-ke";
        settings.hiResType = 2;
        settings.ditherType = 2;
        settings.calculateDstR128 = true;
        settings.dstBwfMetadata = true;
        written = dir.path() / "take-ke.wav";
    }
    std::vector<std::uint8_t> convert()
    {
        job.ProcessFileThread(settings);
        EXPECT_EQ(job.state, kStateConverted);
        return test::readFile(written);
    }
};

std::int16_t hundredths(double value)
{
    return static_cast<std::int16_t>(bextLoudnessField(value));
}

TEST(LoudnessConversion, BextHoldsTheMeasuredDestinationValues)
{
    LoudnessConversion c(pinkNoiseSteps(48000, 6.0, 2, {-14, -30}, 2.0));
    const std::vector<std::uint8_t> image = c.convert();
    const auto fields = bextLoudnessFields(image);
    ASSERT_TRUE(fields);
    EXPECT_EQ(*fields, (std::vector<std::int16_t>{hundredths(c.job.dstLoudnessValue),
                                                  hundredths(c.job.dstLoudnessRange),
                                                  hundredths(c.job.dstMaxTruePeakLevel),
                                                  hundredths(c.job.dstMaxMomentaryLoudness),
                                                  hundredths(c.job.dstMaxShortTermLoudness)}));
    EXPECT_NEAR((*fields)[0] / 100.0, ebur128Integrated(image, 48000), 0.1);
    EXPECT_GT((*fields)[1], 100);   // level steps: a range of some LU
}

TEST(LoudnessConversion, BextMarksWhatATooShortTrackCouldNotMeasure)
{
    LoudnessConversion c(pinkAt(0.3, -20));
    const auto fields = bextLoudnessFields(c.convert());
    ASSERT_TRUE(fields);
    const auto unset = static_cast<std::int16_t>(kBextLoudnessNotMeasured);
    EXPECT_EQ(*fields, (std::vector<std::int16_t>{unset, unset, hundredths(c.job.dstMaxTruePeakLevel), unset,
                                                  unset}));
    EXPECT_EQ(c.job.tableText(TableText::State), "File is too short for R128 analysis. Complete.");
}

// A gain that drives samples past full scale is followed by clipping
// management; the values written are those of the file after it.
TEST(LoudnessConversion, AdjustedThenAttenuatedFileCarriesItsOwnLoudness)
{
    LoudnessConversion c(pinkAt(4.0, -3));
    c.defaults.setString("ClipManagement", "4");   // attenuate without asking
    c.settings.adjustDstR128 = true;
    c.settings.adjustDstR128Level = -5.0;
    const std::vector<std::uint8_t> image = c.convert();
    ASSERT_NE(c.job.warning & kWarningAttenuated, 0);
    EXPECT_EQ(c.job.tableText(TableText::State),
              formatText("Loudness adjusted to -5.0 LUFS. Attenuated by %.2fdB to avoid excessive clipping. Complete.",
                         c.job.clipdB));
    const auto fields = bextLoudnessFields(image);
    ASSERT_TRUE(fields);
    EXPECT_NEAR((*fields)[0] / 100.0, -5.0 - c.job.clipdB, 0.02);
    EXPECT_NEAR((*fields)[0] / 100.0, ebur128Integrated(image, 48000), 0.1);
}

}  // namespace
}  // namespace auralune

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
#include <string>

namespace auralune {
namespace {

std::vector<double> pinkAt(double seconds, double levelDb)
{
    return test::pinkNoiseSteps(48000, seconds, 2, {levelDb}, seconds + 1);
}

// A 16-bit stereo 48 kHz destination buffer, measured and adjusted to -16.5 LUFS.
struct Adjusting : test::SampleJob {
    explicit Adjusting(const std::vector<double>& unitScale)
    {
        setDestination(test::scaled(unitScale, 32768), 16);
        job.dstFrameRate = 48000;
        job.settings.calculateDstR128 = job.settings.adjustDstR128 = true;
        job.settings.adjustDstR128Level = -16.5;
    }
};

TEST(LoudnessStage, AdjustmentRaisesSamplesAndValuesButNotTheRange)
{
    Adjusting a(pinkAt(4.0, -16));
    const std::vector<double> before = test::plain(a.job.audioBuf_2);
    Progress quiet;
    const metrics::LoudnessMeasurement m = metrics::measureLoudness(before, 2, 48000, 32768, quiet);
    a.job.AnalyseAudioMetricsR128(4);
    const double delta = -16.5 - m.integratedLufs;
    for (std::size_t i = 0; i < before.size(); i += 997)
        EXPECT_DOUBLE_EQ(a.job.audioBuf_2[i], before[i] * std::pow(10.0, delta / 20));
    EXPECT_NEAR(a.job.dstLoudnessValue, -16.5, 1e-12);
    EXPECT_NEAR(a.job.dstMaxTruePeakLevel - m.truePeakDbtp, delta, 1e-12);
    EXPECT_NEAR(a.job.dstMaxMomentaryLoudness - m.maxMomentaryLufs, delta, 1e-12);
    EXPECT_NEAR(a.job.dstMaxShortTermLoudness - m.maxShortTermLufs, delta, 1e-12);
    EXPECT_EQ(a.job.dstLoudnessRange, m.rangeLu);
    EXPECT_EQ(a.job.warning, kWarningLoudnessAdjusted);
    EXPECT_EQ(a.job.dstMetrics.at(1),
              formatText("Adjust loudness from %.3f to -16.500 LUFS (%.3f LU)", m.integratedLufs, delta));
    EXPECT_NEAR(metrics::measureLoudness(a.job.audioBuf_2, 2, 48000, 32768, quiet).integratedLufs, -16.5, 1e-9);
}

// No loudness value (too short) or nothing above the gate (silence): no
// gain of the whole target, or of 50 dB onto noise; one warning, no 0x10.
TEST(LoudnessStage, NoAdjustmentWithoutALoudnessValue)
{
    const std::pair<std::vector<double>, std::string> rows[] = {
        {pinkAt(0.3, -30), "<WARNING> Loudness not adjusted: the track is too short for a loudness value"},
        {std::vector<double>(2 * 48000 * 4, 0.0),
         "<WARNING> Loudness not adjusted: nothing in the track is above the -70 LUFS gate"}};
    for (const auto& [signal, warning] : rows) {
        Adjusting a(signal);
        const std::vector<double> before = test::plain(a.job.audioBuf_2);
        a.job.AnalyseAudioMetricsR128(4);
        EXPECT_EQ(a.job.audioBuf_2, before);
        EXPECT_TRUE(a.log.contains(warning));
        EXPECT_EQ(a.job.warning & kWarningLoudnessAdjusted, 0);
    }
}

// Each of the measurement's own allocations refused in turn: error bit
// 0x2, the line, and no report, warning or gain.
TEST(LoudnessStage, AFailedAllocationSetsTheErrorAndReportsNothing)
{
    for (int failAt = 1; failAt <= 3; ++failAt) {
        Adjusting a(pinkAt(4.0, -20));
        const std::vector<double> before = test::plain(a.job.audioBuf_2);
        {
            const test::FailingAllocation failing(1000, failAt);
            a.job.AnalyseAudioMetricsR128(4);
            ASSERT_TRUE(failing.failed()) << failAt;
        }
        EXPECT_EQ(a.job.error, kErrorMemory);
        EXPECT_TRUE(a.log.contains("<ERROR> Memory allocation"));
        EXPECT_TRUE(a.job.dstMetrics.empty() && a.job.warning == 0 && test::plain(a.job.audioBuf_2) == before);
    }
}

// ---------------------------------------------------------------------------
// Through the processing pass into the written file.

struct LoudnessConversion : test::JobHarness {
    test::TempDir dir;
    PassLock lock;
    SettingsSnapshot settings;

    explicit LoudnessConversion(const std::vector<double>& unitScale)
    {
        std::vector<std::uint8_t> data;
        for (double v : unitScale)
            bytes::appendLE(data, static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 0.99996) * 32768)));
        const auto source = dir.path() / "take.wav";
        test::writeFile(source, test::RiffBuilder().fmt(2, 48000, 16).chunk("data", data).image());
        job.initWithName(source.string(), false, false);
        job.AnalyseFileThread(SettingsSnapshot{});
        settings.passLock = &lock;
        settings.destinationFileSuffix = "-ke";
        settings.hiResType = settings.ditherType = 2;
        settings.calculateSrcR128 = settings.calculateDstR128 = settings.dstBwfMetadata = true;
    }
    // Converts; the five bext loudness fields and the integrated loudness
    // libebur128 finds in the written data.
    std::pair<std::vector<std::int16_t>, double> convert()
    {
        job.ProcessFileThread(settings);
        EXPECT_EQ(job.state, kStateConverted);
        const std::vector<std::uint8_t> image = test::readFile(dir.path() / "take-ke.wav");
        std::vector<std::int16_t> fields;
        double lufs = HUGE_VAL;
        for (std::size_t at = 12; at + 8 <= image.size();) {
            const std::uint32_t size = bytes::readU32LE(image, at + 4).value_or(0);
            const std::string id(image.begin() + static_cast<std::ptrdiff_t>(at),
                                 image.begin() + static_cast<std::ptrdiff_t>(at) + 4);
            for (std::size_t i = 0; id == "bext" && i < 5; ++i)
                fields.push_back(static_cast<std::int16_t>(bytes::readU16LE(image, at + 420 + 2 * i).value_or(0)));
            if (id == "data") {
                ebur128_state* st = ebur128_init(2, 48000, EBUR128_MODE_I);
                ebur128_add_frames_short(st, reinterpret_cast<const short*>(image.data() + at + 8), size / 4);
                ebur128_loudness_global(st, &lufs);
                ebur128_destroy(&st);
            }
            at += 8 + size + (size & 1);
        }
        return {fields, lufs};
    }
};

std::int16_t hundredths(double value)
{
    return static_cast<std::int16_t>(bextLoudnessField(value));
}

// "None" without dither writes the samples it read: the source and the
// destination measure the same, and bext holds what was measured.
TEST(LoudnessConversion, BextHoldsTheMeasuredDestinationValues)
{
    LoudnessConversion c(test::pinkNoiseSteps(48000, 6.0, 2, {-14, -30}, 2.0));
    const auto [fields, lufs] = c.convert();
    const AudioFile& j = c.job;
    EXPECT_EQ(fields, (std::vector<std::int16_t>{hundredths(j.dstLoudnessValue), hundredths(j.dstLoudnessRange),
                                                 hundredths(j.dstMaxTruePeakLevel),
                                                 hundredths(j.dstMaxMomentaryLoudness),
                                                 hundredths(j.dstMaxShortTermLoudness)}));
    EXPECT_NEAR(fields[0] / 100.0, lufs, 0.1);
    EXPECT_GT(fields[1], 100);
    EXPECT_EQ(j.srcLoudnessValue, j.dstLoudnessValue);
    EXPECT_NE(std::find(j.srcMetrics.begin(), j.srcMetrics.end(), "---- R128 Metrics ----"), j.srcMetrics.end());
}

TEST(LoudnessConversion, BextMarksWhatATooShortTrackCouldNotMeasure)
{
    LoudnessConversion c(pinkAt(0.3, -20));
    const auto unset = static_cast<std::int16_t>(kBextLoudnessNotMeasured);
    const std::vector<std::int16_t> fields = c.convert().first;
    EXPECT_EQ(fields, (std::vector<std::int16_t>{unset, unset, hundredths(c.job.dstMaxTruePeakLevel), unset, unset}));
    EXPECT_EQ(c.job.tableText(TableText::State), "File is too short for R128 analysis. Complete.");
    EXPECT_NE(std::find(c.job.dstMetrics.begin(), c.job.dstMetrics.end(),
                        "Loudness Value = not measured (track too short)"),
              c.job.dstMetrics.end());
}

// The gain drives samples past full scale; after clipping management the
// values written are those of the attenuated file.
TEST(LoudnessConversion, AdjustedThenAttenuatedFileCarriesItsOwnLoudness)
{
    LoudnessConversion c(pinkAt(4.0, -3));
    c.defaults.setString("ClipManagement", "4");   // attenuate without asking
    c.settings.adjustDstR128 = true;
    c.settings.adjustDstR128Level = -5.0;
    const auto [fields, lufs] = c.convert();
    EXPECT_EQ(c.job.tableText(TableText::State),
              formatText("Loudness adjusted to -5.0 LUFS. Attenuated by %.2fdB to avoid excessive clipping. Complete.",
                         c.job.clipdB));
    EXPECT_NEAR(fields[0] / 100.0, -5.0 - c.job.clipdB, 0.02);
    EXPECT_NEAR(fields[0] / 100.0, lufs, 0.1);
}

}  // namespace
}  // namespace auralune

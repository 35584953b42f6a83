#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "metrics/file_facts.h"
#include "metrics/level_metrics.h"
#include "metrics/loudness.h"

#include <array>
#include <cmath>
#include <new>
#include <span>

namespace auralune {

namespace {

constexpr const char* kR128Method = "-[AudioFile AnalyseAudioMetricsR128:]";

// The shortest durations with momentary and short-term blocks.
constexpr double kMomentaryBlockSeconds = 0.4;
constexpr double kShortTermBlockSeconds = 3.0;

// The five values of one side of the job, in report order.
enum LoudnessIndex : std::size_t { kValue, kRange, kTruePeak, kMomentary, kShortTerm };
struct LoudnessFields {
    std::array<double*, 5> values;
    std::uint32_t* measured;
};

struct LoudnessLine {
    std::uint32_t bit;
    const char* logText;      // after "<Info>  "
    const char* reportText;
    const char* name;         // for a value not measured
};

constexpr std::array<LoudnessLine, 5> kLoudnessLines{{
    {AudioFile::kLoudnessValueMeasured, "Loudness Value = %f LUFS", "Loudness Value = %.3f LUFS", "Loudness Value"},
    {AudioFile::kLoudnessRangeMeasured, "Loudness range = %f LU", "Loudness Range = %.3f LU", "Loudness Range"},
    {AudioFile::kMaxTruePeakMeasured, "Maximum True Peak = %f LUFS", "Maximum True Peak Level = %.3f dBTP",
     "Maximum True Peak Level"},
    {AudioFile::kMaxMomentaryMeasured, "Maximum momentary loudness = %f LUFS",
     "Maximum Momentary Loudness = %.3f LUFS", "Maximum Momentary Loudness"},
    {AudioFile::kMaxShortTermMeasured, "Maximum short-term loudness = %f LUFS",
     "Maximum Short-Term Loudness = %.3f LUFS", "Maximum Short-Term Loudness"},
}};

std::string notMeasured(const LoudnessLine& line)
{
    return std::string(line.name) + " = not measured (track too short)";
}

}  // namespace

void AudioFile::AnalyseAudioMetricsR128(int stage)
{
    using namespace metrics;
    const bool source = stage == kStageSource;
    if (source ? !settings.calculateSrcR128 : stage != kStageDestination || !settings.calculateDstR128)
        return;

    const SampleBuffer& buffer = source ? audioIn : audioBuf_2;
    const std::uint32_t channels = source ? srcChannels : dstChannels_2;
    const std::uint32_t frames = source ? srcFrames : dstFrames;
    const double rate = source ? srcFrameRate : dstFrameRate;
    const std::uint32_t bits = source ? srcSampleBits : dstSampleBits;
    std::vector<std::string>& report = source ? srcMetrics : dstMetrics;
    const LoudnessFields fields =
        source ? LoudnessFields{{&srcLoudnessValue, &srcLoudnessRange, &srcMaxTruePeakLevel, &srcMaxMomentaryLoudness,
                                 &srcMaxShortTermLoudness},
                                &srcLoudnessMeasured}
               : LoudnessFields{{&dstLoudnessValue, &dstLoudnessRange, &dstMaxTruePeakLevel, &dstMaxMomentaryLoudness,
                                 &dstMaxShortTermLoudness},
                                &dstLoudnessMeasured};

    const std::uint64_t samples = std::uint64_t{channels} * frames;
    if (buffer.size() < samples)
        raiseAssertion("Unexpected buffer size in %s", kR128Method);
    if (truePeakOversampling(rate) == 0)
        raiseAssertion("Upsample factor not defined in %s", kR128Method);
    if (!loudnessChannelsSupported(channels))
        raiseAssertion("Unexpected number of channels in %s", kR128Method);

    platform.log.info(std::string("Analysing the ") + stageName(stage) + " audio R128 metrics");
    setTableText(TableText::State, source ? "Analysing source R128 metrics..." : "Analysing converted R128 metrics...");
    Progress progress{1, 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    LoudnessMeasurement m;
    try {
        m = measureLoudness(std::span<const double>(buffer).first(samples), channels, rate, fullScale(bits),
                            progress);
    } catch (const std::bad_alloc&) {
        platform.log.error("Memory allocation");
        error |= kErrorMemory;
        return;
    }

    std::uint32_t& measured = *fields.measured;
    measured = 0;
    if (m.truePeakMeasured) {
        *fields.values[kTruePeak] = m.truePeakDbtp;
        measured |= kMaxTruePeakMeasured;
    }
    if (m.momentaryMeasured) {
        platform.log.info(formatText(" Absolute-gated loudness = %f LUFS", m.absoluteGatedLufs));
        platform.log.info(formatText(" Relative-gated loudness = %f LUFS", m.integratedLufs));
        platform.log.info(formatText(" Maximum momentary loudness = %f LUFS", m.maxMomentaryLufs));
        *fields.values[kValue] = m.integratedLufs;
        *fields.values[kMomentary] = m.maxMomentaryLufs;
        measured |= kLoudnessValueMeasured | kMaxMomentaryMeasured;
    } else {
        platform.log.warning(formatText(
            "Momenary loudness calculations are not possible if track is less than %f seconds",
            kMomentaryBlockSeconds));
        warning |= kWarningR128TooShort;
    }
    if (m.shortTermMeasured) {
        *fields.values[kRange] = m.rangeLu;
        *fields.values[kShortTerm] = m.maxShortTermLufs;
        measured |= kLoudnessRangeMeasured | kMaxShortTermMeasured;
    } else {
        platform.log.warning(formatText(
            "Short-term loudness calculations are not possible if track is less than %f seconds",
            kShortTermBlockSeconds));
        warning |= kWarningR128TooShort;
    }

    report.emplace_back("---- R128 Metrics ----");
    if (!source && settings.adjustDstR128) {
        if ((measured & kLoudnessValueMeasured) == 0) {
            // With no value measured, the gain would be the whole target.
            platform.log.warning("Loudness not adjusted: the track is too short for a loudness value");
        } else if (!m.gateOpened) {
            // Silence gains nothing, and noise under the gate would be raised by 50 dB or more.
            platform.log.warning("Loudness not adjusted: nothing in the track is above the -70 LUFS gate");
        } else {
            const double target = settings.adjustDstR128Level;
            const double delta = target - dstLoudnessValue;
            const std::string line =
                formatText("Adjust loudness from %.3f to %.3f LUFS (%.3f LU)", dstLoudnessValue, target, delta);
            platform.log.info(" " + line);
            report.push_back(line);
            warning |= kWarningLoudnessAdjusted;
            // The range is a difference of levels: the gain leaves it.
            for (std::size_t i : {kValue, kTruePeak, kMomentary, kShortTerm})
                if ((measured & kLoudnessLines[i].bit) != 0)
                    *fields.values[i] += delta;
            Progress unreported{samples + 1, 0, {}};
            scaleSamples(std::span<double>(audioBuf_2).first(samples), std::pow(10.0, delta / 20), unreported);
        }
    }
    for (std::size_t i = 0; i < kLoudnessLines.size(); ++i) {
        const LoudnessLine& line = kLoudnessLines[i];
        const bool have = (measured & line.bit) != 0;
        platform.log.info(" " + (have ? formatText(line.logText, *fields.values[i]) : notMeasured(line)));
        report.push_back(have ? formatText(line.reportText, *fields.values[i]) : notMeasured(line));
    }
}

}  // namespace auralune

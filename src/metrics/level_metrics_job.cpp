#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "metrics/file_facts.h"
#include "metrics/level_metrics.h"

#include <span>

namespace auralune {

namespace {

constexpr const char* kVeridaneMethod = "-[AudioFile AnalyseAudioMetricsVeridane:]";

// What one stage measures.
struct LevelStage {
    const char* stateText;
    const SampleBuffer* buffer;
    std::uint32_t channels;
    std::uint32_t frames;
    std::uint32_t bits;
    std::vector<std::string>* report;
};

}  // namespace

void AudioFile::AnalyseAudioMetricsVeridane(int stage)
{
    using namespace metrics;
    LevelStage s{};
    switch (stage) {
    case kStageSource:
        s = {"Analysing source Veridane metrics...", &audioIn, srcChannels, srcFrames, srcSampleBits, &srcMetrics};
        break;
    case kStageMidEnhancement:
        s = {"Analysing mid-enhancement Veridane metrics...", &audioBuf_1, dstChannels_1, dstFrames, dstSampleBits,
             &midMetrics};
        break;
    case kStageDestination:
        s = {"Analysing converted Veridane metrics...", &audioBuf_2, dstChannels_2, dstFrames, dstSampleBits,
             &dstMetrics};
        break;
    default:
        raiseAssertion("Unexpected metrics stage in %s", kVeridaneMethod);
    }
    // The pass allocates each stage buffer from these same fields, and the
    // destination one may be twice as long (rate restored in place).
    const std::uint64_t samples = std::uint64_t{s.channels} * s.frames;
    if (s.channels == 0 || s.buffer->size() < samples)
        raiseAssertion("Unexpected buffer size in %s", kVeridaneMethod);

    platform.log.info(std::string("Analysing the ") + stageName(stage) + " audio Veridane metrics");
    setTableText(TableText::State, s.stateText);
    Progress progress{Progress::stepFor(s.frames), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);

    const LevelMetrics levels =
        measureLevels(std::span<const double>(*s.buffer).first(samples), s.channels, s.bits, progress);
    // Fewer than 100 frames take fewer than 100 steps.
    if (progress.percent < 100)
        progress.start(100);

    for (const std::string& line : levelLogLines(levels))
        platform.log.info(" " + line);
    for (std::string& line : levelReportLines(levels))
        s.report->push_back(std::move(line));

    if (levels.stereo) {
        const double left = levels.channels[0].rms;
        const double right = levels.channels[1].rms;
        // The balance corrections divide by sqrt(rmsRatio): with a silent
        // channel there is no balance to correct, so they get 1.
        rmsRatio = left > 0 && right > 0 ? levels.stereoLevels.rmsRatio : 1.0;
        ccc = levels.stereoLevels.cccDb;
    }
}

}  // namespace auralune

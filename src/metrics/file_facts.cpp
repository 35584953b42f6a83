#include "metrics/file_facts.h"

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"

#include <cmath>

namespace auralune {

namespace metrics {

const char* stageName(int stage)
{
    switch (stage) {
    case kStageSource:
        return "source";
    case kStageMidEnhancement:
        return "mid-enhancement";
    case kStageDestination:
        return "destination";
    default:
        return nullptr;
    }
}

std::string durationText(std::uint64_t frames, double frameRate)
{
    // A rate of zero or NaN only reaches here from a header that failed
    // validation; the division would not give a number of seconds.
    std::uint64_t seconds = 0;
    if (frameRate > 0)
        seconds = static_cast<std::uint64_t>(std::floor(static_cast<double>(frames) / frameRate));
    return formatText("%02llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                      static_cast<unsigned long long>(seconds % 60));
}

std::vector<std::string> fileFactsLines(std::uint32_t frames, double frameRate, std::uint32_t channels,
                                        std::uint32_t bits)
{
    return {
        "Time = " + durationText(frames, frameRate),
        formatText("Frames = %u", frames),
        formatText("Frame Rate = %.1f", frameRate),
        formatText("Channels = %u", channels),
        formatText("Bit Depth = %u", bits),
    };
}

std::vector<std::string> metadataSummaryLines(const MetadataSizes& sizes)
{
    std::vector<std::string> lines;
    const auto add = [&lines](const char* format, std::uint64_t value) {
        if (value != 0)
            lines.push_back(formatText(format, static_cast<unsigned long long>(value)));
    };
    add("ID3v2 = %llu bytes", sizes.id3Bytes);
    add("BWF (bext) = %llu bytes", sizes.bextBytes);
    add("BWF (iXML) = %llu bytes", sizes.ixmlBytes);
    add("FLAC Vorbis Comments = %llu", sizes.vorbisComments);
    add("FLAC Picture = %llu bytes", sizes.pictureBytes);
    return lines;
}

std::string dateDescription(std::time_t when)
{
    std::tm utc{};
    if (gmtime_r(&when, &utc) == nullptr)
        return {};
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return std::string(text, length);
}

}  // namespace metrics

namespace {

// Enhancement 1 being "Hi-Res" enables hi-res processing whatever hiResType says.
constexpr EnhancementCode kHiResEnhancement = kEnhancementTypes[37].code();
static_assert(kEnhancementTypes[37].displayName == "Hi-Res");

// A report line, also logged as a detail line.
void appendLogged(Log& log, std::vector<std::string>& report, std::string line)
{
    log.info(" " + line);
    report.push_back(std::move(line));
}

}  // namespace

void AudioFile::AnalyseAudioMetricsBasic(int stage)
{
    using namespace metrics;
    Log& log = platform.log;
    const auto appendFacts = [&log](std::vector<std::string>& report, std::uint32_t frames, double rate,
                                    std::uint32_t channels, std::uint32_t bits) {
        for (std::string& line : fileFactsLines(frames, rate, channels, bits))
            appendLogged(log, report, std::move(line));
    };

    switch (stage) {
    case kStageSource: {
        log.info("Analysing the source audio basic metrics");
        appendFacts(srcMetrics, srcFrames, srcFrameRate, srcChannels, srcSampleBits);

        MetadataSizes sizes;
        sizes.id3Bytes = srcID3ChunkData.size();
        sizes.bextBytes = srcBextChunkData.size();
        sizes.ixmlBytes = srcIXMLChunkData.size();
        sizes.vorbisComments = srcVorbisComments.size();
        if (const auto picture = srcPictureChunkDict.find("data"); picture != srcPictureChunkDict.end())
            sizes.pictureBytes = picture->second.size();
        const std::vector<std::string> summary = metadataSummaryLines(sizes);
        if (!summary.empty()) {
            log.info("Analysing the source audio metadata");
            srcMetrics.push_back("---- Metadata ----");
            for (const std::string& line : summary)
                appendLogged(log, srcMetrics, line);
        }
        break;
    }
    case kStageMidEnhancement:
        log.info("Analysing the mid-enhancement audio basic metrics");
        appendFacts(midMetrics, dstFrames, dstFrameRate, dstChannels_1, dstSampleBits);
        break;
    case kStageDestination: {
        log.info("Analysing the destination audio basic metrics");
        appendLogged(log, dstMetrics, "Enhancement = " + tableText(TableText::Filter));
        appendLogged(log, dstMetrics, "Date = " + dateDescription(platform.clock.now()));
        appendFacts(dstMetrics, dstFrames, dstFrameRate, dstChannelsData, dstSampleBits);
        const bool hiResEnabled = settings.filterType_1 == kHiResEnhancement || settings.hiResType == 1;
        appendLogged(log, dstMetrics, std::string("Hi-Res enabled = ") + (hiResEnabled ? "YES" : "NO"));
        appendLogged(log, dstMetrics,
                     std::string("Hi-Res used = ") + (upsampleType == kUpsampleDouble ? "YES" : "NO"));
        appendLogged(log, dstMetrics, std::string("Dither = ") + (settings.ditherType == 1 ? "On" : "Off"));
        break;
    }
    default:
        raiseAssertion("Unexpected metrics stage in %s", "-[AudioFile AnalyseAudioMetricsBasic:]");
    }
}

}  // namespace auralune

#include "engine/audio_file.h"
#include "metrics/metadata_decode.h"

namespace auralune {

void AudioFile::AnalyseAudioMetricsBEXT(int)
{
    if (srcBextChunkData.empty())
        return;
    Log& log = platform.log;
    const std::optional<metrics::BextInfo> info =
        metrics::decodeBext(srcBextChunkData, srcEndianessValues == kEndianBig);
    if (!info) {
        log.error("Broadcast Wave chunk (bext) is too short");
        error |= kErrorHeader;
        return;
    }

    log.info("Analysing the source audio BEXT metrics");
    log.info(" Broadcast Audio Extension (bext): " + metrics::hexDescription(srcBextChunkData));
    const std::vector<metrics::LabelledValue> fields = metrics::bextFields(*info, srcFrameRate);
    for (const metrics::LabelledValue& field : fields)
        log.info(field.logText());

    srcMetrics.push_back("---- Broadcast Wave Information (bext chunk) ----");
    for (const metrics::LabelledValue& field : fields)
        srcMetrics.push_back(field.reportLine());
}

void AudioFile::AnalyseAudioMetricsIXML(int)
{
    if (srcIXMLChunkData.empty())
        return;
    Log& log = platform.log;
    std::optional<std::string> text = metrics::ixmlText(srcIXMLChunkData);
    if (!text) {
        log.error("iXML chunk is too short");
        error |= kErrorHeader;
        return;
    }

    log.info("Analysing the source audio iXML metrics");
    log.info(" Location Sound Metadata (iXML): " + *text);
    srcMetrics.push_back("---- Location Sound Metadata (iXML chunk) ----");
    srcMetrics.push_back(std::move(*text));
}

void AudioFile::AnalyseAudioMetricsVorbis(int)
{
    if (!srcVorbisCommentsPresent && srcVorbisComments.empty())
        return;
    Log& log = platform.log;
    log.info("Analysing the FLAC metadata (Vorbis comments)");
    srcMetrics.push_back("---- FLAC Vorbis Comments ----");
    for (std::string& line : metrics::vorbisCommentLines(srcVorbisComments)) {
        log.info(" " + line);
        srcMetrics.push_back(std::move(line));
    }
}

}  // namespace auralune

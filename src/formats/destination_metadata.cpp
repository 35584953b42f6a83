#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "formats/flac.h"
#include "formats/processing_mark.h"

#include <algorithm>

namespace auralune {

void AudioFile::appendDestinationAudio(ByteBuffer& buffer, std::uint64_t bytes)
{
    if (spliceDestinationAudio) {
        destinationAudioAt = buffer.size();
        destinationAudioBytes = bytes;
        return;
    }
    buffer.insert(buffer.end(), dstAudioData.begin(), dstAudioData.begin() + static_cast<std::ptrdiff_t>(bytes));
}

void AudioFile::truncateDestinationAudio(std::uint64_t frames)
{
    dstFrames = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, dstFrames));
    const auto seconds = [](double count, double rate) {
        return rate > 0 ? static_cast<unsigned long>(std::min(count / rate, 1e15)) : 0ul;
    };
    const unsigned long from = seconds(srcFrames, srcFrameRate);
    const unsigned long to = seconds(dstFrames, dstFrameRate);
    platform.log.warning(formatText("Audio duration trucated from %02lu:%02lu > %02lu:%02lu to fit within 4GB limit",
                                    from / 60, from % 60, to / 60, to % 60));
    setTableText(TableText::Duration, formatText("%02lu:%02lu > %02lu:%02lu", from / 60, from % 60, to / 60, to % 60));
    postRefresh();
    warning |= kWarningTruncated4GB;
}

std::vector<std::string> AudioFile::uncarriedMetadata() const
{
    std::vector<std::string> lost;
    const bool flac = dstFileType == kFileFlac;
    const bool aiff = dstFileType == kFileAiff || dstFileType == kFileAifc;
    const bool loudnessInBext = settings.calculateDstR128 && settings.dstBwfMetadata;
    constexpr const char* kHowToKeep = "turn on CalculateDstR128 and DstBwfMetadata to keep it";

    if (!srcBextChunkData.empty()) {
        if (aiff)
            lost.emplace_back("bext (AIFF has no place for it)");
        else if (!loudnessInBext)
            lost.push_back(std::string("bext (") + kHowToKeep + ")");
        else if (!usableBextChunk(srcBextChunkData))
            lost.emplace_back("bext (damaged; a new one is written)");
    }
    if (!srcIXMLChunkData.empty()) {
        if (aiff)
            lost.emplace_back("iXML (AIFF has no place for it)");
        else if (!loudnessInBext)
            lost.push_back(std::string("iXML (") + kHowToKeep + ")");
        else if (carriedIXMLChunkSize() == 0)
            lost.emplace_back("iXML (empty or damaged)");
    }
    if (!srcID3ChunkData.empty() && carriedID3ChunkSize() == 0)
        lost.emplace_back("ID3 (empty or damaged)");
    if (flac) {
        constexpr const char* kTooLarge = " (too large for a FLAC metadata block)";
        if (carriedBextChunkSize() > kFlacMaxApplicationBytes)
            lost.push_back(std::string("bext") + kTooLarge);
        if (carriedIXMLChunkSize() > kFlacMaxApplicationBytes)
            lost.push_back(std::string("iXML") + kTooLarge);
        if (carriedID3ChunkSize() > kFlacMaxApplicationBytes)
            lost.push_back(std::string("ID3") + kTooLarge);
    }
    if (!flac && !srcVorbisComments.empty())
        lost.emplace_back("Vorbis comments (only FLAC holds them)");
    if (!flac && !srcPictureChunkDict.empty())
        lost.emplace_back("picture (only FLAC holds it)");
    for (const std::string& id : srcSkippedMetadata)
        lost.push_back(id + " (never carried)");
    return lost;
}

void AudioFile::ReportUncarriedMetadata()
{
    const std::vector<std::string> lost = uncarriedMetadata();
    if (lost.empty())
        return;
    std::string line = "Not carried: ";
    for (std::size_t i = 0; i < lost.size(); ++i)
        line.append(i == 0 ? "" : ", ").append(lost[i]);
    platform.log.warning(line);
    dstMetrics.push_back(std::move(line));
}

}  // namespace auralune

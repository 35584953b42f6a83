#include "formats/processing_mark.h"

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace auralune {

namespace {

constexpr std::size_t kBextVersionOffset = 354;
constexpr std::size_t kBextLoudnessOffset = 420;   // five 16-bit fields

}  // namespace

std::optional<ProcessingMark> decodeProcessingMark(std::span<const std::uint8_t> data)
{
    if (data.size() < kMarkVersionWidth)
        return std::nullopt;
    ProcessingMark mark;
    mark.version.assign(data.begin(), data.begin() + kMarkVersionWidth);
    mark.layout = markLayoutForVersion(mark.version);
    if (data.size() < markDataBytes(mark.layout))
        return std::nullopt;
    const std::size_t width = mark.layout == 2 ? 8 : 4;
    mark.enhancement1 = *bytes::readBEWidth(data, kMarkVersionWidth, width);
    mark.enhancement2 = *bytes::readBEWidth(data, kMarkVersionWidth + width, width);
    const auto date = data.subspan(kMarkVersionWidth + 2 * width, kMarkDateWidth);
    mark.date.assign(date.begin(), date.end());
    return mark;
}

bytes::Buffer encodeProcessingMark(std::string_view version, std::uint64_t enhancement1, std::uint64_t enhancement2,
                                   std::string_view date, bool bigEndianSize)
{
    bytes::Buffer chunk;
    chunk.reserve(kMarkChunkBytes);
    bytes::appendText(chunk, "KEST");
    bytes::appendU32(chunk, kMarkDataBytes, bigEndianSize);
    bytes::appendPadded(chunk, version, kMarkVersionWidth);
    bytes::appendBE(chunk, enhancement1);
    bytes::appendBE(chunk, enhancement2);
    bytes::appendPadded(chunk, date, kMarkDateWidth);
    return chunk;
}

std::string markDateText(std::time_t when)
{
    std::tm local{};
    if (!localtime_r(&when, &local))
        return {};
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return std::string(text, length);
}

PriorConversion priorConversion(std::uint64_t enhancement1, std::uint64_t enhancement2, int layout)
{
    PriorConversion prior;
    if (const EnhancementType* type = findEnhancement(enhancement1)) {
        prior.flags1 |= std::uint64_t{1} << type->markBit;
        if (type->bit != 0)
            prior.names = type->displayName;
    } else {
        prior.badEnhancement1 = true;
        prior.names = unknownEnhancementName(enhancement1);
    }

    if (layout == 2) {
        if (const EnhancementType* type = findEnhancement(enhancement2)) {
            prior.flags2 |= std::uint64_t{1} << type->markBit;
            if (type->bit != 0)
                prior.names.append(" + ").append(type->displayName);
        } else {
            prior.badEnhancement2 = true;
            prior.names.append(" + ").append(unknownEnhancementName(enhancement2));
        }
    } else if (enhancement2 == 1) {
        prior.flags2 |= 1;
    } else if (enhancement2 == 2 || enhancement2 == 4 || enhancement2 == 8) {
        // Layout-1 marks numbered their Enhancement 2 choices apart; all of
        // them were groove-model variants.
        prior.flags2 |= std::uint64_t{1} << 48;
    } else {
        prior.badEnhancement2 = true;
        prior.names.append(" + ").append(unknownEnhancementName(enhancement2));
    }
    return prior;
}

std::string unknownEnhancementName(std::uint64_t code)
{
    return formatText("unknown enhancement (0x%llx)", static_cast<unsigned long long>(code));
}

std::uint16_t bextLoudnessField(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^31 hundredths is far outside any loudness; it only keeps the cast defined.
    const double hundredths = std::min(std::floor(std::fabs(value) * 100.0 + 0.5), 2147483647.0);
    const auto magnitude = static_cast<std::uint32_t>(hundredths);
    if (value >= 0)
        return static_cast<std::uint16_t>(magnitude & 0x7FFF);
    return static_cast<std::uint16_t>(0u - magnitude);
}

bytes::Buffer buildBextChunk(std::span<const std::uint8_t> source, const BextLoudness& loudness)
{
    bytes::Buffer chunk;
    if (usableBextChunk(source)) {
        chunk.assign(source.begin(), source.end());
    } else {
        chunk.assign(kBextChunkBytes, 0);
        std::copy_n("bext", 4, chunk.begin());
        bytes::storeLE<std::uint32_t>(chunk, 4, kBextChunkBytes - 8);
    }
    bytes::storeLE<std::uint16_t>(chunk, kBextVersionOffset, 2);
    const double values[] = {loudness.loudnessValue, loudness.loudnessRange, loudness.maxTruePeakLevel,
                             loudness.maxMomentaryLoudness, loudness.maxShortTermLoudness};
    for (std::size_t i = 0; i < std::size(values); ++i)
        bytes::storeLE(chunk, kBextLoudnessOffset + 2 * i,
                       ((loudness.measured >> i) & 1u) != 0 ? bextLoudnessField(values[i]) : kBextLoudnessNotMeasured);
    return chunk;
}

bytes::Buffer rebuildChunk(std::string_view id, std::span<const std::uint8_t> stored, bool bigEndianSize)
{
    bytes::Buffer chunk;
    if (stored.size() < 8 || stored.size() - 8 > 0xFFFFFFFFu)
        return chunk;
    chunk.reserve(stored.size());
    bytes::appendText(chunk, id);
    bytes::appendU32(chunk, static_cast<std::uint32_t>(stored.size() - 8), bigEndianSize);
    chunk.insert(chunk.end(), stored.begin() + 8, stored.end());
    return chunk;
}

// ---------------------------------------------------------------------------
// Job stages

void AudioFile::CreateMetadataChunk(ByteBuffer& buffer)
{
    const std::string date = markDateText(platform.clock.now());
    if (date.size() > kMarkDateWidth)
        raiseAssertion("The date string length is too long for the KEST chunk in %s",
                       "-[AudioFile CreateMetadataChunk:]");
    const std::size_t before = buffer.size();
    try {
        const bytes::Buffer chunk = encodeProcessingMark(kMarkVersionText, settings.filterType_1, settings.filterType_2,
                                                         date, dstEndianessValues == kEndianBig);
        buffer.insert(buffer.end(), chunk.begin(), chunk.end());
    } catch (const std::bad_alloc&) {
        buffer.resize(before);
        platform.log.error("Memory allocation");
        error |= kErrorMemory;
    }
}

int AudioFile::GetMetadataChunkVersion(std::string_view version)
{
    return markLayoutForVersion(version);
}

void AudioFile::ReadMetadataChunk(std::span<const std::uint8_t> data, bool headerOnly)
{
    if (data.size() < kMarkVersionWidth) {
        platform.log.warning(formatText(" KEST chunk of %zu bytes is too short and is ignored", data.size()));
        return;
    }
    platform.log.info(formatText(" version = %16.16s", fieldText(data, kMarkVersionWidth).c_str()));
    const std::optional<ProcessingMark> mark = decodeProcessingMark(data);
    if (!mark) {
        platform.log.warning(
            formatText(" KEST chunk of %zu bytes is too short for its layout and is ignored", data.size()));
        return;
    }
    platform.log.info(formatText(" Enhancement 1 type = %lx (hex) %li (dec)",
                                 static_cast<unsigned long>(mark->enhancement1),
                                 static_cast<long>(mark->enhancement1)));
    platform.log.info(formatText(" Enhancement 2 type = %lx (hex) %li (dec)",
                                 static_cast<unsigned long>(mark->enhancement2),
                                 static_cast<long>(mark->enhancement2)));
    const std::span<const std::uint8_t> date(reinterpret_cast<const std::uint8_t*>(mark->date.data()),
                                             mark->date.size());
    platform.log.info(formatText(" Converted: %26.26s", fieldText(date, kMarkDateWidth).c_str()));
    MetadataWarning(mark->enhancement1, mark->enhancement2, headerOnly, mark->layout);
}

void AudioFile::MetadataWarning(std::uint64_t enhancement1, std::uint64_t enhancement2, bool headerOnly, int layout)
{
    // A code this version does not know (written by a newer one, or
    // damaged) still tells that the file was converted before: it is shown
    // as unknown and the file converts.
    const PriorConversion prior = priorConversion(enhancement1, enhancement2, layout);
    warning_1 |= prior.flags1;
    if (prior.badEnhancement1) {
        platform.log.warning("Unexpected metadata filter index");
        unknownPriorEnhancement1 = enhancement1;
    }
    warning_2 |= prior.flags2;
    if (prior.badEnhancement2) {
        platform.log.warning("Unexpected metadata_2 filter index");
        unknownPriorEnhancement2 = enhancement2;
    }
    if (headerOnly && ((warning_1 & kPriorEnhancementMask) != 0 || prior.badEnhancement1)) {
        platform.log.warning("This file has already been processed with " + prior.names);
        if (settings.warnPreprocess)
            ShowFileAlreadyProcessedWarning(prior.names);
    }
}

std::uint64_t AudioFile::carriedBextChunkSize() const
{
    if (!settings.calculateDstR128 || !settings.dstBwfMetadata)
        return 0;
    return usableBextChunk(srcBextChunkData) ? srcBextChunkData.size() : kBextChunkBytes;
}

std::uint64_t AudioFile::carriedIXMLChunkSize() const
{
    if (!settings.calculateDstR128 || !settings.dstBwfMetadata)
        return 0;
    return srcIXMLChunkData.size() > 8 ? srcIXMLChunkData.size() : 0;
}

std::uint64_t AudioFile::carriedID3ChunkSize() const
{
    return srcID3ChunkData.size() > 8 ? srcID3ChunkData.size() : 0;
}

void AudioFile::WarnShortCarriedChunks()
{
    const bool loudnessInBext = settings.calculateDstR128 && settings.dstBwfMetadata;
    if (loudnessInBext && !srcBextChunkData.empty() && !usableBextChunk(srcBextChunkData))
        platform.log.warning(
            formatText("Stored BEXT chunk of %zu bytes is too short; a new one is written", srcBextChunkData.size()));
    if (loudnessInBext && !srcIXMLChunkData.empty() && srcIXMLChunkData.size() < 8)
        platform.log.warning(formatText("Stored iXML chunk of %zu bytes is shorter than its header and is not carried",
                                        srcIXMLChunkData.size()));
    if (!srcID3ChunkData.empty() && srcID3ChunkData.size() < 8)
        platform.log.warning(formatText("Stored ID3v2 chunk of %zu bytes is shorter than its header and is not carried",
                                        srcID3ChunkData.size()));
}

namespace {

// Appends a built chunk, or reports the failed allocation on the job.
void appendChunk(ByteBuffer& buffer, const auto& build, const Platform& platform,
                 std::atomic<int>& error)
{
    const std::size_t before = buffer.size();
    try {
        const bytes::Buffer chunk = build();
        buffer.insert(buffer.end(), chunk.begin(), chunk.end());
    } catch (const std::bad_alloc&) {
        buffer.resize(before);
        platform.log.error("Memory allocation");
        error |= kErrorMemory;
    }
}

}  // namespace

void AudioFile::CreateBextChunk(ByteBuffer& buffer, std::uint64_t size)
{
    if (size == 0)
        return;
    if (dstEndianessValues != kEndianLittle)
        raiseAssertion("Unexpected destination values endianess in %s", "-[AudioFile CreateBextChunk::]");
    const std::span<const std::uint8_t> source = usableBextChunk(srcBextChunkData)
                                                     ? std::span<const std::uint8_t>(srcBextChunkData)
                                                     : std::span<const std::uint8_t>();
    if (size != (source.empty() ? kBextChunkBytes : source.size()))
        raiseAssertion("Unexpected bext chunk size in %s", "-[AudioFile CreateBextChunk::]");
    // The measured-value bits follow the field order.
    const BextLoudness loudness{dstLoudnessValue,        dstLoudnessRange,        dstMaxTruePeakLevel,
                                dstMaxMomentaryLoudness, dstMaxShortTermLoudness, dstLoudnessMeasured};
    appendChunk(
        buffer, [&] { return buildBextChunk(source, loudness); }, platform, error);
}

void AudioFile::CreateIXMLChunk(ByteBuffer& buffer, std::uint64_t size)
{
    if (size == 0)
        return;
    if (size != srcIXMLChunkData.size())
        raiseAssertion("Unexpected iXML chunk size in %s", "-[AudioFile CreateIXMLChunk::]");
    appendChunk(
        buffer, [&] { return rebuildChunk("iXML", srcIXMLChunkData, dstEndianessValues == kEndianBig); }, platform,
        error);
}

void AudioFile::CreateID3Chunk(ByteBuffer& buffer, std::uint64_t size)
{
    if (size == 0)
        return;
    if (size != srcID3ChunkData.size())
        raiseAssertion("Unexpected ID3 chunk size in %s", "-[AudioFile CreateID3Chunk::]");
    appendChunk(
        buffer, [&] { return rebuildChunk("ID3 ", srcID3ChunkData, dstEndianessValues == kEndianBig); }, platform,
        error);
}

}  // namespace auralune

#include "formats/aiff.h"

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "formats/byte_source.h"
#include "formats/processing_mark.h"
#include "formats/wav.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace auralune {

namespace {

// Exponent bytes 40 0E hold rates 2^14-2^15 with a normalised mantissa;
// 40 12 with the top bit clear is the form 88200 and 96000 are known by.
struct RateField {
    double rate;
    std::array<std::uint8_t, 10> bytes;
};
constexpr std::array<RateField, 6> kRateFields{{
    {44100, {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
    {48000, {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
    {88200, {0x40, 0x12, 0x15, 0x88, 0x80, 0, 0, 0, 0, 0}},
    {96000, {0x40, 0x12, 0x17, 0x70, 0, 0, 0, 0, 0, 0}},
    {176400, {0x40, 0x10, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
    {192000, {0x40, 0x10, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
}};

}  // namespace

double decodeExtendedRate(std::span<const std::uint8_t, 10> field)
{
    const int exponent = ((field[0] & 0x7F) << 8) | field[1];
    double rate = 0;
    for (int i = 0; i < 8; ++i)
        rate += std::ldexp(static_cast<double>(field[2 + i]), exponent - 16390 - 8 * i);
    return rate;
}

std::array<std::uint8_t, 10> encodeExtendedRate(double rate)
{
    for (const RateField& known : kRateFields)
        if (known.rate == rate)
            return known.bytes;
    std::array<std::uint8_t, 10> field{};
    if (!(rate >= 1))   // NaN too
        return field;
    const auto whole = static_cast<std::uint64_t>(std::min(rate, 4294967295.0));
    // Shift the value up until its top bit is the mantissa's integer bit.
    int shift = 0;
    while (((whole << shift) >> 63) == 0)
        ++shift;
    const std::uint64_t mantissa = whole << shift;
    const int exponent = 16383 + 63 - shift;
    field[0] = static_cast<std::uint8_t>(exponent >> 8);
    field[1] = static_cast<std::uint8_t>(exponent);
    for (int i = 0; i < 8; ++i)
        field[2 + i] = static_cast<std::uint8_t>(mantissa >> (56 - 8 * i));
    return field;
}

AiffImagePlan planAiffImage(bool aifc, std::uint64_t frames, std::uint64_t bytesPerFrame, std::uint64_t id3Bytes)
{
    // The RIFF plan with the AIFF header's extra bytes as one more fixed
    // (even) chunk gives the same sizes and the same cut.
    const std::uint64_t extra = (aifc ? kAifcFixedFormSize : kAiffFixedFormSize) - kWavFixedRiffSize;
    WavImagePlan wav = planWavImage(frames, bytesPerFrame, extra, 0, id3Bytes);
    if (wav.metadataDropped)
        wav = planWavImage(frames, bytesPerFrame, extra, 0, 0);
    return {wav.frames, wav.audioBytes, wav.id3Bytes, wav.riffSize, wav.truncated};
}

namespace {

// The chunks the reader keeps, in the order they are analysed.
enum Retained : std::size_t { kFver, kComm, kSsnd, kKest, kID3, kAesd, kRetainedCount };
constexpr std::array<std::string_view, kRetainedCount> kRetainedIds{"FVER", "COMM", "SSND", "KEST", "ID3 ", "AESD"};
constexpr std::array<std::string_view, kRetainedCount> kDuplicateMessages{
    "There can only be one FVER chunk", "There can only be one COMM chunk",  "There can only be one SSND chunk",
    "There can only be one KEST chunk", "There can only be one ID3v2 chunk", "There can only be one AESD chunk"};

// The COMM fields before the compression name: 18 bytes in AIFF, and the
// compression type and the name's count byte in AIFF-C.
constexpr std::uint32_t kAiffCommBytes = 18;
constexpr std::uint32_t kAifcCommBytes = 23;
constexpr std::uint32_t kAesdBytes = 24;

struct ChunkSpot {
    bool present = false;
    std::uint64_t position = 0;   // of the chunk header
    std::uint32_t size = 0;       // of the data
};

class AiffReader {
public:
    AiffReader(AudioFile& job, const ByteSource& source) : job_(job), log_(job.platform.log), source_(source) {}

    void run(bool headerOnly)
    {
        job_.srcEndianessValues = kEndianBig;
        if (!readFormHeader() || !walkChunks() || !checkFver() || !readComm() || !readSsnd(headerOnly))
            return;
        readMark(headerOnly);
        readID3();
        readAesd();
    }

private:
    bool fail(std::string_view message, int bit)
    {
        log_.error(message);
        job_.error |= bit;
        return false;
    }

    bool aifc() const { return job_.srcFileType == kFileAifc; }

    bool readFormHeader()
    {
        log_.info("Analysing FORM chunk");
        std::vector<std::uint8_t> header;
        source_.readInto(0, std::min<std::uint64_t>(12, source_.size()), header);
        if (!bytes::hasFourCC(header, 0, "FORM"))
            return fail(formatText("Unexpected chunk ID: %4.4s", fieldText(header, 4).c_str()), kErrorHeader);
        if (header.size() < 12)
            return fail("The FORM header is truncated", kErrorHeader);
        const std::uint32_t size = *bytes::readU32BE(header, 4);
        log_.info(formatText(" ckID = %4.4s", "FORM"));
        log_.info(formatText(" ckDataSize = %x (hex) %i (dec)", size, static_cast<int>(size)));
        if (bytes::hasFourCC(header, 8, "AIFC")) {
            job_.srcFileType = kFileAifc;
            log_.info(" formType = AIFC");
            job_.setTableText(TableText::FileType, "AIFF-C audio");
        } else if (bytes::hasFourCC(header, 8, "AIFF")) {
            job_.srcFileType = kFileAiff;
            log_.info(" formType = AIFF");
            job_.setTableText(TableText::FileType, "AIFF audio");
        } else {
            job_.srcFileType = kFileUnsupported;
            return fail("formType = file_unknown", kErrorHeader);
        }
        job_.postRefresh();
        log_.info(" FORM chunk is good");
        return true;
    }

    bool walkChunks()
    {
        const std::uint64_t length = source_.size();
        std::uint64_t position = 12;
        std::uint64_t discarded = 0;
        log_.info("Eumerating remaining chunks");
        job_.discardBytes = 0;
        job_.srcSkippedMetadata.clear();
        // Each turn moves at least 8 bytes on, so the walk ends.
        while (position + 8 < length) {
            std::array<std::uint8_t, 8> header{};
            if (!source_.read(position, header))
                return fail("Cannot read the file", kErrorOpen);
            const std::uint32_t size = *bytes::readU32BE(header, 4);
            // A header that cannot be real ends the walk, keeping the chunks
            // already found: an all-zero ID (a zero-filled tail would
            // otherwise be walked 8 bytes and one read at a time), or an
            // unknown chunk running past the end.
            if (header[0] == 0 && header[1] == 0 && header[2] == 0 && header[3] == 0) {
                log_.warning(formatText("No chunk at offset %llu (zero bytes); the rest of the file is ignored",
                                        static_cast<unsigned long long>(position)));
                break;
            }
            log_.info(formatText(" ckID = %4.4s", fieldText(header, 4).c_str()));
            const auto known = std::find_if(kRetainedIds.begin(), kRetainedIds.end(),
                                            [&](std::string_view id) { return bytes::hasFourCC(header, 0, id); });
            if (known == kRetainedIds.end() && position + 8 + std::uint64_t{size} > length) {
                log_.warning(formatText("Chunk '%4.4s' at offset %llu runs past the end; the rest of the file is ignored",
                                        fieldText(header, 4).c_str(), static_cast<unsigned long long>(position)));
                break;
            }
            if (known != kRetainedIds.end()) {
                const auto which = static_cast<std::size_t>(known - kRetainedIds.begin());
                if (spots_[which].present)
                    return fail(kDuplicateMessages[which], kErrorHeader);
                spots_[which] = {true, position, size};
            } else {
                log_.info(" Discarding chunk");
                discarded += 8 + std::uint64_t{size};
                if (const std::string id = fieldText(header, 4); !isFillerChunk(id))
                    job_.srcSkippedMetadata.push_back(id);
            }
            log_.info(formatText(" ckDataSize = %x (hex) %i (dec)", size, static_cast<int>(size)));
            position += 8 + std::uint64_t{size};
            if (position > length)
                return fail("Chunk length overruns the file length", kErrorHeader);
            if ((size & 1) != 0 && position != length) {
                log_.warning("Chunk has an odd number of bytes");
                ++position;
            }
            log_.info(formatText(" %lli bytes remaining", static_cast<long long>(length - position)));
        }
        job_.discardBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(discarded, 0xFFFFFFFF));
        log_.info(formatText(" Bytes from unknown chunks = %x (hex) %u (dec)", job_.discardBytes, job_.discardBytes));
        return true;
    }

    // Header and at most `dataBytes` data bytes of a retained chunk, whose
    // extent the walk has checked.
    bool readChunk(Retained which, std::uint64_t dataBytes, std::vector<std::uint8_t>& chunk)
    {
        const ChunkSpot& spot = spots_[which];
        if (source_.readInto(spot.position, 8 + std::min<std::uint64_t>(dataBytes, spot.size), chunk))
            return true;
        return fail("Cannot read the file", kErrorOpen);
    }

    void logHeader(Retained which)
    {
        log_.info(formatText(" ckID = %.4s", kRetainedIds[which].data()));
        log_.info(formatText(" ckDataSize = %x (hex) %i (dec)", spots_[which].size,
                             static_cast<int>(spots_[which].size)));
    }

    bool checkFver()
    {
        if (aifc() && !spots_[kFver].present)
            return fail("This AIFC file is missing an FVER chunk", kErrorHeader);
        if (!aifc() && spots_[kFver].present)
            return fail("This AIFF file incorrectly has an FVER chunk", kErrorHeader);
        if (!aifc())
            return true;
        log_.info("Analysing FVER chunk");
        logHeader(kFver);
        if (spots_[kFver].size != 4)
            return fail("Unexpected ckDataSize", kErrorHeader);
        std::vector<std::uint8_t> chunk;
        if (!readChunk(kFver, 4, chunk))
            return false;
        const std::uint32_t timestamp = *bytes::readU32BE(chunk, 8);
        if (timestamp != kAifcVersion1)
            return fail(formatText("Unexpected timestamp: %x (hex) %u (dec)", timestamp, timestamp), kErrorHeader);
        log_.info(formatText(" timestamp = AIFCVersion1: %x (hex) %u (dec)", timestamp, timestamp));
        log_.info(" FVER chunk is good");
        return true;
    }

    bool readComm()
    {
        if (!spots_[kComm].present)
            return fail("This file is missing a COMM chunk", kErrorHeader);
        log_.info("Analysing COMM chunk");
        logHeader(kComm);
        // The longest COMM: the fixed fields and a name of 255 characters.
        std::vector<std::uint8_t> chunk;
        if (!readChunk(kComm, kAifcCommBytes + 255, chunk))
            return false;
        const auto data = std::span<const std::uint8_t>(chunk).subspan(8);
        if (data.size() < (aifc() ? kAifcCommBytes : kAiffCommBytes) ||
            (aifc() && data.size() < kAifcCommBytes + std::size_t{data[22]}))
            return fail("The COMM chunk is shorter than its fields", kErrorHeader);

        job_.srcChannels = *bytes::readBE<std::uint16_t>(data, 0);
        job_.srcFrames = *bytes::readU32BE(data, 2);
        job_.srcSampleBits = *bytes::readBE<std::uint16_t>(data, 6);
        job_.srcSampleBytes = (job_.srcSampleBits + 7) / 8;
        log_.info(formatText(" Channels = %x (hex) %u (dec)", job_.srcChannels, job_.srcChannels));
        log_.info(formatText(" Sample frames = %x (hex) %u (dec)", job_.srcFrames, job_.srcFrames));
        log_.info(formatText(" Sample bits = %x (hex) %u (dec)", job_.srcSampleBits, job_.srcSampleBits));
        // The frame size would be zero: nothing to read, and no duration.
        if (job_.srcChannels == 0 || job_.srcSampleBits == 0)
            return fail("The COMM chunk gives no channels or no sample bits", kErrorHeader);
        if (job_.srcSampleBits > 32) {
            log_.error("Sample size must be in the range 1-32");
            job_.error |= kErrorBitDepth;
        }
        log_.info(formatText(" Sample bytes = %x (hex) %u (dec)", job_.srcSampleBytes, job_.srcSampleBytes));

        if (!readRate(data.subspan<8, 10>()))
            return false;

        if (!aifc()) {
            job_.srcEndianessData = kEndianBig;
        } else {
            log_.info(formatText(" compressionType = %4.4s", fieldText(data.subspan(18), 4).c_str()));
            if (bytes::hasFourCC(data, 18, "sowt")) {
                job_.srcEndianessData = kEndianLittle;
            } else if (bytes::hasFourCC(data, 18, "NONE")) {
                job_.srcEndianessData = kEndianBig;
            } else {
                log_.error("compressionType is not supported");
                job_.error |= kErrorCompression;
            }
            const std::string name(reinterpret_cast<const char*>(data.data()) + kAifcCommBytes, data[22]);
            log_.info(" compressionName = '" + name + "'");
        }
        const std::uint64_t audioBytes = audioByteCount();
        log_.info(formatText(" Audio data is %u bytes", static_cast<unsigned>(audioBytes)));
        log_.info(" COMM chunk is good");
        return true;
    }

    bool readRate(std::span<const std::uint8_t, 10> field)
    {
        const unsigned sign = field[0] >> 7;
        const int biased = ((field[0] & 0x7F) << 8) | field[1];
        log_.info(formatText(" frameRateSign = %x (hex) %u (dec)", sign, sign));
        if (sign != 0) {
            log_.error("frameRateSign cannot be negative");
            job_.error |= kErrorFrameRate;
        }
        log_.info(formatText(" frameRateExponent (biased) = %x (hex) %i (dec)", biased, biased));
        const int exponent = biased - 16383;
        log_.info(formatText(" frameRateExponent = %x (hex) %u (dec)", exponent, exponent));
        std::string fraction = " frameRateFraction =";
        for (std::size_t i = 2; i < 10; ++i)
            fraction += formatText(" %02x", field[i]);
        log_.info(fraction);
        job_.srcFrameRate = decodeExtendedRate(field);
        log_.info(formatText(" Frame rate = %.1f", job_.srcFrameRate));
        // Durations divide by the rate: a rate of almost nothing (or
        // infinity) would make them meaningless. No real rate lies outside.
        if (!(job_.srcFrameRate >= 1 && job_.srcFrameRate <= 4294967295.0))
            return fail("Frame rate is out of range", kErrorFrameRate);
        return true;
    }

    std::uint64_t audioByteCount() const
    {
        return std::uint64_t{job_.srcChannels} * job_.srcFrames * job_.srcSampleBytes;
    }

    bool readSsnd(bool headerOnly)
    {
        const ChunkSpot& spot = spots_[kSsnd];
        if (!spot.present)
            return fail("This file is missing a SSND chunk", kErrorHeader);
        log_.info("Analysing SSND chunk");
        logHeader(kSsnd);
        std::vector<std::uint8_t> chunk;
        if (spot.size < 8)
            return fail("The SSND chunk is shorter than its fields", kErrorHeader);
        if (!readChunk(kSsnd, 8, chunk))
            return false;
        const std::uint32_t offset = *bytes::readU32BE(chunk, 8);
        const std::uint32_t blockSize = *bytes::readU32BE(chunk, 12);
        log_.info(formatText(" offset = %lx (hex) %li (dec)", static_cast<unsigned long>(offset),
                             static_cast<long>(offset)));
        log_.info(formatText(" blockSize = %lx (hex) %li (dec)", static_cast<unsigned long>(blockSize),
                             static_cast<long>(blockSize)));
        if (offset > spot.size - 8)
            return fail("The SSND offset lies past the end of the chunk", kErrorHeader);
        const std::uint64_t present = spot.size - 8 - std::uint64_t{offset};
        log_.info(formatText(" Audio data is %lu bytes", static_cast<unsigned long>(present)));
        const std::uint64_t needed = audioByteCount();
        if (present != needed)
            log_.warning("Discrepancy in audio data length between COMM and SSND");
        if (present < needed)
            return fail("The SSND chunk holds fewer sample bytes than COMM announces", kErrorHeader);
        if (!headerOnly) {
            log_.info(" Reading audio data");
            ByteBuffer samples;
            try {
                samples.resize(static_cast<std::size_t>(needed));
            } catch (const std::bad_alloc&) {
                return fail("Memory allocation", kErrorMemory);
            }
            if (!source_.read(spot.position + 16 + offset, samples))
                return fail("Cannot read the file", kErrorOpen);
            // Moved in rather than copied (CreateSrcAudioData), which would
            // fault in a second image of the samples; `needed` is the size
            // that copy checks.
            job_.srcAudioData = std::move(samples);
        }
        log_.info(" SSND chunk is good");
        return true;
    }

    void readMark(bool headerOnly)
    {
        if (!spots_[kKest].present)
            return;
        log_.info("Analysing KEST chunk");
        std::vector<std::uint8_t> chunk;
        if (!readChunk(kKest, kMarkDataBytes, chunk))
            return;
        job_.ReadMetadataChunk(std::span<const std::uint8_t>(chunk).subspan(8), headerOnly);
        log_.info(" KEST chunk is good");
    }

    void readID3()
    {
        if (!spots_[kID3].present)
            return;
        log_.info("Analysing ID3v2 chunk");
        logHeader(kID3);
        if (job_.srcID3ChunkData.empty()) {
            std::vector<std::uint8_t> chunk;
            if (!readChunk(kID3, spots_[kID3].size, chunk))
                return;
            job_.srcID3ChunkData = std::move(chunk);
        }
        log_.info(" ID3v2 chunk is good");
    }

    void readAesd()
    {
        if (!spots_[kAesd].present)
            return;
        log_.info("Analysing AESD chunk");
        logHeader(kAesd);
        if (spots_[kAesd].size != kAesdBytes) {
            fail("Unexpected ckDataSize", kErrorHeader);
            return;
        }
        std::vector<std::uint8_t> chunk;
        if (!readChunk(kAesd, 1, chunk))
            return;
        const std::uint8_t status = chunk[8];
        log_.info(formatText(" AESChannelStatusData[0] = %x (hex)", status));
        if ((status & 1) == 0) {
            log_.info(" S/PDIF data detected");
        } else {
            log_.info(" AES/EBU channel status data detected");
            switch ((status >> 2) & 7) {
            case 0:
                log_.info(" Emphasis not indicated");
                break;
            case 4:
                log_.info(" No emphasis");
                break;
            case 6:
                log_.info(" CD pre-emphasis (50/15 \u03bcs) detected");
                job_.warning |= kWarningCdEmphasis;
                break;
            case 7:
                log_.info(" CCITT J.17 emphasis detected");
                job_.warning |= kWarningJ17Emphasis;
                break;
            default:
                log_.warning("Unexpected state in encoded audio signal emphasis flags");
                break;
            }
        }
        // The destination has no place for it.
        job_.srcSkippedMetadata.emplace_back("AESD");
        log_.info(" AESD chunk is good");
    }

    AudioFile& job_;
    Log& log_;
    const ByteSource& source_;
    std::array<ChunkSpot, kRetainedCount> spots_{};
};

constexpr const char* kWriterMethod = "-[AudioFile CreateDestBufferAIFC:]";

}  // namespace

void AudioFile::AnalyseAIFC(bool headerOnly)
{
    const std::unique_ptr<FileByteSource> source = FileByteSource::open(inputFile);
    if (!source) {
        platform.log.error("Cannot open file: " + inputFile);
        error |= kErrorOpen;
        return;
    }
    AiffReader(*this, *source).run(headerOnly);
}

void AudioFile::AnalyseAIFCImage(std::span<const std::uint8_t> image, bool headerOnly)
{
    const MemoryByteSource source(image);
    AiffReader(*this, source).run(headerOnly);
}

void AudioFile::CreateDestBufferAIFC(ByteBuffer& buffer)
{
    const bool aifc = dstFileType == kFileAifc;
    if (!aifc && dstFileType != kFileAiff)
        raiseAssertion("Unexpected destination file type in %s", kWriterMethod);
    // AIFF samples are big-endian; AIFF-C says which order in COMM.
    if (dstEndianessValues != kEndianBig || (!aifc && dstEndianessData != kEndianBig))
        raiseAssertion("Unexpected destination endianess in %s", kWriterMethod);
    const std::uint64_t frameBytes = std::uint64_t{dstChannelsData} * dstSampleBytes;
    if (dstAudioData.size() < frameBytes * dstFrames)
        raiseAssertion("Unexpected dstAudioData length in %s", kWriterMethod);

    const AiffImagePlan plan = planAiffImage(aifc, dstFrames, frameBytes, carriedID3ChunkSize());
    if (plan.truncated)
        truncateDestinationAudio(plan.frames);

    const std::size_t before = buffer.size();
    const int errorBefore = error;
    try {
        buffer.reserve(before + 8 + plan.formSize - (spliceDestinationAudio ? plan.audioBytes : 0));
        bytes::appendText(buffer, "FORM");
        bytes::appendBE(buffer, static_cast<std::uint32_t>(plan.formSize));
        bytes::appendText(buffer, aifc ? "AIFC" : "AIFF");
        if (aifc) {
            bytes::appendText(buffer, "FVER");
            bytes::appendBE(buffer, std::uint32_t{4});
            bytes::appendBE(buffer, kAifcVersion1);
        }
        bytes::appendText(buffer, "COMM");
        bytes::appendBE(buffer, std::uint32_t{aifc ? 24u : 18u});
        bytes::appendBE(buffer, static_cast<std::uint16_t>(dstChannelsData));
        bytes::appendBE(buffer, static_cast<std::uint32_t>(plan.frames));
        bytes::appendBE(buffer, static_cast<std::uint16_t>(dstSampleBits));
        const std::array<std::uint8_t, 10> rate = encodeExtendedRate(dstFrameRate);
        buffer.insert(buffer.end(), rate.begin(), rate.end());
        if (aifc) {
            bytes::appendText(buffer, dstEndianessData == kEndianBig ? "NONE" : "sowt");
            // An empty compression name: its count byte and the pad byte.
            buffer.insert(buffer.end(), 2, 0);
        }
        bytes::appendText(buffer, "SSND");
        bytes::appendBE(buffer, static_cast<std::uint32_t>(plan.audioBytes + 8));
        bytes::appendBE(buffer, std::uint32_t{0});   // offset
        bytes::appendBE(buffer, std::uint32_t{0});   // blockSize
        appendDestinationAudio(buffer, plan.audioBytes);
        if (plan.audioBytes & 1)
            buffer.push_back(0);
    } catch (const std::bad_alloc&) {
        buffer.resize(before);
        platform.log.error("Memory allocation");
        error |= kErrorMemory;
        return;
    }
    CreateMetadataChunk(buffer);
    const std::size_t start = buffer.size();
    CreateID3Chunk(buffer, plan.id3Bytes);
    if (((buffer.size() - start) & 1) != 0)
        buffer.push_back(0);
    if ((error & ~errorBefore) & kErrorMemory)
        buffer.resize(before);
}

}  // namespace auralune

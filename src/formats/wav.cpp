#include "formats/wav.h"

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "formats/byte_source.h"
#include "engine/text_format.h"
#include "formats/processing_mark.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>

namespace auralune {

WavImagePlan planWavImage(std::uint64_t frames, std::uint64_t bytesPerFrame, std::uint64_t bextBytes,
                          std::uint64_t ixmlBytes, std::uint64_t id3Bytes)
{
    WavImagePlan plan{frames, 0, bextBytes, ixmlBytes, id3Bytes, 0, false, false};
    // Real images stay far below 2^40 bytes; capping every operand there
    // keeps the sums below exact for any input.
    constexpr std::uint64_t kCap = std::uint64_t{1} << 40;
    if (wavRiffSize(0, std::min(bextBytes, kCap), std::min(ixmlBytes, kCap), std::min(id3Bytes, kCap)) >
        kRiffSizeLimit) {
        plan.bextBytes = plan.ixmlBytes = plan.id3Bytes = 0;
        plan.metadataDropped = true;
    }
    plan.frames = (bytesPerFrame == 0 || bytesPerFrame > kCap) ? 0 : std::min(frames, kCap / bytesPerFrame);
    plan.audioBytes = plan.frames * bytesPerFrame;
    plan.riffSize = wavRiffSize(plan.audioBytes, plan.bextBytes, plan.ixmlBytes, plan.id3Bytes);
    if (plan.riffSize <= kRiffSizeLimit)
        return plan;

    plan.truncated = true;
    const std::uint64_t excess = plan.riffSize - kRiffSizeLimit;
    std::uint64_t cutFrames = std::min((excess + bytesPerFrame - 1) / bytesPerFrame, plan.frames);
    for (;;) {
        plan.frames -= cutFrames;
        plan.audioBytes = plan.frames * bytesPerFrame;
        plan.riffSize = wavRiffSize(plan.audioBytes, plan.bextBytes, plan.ixmlBytes, plan.id3Bytes);
        if (plan.riffSize <= kRiffSizeLimit || plan.frames == 0)
            return plan;
        // The shortened audio has an odd length and its pad byte overruns.
        cutFrames = 1;
    }
}

bytes::Buffer wavHeader(const WavFormatFields& format, std::uint32_t audioBytes, std::uint32_t riffSize)
{
    bytes::Buffer header;
    header.reserve(kWavHeaderBytes);
    bytes::appendText(header, "RIFF");
    bytes::appendLE(header, riffSize);
    bytes::appendText(header, "WAVE");
    bytes::appendText(header, "fmt ");
    bytes::appendLE(header, std::uint32_t{16});
    bytes::appendLE(header, std::uint16_t{1});   // PCM, also for 24-bit and six channels
    bytes::appendLE(header, format.channels);
    bytes::appendLE(header, format.frameRate);
    const std::uint32_t frameBytes = std::uint32_t{format.channels} * format.sampleBytes;
    bytes::appendLE(header, format.frameRate * frameBytes);
    bytes::appendLE(header, static_cast<std::uint16_t>(frameBytes));
    bytes::appendLE(header, format.sampleBits);
    bytes::appendText(header, "data");
    bytes::appendLE(header, audioBytes);
    return header;
}

namespace {

// The chunks a reader keeps, in the order they are analysed.
enum Retained : std::size_t { kFmt, kData, kKest, kBext, kIXML, kID3, kRetainedCount };
constexpr std::array<std::string_view, kRetainedCount> kRetainedIds{"fmt ", "data", "KEST", "bext", "iXML", "ID3 "};
constexpr std::array<std::string_view, kRetainedCount> kDuplicateMessages{
    "There can only be one FMT chunk",  "There can only be one DATA chunk", "There can only be one KEST chunk",
    "There can only be one BEXT chunk", "There can only be one iXML chunk", "There can only be one ID3v2 chunk"};

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

struct ChunkSpot {
    bool present = false;
    std::uint64_t position = 0;   // of the chunk header
    std::uint32_t size = 0;       // of the data
};

std::string chunkIdText(std::span<const std::uint8_t> id)
{
    return formatText(" ckID = %4.4s", fieldText(id, 4).c_str());
}

std::string chunkSizeText(std::uint32_t size)
{
    return formatText(" ckDataSize = %x (hex) %i (dec)", size, static_cast<int>(size));
}

// Chunks listed one by one in the log; the rest are only counted.
constexpr std::uint64_t kListedChunks = 1000;

std::string printableId(std::span<const std::uint8_t> id)
{
    std::string text;
    for (std::size_t i = 0; i < 4 && i < id.size(); ++i)
        text += (id[i] >= 0x20 && id[i] < 0x7f) ? static_cast<char>(id[i]) : '?';
    return "'" + text + "'";
}

// Chunk headers read through a window of the file, refilled by one bounded
// read whenever a header lies outside it.
class HeaderWindow {
public:
    explicit HeaderWindow(const ByteSource& source) : source_(source) {}

    std::optional<std::array<std::uint8_t, 8>> header(std::uint64_t position)
    {
        if (position < start_ || position + 8 > start_ + bytes_.size()) {
            const std::uint64_t count = std::min<std::uint64_t>(kWindowBytes, source_.size() - position);
            if (count < 8 || !source_.readInto(position, count, bytes_)) {
                bytes_.clear();
                return std::nullopt;
            }
            start_ = position;
        }
        std::array<std::uint8_t, 8> out{};
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position - start_), 8, out.begin());
        return out;
    }

private:
    static constexpr std::uint64_t kWindowBytes = 64 * 1024;
    const ByteSource& source_;
    std::uint64_t start_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// One read of a RIFF/WAVE source into its job. Every step returns false
// when it has set an error bit and the read must stop.
class WavReader {
public:
    WavReader(AudioFile& job, const ByteSource& source) : job_(job), log_(job.platform.log), source_(source) {}

    void run(bool headerOnly)
    {
        job_.srcEndianessValues = kEndianLittle;
        job_.srcEndianessData = kEndianLittle;
        if (!readRiffHeader() || !walkChunks() || !readFmt() || !readData(headerOnly))
            return;
        readMark(headerOnly);
        readCarried(kBext, "Analysing Broadcast Wave chunk", "BEXT", job_.srcBextChunkData);
        readCarried(kIXML, "Analysing iXML chunk", "iXML", job_.srcIXMLChunkData);
        readCarried(kID3, "Analysing ID3v2 chunk", "ID3v2", job_.srcID3ChunkData);
    }

private:
    bool fail(std::string_view message, int bit)
    {
        log_.error(message);
        job_.error |= bit;
        return false;
    }

    bool readRiffHeader()
    {
        log_.info("Analysing RIFF chunk");
        std::vector<std::uint8_t> header;
        source_.readInto(0, std::min<std::uint64_t>(12, source_.size()), header);
        if (!bytes::hasFourCC(header, 0, "RIFF"))
            return fail(formatText("Unexpected chunk ID: %4.4s", fieldText(header, 4).c_str()), kErrorHeader);
        if (header.size() < 12)
            return fail("The RIFF header is truncated", kErrorHeader);
        log_.info(chunkIdText(header));
        log_.info(chunkSizeText(*bytes::readU32LE(header, 4)));
        if (!bytes::hasFourCC(header, 8, "WAVE")) {
            job_.srcFileType = kFileUnsupported;
            return fail("format = file_unknown", kErrorHeader);
        }
        job_.srcFileType = kFileWav;
        log_.info(" format = WAV");
        log_.info(" RIFF chunk is good");
        return true;
    }

    // The walk costs at most one bounded read per chunk: headers come out of
    // a read-ahead window, so a file of many tiny chunks is read in large
    // pieces. A header that cannot be real (an all-zero ID, as a zero-filled
    // tail gives, or an unknown chunk whose size runs past the end) ends the
    // walk with a warning, keeping the chunks already found.
    bool walkChunks()
    {
        const std::uint64_t length = source_.size();
        std::uint64_t position = 12;
        std::uint64_t discarded = 0;
        std::uint64_t chunks = 0;
        log_.info("Eumerating remaining chunks");
        job_.discardBytes = 0;
        job_.srcSkippedMetadata.clear();
        if (position + 8 >= length) {
            log_.info(" Bytes from unknown chunks = 0 (hex) 0 (dec)");
            return fail("This file is missing a data chunk", kErrorHeader);
        }
        HeaderWindow window(source_);
        // Each turn moves at least 8 bytes on, so the walk ends.
        while (position + 8 < length) {
            const std::optional<std::array<std::uint8_t, 8>> read = window.header(position);
            if (!read)
                return fail("Cannot read the file", kErrorOpen);
            const std::array<std::uint8_t, 8>& header = *read;
            const std::uint32_t size = *bytes::readU32LE(header, 4);
            if (header[0] == 0 && header[1] == 0 && header[2] == 0 && header[3] == 0) {
                log_.warning(formatText("No chunk at offset %llu (zero bytes); the rest of the file is ignored",
                                        static_cast<unsigned long long>(position)));
                break;
            }
            const auto known = std::find_if(kRetainedIds.begin(), kRetainedIds.end(),
                                            [&](std::string_view id) { return bytes::hasFourCC(header, 0, id); });
            const bool retained = known != kRetainedIds.end();
            if (!retained && position + 8 + std::uint64_t{size} > length) {
                log_.warning(formatText("Chunk %s at offset %llu runs past the end; the rest of the file is ignored",
                                        printableId(header).c_str(), static_cast<unsigned long long>(position)));
                break;
            }
            // Every chunk is listed up to a bound; a file of thousands of
            // small chunks would otherwise flood the log.
            const bool listed = ++chunks <= kListedChunks;
            if (listed)
                log_.info(chunkIdText(header));
            else if (chunks == kListedChunks + 1)
                log_.info(formatText(" Further chunks are not listed (more than %llu)",
                                     static_cast<unsigned long long>(kListedChunks)));
            if (retained) {
                ChunkSpot& spot = spots_[static_cast<std::size_t>(known - kRetainedIds.begin())];
                if (spot.present)
                    return fail(kDuplicateMessages[static_cast<std::size_t>(known - kRetainedIds.begin())],
                                kErrorHeader);
                spot = {true, position, size};
            } else {
                if (listed)
                    log_.info(" Discarding chunk");
                discarded += 8 + std::uint64_t{size};
                if (const std::string id = fieldText(header, 4); !isFillerChunk(id))
                    job_.srcSkippedMetadata.push_back(id);
            }
            if (listed)
                log_.info(chunkSizeText(size));
            position += 8 + std::uint64_t{size};
            if (position > length)
                return fail("Chunk length overruns the file length", kErrorHeader);
            if ((size & 1) != 0 && position != length) {
                if (listed)
                    log_.warning("Chunk has an odd number of bytes");
                ++position;
            }
            if (listed)
                log_.info(formatText(" %lli bytes remaining", static_cast<long long>(length - position)));
        }
        // Discarded chunks lie inside the file, so only a file past 4 GB can pass 32 bits.
        job_.discardBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(discarded, 0xFFFFFFFF));
        log_.info(formatText(" Bytes from unknown chunks = %x (hex) %u (dec)", job_.discardBytes, job_.discardBytes));
        return true;
    }

    // Header and data of a retained chunk, whose extent the walk has checked.
    bool readChunk(Retained which, std::uint64_t dataBytes, std::vector<std::uint8_t>& chunk)
    {
        if (source_.readInto(spots_[which].position, 8 + dataBytes, chunk))
            return true;
        return fail("Cannot read the file", kErrorOpen);
    }

    bool readFmt()
    {
        const ChunkSpot& spot = spots_[kFmt];
        if (!spot.present)
            return true;
        log_.info("Analysing fmt chunk");
        std::vector<std::uint8_t> chunk;
        if (!readChunk(kFmt, 0, chunk))
            return false;
        log_.info(chunkIdText(chunk));
        log_.info(chunkSizeText(spot.size));
        if (spot.size != 16 && spot.size != 18 && spot.size != 40)
            return fail(formatText("Unexpected ckDataSize: %u", spot.size), kErrorHeader);
        if (!readChunk(kFmt, spot.size, chunk))
            return false;
        const auto data = std::span<const std::uint8_t>(chunk).subspan(8);
        const auto u16 = [&](std::size_t at) { return bytes::readU16LE(data, at).value_or(0); };
        const auto u32 = [&](std::size_t at) { return bytes::readU32LE(data, at).value_or(0); };

        const std::uint16_t formatTag = u16(0);
        if (formatTag == kFormatPcm) {
            log_.info(formatText(" wFormatTag is %i (WAVE_FORMAT_PCM)", formatTag));
        } else if (formatTag == kFormatExtensible && spot.size == 40) {
            log_.info(formatText(" wFormatTag is %i (WAVE_FORMAT_EXTENSIBLE)", formatTag));
        } else {
            return fail(formatText("Unexpected wFormatTag: %x (hex) %u (dec), ckDataSize: %x (hex) %u (dec)", formatTag,
                                   formatTag, spot.size, spot.size),
                        kErrorCompression);
        }

        job_.srcChannels = u16(2);
        job_.srcFrameRate = u32(4);
        setSampleBits(u16(14));
        log_.info(formatText(" nChannels = %x (hex) %u (dec)", job_.srcChannels, job_.srcChannels));
        log_.info(formatText(" Frame rate = %.1f", job_.srcFrameRate));
        log_.info(formatText(" nAvgBytesPerSec = %x (hex) %u (dec)", u32(8), u32(8)));
        log_.info(formatText(" nBlockAlign = %x (hex) %u (dec)", u16(12), u16(12)));
        logSampleBits();

        if (spot.size != 16) {
            const std::uint16_t cbSize = u16(16);
            log_.info(formatText(" cbSize = %x (hex) %i (dec)", cbSize, cbSize));
            if (spot.size == 40 && cbSize == 22) {
                setSampleBits(u16(18));
                log_.info(formatText(" Valid sample bits = %x (hex) %u (dec)", job_.srcSampleBits, job_.srcSampleBits));
                log_.info(formatText(" Sample bytes = %x (hex) %u (dec)", job_.srcSampleBytes, job_.srcSampleBytes));
                const std::uint32_t mask = u32(20);
                log_.info(formatText(" Channel mask = %x (hex) %u (dec)", mask, mask));
                if (mask != 3)
                    log_.error(formatText("Channel mask should be %d", 3));
                const std::uint16_t subFormat = u16(24);
                log_.info(formatText(" wFormatTag is %x (hex) %u (dec)", subFormat, subFormat));
                if (subFormat != kFormatPcm)
                    return fail(formatText("Extensible file format (%u) is non-PCM", subFormat), kErrorCompression);
                log_.info(formatText(" Extensible file format (%u) is PCM", subFormat));
            } else if (cbSize != 0) {
                return fail(formatText("Unexpected cbSize: %u", cbSize), kErrorHeader);
            }
        }
        if (!checkContainer(u16(14), u16(12)))
            return false;
        log_.info(" fmt chunk is good");
        return true;
    }

    // Each sample sits in a container of wBitsPerSample bits (whole bytes),
    // its valid bits left-justified; a frame is nBlockAlign bytes, which must
    // be one container per channel (0 is taken as not given). Zero channels
    // or bits are refused later, with the data chunk.
    bool checkContainer(std::uint32_t containerBits, std::uint32_t blockAlign)
    {
        containerBytes_ = (containerBits + 7) / 8;
        if (job_.srcChannels == 0 || containerBits == 0 || job_.srcSampleBits == 0)
            return true;
        if (job_.srcSampleBits > containerBits)
            return fail(formatText("Valid sample bits (%u) exceed the container of %u bits", job_.srcSampleBits,
                                   containerBits),
                        kErrorBitDepth);
        const std::uint64_t frameBytes = std::uint64_t{containerBytes_} * job_.srcChannels;
        if (blockAlign != 0 && blockAlign != frameBytes)
            return fail(formatText("nBlockAlign (%u) is not %u channels of %u-byte samples", blockAlign,
                                   job_.srcChannels, containerBytes_),
                        kErrorHeader);
        if (containerBytes_ > job_.srcSampleBytes)
            log_.info(formatText(" Samples of %u bits in %u-byte containers", job_.srcSampleBits, containerBytes_));
        return true;
    }

    void setSampleBits(std::uint32_t bits)
    {
        job_.srcSampleBits = bits;
        job_.srcSampleBytes = (bits + 7) / 8;
    }

    void logSampleBits()
    {
        log_.info(formatText(" Sample bits = %x (hex) %u (dec)", job_.srcSampleBits, job_.srcSampleBits));
        log_.info(formatText(" Sample bytes = %x (hex) %u (dec)", job_.srcSampleBytes, job_.srcSampleBytes));
    }

    bool readData(bool headerOnly)
    {
        const ChunkSpot& spot = spots_[kData];
        if (!spot.present)
            return fail("This file is missing a data chunk", kErrorHeader);
        // The frame count divides by the frame size, which only fmt gives.
        if (!spots_[kFmt].present)
            return fail("This file is missing a fmt chunk", kErrorHeader);
        if (job_.srcChannels == 0 || job_.srcSampleBytes == 0 || containerBytes_ == 0)
            return fail("The fmt chunk gives no channels or no sample bits", kErrorHeader);

        log_.info("Analysing data chunk");
        log_.info(" ckID = data");
        log_.info(chunkSizeText(spot.size));
        const std::uint64_t frameBytes = std::uint64_t{containerBytes_} * job_.srcChannels;
        job_.srcFrames = static_cast<std::uint32_t>(spot.size / frameBytes);
        log_.info(formatText(" Sample frames = %x (hex) %u (dec)", job_.srcFrames, job_.srcFrames));
        log_.info(formatText(" Audio data is %u bytes", spot.size));
        const std::uint64_t audioBytes = frameBytes * job_.srcFrames;
        if (audioBytes != spot.size)
            log_.warning("Discrepancy in audio data length between fmt and data");
        if (!headerOnly) {
            log_.info(" Reading audio data");
            ByteBuffer samples;
            try {
                samples.resize(static_cast<std::size_t>(audioBytes));
            } catch (const std::bad_alloc&) {
                return fail("Memory allocation", kErrorMemory);
            }
            if (!source_.read(spot.position + 8, samples))
                return fail("Cannot read the file", kErrorOpen);
            keepValidBytes(samples);
            // Moved in rather than copied (CreateSrcAudioData), which would
            // fault in a second image of the samples; the same size check.
            if (samples.size() != std::uint64_t{job_.srcSampleBytes} * job_.srcChannels * job_.srcFrames)
                raiseAssertion("Unexpected dataSize in %s", "-[AudioFile CreateSrcAudioData::]");
            job_.srcAudioData = std::move(samples);
        }
        log_.info(" data chunk is good");
        return true;
    }

    // Samples wider than their valid bytes keep their upper bytes (the
    // valid bits are left-justified), in place: 24 bits in 32-bit words
    // become packed 24-bit samples.
    void keepValidBytes(ByteBuffer& samples) const
    {
        const std::size_t container = containerBytes_;
        const std::size_t kept = job_.srcSampleBytes;
        if (container <= kept)
            return;
        const std::size_t count = samples.size() / container;
        for (std::size_t i = 0; i < count; ++i)
            std::memmove(samples.data() + i * kept, samples.data() + i * container + (container - kept), kept);
        samples.resize(count * kept);
    }

    void readMark(bool headerOnly)
    {
        if (!spots_[kKest].present)
            return;
        log_.info("Analysing KEST chunk");
        // The mark needs at most 58 data bytes; any more are not read.
        std::vector<std::uint8_t> chunk;
        if (!readChunk(kKest, std::min<std::uint32_t>(spots_[kKest].size, kMarkDataBytes), chunk))
            return;
        job_.ReadMetadataChunk(std::span<const std::uint8_t>(chunk).subspan(8), headerOnly);
    }

    void readCarried(Retained which, std::string_view heading, std::string_view name, std::vector<std::uint8_t>& field)
    {
        const ChunkSpot& spot = spots_[which];
        if (!spot.present)
            return;
        log_.info(heading);
        std::vector<std::uint8_t> chunk;
        if (which == kBext) {
            if (!readChunk(which, 0, chunk))
                return;
            log_.info(chunkIdText(chunk));
            log_.info(chunkSizeText(spot.size));
            if (8 + std::uint64_t{spot.size} < kBextChunkBytes) {
                log_.warning(formatText(" BEXT chunk of %u bytes is too short and is not carried", spot.size));
                return;
            }
        }
        if (field.empty()) {
            if (!readChunk(which, spot.size, chunk))
                return;
            field = std::move(chunk);
        }
        log_.info(formatText(" %.*s chunk is good", static_cast<int>(name.size()), name.data()));
    }

    AudioFile& job_;
    Log& log_;
    const ByteSource& source_;
    std::array<ChunkSpot, kRetainedCount> spots_{};
    std::uint32_t containerBytes_ = 0;
};

}  // namespace

void AudioFile::AnalyseWAV(bool headerOnly)
{
    std::string cause;
    const std::unique_ptr<FileByteSource> source = FileByteSource::open(inputFile, &cause);
    if (!source) {
        platform.log.error("Cannot open file: " + inputFile + " (" + cause + ")");
        error |= kErrorOpen;
        setErrorCause(cause + ": " + inputFile);
        return;
    }
    WavReader(*this, *source).run(headerOnly);
}

void AudioFile::AnalyseWAVImage(std::span<const std::uint8_t> image, bool headerOnly)
{
    const MemoryByteSource source(image);
    WavReader(*this, source).run(headerOnly);
}

void AudioFile::CreateDestBufferWAV(ByteBuffer& buffer)
{
    const std::uint64_t frameBytes = std::uint64_t{dstChannelsData} * dstSampleBytes;
    if (dstAudioData.size() < frameBytes * dstFrames)
        raiseAssertion("Unexpected dstAudioData length in %s", "-[AudioFile CreateDestBufferWAV:]");
    WarnShortCarriedChunks();
    const WavImagePlan plan =
        planWavImage(dstFrames, frameBytes, carriedBextChunkSize(), carriedIXMLChunkSize(), carriedID3ChunkSize());

    if (plan.metadataDropped)
        platform.log.warning("Metadata chunks too large for the 4GB limit are left out");
    if (plan.truncated)
        truncateDestinationAudio(plan.frames);

    const std::size_t before = buffer.size();
    const int errorBefore = error;
    try {
        buffer.reserve(before + 8 + plan.riffSize - (spliceDestinationAudio ? plan.audioBytes : 0));
        const WavFormatFields format{
            static_cast<std::uint16_t>(dstChannelsData), static_cast<std::uint32_t>(dstFrameRate),
            static_cast<std::uint16_t>(dstSampleBytes), static_cast<std::uint16_t>(dstSampleBits)};
        const bytes::Buffer header =
            wavHeader(format, static_cast<std::uint32_t>(plan.audioBytes), static_cast<std::uint32_t>(plan.riffSize));
        buffer.insert(buffer.end(), header.begin(), header.end());
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
    const auto padAfter = [&buffer](std::size_t start) {
        if (((buffer.size() - start) & 1) != 0)
            buffer.push_back(0);
    };
    std::size_t start = buffer.size();
    CreateBextChunk(buffer, plan.bextBytes);
    padAfter(start);
    start = buffer.size();
    CreateIXMLChunk(buffer, plan.ixmlBytes);
    padAfter(start);
    start = buffer.size();
    CreateID3Chunk(buffer, plan.id3Bytes);
    padAfter(start);
    if ((error & ~errorBefore) & kErrorMemory)
        buffer.resize(before);
}

}  // namespace auralune

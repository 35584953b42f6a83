#include "formats/flac.h"

#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "formats/byte_io.h"
#include "formats/byte_source.h"
#include "formats/processing_mark.h"

#include <FLAC/format.h>
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>

namespace auralune {

std::string validUtf8(std::string_view bytes)
{
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
        const unsigned char lead = byte(i);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead >= 0x01 && lead <= 0x7F) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        }
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (byte(i + k) & 0xC0) == 0x80;
            code = (code << 6) | (byte(i + k) & 0x3Fu);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if (valid && ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
                      (length == 4 && (code < 0x10000 || code > 0x10FFFF))))
            valid = false;
        if (valid) {
            text.append(bytes.substr(i, length));
            i += length;
        } else {
            text.append(kReplacement);
            ++i;
        }
    }
    return text;
}

bool isVorbisCommentEntry(std::string_view entry)
{
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos)
        return false;
    return std::all_of(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(equals),
                       [](char c) { return c >= 0x20 && c <= 0x7D; });
}

std::vector<std::uint8_t> pictureNumber(std::uint32_t value)
{
    bytes::Buffer number;
    bytes::appendBE(number, value);
    return number;
}

std::uint32_t pictureNumberValue(const std::map<std::string, std::vector<std::uint8_t>>& picture,
                                 const std::string& key)
{
    const auto it = picture.find(key);
    return it == picture.end() ? 0 : bytes::readU32BE(it->second, 0).value_or(0);
}

namespace {

// The embedded chunks carried in APPLICATION blocks, in the order they are
// carried, with the names of their log lines.
enum Embedded : std::size_t { kKest, kID3, kBext, kIXML, kEmbeddedCount };
constexpr std::array<std::string_view, kEmbeddedCount> kEmbeddedIds{"KEST", "ID3 ", "bext", "iXML"};
constexpr std::array<std::string_view, kEmbeddedCount> kDuplicateMessages{
    "There can only be one KEST chunk", "There can only be one ID3v2 chunk", "There can only be one BEXT chunk",
    "There can only be one IXML chunk"};
constexpr std::array<std::string_view, kEmbeddedCount> kPresentMessages{
    "", " ID3v2 chunk is present", " BEXT chunk is present", " iXML chunk is present"};

// The embedded chunk must at least hold its 8-byte header.
constexpr std::uint32_t kEmbeddedHeaderBytes = 8;
// Error callbacks logged before the rest are only counted.
constexpr unsigned kLoggedDecodeErrors = 8;

struct EmbeddedChunk {
    bool littleEndianSize = true;   // application ID "riff"
    std::vector<std::uint8_t> chunk;
};

// Printable text of a four-byte ID from a file.
std::string idText(const std::uint8_t* id)
{
    std::string text(reinterpret_cast<const char*>(id), 4);
    for (char& c : text)
        if (c < 0x20 || c > 0x7E)
            c = '?';
    return text;
}

struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};

// One decode of a FLAC source: the libFLAC callbacks' client data.
class FlacReader {
public:
    FlacReader(AudioFile& job, const ByteSource& source) : job_(job), log_(job.platform.log), source_(source) {}

    void run(bool headerOnly)
    {
        job_.srcEndianessValues = kEndianLittle;
        job_.srcEndianessData = kEndianLittle;
        job_.srcSkippedMetadata.clear();
        const std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder(FLAC__stream_decoder_new());
        if (!decoder) {
            fail("Decode allocation failed", kErrorMemory);
            return;
        }
        FLAC__stream_decoder_set_md5_checking(decoder.get(), true);
        for (FLAC__MetadataType type : {FLAC__METADATA_TYPE_VORBIS_COMMENT, FLAC__METADATA_TYPE_APPLICATION,
                                        FLAC__METADATA_TYPE_PICTURE, FLAC__METADATA_TYPE_CUESHEET})
            FLAC__stream_decoder_set_metadata_respond(decoder.get(), type);
        const FLAC__StreamDecoderInitStatus init = FLAC__stream_decoder_init_stream(
            decoder.get(), &FlacReader::read, nullptr, nullptr, nullptr, nullptr, &FlacReader::write,
            &FlacReader::metadata, &FlacReader::error, this);
        if (init != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
            // Refused like a file that cannot be read, not passed off as empty.
            fail(std::string("Decode initialisation failure: ") + FLAC__StreamDecoderInitStatusString[init],
                 kErrorOpen);
            return;
        }
        headerOnly_ = headerOnly;
        if (headerOnly) {
            if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder.get())) {
                fail(std::string("FLAC metadata read failed: ") + stateText(decoder.get()), kErrorOpen);
                return;
            }
            if (memoryFailed_) {
                fail("Memory allocation", kErrorMemory);
                return;
            }
        } else if (!decodeSamples(decoder.get())) {
            return;
        }
        if (!copyStreamInfo())
            return;
        if (headerOnly)
            carryMetadata();
        else
            handOverSamples();
    }

private:
    bool fail(const std::string& message, int bit)
    {
        log_.error(message);
        job_.error |= bit;
        return false;
    }

    static const char* stateText(const FLAC__StreamDecoder* decoder)
    {
        return FLAC__StreamDecoderStateString[FLAC__stream_decoder_get_state(decoder)];
    }

    // The whole stream. A stream that cannot be decoded exactly (a damaged
    // frame, a failed MD5 check, fewer or more samples than STREAMINFO
    // announced) is refused rather than converted with samples missing.
    bool decodeSamples(FLAC__StreamDecoder* decoder)
    {
        const bool decoded = FLAC__stream_decoder_process_until_end_of_stream(decoder) != 0;
        const std::string state = stateText(decoder);
        const bool md5Matches = FLAC__stream_decoder_finish(decoder) != 0;
        if (memoryFailed_)
            return fail("Memory allocation", kErrorMemory);
        if (!decoded || decodeErrors_ != 0 || badFrame_) {
            if (decodeErrors_ > kLoggedDecodeErrors)
                log_.error(formatText("%u decode errors in all", decodeErrors_));
            return fail("Metadata read failed: " + state, kErrorOpen);
        }
        if (!md5Matches)
            return fail("FLAC MD5 signature mismatch", kErrorOpen);
        if (streamInfo_ && totalSamples_ != 0 && frames_ != totalSamples_)
            return fail(formatText("FLAC stream holds %llu of the %llu sample frames its stream info announces",
                                   static_cast<unsigned long long>(frames_),
                                   static_cast<unsigned long long>(totalSamples_)),
                        kErrorOpen);
        return true;
    }

    bool copyStreamInfo()
    {
        if (!streamInfo_)
            return fail("This file is missing a FLAC stream info block", kErrorHeader);
        // A stream of unknown length (0 in STREAMINFO) counts what it holds.
        const std::uint64_t frames = totalSamples_ != 0 || headerOnly_ ? totalSamples_ : frames_;
        if (frames > 0xFFFFFFFF)
            return fail("FLAC stream is too long", kErrorHeader);
        job_.srcChannels = channels_;
        job_.srcFrames = static_cast<std::uint32_t>(frames);
        job_.srcSampleBits = bits_;
        job_.srcSampleBytes = bytesPerSample_;
        job_.srcFrameRate = rate_;
        if (bits_ < 1 || bits_ > 32) {
            log_.error("Sample size must be in the range 1-32");
            job_.error |= kErrorBitDepth;
        }
        log_.info(formatText(" Channels = %x (hex) %u (dec)", job_.srcChannels, job_.srcChannels));
        log_.info(formatText(" Sample frames = %x (hex) %u (dec)", job_.srcFrames, job_.srcFrames));
        log_.info(formatText(" Sample bits = %x (hex) %u (dec)", job_.srcSampleBits, job_.srcSampleBits));
        log_.info(formatText(" Sample bytes = %x (hex) %u (dec)", job_.srcSampleBytes, job_.srcSampleBytes));
        log_.info(formatText(" Frame rate = %f", job_.srcFrameRate));
        const std::uint64_t audioBytes = std::uint64_t{job_.srcChannels} * job_.srcFrames * job_.srcSampleBytes;
        log_.info(formatText(" Audio data is %u bytes", static_cast<unsigned>(audioBytes)));
        return true;
    }

    void carryMetadata()
    {
        for (std::size_t which = 0; which < kEmbeddedCount; ++which) {
            if (!embedded_[which])
                continue;
            const EmbeddedChunk& found = *embedded_[which];
            if (which != kKest)
                log_.info(kPresentMessages[which]);
            const std::span<const std::uint8_t> chunk(found.chunk);
            const std::uint32_t size = found.littleEndianSize ? *bytes::readU32LE(chunk, 4) : *bytes::readU32BE(chunk, 4);
            log_.info(formatText(" ckID = %4.4s", idText(chunk.data()).c_str()));
            log_.info(formatText(" ckDataSize = %x (hex) %i (dec)", size, static_cast<int>(size)));
            const auto metaLength = static_cast<std::uint32_t>(chunk.size() - kEmbeddedHeaderBytes);
            log_.info(formatText(" metaLength = %x (hex) %i (dec)", metaLength, static_cast<int>(metaLength)));
            switch (which) {
            case kKest:
                job_.ReadMetadataChunk(chunk.subspan(kEmbeddedHeaderBytes), true);
                log_.info(" KEST chunk is good");
                break;
            case kID3:
                job_.srcID3ChunkData = found.chunk;
                break;
            case kBext:
                job_.srcBextChunkData = found.chunk;
                break;
            default:
                job_.srcIXMLChunkData = found.chunk;
                break;
            }
        }
        if (vorbisPresent_) {
            log_.info(" Vorbis comment metadata is present");
            job_.srcVorbisCommentsPresent = true;
            job_.srcVorbisComments = comments_;
        }
        if (!picture_.empty()) {
            log_.info(" Picture metadata is present");
            job_.srcPictureChunkDict = picture_;
        }
    }

    void handOverSamples()
    {
        job_.CreateSrcAudioData(samples_.data(), samples_.size());
    }

    // ---- libFLAC callbacks

    static FLAC__StreamDecoderReadStatus read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* count,
                                              void* client)
    {
        auto& self = *static_cast<FlacReader*>(client);
        if (*count == 0)
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        const std::uint64_t left = self.source_.size() - self.position_;
        const auto got = static_cast<std::size_t>(std::min<std::uint64_t>(*count, left));
        *count = got;
        if (got == 0)
            return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        if (!self.source_.read(self.position_, std::span<std::uint8_t>(buffer, got)))
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        self.position_ += got;
        return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }

    static FLAC__StreamDecoderWriteStatus write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const channelSamples[], void* client)
    {
        auto& self = *static_cast<FlacReader*>(client);
        return self.appendFrame(*frame, channelSamples) ? FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE
                                                        : FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }

    bool appendFrame(const FLAC__Frame& frame, const FLAC__int32* const channelSamples[])
    {
        const unsigned blockSize = frame.header.blocksize;
        // Every frame must match the stream it belongs to: its samples are
        // interleaved into frames of the stream's channels and width.
        if (!streamInfo_ || frame.header.channels != channels_ || frame.header.bits_per_sample != bits_ ||
            (bytesPerSample_ != 2 && bytesPerSample_ != 3) ||
            (totalSamples_ != 0 && frames_ + blockSize > totalSamples_)) {
            badFrame_ = true;
            return false;
        }
        const std::size_t frameBytes = std::size_t{channels_} * bytesPerSample_;
        const std::size_t used = samples_.size();
        const std::size_t needed = used + std::size_t{blockSize} * frameBytes;
        try {
            if (needed > samples_.capacity())
                samples_.reserve(grownCapacity(needed, frameBytes));
            samples_.resize(needed);
        } catch (const std::bad_alloc&) {
            memoryFailed_ = true;
            return false;
        }
        if (bytesPerSample_ == 2)
            interleave<2>(channelSamples, blockSize, samples_.data() + used);
        else
            interleave<3>(channelSamples, blockSize, samples_.data() + used);
        frames_ += blockSize;
        return true;
    }

    // The low bytes of each decoded sample, little-endian, frame by frame.
    template <unsigned kWidth>
    void interleave(const FLAC__int32* const channelSamples[], unsigned blockSize, std::uint8_t* out) const
    {
        for (unsigned n = 0; n < blockSize; ++n)
            for (unsigned c = 0; c < channels_; ++c, out += kWidth) {
                const auto value = static_cast<std::uint32_t>(channelSamples[c][n]);
                out[0] = static_cast<std::uint8_t>(value);
                out[1] = static_cast<std::uint8_t>(value >> 8);
                if constexpr (kWidth == 3)
                    out[2] = static_cast<std::uint8_t>(value >> 16);
            }
    }

    // The announced size at once when it is plausible for the file (FLAC
    // rarely packs more than 64:1, silence aside); otherwise growth by half
    // again, never past the announced size, so that a lying STREAMINFO
    // cannot make the reader allocate more than the stream really holds.
    std::size_t grownCapacity(std::size_t needed, std::size_t frameBytes) const
    {
        const std::uint64_t announced = totalSamples_ * frameBytes;
        const std::uint64_t plausible = 64 * source_.size() + (std::uint64_t{1} << 20);
        std::uint64_t capacity = std::max<std::uint64_t>(needed, samples_.capacity() + samples_.capacity() / 2);
        if (samples_.capacity() == 0)
            capacity = std::max<std::uint64_t>(needed, std::min(announced, plausible));
        if (announced >= needed)
            capacity = std::min(capacity, announced);
        return static_cast<std::size_t>(std::min<std::uint64_t>(capacity, samples_.max_size()));
    }

    static void metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* client)
    {
        auto& self = *static_cast<FlacReader*>(client);
        try {
            self.keepBlock(*block);
        } catch (const std::bad_alloc&) {
            self.memoryFailed_ = true;
        }
    }

    void keepBlock(const FLAC__StreamMetadata& block)
    {
        switch (block.type) {
        case FLAC__METADATA_TYPE_STREAMINFO: {
            log_.info("Analysing FLAC metadata stream info");
            const FLAC__StreamMetadata_StreamInfo& info = block.data.stream_info;
            streamInfo_ = true;
            channels_ = info.channels;
            bits_ = info.bits_per_sample;
            bytesPerSample_ = (bits_ + 7) / 8;
            rate_ = info.sample_rate;
            totalSamples_ = info.total_samples;
            break;
        }
        case FLAC__METADATA_TYPE_APPLICATION:
            keepApplication(block);
            break;
        case FLAC__METADATA_TYPE_VORBIS_COMMENT:
            keepComments(block.data.vorbis_comment);
            break;
        case FLAC__METADATA_TYPE_PICTURE:
            keepPicture(block.data.picture);
            break;
        case FLAC__METADATA_TYPE_CUESHEET:
            job_.srcSkippedMetadata.emplace_back("CUESHEET");
            break;
        default:
            break;
        }
    }

    void keepApplication(const FLAC__StreamMetadata& block)
    {
        const FLAC__StreamMetadata_Application& application = block.data.application;
        const std::size_t length = block.length >= 4 ? block.length - 4 : 0;
        if (length < kEmbeddedHeaderBytes || application.data == nullptr) {
            log_.info(formatText(" Skipping application block of %zu data bytes", length));
            return;
        }
        const std::string appId = idText(application.id);
        const std::string chunkId = idText(application.data);
        const auto known = std::find(kEmbeddedIds.begin(), kEmbeddedIds.end(), chunkId);
        if (known == kEmbeddedIds.end()) {
            log_.info(" Discarding application chunk: " + chunkId);
            const bool foreign = appId == "riff" || appId == "aiff";
            if (!foreign)
                job_.srcSkippedMetadata.push_back("application block " + appId);
            else if (!isFillerChunk(chunkId))
                job_.srcSkippedMetadata.push_back(chunkId);
            return;
        }
        const auto which = static_cast<std::size_t>(known - kEmbeddedIds.begin());
        if (embedded_[which]) {
            log_.error(kDuplicateMessages[which]);
            return;
        }
        embedded_[which] = EmbeddedChunk{appId == "riff", {application.data, application.data + length}};
    }

    void keepComments(const FLAC__StreamMetadata_VorbisComment& block)
    {
        if (block.num_comments == 0)
            return;
        if (vorbisPresent_) {
            log_.error("There can only be one Vorbis Comment with multiple comments'");
            return;
        }
        vorbisPresent_ = true;
        unsigned skipped = 0;
        for (FLAC__uint32 i = 0; i < block.num_comments; ++i) {
            const FLAC__StreamMetadata_VorbisComment_Entry& entry = block.comments[i];
            if (entry.entry == nullptr || entry.length == 0)
                continue;
            const std::string text =
                validUtf8(std::string_view(reinterpret_cast<const char*>(entry.entry), entry.length));
            if (!isVorbisCommentEntry(text)) {
                log_.info(" Skipping a Vorbis comment that is not NAME=value");
                ++skipped;
                continue;
            }
            comments_.push_back(text);
        }
        if (skipped != 0)
            job_.srcSkippedMetadata.push_back(formatText("%u Vorbis comment entries not of the form NAME=value", skipped));
    }

    void keepPicture(const FLAC__StreamMetadata_Picture& picture)
    {
        if (!picture_.empty()) {
            log_.error("Only one FLAC picture is supported'");
            return;
        }
        // The encoder refuses a picture with a MIME type of other than
        // printable ASCII or a description that is not UTF-8.
        const char* violation = nullptr;
        if (picture.mime_type == nullptr || picture.description == nullptr ||
            !FLAC__format_picture_is_legal(&picture, &violation)) {
            log_.warning(std::string(" Picture is damaged and is not carried: ") +
                         (violation ? violation : "missing fields"));
            job_.srcSkippedMetadata.emplace_back("PICTURE");
            return;
        }
        const std::string_view mime(picture.mime_type);
        const std::string_view description(reinterpret_cast<const char*>(picture.description));
        picture_["type"] = pictureNumber(picture.type);
        picture_["mime"] = {mime.begin(), mime.end()};
        picture_["description"] = {description.begin(), description.end()};
        picture_["width"] = pictureNumber(picture.width);
        picture_["height"] = pictureNumber(picture.height);
        picture_["depth"] = pictureNumber(picture.depth);
        picture_["colors"] = pictureNumber(picture.colors);
        picture_["data"] = {picture.data, picture.data + picture.data_length};
    }

    static void error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client)
    {
        auto& self = *static_cast<FlacReader*>(client);
        if (++self.decodeErrors_ <= kLoggedDecodeErrors)
            self.log_.error(std::string("Got error callback: ") + FLAC__StreamDecoderErrorStatusString[status]);
    }

    AudioFile& job_;
    Log& log_;
    const ByteSource& source_;
    std::uint64_t position_ = 0;
    bool headerOnly_ = true;

    bool streamInfo_ = false;
    std::uint64_t totalSamples_ = 0;
    unsigned channels_ = 0, bits_ = 0, bytesPerSample_ = 0, rate_ = 0;

    std::array<std::optional<EmbeddedChunk>, kEmbeddedCount> embedded_;
    bool vorbisPresent_ = false;
    std::vector<std::string> comments_;
    std::map<std::string, std::vector<std::uint8_t>> picture_;

    ByteBuffer samples_;
    std::uint64_t frames_ = 0;
    unsigned decodeErrors_ = 0;
    bool badFrame_ = false;
    bool memoryFailed_ = false;
};

}  // namespace

void AudioFile::AnalyseFLAC(bool headerOnly)
{
    const std::unique_ptr<FileByteSource> source = FileByteSource::open(inputFile);
    if (!source) {
        platform.log.error("Failed to open " + inputFile);
        error |= kErrorOpen;
        return;
    }
    FlacReader(*this, *source).run(headerOnly);
}

void AudioFile::AnalyseFLACImage(std::span<const std::uint8_t> image, bool headerOnly)
{
    const MemoryByteSource source(image);
    FlacReader(*this, source).run(headerOnly);
}

}  // namespace auralune

#include "formats/flac.h"

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "formats/byte_io.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace auralune {

namespace {

constexpr const char* kWriterMethod = "-[AudioFile CreateDestBufferFLAC:]";
// Frames handed to the encoder per call: 4096 frames of 32-bit words.
constexpr std::uint64_t kFeedFrames = 4096;

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
};
struct BlockDeleter {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
};
using Block = std::unique_ptr<FLAC__StreamMetadata, BlockDeleter>;

// The encoded stream goes into the destination image; libFLAC seeks back
// to fill in STREAMINFO (sample count, MD5, frame sizes) at the end.
class ImageSink {
public:
    explicit ImageSink(ByteBuffer& image) : image_(image), start_(image.size()), position_(start_) {}

    static FLAC__StreamEncoderWriteStatus write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t count,
                                                uint32_t, uint32_t, void* client)
    {
        auto& self = *static_cast<ImageSink*>(client);
        try {
            const std::size_t end = self.position_ + count;
            if (end > self.image_.size())
                self.image_.resize(end);
            std::memcpy(self.image_.data() + self.position_, buffer, count);
            self.position_ = end;
        } catch (const std::bad_alloc&) {
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }

    static FLAC__StreamEncoderSeekStatus seek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client)
    {
        auto& self = *static_cast<ImageSink*>(client);
        if (offset > self.image_.size() - self.start_)
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        self.position_ = self.start_ + static_cast<std::size_t>(offset);
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }

    static FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client)
    {
        *offset = static_cast<ImageSink*>(client)->position_ - static_cast<ImageSink*>(client)->start_;
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    // Takes back everything written.
    void discard() { image_.resize(start_); }

private:
    ByteBuffer& image_;
    std::size_t start_;
    std::size_t position_;
};

// Builds the metadata blocks in their order; false (with the failure
// logged) as soon as one cannot be made.
class BlockList {
public:
    explicit BlockList(Log& log) : log_(log) {}

    bool application(const ByteBuffer& chunk, std::string_view what)
    {
        Block block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_APPLICATION));
        if (!block)
            return failed(std::string(what) + " metadata allocation");
        std::memcpy(block->data.application.id, "riff", 4);
        if (!FLAC__metadata_object_application_set_data(block.get(), const_cast<FLAC__byte*>(chunk.data()),
                                                        static_cast<unsigned>(chunk.size()), true))
            return failed(std::string(what) + " metadata copy");
        return add(std::move(block));
    }

    bool padding(std::string_view what)
    {
        Block block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!block)
            return failed(std::string(what) + " padding allocation");
        block->length = kFlacPaddingBytes;
        return add(std::move(block));
    }

    bool comments(const std::vector<std::string>& entries)
    {
        Block block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        if (!block)
            return failed("Vorbis comment metadata allocation");
        for (const std::string& text : entries) {
            // Only the first "=" separates the name from the value.
            const std::size_t equals = text.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string name = text.substr(0, equals);
            FLAC__StreamMetadata_VorbisComment_Entry entry{};
            if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.c_str(),
                                                                                text.c_str() + equals + 1) ||
                !FLAC__metadata_object_vorbiscomment_append_comment(block.get(), entry, false)) {
                std::free(entry.entry);
                return failed("Vorbis comment metadata handling");
            }
        }
        return add(std::move(block));
    }

    bool picture(const std::map<std::string, std::vector<std::uint8_t>>& dict)
    {
        Block block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE));
        if (!block)
            return failed("Picture metadata allocation");
        const auto text = [&](const char* key) {
            const auto it = dict.find(key);
            return it == dict.end() ? std::string() : std::string(it->second.begin(), it->second.end());
        };
        std::string mime = text("mime");
        std::string description = text("description");
        std::vector<std::uint8_t> data;
        if (const auto it = dict.find("data"); it != dict.end())
            data = it->second;
        FLAC__StreamMetadata_Picture& picture = block->data.picture;
        picture.type = static_cast<FLAC__StreamMetadata_Picture_Type>(pictureNumberValue(dict, "type"));
        picture.width = pictureNumberValue(dict, "width");
        picture.height = pictureNumberValue(dict, "height");
        picture.depth = pictureNumberValue(dict, "depth");
        picture.colors = pictureNumberValue(dict, "colors");
        if (!FLAC__metadata_object_picture_set_mime_type(block.get(), mime.data(), true) ||
            !FLAC__metadata_object_picture_set_description(
                block.get(), reinterpret_cast<FLAC__byte*>(description.data()), true) ||
            !FLAC__metadata_object_picture_set_data(block.get(), data.data(), static_cast<FLAC__uint32>(data.size()),
                                                    true))
            return failed("Picture metadata copy");
        return add(std::move(block));
    }

    std::vector<FLAC__StreamMetadata*> pointers() const
    {
        std::vector<FLAC__StreamMetadata*> list;
        for (const Block& block : blocks_)
            list.push_back(block.get());
        return list;
    }

private:
    bool failed(const std::string& message)
    {
        log_.error(message);
        return false;
    }
    bool add(Block block)
    {
        blocks_.push_back(std::move(block));
        return true;
    }

    Log& log_;
    std::vector<Block> blocks_;
};

}  // namespace

void AudioFile::CreateDestBufferFLAC(ByteBuffer& buffer)
{
    if (dstSampleBytes != 4 || (dstSampleBits != 16 && dstSampleBits != 24))
        raiseAssertion("Unexpected sample size in %s", kWriterMethod);
    if (dstEndianessValues != kEndianLittle || dstEndianessData != kEndianLittle)
        raiseAssertion("Unexpected destination endianess in %s", kWriterMethod);
    const std::uint64_t frameWords = dstChannelsData;
    if (dstAudioData.size() < frameWords * 4 * dstFrames)
        raiseAssertion("Unexpected dstAudioData length in %s", kWriterMethod);

    Log& log = platform.log;
    WarnShortCarriedChunks();
    setTableText(TableText::State, "Encoding file...");
    setTableText(TableText::Progress, "");
    postRefresh();

    // Any failed step fails the conversion: a destination that libFLAC did
    // not finish must never be written as if it were complete.
    const int errorBefore = error;
    const auto failed = [&](const std::string& message) {
        log.error(message);
        log.info("FLAC encoding failed");
        error |= kErrorSave;
    };
    const std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> encoder(FLAC__stream_encoder_new());
    if (!encoder)
        return failed("FLAC encoder allocation");
    FLAC__StreamEncoder* e = encoder.get();
    if (!FLAC__stream_encoder_set_verify(e, true) || !FLAC__stream_encoder_set_compression_level(e, 5) ||
        !FLAC__stream_encoder_set_channels(e, dstChannelsData) ||
        !FLAC__stream_encoder_set_bits_per_sample(e, dstSampleBits) ||
        !FLAC__stream_encoder_set_sample_rate(e, static_cast<std::uint32_t>(dstFrameRate)) ||
        !FLAC__stream_encoder_set_total_samples_estimate(e, dstFrames))
        return failed("FLAC encoder settings refused");

    // The carried chunks, built as for WAV (little-endian sizes); one too
    // large for a metadata block is left out (and named as not carried).
    const auto fitting = [](std::uint64_t size) { return size <= kFlacMaxApplicationBytes ? size : 0; };
    ByteBuffer mark, bext, ixml, id3;
    CreateMetadataChunk(mark);
    CreateBextChunk(bext, fitting(carriedBextChunkSize()));
    CreateIXMLChunk(ixml, fitting(carriedIXMLChunkSize()));
    CreateID3Chunk(id3, fitting(carriedID3ChunkSize()));
    if ((error & ~errorBefore) != 0)
        return failed("FLAC metadata allocation");

    BlockList blocks(log);
    bool built = blocks.application(mark, "FLAC");
    built = built && (bext.empty() || blocks.application(bext, "FLAC"));
    built = built && (ixml.empty() || blocks.application(ixml, "iXML"));
    built = built && (id3.empty() || (blocks.application(id3, "ID3v2") && blocks.padding("ID3v2")));
    if (srcVorbisCommentsPresent || !srcVorbisComments.empty())
        built = built && blocks.comments(srcVorbisComments) && blocks.padding("Vorbis comment");
    if (!srcPictureChunkDict.empty())
        built = built && blocks.picture(srcPictureChunkDict);
    std::vector<FLAC__StreamMetadata*> list = blocks.pointers();
    if (!built || !FLAC__stream_encoder_set_metadata(e, list.data(), static_cast<unsigned>(list.size())))
        return failed("FLAC metadata cannot be built");

    ImageSink sink(buffer);
    const FLAC__StreamEncoderInitStatus init =
        FLAC__stream_encoder_init_stream(e, &ImageSink::write, &ImageSink::seek, &ImageSink::tell, nullptr, &sink);
    if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        sink.discard();
        return failed(std::string("FLAC encoder initialisation: ") + FLAC__StreamEncoderInitStatusString[init]);
    }

    // The 32-bit little-endian words, a block at a time.
    bool fed = true;
    try {
        std::vector<FLAC__int32> words(static_cast<std::size_t>(kFeedFrames * frameWords));
        updateProgressTableText(0);
        for (std::uint64_t done = 0; fed && done < dstFrames;) {
            const std::uint64_t frames = std::min<std::uint64_t>(kFeedFrames, dstFrames - done);
            const std::uint8_t* in = dstAudioData.data() + done * frameWords * 4;
            for (std::size_t i = 0; i < frames * frameWords; ++i, in += 4)
                words[i] = static_cast<FLAC__int32>(std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 |
                                                    std::uint32_t{in[2]} << 16 | std::uint32_t{in[3]} << 24);
            fed = FLAC__stream_encoder_process_interleaved(e, words.data(), static_cast<unsigned>(frames)) != 0;
            done += frames;
            updateProgressTableText(static_cast<std::uint32_t>(done * 100 / dstFrames));
        }
    } catch (const std::bad_alloc&) {
        fed = false;
    }
    const std::string state = FLAC__stream_encoder_get_resolved_state_string(e);
    const bool finished = FLAC__stream_encoder_finish(e) != 0;
    if (!fed || !finished) {
        sink.discard();
        return failed(std::string("FLAC encoding stopped: ") + state);
    }
    log.info("FLAC encoding complete");
}

}  // namespace auralune

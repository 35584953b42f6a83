#include "formats/flac.h"

#include "formats/processing_mark.h"
#include "support/external_tools.h"
#include "support/wav_fixtures.h"
#include "support/stage_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace auralune::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::uint8_t kApplication = 2, kVorbisComment = 4, kPicture = 6;

// A FLAC file as its metadata blocks and its frames, to take apart and put
// together again with blocks changed, added or lying about their length.
struct FlacBlocks {
    std::vector<std::pair<std::uint8_t, Bytes>> blocks;
    Bytes frames;

    static FlacBlocks parse(const Bytes& file)
    {
        FlacBlocks flac;
        std::size_t at = 4;
        for (bool last = false; !last && at + 4 <= file.size();) {
            last = (file[at] & 0x80) != 0;
            const std::size_t length = std::size_t{file[at + 1]} << 16 | std::size_t{file[at + 2]} << 8 | file[at + 3];
            flac.blocks.emplace_back(file[at] & 0x7F, Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                                          file.begin() + static_cast<std::ptrdiff_t>(at + 4 + length)));
            at += 4 + length;
        }
        flac.frames.assign(file.begin() + static_cast<std::ptrdiff_t>(at), file.end());
        return flac;
    }
    const Bytes* find(std::uint8_t type) const
    {
        for (const auto& [t, data] : blocks)
            if (t == type)
                return &data;
        return nullptr;
    }
    // `lengthOf` overrides the length field of the block at that index.
    Bytes image(std::size_t lyingIndex = SIZE_MAX, std::uint32_t lyingLength = 0) const
    {
        Bytes out{'f', 'L', 'a', 'C'};
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const auto& [type, data] = blocks[i];
            const auto length = i == lyingIndex ? lyingLength : static_cast<std::uint32_t>(data.size());
            out.push_back(static_cast<std::uint8_t>(type | (i + 1 == blocks.size() ? 0x80 : 0)));
            out.insert(out.end(), {static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
                                   static_cast<std::uint8_t>(length)});
            out.insert(out.end(), data.begin(), data.end());
        }
        out.insert(out.end(), frames.begin(), frames.end());
        return out;
    }
};

// Interleaved stereo samples, 16 or 24 bits little-endian: two tones with
// some noise so that every bit is used.
Bytes testSamples(std::uint32_t frames, std::uint32_t bits)
{
    Bytes out;
    std::uint32_t noise = 1;
    const double full = std::ldexp(1.0, static_cast<int>(bits) - 1) - 1;
    for (std::uint32_t n = 0; n < frames; ++n)
        for (int c = 0; c < 2; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double x = 0.6 * std::sin(0.031 * n * (c + 1)) + 0.1 * ((noise >> 8) / 16777216.0 - 0.5);
            const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(full * x)));
            for (std::uint32_t b = 0; b < bits / 8; ++b)
                out.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
        }
    return out;
}

Bytes chunkOf(std::string_view id, const Bytes& data)
{
    Bytes chunk;
    bytes::appendText(chunk, id);
    bytes::appendLE(chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), data.begin(), data.end());
    return chunk;
}

std::string flacDecodedSamples(const std::string& path)
{
    return commandOutput("flac -d -s -c --force-raw-format --endian=little --sign=signed '" + path + "' 2>/dev/null");
}

TEST(FlacText, CommentsAreCarriedAsValidUtf8)
{
    struct Case {
        std::string_view in, out;
    };
    for (const Case c : {Case{"TITLE=Plain", "TITLE=Plain"}, Case{"ARTIST=Zo\xC3\xAB", "ARTIST=Zo\xC3\xAB"},
                         Case{"A=\xE2\x82\xAC\xF0\x9F\x8E\xB5", "A=\xE2\x82\xAC\xF0\x9F\x8E\xB5"},
                         Case{"A=Zo\xEB", "A=Zo\xEF\xBF\xBD"},                                     // Latin-1
                         Case{"A=\xC3", "A=\xEF\xBF\xBD"},                                         // cut short
                         Case{"A=\xC0\xAF", "A=\xEF\xBF\xBD\xEF\xBF\xBD"},                         // overlong
                         Case{"A=\xED\xA0\x80", "A=\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},         // surrogate
                         Case{std::string_view("A=a\0b", 5), "A=a\xEF\xBF\xBD" "b"}})
        EXPECT_EQ(validUtf8(c.in), c.out) << c.in;

    EXPECT_TRUE(isVorbisCommentEntry("TITLE=a=b"));
    EXPECT_TRUE(isVorbisCommentEntry("TITLE="));
    EXPECT_FALSE(isVorbisCommentEntry("TITLE"));
    EXPECT_FALSE(isVorbisCommentEntry("T\x7FTLE=x"));
}

// A WAV with carried and uncarried chunks, made into a FLAC by the flac
// command line with tags, a picture and the foreign chunks kept.
struct ToolMadeFlac {
    TempDir dir;
    std::string path = (dir.path() / "made.flac").string();
    Bytes samples;
    Bytes bext = chunkOf("bext", Bytes(602, 0x42));
    Bytes ixml = chunkOf("iXML", {'<', 'B', 'W', 'F', 'X', 'M', 'L', '/', '>', 0});
    Bytes picture = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5};

    explicit ToolMadeFlac(std::uint32_t bits)
    {
        samples = testSamples(20000, bits);
        const fs::path wav = dir.path() / "made.wav";
        writeFile(wav, RiffBuilder()
                           .fmt(2, 96000, static_cast<std::uint16_t>(bits))
                           .chunk("bext", Bytes(bext.begin() + 8, bext.end()))
                           .chunk("iXML", Bytes(ixml.begin() + 8, ixml.end()))
                           .chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 2, 0, 0, 0, 'x', 0})
                           .chunk("data", samples)
                           .image());
        writeFile(dir.path() / "cover.png", picture);
        ok = runQuietly("flac -s -f --keep-foreign-metadata --tag=TITLE=a=b --tag='ARTIST=Zo\xC3\xAB' "
                        "--picture='3|image/png|front|2x3x24|" +
                        (dir.path() / "cover.png").string() + "' -o '" + path + "' '" + wav.string() + "'");
    }
    bool ok = false;
};

TEST(FlacTools, ReadsTheFlacCommandLinesFilesWithTheirMetadataAndSamples)
{
    if (!haveTool("flac"))
        GTEST_SKIP() << "flac is not installed";
    for (std::uint32_t bits : {16u, 24u}) {
        ToolMadeFlac made(bits);
        ASSERT_TRUE(made.ok);
        JobHarness h(made.path);
        h.job.AnalyseFLAC(true);
        ASSERT_EQ(h.job.error, 0) << logText(h.log);
        EXPECT_EQ(h.job.srcChannels, 2u);
        EXPECT_EQ(h.job.srcSampleBits, bits);
        EXPECT_EQ(h.job.srcFrames, 20000u);
        EXPECT_EQ(h.job.srcFrameRate, 96000.0);
        EXPECT_EQ(h.job.srcVorbisComments, (std::vector<std::string>{"TITLE=a=b", "ARTIST=Zo\xC3\xAB"}));
        EXPECT_EQ(h.job.srcBextChunkData, made.bext);
        EXPECT_EQ(h.job.srcIXMLChunkData, made.ixml);
        EXPECT_TRUE(h.log.contains("<Info>  ckDataSize = a (hex) 10 (dec)"));   // iXML size, little-endian
        EXPECT_EQ(h.job.srcSkippedMetadata, std::vector<std::string>{"LIST"});
        EXPECT_EQ(h.job.srcPictureChunkDict.at("data"), made.picture);
        EXPECT_EQ(pictureNumberValue(h.job.srcPictureChunkDict, "type"), 3u);
        EXPECT_EQ(pictureNumberValue(h.job.srcPictureChunkDict, "height"), 3u);
        const Bytes& mime = h.job.srcPictureChunkDict.at("mime");
        EXPECT_EQ(std::string(mime.begin(), mime.end()), "image/png");

        h.job.AnalyseFLAC(false);
        ASSERT_EQ(h.job.error, 0) << logText(h.log);
        EXPECT_EQ(h.job.srcAudioData, made.samples) << bits;
        EXPECT_EQ(std::string(h.job.srcAudioData.begin(), h.job.srcAudioData.end()), flacDecodedSamples(made.path));
    }
}

TEST(FlacReader, DamagedStreamsAreRefusedAndOddBlocksSkipped)
{
    if (!haveTool("flac"))
        GTEST_SKIP() << "flac is not installed";
    ToolMadeFlac made(16);
    ASSERT_TRUE(made.ok);
    const Bytes file = readFile(made.path);
    const FlacBlocks flac = FlacBlocks::parse(file);
    ASSERT_NE(flac.find(kPicture), nullptr);

    const auto withBlock = [&](std::uint8_t type, const Bytes& data) {
        FlacBlocks changed = flac;
        changed.blocks.insert(changed.blocks.begin() + 1, {type, data});
        return changed;
    };
    Bytes emptyComments;
    bytes::appendLE(emptyComments, std::uint32_t{1});
    emptyComments.push_back('v');
    bytes::appendLE(emptyComments, std::uint32_t{0});
    FlacBlocks withoutComments = flac;
    std::erase_if(withoutComments.blocks, [](const auto& b) { return b.first == kVorbisComment; });
    withoutComments.blocks.insert(withoutComments.blocks.begin() + 1, {kVorbisComment, emptyComments});
    FlacBlocks longer = flac;   // STREAMINFO announces more samples than the frames hold
    longer.blocks[0].second[17] += 1;
    FlacBlocks badMd5 = flac;
    badMd5.blocks[0].second[20] ^= 0x40;
    Bytes truncated = file;
    truncated.resize(file.size() - flac.frames.size() / 2);

    struct Case {
        const char* what;
        Bytes image;
        bool headerOnly;
        int error;
        std::string log;
    };
    const Case cases[] = {
        {"duplicate picture", withBlock(kPicture, *flac.find(kPicture)).image(), true, 0,
         "<ERROR> Only one FLAC picture is supported'"},
        {"short application block", withBlock(kApplication, {'r', 'i', 'f', 'f', 'a', 'b', 'c', 'd', 1, 0}).image(),
         true, 0, "<Info>  Skipping application block of 6 data bytes"},
        {"second iXML", withBlock(kApplication, [&] {
             Bytes d{'r', 'i', 'f', 'f'};
             d.insert(d.end(), made.ixml.begin(), made.ixml.end());
             return d;
         }()).image(),
         true, 0, "<ERROR> There can only be one IXML chunk"},
        {"lying block length", flac.image(1, 0xFFFFFF), true, kErrorOpen, ""},
        {"not FLAC", Bytes(file.begin() + 4, file.end()), true, kErrorHeader | kErrorOpen, ""},
        {"truncated frames", truncated, false, kErrorOpen, ""},
        {"more samples announced", longer.image(), false, kErrorOpen, ""},
        {"MD5 mismatch", badMd5.image(), false, kErrorOpen, "<ERROR> FLAC MD5 signature mismatch"},
    };
    for (const Case& c : cases) {
        JobHarness h("/m/a.flac");
        h.job.AnalyseFLACImage(c.image, c.headerOnly);
        if (c.error == 0) {
            EXPECT_EQ(h.job.error, 0) << c.what << "\n" << logText(h.log);
        } else {
            EXPECT_NE(h.job.error & c.error, 0) << c.what << "\n" << logText(h.log);
        }
        if (!c.log.empty()) {
            EXPECT_TRUE(h.log.contains(c.log)) << c.what << "\n" << logText(h.log);
        }
        if (!c.headerOnly && c.error != 0) {
            EXPECT_TRUE(h.job.srcAudioData.empty()) << c.what;
        }
    }

    // A comment block without entries leaves the comments unset; an entry
    // without "=" is skipped and named.
    JobHarness h("/m/a.flac");
    h.job.AnalyseFLACImage(withoutComments.image(), true);
    EXPECT_EQ(h.job.error, 0);
    EXPECT_FALSE(h.job.srcVorbisCommentsPresent);
    EXPECT_TRUE(h.job.srcVorbisComments.empty());
    Bytes oneBadComment = emptyComments;
    oneBadComment[5] = 1;
    bytes::appendLE(oneBadComment, std::uint32_t{5});
    bytes::appendText(oneBadComment, "TITLE");
    withoutComments.blocks[1].second = oneBadComment;
    JobHarness bad("/m/a.flac");
    bad.job.AnalyseFLACImage(withoutComments.image(), true);
    EXPECT_EQ(bad.job.error, 0);
    EXPECT_TRUE(bad.job.srcVorbisComments.empty());
    EXPECT_EQ(bad.job.srcSkippedMetadata,
              (std::vector<std::string>{"1 Vorbis comment entries not of the form NAME=value", "LIST"}));
}

// A FLAC destination of `frames` frames of the test samples as 32-bit words.
void prepare(AudioFile& job, std::uint32_t frames, std::uint32_t bits)
{
    job.dstFileType = kFileFlac;
    job.dstEndianessValues = job.dstEndianessData = kEndianLittle;
    job.dstFrames = job.srcFrames = frames;
    job.dstFrameRate = job.srcFrameRate = 48000;
    job.dstChannelsData = 2;
    job.dstSampleBits = bits;
    job.dstSampleBytes = 4;
    const Bytes samples = testSamples(frames, bits);
    const std::uint32_t width = bits / 8;
    for (std::size_t i = 0; i < samples.size(); i += width) {
        const bool negative = (samples[i + width - 1] & 0x80) != 0;
        for (std::uint32_t b = 0; b < 4; ++b)
            job.dstAudioData.push_back(b < width ? samples[i + b] : (negative ? 0xFF : 0));
    }
}

TEST(FlacWriter, DestinationsPassFlacTestWithTheBlocksInOrder)
{
    if (!haveTool("flac") || !haveTool("metaflac"))
        GTEST_SKIP() << "flac or metaflac is not installed";
    TempDir dir;
    for (std::uint32_t bits : {16u, 24u}) {
        JobHarness h;
        prepare(h.job, 30000, bits);
        h.job.settings.calculateDstR128 = h.job.settings.dstBwfMetadata = true;
        h.job.srcIXMLChunkData = chunkOf("iXML", {'<', 'x', '/', '>'});
        h.job.srcID3ChunkData = chunkOf("ID3 ", {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0});
        h.job.srcVorbisComments = {"TITLE=a=b", "ARTIST=Zo\xC3\xAB"};
        h.job.srcPictureChunkDict = {{"type", pictureNumber(3)},   {"mime", {'i', 'm', 'a', 'g', 'e', '/', 'p', 'n', 'g'}},
                                     {"description", {'f'}},       {"width", pictureNumber(1)},
                                     {"height", pictureNumber(1)}, {"depth", pictureNumber(24)},
                                     {"colors", pictureNumber(0)}, {"data", {1, 2, 3}}};
        ByteBuffer image;
        h.job.CreateDestBufferFLAC(image);
        ASSERT_EQ(h.job.error, 0) << logText(h.log);
        const std::string path = (dir.path() / ("ours" + std::to_string(bits) + ".flac")).string();
        writeFile(path, test::plain(image));
        EXPECT_TRUE(runQuietly("flac -t -s '" + path + "'")) << bits;

        const std::string listing = commandOutput("metaflac --list '" + path + "'");
        std::vector<std::string> order;
        for (std::size_t at = listing.find("METADATA block #"); at != std::string::npos;
             at = listing.find("METADATA block #", at + 1)) {
            const std::size_t type = listing.find("type: ", at) + 6;
            order.push_back(listing.substr(type, listing.find(' ', type) - type));
        }
        EXPECT_EQ(order, (std::vector<std::string>{"0", "2", "2", "2", "2", "1", "4", "1", "6"}));
        EXPECT_NE(listing.find("length: 8192"), std::string::npos);
        EXPECT_NE(listing.find("comment[0]: TITLE=a=b"), std::string::npos);

        // flac decodes our samples; our reader takes everything back.
        const Bytes expected = testSamples(30000, bits);
        EXPECT_EQ(flacDecodedSamples(path), std::string(expected.begin(), expected.end()));
        JobHarness back(path);
        back.job.AnalyseFLAC(true);
        back.job.AnalyseFLAC(false);
        ASSERT_EQ(back.job.error, 0);
        EXPECT_EQ(back.job.srcAudioData, expected);
        EXPECT_EQ(back.job.srcVorbisComments, h.job.srcVorbisComments);
        EXPECT_EQ(back.job.srcPictureChunkDict, h.job.srcPictureChunkDict);
        EXPECT_EQ(back.job.srcIXMLChunkData, h.job.srcIXMLChunkData);
        EXPECT_EQ(back.job.srcID3ChunkData, h.job.srcID3ChunkData);
        EXPECT_EQ(back.job.srcBextChunkData.size(), kBextChunkBytes);
        EXPECT_TRUE(back.log.contains("<Info>  KEST chunk is good"));
    }
}

TEST(FlacWriter, AnyFailedStepFailsTheJobAndWritesNothing)
{
    struct Case {
        const char* what;
        std::function<void(AudioFile&)> damage;
        std::string log;
    };
    const Case cases[] = {
        {"rate libFLAC refuses", [](AudioFile& job) { job.dstFrameRate = 0; },
         "<ERROR> FLAC encoder initialisation: FLAC__STREAM_ENCODER_INIT_STATUS_INVALID_SAMPLE_RATE"},
        {"comment name libFLAC refuses", [](AudioFile& job) { job.srcVorbisComments = {"BAD\x7FNAME=x"}; },
         "<ERROR> Vorbis comment metadata handling"},
        {"picture MIME libFLAC refuses",
         [](AudioFile& job) { job.srcPictureChunkDict = {{"mime", {'\x01'}}, {"data", {1}}}; },
         "<ERROR> FLAC encoder initialisation: FLAC__STREAM_ENCODER_INIT_STATUS_INVALID_METADATA"},
    };
    for (const Case& c : cases) {
        JobHarness h;
        prepare(h.job, 100, 16);
        c.damage(h.job);
        ByteBuffer image{1, 2, 3};
        h.job.CreateDestBufferFLAC(image);
        EXPECT_EQ(h.job.error, kErrorSave) << c.what;
        EXPECT_EQ(image, (Bytes{1, 2, 3})) << c.what;
        EXPECT_TRUE(h.log.contains(c.log)) << c.what << "\n" << logText(h.log);
        EXPECT_TRUE(h.log.contains("<Info> FLAC encoding failed")) << c.what;
    }
}

// A chunk past the 24-bit block length is left out and named, not a reason
// to fail the whole conversion.
TEST(FlacWriter, AChunkTooLargeForABlockIsNamedAndLeftOut)
{
    JobHarness h;
    prepare(h.job, 100, 16);
    h.job.srcID3ChunkData = chunkOf("ID3 ", Bytes(kFlacMaxApplicationBytes, 0));
    ByteBuffer image;
    h.job.CreateDestBufferFLAC(image);
    EXPECT_EQ(h.job.error, 0) << logText(h.log);
    EXPECT_LT(image.size(), 100000u);
    EXPECT_EQ(h.job.uncarriedMetadata(), std::vector<std::string>{"ID3 (too large for a FLAC metadata block)"});
}

}  // namespace
}  // namespace auralune::test

#include "formats/aiff.h"

#include "formats/processing_mark.h"
#include "support/external_tools.h"
#include "support/wav_fixtures.h"
#include "support/stage_buffers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace auralune::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Rate = std::array<std::uint8_t, 10>;

constexpr Rate k44100{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};

// Builds FORM images chunk by chunk, sizes big-endian.
class FormBuilder {
public:
    explicit FormBuilder(std::string_view form)
    {
        bytes::appendText(image_, "FORM");
        bytes::appendBE<std::uint32_t>(image_, 0);
        bytes::appendText(image_, form);
        if (form == "AIFC")
            chunk("FVER", {0xA2, 0x80, 0x51, 0x40});
    }
    FormBuilder& chunk(std::string_view id, const Bytes& data)
    {
        bytes::appendText(image_, id);
        bytes::appendBE(image_, static_cast<std::uint32_t>(data.size()));
        image_.insert(image_.end(), data.begin(), data.end());
        if (data.size() & 1)
            image_.push_back(0);
        return *this;
    }
    // COMM fields; a compression type makes it the AIFF-C form.
    static Bytes comm(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits, const Rate& rate = k44100,
                      std::string_view compression = {})
    {
        Bytes d;
        bytes::appendBE(d, channels);
        bytes::appendBE(d, frames);
        bytes::appendBE(d, bits);
        d.insert(d.end(), rate.begin(), rate.end());
        if (!compression.empty()) {
            bytes::appendText(d, compression);
            d.insert(d.end(), {0, 0});
        }
        return d;
    }
    static Bytes ssnd(const Bytes& samples, std::uint32_t offset = 0)
    {
        Bytes d;
        bytes::appendBE(d, offset);
        bytes::appendBE(d, std::uint32_t{0});
        d.insert(d.end(), offset, 0xEE);
        d.insert(d.end(), samples.begin(), samples.end());
        return d;
    }
    Bytes image() const
    {
        Bytes out = image_;
        const auto size = static_cast<std::uint32_t>(out.size() - 8);
        for (int i = 0; i < 4; ++i)
            out[4 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
        return out;
    }

private:
    Bytes image_;
};

const Bytes kFourFrames{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};   // 16-bit stereo

TEST(AiffRate, DecodesEveryWrittenFieldExactlyAndEncodesOtherRatesBack)
{
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 8000.0, 22050.0, 1.0, 4294967295.0}) {
        const Rate field = encodeExtendedRate(rate);
        EXPECT_EQ(decodeExtendedRate(field), rate) << rate;
    }
    // The unnormalised forms other programs write for 88.2 and 96 kHz.
    EXPECT_EQ(encodeExtendedRate(88200), (Rate{0x40, 0x12, 0x15, 0x88, 0x80, 0, 0, 0, 0, 0}));
    EXPECT_EQ(encodeExtendedRate(96000), (Rate{0x40, 0x12, 0x17, 0x70, 0, 0, 0, 0, 0, 0}));
    // Their normalised forms decode to the same rates.
    EXPECT_EQ(decodeExtendedRate(Rate{0x40, 0x0F, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), 88200.0);
    EXPECT_EQ(decodeExtendedRate(Rate{0x40, 0x0F, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}), 96000.0);
    // Exponent extremes give 0 and infinity, which the reader refuses.
    EXPECT_EQ(decodeExtendedRate(Rate{0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 0.0);
    EXPECT_TRUE(std::isinf(decodeExtendedRate(Rate{0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0})));
}

TEST(AiffReader, RefusesMalformedHeadersWithTheirTexts)
{
    const Bytes comm = FormBuilder::comm(2, 4, 16);
    const Bytes ssnd = FormBuilder::ssnd(kFourFrames);
    Bytes shortComm = comm;
    shortComm.pop_back();
    Bytes aifcNameTooLong = FormBuilder::comm(2, 4, 16, k44100, "NONE");
    aifcNameTooLong[22] = 9;   // a name of 9 characters in a chunk that ends at its count byte
    Bytes ssndOffsetPastEnd = ssnd;
    ssndOffsetPastEnd[3] = 17;
    const Bytes ssndShort = FormBuilder::ssnd(Bytes(kFourFrames.begin(), kFourFrames.end() - 4));

    struct Case {
        const char* what;
        Bytes image;
        int error;
        std::string log;
    };
    const Case cases[] = {
        {"AIFF-C without FVER", [&] {
             Bytes image = FormBuilder("AIFF").chunk("COMM", FormBuilder::comm(2, 4, 16, k44100, "NONE")).chunk("SSND", ssnd).image();
             image[11] = 'C';
             return image;
         }(),
         kErrorHeader, "<ERROR> This AIFC file is missing an FVER chunk"},
        {"FVER in AIFF", FormBuilder("AIFF").chunk("FVER", {0xA2, 0x80, 0x51, 0x40}).chunk("COMM", comm).chunk("SSND", ssnd).image(),
         kErrorHeader, "<ERROR> This AIFF file incorrectly has an FVER chunk"},
        {"FVER timestamp", [&] {
             Bytes image = FormBuilder("AIFC").chunk("COMM", FormBuilder::comm(2, 4, 16, k44100, "NONE")).chunk("SSND", ssnd).image();
             image[23] = 0x41;
             return image;
         }(),
         kErrorHeader, "<ERROR> Unexpected timestamp: a2805141 (hex) 2726318401 (dec)"},
        {"COMM too short", FormBuilder("AIFF").chunk("COMM", shortComm).chunk("SSND", ssnd).image(), kErrorHeader,
         "<ERROR> The COMM chunk is shorter than its fields"},
        {"AIFF-C name past COMM", FormBuilder("AIFC").chunk("COMM", aifcNameTooLong).chunk("SSND", ssnd).image(),
         kErrorHeader, "<ERROR> The COMM chunk is shorter than its fields"},
        {"zero channels", FormBuilder("AIFF").chunk("COMM", FormBuilder::comm(0, 4, 16)).chunk("SSND", ssnd).image(),
         kErrorHeader, "<ERROR> The COMM chunk gives no channels or no sample bits"},
        {"zero bits", FormBuilder("AIFF").chunk("COMM", FormBuilder::comm(2, 4, 0)).chunk("SSND", ssnd).image(),
         kErrorHeader, "<ERROR> The COMM chunk gives no channels or no sample bits"},
        {"SSND offset past the end", FormBuilder("AIFF").chunk("COMM", comm).chunk("SSND", ssndOffsetPastEnd).image(),
         kErrorHeader, "<ERROR> The SSND offset lies past the end of the chunk"},
        {"SSND short of COMM", FormBuilder("AIFF").chunk("COMM", comm).chunk("SSND", ssndShort).image(), kErrorHeader,
         "<ERROR> The SSND chunk holds fewer sample bytes than COMM announces"},
        {"duplicate COMM", FormBuilder("AIFF").chunk("COMM", comm).chunk("COMM", comm).chunk("SSND", ssnd).image(),
         kErrorHeader, "<ERROR> There can only be one COMM chunk"},
        {"duplicate SSND", FormBuilder("AIFF").chunk("COMM", comm).chunk("SSND", ssnd).chunk("SSND", ssnd).image(),
         kErrorHeader, "<ERROR> There can only be one SSND chunk"},
        {"no SSND", FormBuilder("AIFF").chunk("COMM", comm).image(), kErrorHeader,
         "<ERROR> This file is missing a SSND chunk"},
        {"rate exponent 0", FormBuilder("AIFF").chunk("COMM", FormBuilder::comm(2, 4, 16, Rate{0, 0, 0xAC, 0x44})).chunk("SSND", ssnd).image(),
         kErrorFrameRate, "<ERROR> Frame rate is out of range"},
        {"rate exponent 7FFF", FormBuilder("AIFF").chunk("COMM", FormBuilder::comm(2, 4, 16, Rate{0x7F, 0xFF, 0x80})).chunk("SSND", ssnd).image(),
         kErrorFrameRate, "<ERROR> Frame rate is out of range"},
        {"negative rate", FormBuilder("AIFF").chunk("COMM", FormBuilder::comm(2, 4, 16, Rate{0xC0, 0x0E, 0xAC, 0x44})).chunk("SSND", ssnd).image(),
         kErrorFrameRate, "<ERROR> frameRateSign cannot be negative"},
        {"compression", FormBuilder("AIFC").chunk("COMM", FormBuilder::comm(2, 4, 16, k44100, "ulaw")).chunk("SSND", ssnd).image(),
         kErrorCompression, "<ERROR> compressionType is not supported"},
        {"chunk past the end", [&] {
             Bytes image = FormBuilder("AIFF").chunk("COMM", comm).chunk("SSND", ssnd).image();
             image.resize(image.size() - 2);
             return image;
         }(),
         kErrorHeader, "<ERROR> Chunk length overruns the file length"},
        {"not FORM", RiffBuilder().fmt(2, 44100, 16).image(), kErrorHeader, "<ERROR> Unexpected chunk ID: RIFF"},
        {"AESD size", FormBuilder("AIFF").chunk("COMM", comm).chunk("SSND", ssnd).chunk("AESD", Bytes(23)).image(),
         kErrorHeader, "<ERROR> Unexpected ckDataSize"},
    };
    for (const Case& c : cases) {
        JobHarness h("/m/a.aif");
        h.job.AnalyseAIFCImage(c.image, false);
        EXPECT_EQ(h.job.error & c.error, c.error) << c.what;
        EXPECT_TRUE(h.log.contains(c.log)) << c.what << "\n" << logText(h.log);
        // A refused header never hands samples over.
        // (AESD comes after the samples.)
        if (c.error == kErrorHeader && std::string_view(c.what) != "AESD size") {
            EXPECT_TRUE(h.job.srcAudioData.empty()) << c.what;
        }
    }
}

// A zero-filled tail (a recorder that preallocated its file) or an unknown
// chunk running past the end ends the chunk walk with a warning; the audio
// already found is kept.
TEST(AiffReader, AHeaderThatCannotBeRealEndsTheWalk)
{
    const Bytes start = FormBuilder("AIFF").chunk("COMM", FormBuilder::comm(2, 4, 16)).chunk("SSND", FormBuilder::ssnd(kFourFrames)).image();
    Bytes zeroTail = start;
    zeroTail.resize(start.size() + 4 * 1024 * 1024, 0);
    Bytes pastEnd = start;
    const Bytes junk{'J', 'U', 'N', 'K', 0, 0, 0x10, 0, 1, 2};   // 4096 bytes announced, 2 there
    pastEnd.insert(pastEnd.end(), junk.begin(), junk.end());
    for (Bytes* image : {&zeroTail, &pastEnd}) {
        const std::uint32_t form = static_cast<std::uint32_t>(image->size() - 8);
        for (int i = 0; i < 4; ++i)
            (*image)[4 + i] = static_cast<std::uint8_t>(form >> (24 - 8 * i));
    }
    const std::string offset = std::to_string(start.size());
    const std::pair<const Bytes*, std::string> cases[] = {
        {&zeroTail, "<WARNING> No chunk at offset " + offset + " (zero bytes); the rest of the file is ignored"},
        {&pastEnd, "<WARNING> Chunk 'JUNK' at offset " + offset + " runs past the end; the rest of the file is ignored"},
    };
    for (const auto& [image, warning] : cases) {
        JobHarness h("/m/a.aif");
        h.job.AnalyseAIFCImage(*image, false);
        EXPECT_EQ(h.job.error, 0) << warning;
        EXPECT_TRUE(h.log.contains(warning)) << logText(h.log);
        EXPECT_EQ(h.job.srcFrames, 4u);
    }
}

TEST(AiffReader, EmphasisFlagsOfTheAesdChunkRaiseTheirWarnings)
{
    struct Case {
        std::uint8_t status;
        int warning;
        const char* log;
    };
    for (const Case c : {Case{0x1D, kWarningJ17Emphasis, "<Info>  CCITT J.17 emphasis detected"},
                         Case{0x19, kWarningCdEmphasis, "<Info>  CD pre-emphasis (50/15 \u03bcs) detected"},
                         Case{0x18, 0, "<Info>  S/PDIF data detected"}, Case{0x11, 0, "<Info>  No emphasis"}}) {
        JobHarness h("/m/a.aif");
        Bytes aesd(24);
        aesd[0] = c.status;
        h.job.AnalyseAIFCImage(FormBuilder("AIFF")
                                   .chunk("COMM", FormBuilder::comm(2, 4, 16))
                                   .chunk("SSND", FormBuilder::ssnd(kFourFrames, 4))
                                   .chunk("AESD", aesd)
                                   .image(),
                               false);
        EXPECT_EQ(h.job.error, 0);
        EXPECT_EQ(h.job.srcAudioData, kFourFrames);   // read from after the SSND offset
        EXPECT_EQ(h.job.warning, c.warning) << int{c.status};
        EXPECT_TRUE(h.log.contains(c.log)) << int{c.status};
    }
}

// A destination ready to write: `frames` frames of a counting pattern.
void prepare(AudioFile& job, int fileType, int dataOrder, std::uint32_t frames, std::uint32_t bits, double rate)
{
    job.dstFileType = fileType;
    job.dstEndianessValues = kEndianBig;
    job.dstEndianessData = dataOrder;
    job.dstFrames = job.srcFrames = frames;
    job.dstFrameRate = job.srcFrameRate = rate;
    job.dstChannelsData = 2;
    job.dstSampleBits = bits;
    job.dstSampleBytes = bits / 8;
    job.dstAudioData.resize(std::size_t{frames} * 2 * (bits / 8));
    for (std::size_t i = 0; i < job.dstAudioData.size(); ++i)
        job.dstAudioData[i] = static_cast<std::uint8_t>(i * 7 + 3);
}

TEST(AiffPlan, CutsWholeFramesAtTheFourGigabyteLimit)
{
    // 24-bit stereo: 6-byte frames; FORM size must stay within 32 bits.
    const AiffImagePlan fits = planAiffImage(true, 1000, 6, 0);
    EXPECT_FALSE(fits.truncated);
    EXPECT_EQ(fits.formSize, 130u + 6000u);
    const AiffImagePlan cut = planAiffImage(true, 800'000'000, 6, 20);
    EXPECT_TRUE(cut.truncated);
    EXPECT_LE(cut.formSize, 0xFFFFFFFFu);
    EXPECT_GT(cut.formSize + 6, 0xFFFFFFFFu);   // one more frame would not fit
    EXPECT_EQ(cut.audioBytes, cut.frames * 6);
    EXPECT_EQ(cut.id3Bytes, 20u);
}

// Files made by sox and ffmpeg read to the samples those tools decode, and
// ours (FORM size, carried ID3) read back through them and through our
// reader with the same samples and rate.
TEST(AiffTools, ReadsTheirFilesAndTheyReadOurs)
{
    if (!haveTool("sox") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "sox or ffmpeg is not installed";
    TempDir dir;
    const std::string wav = (dir.path() / "tone.wav").string();
    ASSERT_TRUE(runQuietly("sox -n -r 48000 -b 24 -c 2 '" + wav + "' synth 0.2 sine 440 sine 1000 vol 0.8"));
    struct Made {
        std::string name, command;
        int fileType, dataOrder;
    };
    const std::string in = "'" + wav + "' ";
    const Made made[] = {
        {"sox.aif", "sox " + in, kFileAiff, kEndianBig},
        {"sox.aifc", "sox " + in, kFileAifc, kEndianBig},
        {"ffmpeg.aif", "ffmpeg -v quiet -i " + in + "-c:a pcm_s24be ", kFileAiff, kEndianBig},
        {"ffmpeg-sowt.aifc", "ffmpeg -v quiet -i " + in + "-f aiff -c:a pcm_s16le ", kFileAifc, kEndianLittle},
    };
    for (const Made& m : made) {
        const std::string path = (dir.path() / m.name).string();
        ASSERT_TRUE(runQuietly(m.command + "'" + path + "'")) << m.name;
        JobHarness h(path);
        h.job.AnalyseAIFC(false);
        ASSERT_EQ(h.job.error, 0) << m.name << "\n" << logText(h.log);
        EXPECT_EQ(h.job.srcFileType, m.fileType) << m.name;
        EXPECT_EQ(h.job.srcEndianessData, m.dataOrder) << m.name;
        EXPECT_EQ(h.job.srcFrameRate, 48000.0) << m.name;
        // Our bytes in the file's order against sox's little-endian output.
        Bytes ours = test::plain(h.job.srcAudioData);
        if (m.dataOrder == kEndianBig)
            for (std::size_t i = 0; i + h.job.srcSampleBytes <= ours.size(); i += h.job.srcSampleBytes)
                std::reverse(ours.begin() + static_cast<std::ptrdiff_t>(i),
                             ours.begin() + static_cast<std::ptrdiff_t>(i + h.job.srcSampleBytes));
        EXPECT_EQ(std::string(ours.begin(), ours.end()), soxRawSamples(path)) << m.name;
    }


    struct Written {
        int fileType, dataOrder;
        std::uint32_t bits;
        double rate;
    };
    for (const Written w : {Written{kFileAifc, kEndianLittle, 16, 44100}, Written{kFileAifc, kEndianBig, 24, 96000},
                            Written{kFileAiff, kEndianBig, 24, 88200}}) {
        JobHarness h;
        prepare(h.job, w.fileType, w.dataOrder, 4800, w.bits, w.rate);
        h.job.srcID3ChunkData = {'I', 'D', '3', ' ', 1, 0, 0, 0, 'x'};   // 9 bytes: padded
        ByteBuffer image;
        h.job.CreateDestBufferAIFC(image);
        const std::uint64_t audio = 4800ull * 2 * (w.bits / 8);
        EXPECT_EQ(bytes::readU32BE(image, 4), (w.fileType == kFileAifc ? 130 : 112) + audio + 10) << w.rate;
        JobHarness back("/m/back.aif");
        back.job.AnalyseAIFCImage(image, false);
        EXPECT_EQ(back.job.srcFileType, w.fileType);
        EXPECT_EQ(back.job.srcAudioData, h.job.dstAudioData);
        // The carried chunk's size is rewritten big-endian.
        EXPECT_EQ(back.job.srcID3ChunkData, (Bytes{'I', 'D', '3', ' ', 0, 0, 0, 1, 'x'}));

        const std::string path = (dir.path() / (w.fileType == kFileAifc ? "ours.aifc" : "ours.aif")).string();
        writeFile(path, test::plain(image));
        Bytes expected = test::plain(h.job.dstAudioData);
        if (w.dataOrder == kEndianBig)
            for (std::size_t i = 0; i < expected.size(); i += w.bits / 8)
                std::reverse(expected.begin() + static_cast<std::ptrdiff_t>(i),
                             expected.begin() + static_cast<std::ptrdiff_t>(i + w.bits / 8));
        const std::string samples(expected.begin(), expected.end());
        EXPECT_EQ(soxRawSamples(path), samples) << w.rate;
        EXPECT_EQ(ffmpegRawSamples(path, static_cast<int>(w.bits)), samples) << w.rate;
        EXPECT_EQ(std::stod(commandOutput("sox --i -r '" + path + "'")), w.rate);
        EXPECT_EQ(std::stod(commandOutput("ffprobe -v quiet -show_entries stream=sample_rate -of csv=p=0 '" + path +
                                          "'")),
                  w.rate);
    }
}

}  // namespace
}  // namespace auralune::test

#include "formats/wav.h"

#include "formats/processing_mark.h"
#include "support/wav_fixtures.h"
#include "support/stage_buffers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace auralune::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A destination ready to write: `frames` frames of a counting pattern.
void prepare(AudioFile& job, std::uint32_t frames, std::uint32_t channels, std::uint32_t bits, double rate)
{
    job.dstEndianessValues = kEndianLittle;
    job.dstEndianessData = kEndianLittle;
    job.dstFrames = job.srcFrames = frames;
    job.dstFrameRate = job.srcFrameRate = rate;
    job.dstChannelsData = channels;
    job.dstSampleBits = bits;
    job.dstSampleBytes = bits / 8;
    job.dstAudioData.resize(std::size_t{frames} * channels * (bits / 8));
    for (std::size_t i = 0; i < job.dstAudioData.size(); ++i)
        job.dstAudioData[i] = static_cast<std::uint8_t>(i * 7 + 3);
}

TEST(WavWriter, OneSecondStereo16BitImageIsByteExact)
{
    JobHarness h;
    prepare(h.job, 44100, 2, 16, 44100.0);
    ByteBuffer image;
    h.job.CreateDestBufferWAV(image);
    ASSERT_EQ(image.size(), 44u + 176400u + 66u);
    const Bytes header{'R',  'I',  'F', 'F', 0x76, 0xB1, 0x02, 0x00, 'W',  'A',  'V',  'E',   // 176502
                       'f',  'm',  't', ' ', 16,   0,    0,    0,    1,    0,    2,    0,
                       0x44, 0xAC, 0,   0,   0x10, 0xB1, 0x02, 0,   // 44100, 176400
                       4,    0,    16,  0,   'd',  'a',  't',  'a',  0x10, 0xB1, 0x02, 0};
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 44), header);
    EXPECT_TRUE(std::equal(h.job.dstAudioData.begin(), h.job.dstAudioData.end(), image.begin() + 44));
    EXPECT_TRUE(bytes::hasFourCC(image, 44 + 176400, "KEST"));
    EXPECT_EQ(h.job.warning, 0);
}

TEST(WavWriter, OddAudioAndChunkLengthsArePadded)
{
    JobHarness h;
    prepare(h.job, 5, 1, 24, 96000.0);   // 15 audio bytes
    h.job.settings.calculateDstR128 = h.job.settings.dstBwfMetadata = true;
    h.job.srcIXMLChunkData = {'i', 'X', 'M', 'L', 3, 0, 0, 0, '<', 'a', '>'};
    h.job.srcID3ChunkData = {'I', 'D', '3', ' ', 1, 0, 0, 0, 'x'};
    ByteBuffer image;
    h.job.CreateDestBufferWAV(image);
    ASSERT_EQ(h.job.error, 0);

    // 44 + 15 + pad, mark, new bext (610), iXML (11 + pad), ID3 (9 + pad).
    const std::size_t mark = 44 + 16;
    ASSERT_EQ(image.size(), mark + 66 + 610 + 12 + 10);
    EXPECT_EQ(bytes::readU32LE(image, 4), image.size() - 8);
    EXPECT_EQ(bytes::readU32LE(image, 40), 15u);
    EXPECT_EQ(image[59], 0);
    EXPECT_TRUE(bytes::hasFourCC(image, mark, "KEST"));
    EXPECT_TRUE(bytes::hasFourCC(image, mark + 66, "bext"));
    EXPECT_TRUE(bytes::hasFourCC(image, mark + 66 + 610, "iXML"));
    EXPECT_TRUE(bytes::hasFourCC(image, mark + 66 + 610 + 12, "ID3 "));

    // Our own reader takes the image back, carried chunks and all.
    JobHarness back;
    back.job.AnalyseWAVImage(image, false);
    EXPECT_EQ(back.job.error, 0);
    EXPECT_EQ(back.job.srcFrames, 5u);
    EXPECT_EQ(back.job.srcAudioData, h.job.dstAudioData);
    EXPECT_EQ(back.job.srcIXMLChunkData, h.job.srcIXMLChunkData);
    EXPECT_EQ(back.job.srcID3ChunkData, h.job.srcID3ChunkData);
    EXPECT_EQ(back.job.srcBextChunkData.size(), 610u);

    // Without loudness in bext, only the ID3 chunk is carried.
    JobHarness plain;
    prepare(plain.job, 5, 1, 24, 96000.0);
    plain.job.srcIXMLChunkData = h.job.srcIXMLChunkData;
    plain.job.srcID3ChunkData = h.job.srcID3ChunkData;
    ByteBuffer small;
    plain.job.CreateDestBufferWAV(small);
    EXPECT_EQ(small.size(), mark + 66 + 10);
}

TEST(WavImagePlan, FourGigabyteCut)
{
    constexpr std::uint64_t kStereo16 = 4;
    // The largest stereo 16-bit image that fits: R = 102 + A <= 0xFFFFFFFF.
    const std::uint64_t fitting = (kRiffSizeLimit - kWavFixedRiffSize) / kStereo16;
    WavImagePlan plan = planWavImage(fitting, kStereo16, 0, 0, 0);
    EXPECT_FALSE(plan.truncated);
    EXPECT_EQ(plan.riffSize, kWavFixedRiffSize + fitting * 4);

    plan = planWavImage(fitting + 1000, kStereo16, 0, 0, 0);
    EXPECT_TRUE(plan.truncated);
    EXPECT_EQ(plan.frames, fitting);
    EXPECT_LE(plan.riffSize, kRiffSizeLimit);

    // Carried chunks take their room from the audio.
    plan = planWavImage(fitting, kStereo16, 610, 0, 1001);
    EXPECT_TRUE(plan.truncated);
    EXPECT_EQ(plan.frames, fitting - (610 + 1002 + 3) / 4);
    EXPECT_LE(plan.riffSize, kRiffSizeLimit);
    EXPECT_GT(plan.riffSize + 4, kRiffSizeLimit);

    // Mono 24-bit: cutting the excess exactly leaves an odd length whose pad
    // byte would overrun by one, so one more frame goes.
    const std::uint64_t frames = (kRiffSizeLimit - kWavFixedRiffSize) / 3 + 1;   // A even, 3 bytes over
    ASSERT_EQ(frames * 3 % 2, 0u);
    plan = planWavImage(frames, 3, 0, 0, 0);
    EXPECT_TRUE(plan.truncated);
    EXPECT_LE(plan.riffSize, kRiffSizeLimit);
    EXPECT_EQ(plan.frames, frames - 2);

    // Carried chunks that cannot fit even without audio are left out.
    plan = planWavImage(100, 4, 0, kRiffSizeLimit, 9);
    EXPECT_TRUE(plan.metadataDropped);
    EXPECT_FALSE(plan.truncated);
    EXPECT_EQ(plan.riffSize, kWavFixedRiffSize + 400);
}

// ---------------------------------------------------------------------------
// An independent reader takes our images back.

bool haveSox()
{
    return std::system("command -v sox >/dev/null 2>&1") == 0;
}

Bytes soxRawSamples(const std::string& path)
{
    Bytes out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("sox " + path + " -t raw - 2>/dev/null").c_str(), "r"), pclose);
    if (!pipe)
        return out;
    std::uint8_t block[4096];
    while (std::size_t n = std::fread(block, 1, sizeof block, pipe.get()))
        out.insert(out.end(), block, block + n);
    return out;
}

TEST(WavWriter, SoxReadsOurImagesWithTheSameSamples)
{
    if (!haveSox())
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    const struct {
        std::uint32_t frames, channels, bits;
    } cases[] = {{441, 1, 24}, {1001, 2, 24}, {100, 6, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + "ch " + std::to_string(c.bits) + " bits");
        JobHarness h;
        prepare(h.job, c.frames, c.channels, c.bits, 44100.0);
        h.job.settings.calculateDstR128 = h.job.settings.dstBwfMetadata = true;
        h.job.srcID3ChunkData = {'I', 'D', '3', ' ', 3, 0, 0, 0, 'I', 'D', '3'};
        ByteBuffer image;
        h.job.CreateDestBufferWAV(image);
        const auto path = dir.path() / "ours.wav";
        writeFile(path, test::plain(image));
        EXPECT_EQ(soxRawSamples(path.string()), h.job.dstAudioData);
    }
}

}  // namespace
}  // namespace auralune::test

#include "support/wav_fixtures.h"
#include "support/stage_buffers.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace auralune::test {
namespace {

const std::filesystem::path kCorpus = std::filesystem::path(AURALUNE_TEST_DATA) / "wav";

// Two stereo 16-bit frames, as every corpus file holds.
const std::vector<std::uint8_t> kCorpusSamples{1, 0, 0xFF, 0xFF, 2, 0, 0xFE, 0xFF};

struct Refused {
    const char* file;
    int error;
    const char* line;
};

TEST(WavReader, RefusesMalformedCorpusFilesWithTheirErrors)
{
    const Refused cases[] = {
        {"truncated_header.wav", kErrorHeader, "<ERROR> The RIFF header is truncated"},
        {"not_wave.wav", kErrorHeader, "<ERROR> format = file_unknown"},
        {"no_chunks.wav", kErrorHeader, "<ERROR> This file is missing a data chunk"},
        {"chunk_past_end.wav", kErrorHeader, "<ERROR> Chunk length overruns the file length"},
        // An unknown chunk whose size cannot be real ends the walk before data.
        {"chunk_size_near_4g.wav", kErrorHeader, "<ERROR> This file is missing a data chunk"},
        {"two_data.wav", kErrorHeader, "<ERROR> There can only be one DATA chunk"},
        {"fmt_size_17.wav", kErrorHeader, "<ERROR> Unexpected ckDataSize: 17"},
        {"fmt18_bad_cbsize.wav", kErrorHeader, "<ERROR> Unexpected cbSize: 2"},
        {"float_tag.wav", kErrorCompression,
         "<ERROR> Unexpected wFormatTag: 3 (hex) 3 (dec), ckDataSize: 12 (hex) 18 (dec)"},
        {"extensible_non_pcm.wav", kErrorCompression, "<ERROR> Extensible file format (3) is non-PCM"},
        {"extensible_bad_cbsize.wav", kErrorHeader, "<ERROR> Unexpected cbSize: 10"},
        {"zero_channels.wav", kErrorHeader, "<ERROR> The fmt chunk gives no channels or no sample bits"},
        {"no_fmt.wav", kErrorHeader, "<ERROR> This file is missing a fmt chunk"},
    };
    for (const Refused& c : cases) {
        for (bool headerOnly : {true, false}) {
            SCOPED_TRACE(std::string(c.file) + (headerOnly ? " header only" : " full"));
            JobHarness h((kCorpus / c.file).string());
            h.job.AnalyseWAV(headerOnly);
            EXPECT_EQ(h.job.error, c.error);
            EXPECT_TRUE(h.log.contains(c.line));
            EXPECT_TRUE(h.job.srcAudioData.empty());
        }
    }
}

TEST(WavReader, AcceptsOddButValidCorpusFiles)
{
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"zero_block_align.wav",
         {"<Info>  nAvgBytesPerSec = 3039 (hex) 12345 (dec)", "<Info>  nBlockAlign = 0 (hex) 0 (dec)"}},
        {"riff_size_mismatch.wav", {"<Info>  ckDataSize = 7fffffff (hex) 2147483647 (dec)"}},
        {"data_before_fmt.wav", {"<Info>  fmt chunk is good", "<Info>  data chunk is good"}},
        {"extensible_cbsize0.wav", {"<Info>  cbSize = 0 (hex) 0 (dec)", "<Info>  fmt chunk is good"}},
        {"odd_list_then_data.wav",
         {"<Info>  Discarding chunk", "<WARNING> Chunk has an odd number of bytes",
          "<Info>  Bytes from unknown chunks = d (hex) 13 (dec)"}},
        {"odd_last_chunk.wav", {"<Info>  Bytes from unknown chunks = b (hex) 11 (dec)"}},
        {"trailing_bytes.wav", {"<Info>  5 bytes remaining"}},
    };
    for (const auto& [file, lines] : cases) {
        SCOPED_TRACE(file);
        JobHarness h((kCorpus / file).string());
        h.job.AnalyseWAV(false);
        EXPECT_EQ(h.job.error, 0);
        EXPECT_EQ(h.job.srcFrames, 2u);
        EXPECT_EQ(h.job.srcChannels, 2u);
        EXPECT_EQ(h.job.srcSampleBits, 16u);
        EXPECT_EQ(h.job.srcAudioData, kCorpusSamples);
        for (const std::string& line : lines)
            EXPECT_TRUE(h.log.contains(line)) << line;
        EXPECT_EQ(h.log.contains("<WARNING> Chunk has an odd number of bytes"),
                  std::string_view(file) == "odd_list_then_data.wav");
        EXPECT_FALSE(h.log.contains("<ERROR> Channel mask should be 3"));
    }
}

TEST(WavReader, PlainFileWithAnOddDataChunk)
{
    const auto image = RiffBuilder().fmt(2, 48000, 24).chunk("data", std::vector<std::uint8_t>(13, 7)).image();
    JobHarness h;
    h.job.AnalyseWAVImage(image, true);
    for (const char* line : {"<Info>  format = WAV", "<WARNING> Chunk has an odd number of bytes",
                             "<Info>  Sample frames = 2 (hex) 2 (dec)",
                             "<WARNING> Discrepancy in audio data length between fmt and data"})
        EXPECT_TRUE(h.log.contains(line)) << line;
    EXPECT_EQ(h.log.lines().back(), "<Info>  data chunk is good");
    EXPECT_EQ(h.job.error, 0);
    EXPECT_EQ(h.job.srcFileType, kFileWav);
    EXPECT_EQ(h.job.srcEndianessValues, kEndianLittle);
    EXPECT_EQ(h.job.srcEndianessData, kEndianLittle);
    EXPECT_EQ(h.job.srcFrameRate, 48000.0);
}

TEST(WavReader, ExtensibleFormatTakesTheValidBitsAndOnlyLogsAnUnusualMask)
{
    for (std::uint32_t mask : {3u, 0x33u}) {
        const auto image = RiffBuilder()
                               .chunk("fmt ", RiffBuilder::extensibleFmtData(2, 44100, 32, 22, 24, mask, 1))
                               .chunk("data", std::vector<std::uint8_t>(8 * 5, 0))
                               .image();
        JobHarness h;
        h.job.AnalyseWAVImage(image, false);
        EXPECT_EQ(h.job.error, 0);
        EXPECT_EQ(h.job.srcSampleBits, 24u);
        EXPECT_EQ(h.job.srcSampleBytes, 3u);
        EXPECT_EQ(h.job.srcFrames, 5u);
        EXPECT_EQ(h.log.contains("<ERROR> Channel mask should be 3"), mask != 3);
    }
}

TEST(WavReader, KeepsTheFirstCopyOfCarriedChunksAndSkipsAShortBext)
{
    const std::vector<std::uint8_t> bext(602, 0x42), ixml{'<', 'x', '/', '>'}, id3{'I', 'D', '3', 4, 0};
    const auto image = RiffBuilder()
                           .fmt(2, 44100, 16)
                           .chunk("bext", bext)
                           .chunk("iXML", ixml)
                           .chunk("data", kCorpusSamples)
                           .chunk("ID3 ", id3)
                           .image();
    JobHarness h;
    h.job.AnalyseWAVImage(image, true);
    ASSERT_EQ(h.job.error, 0);
    ASSERT_EQ(h.job.srcBextChunkData.size(), 610u);
    EXPECT_TRUE(bytes::hasFourCC(h.job.srcBextChunkData, 0, "bext"));
    EXPECT_EQ(h.job.srcIXMLChunkData.size(), 12u);
    EXPECT_EQ(h.job.srcID3ChunkData.size(), 13u);
    EXPECT_TRUE(h.log.contains("<Info>  ID3v2 chunk is good"));

    // The processing pass reads the file again: the first copies stay.
    h.job.srcIXMLChunkData = {1, 2, 3};
    h.job.AnalyseWAVImage(image, false);
    EXPECT_EQ(h.job.srcIXMLChunkData, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(h.job.srcAudioData, kCorpusSamples);

    const auto shortBext = RiffBuilder()
                               .fmt(2, 44100, 16)
                               .chunk("bext", std::vector<std::uint8_t>(100, 1))
                               .chunk("data", kCorpusSamples)
                               .image();
    JobHarness s;
    s.job.AnalyseWAVImage(shortBext, true);
    EXPECT_EQ(s.job.error, 0);
    EXPECT_TRUE(s.job.srcBextChunkData.empty());
    EXPECT_TRUE(s.log.contains("<WARNING>  BEXT chunk of 100 bytes is too short and is not carried"));
}

TEST(WavReader, DuplicateRetainedChunksStopTheParse)
{
    const std::pair<const char*, const char*> cases[] = {
        {"fmt ", "<ERROR> There can only be one FMT chunk"},   {"KEST", "<ERROR> There can only be one KEST chunk"},
        {"bext", "<ERROR> There can only be one BEXT chunk"},  {"iXML", "<ERROR> There can only be one iXML chunk"},
        {"ID3 ", "<ERROR> There can only be one ID3v2 chunk"},
    };
    for (const auto& [id, line] : cases) {
        const std::vector<std::uint8_t> body =
            std::string_view(id) == "fmt " ? RiffBuilder::fmtData(2, 44100, 16) : std::vector<std::uint8_t>(4, 0);
        const auto image =
            RiffBuilder().fmt(2, 44100, 16).chunk(id, body).chunk(id, body).chunk("data", kCorpusSamples).image();
        JobHarness h;
        h.job.AnalyseWAVImage(image, true);
        EXPECT_EQ(h.job.error, kErrorHeader) << id;
        EXPECT_TRUE(h.log.contains(line)) << id;
    }
}

// Files made by independent tools.
TEST(WavReader, ReadsFilesMadeByIndependentTools)
{
    // 0.1 s of a 440 Hz tone at 44100 Hz: 4410 frames.
    const std::string sox = "sox -n -r 44100 ";
    const std::string soxTail = " synth 0.1 sine 440";
    const std::string ffmpeg = "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=0.1 ";
    const struct {
        const char* tool;
        std::string arguments;   // between the input and the output file
        std::uint32_t channels, bits;
        int error;   // after the reader and ValidateAudioParameters
    } cases[] = {
        {"sox", "-c 2 -b 16", 2, 16, 0},
        {"sox", "-c 2 -b 24", 2, 24, 0},   // extensible
        {"sox", "-c 1 -b 16", 1, 16, kErrorChannels},
        {"sox", "-c 2 -b 8", 2, 8, kErrorBitDepth},
        {"sox", "-c 2 -e floating-point -b 32", 0, 0, kErrorCompression},
        {"ffmpeg", "-ac 2 -c:a pcm_s16le -write_bext 1 -metadata title=Take", 2, 16, 0},
        {"ffmpeg", "-ac 6 -c:a pcm_s24le", 6, 24, kErrorChannels},
        {"ffmpeg", "-ac 2 -c:a pcm_s16le -write_peak on", 2, 16, 0},   // levl chunk after data
    };
    TempDir dir;
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.arguments);
        if (std::system(("command -v " + std::string(c.tool) + " >/dev/null 2>&1").c_str()) != 0)
            GTEST_SKIP() << c.tool << " is not installed";
        const std::string path = (dir.path() / ("made" + std::to_string(index++) + ".wav")).string();
        const std::string command = std::string_view(c.tool) == "sox" ? sox + c.arguments + " " + path + soxTail
                                                                      : ffmpeg + c.arguments + " " + path;
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;

        JobHarness h(path);
        h.job.AnalyseWAV(false);
        if (h.job.error == 0)
            h.job.ValidateAudioParameters();
        EXPECT_EQ(h.job.error, c.error);
        if (c.error == kErrorCompression)
            continue;
        EXPECT_EQ(h.job.srcChannels, c.channels);
        EXPECT_EQ(h.job.srcSampleBits, c.bits);
        EXPECT_EQ(h.job.srcFrames, 4410u);
        EXPECT_EQ(h.job.srcAudioData.size(), 4410u * c.channels * ((c.bits + 7) / 8));
        if (c.arguments.find("write_bext") != std::string::npos) {
            EXPECT_EQ(h.job.srcBextChunkData.size(), 610u);
            EXPECT_GT(h.job.discardBytes, 0u);   // the LIST chunk of the title
        }
        if (c.arguments.find("write_peak") != std::string::npos) {
            EXPECT_TRUE(h.log.contains("<Info>  ckID = levl"));
        }
    }
}

}  // namespace
}  // namespace auralune::test

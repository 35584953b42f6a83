#include "support/wav_fixtures.h"
#include "support/stage_buffers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

namespace auralune::test {
namespace {

// Interleaved stereo samples of `validBits`, each left-justified in a
// container of `containerBits`; the unused low bits hold `fill`.
std::vector<std::uint8_t> containerSamples(std::uint32_t frames, unsigned containerBits, unsigned validBits,
                                           std::uint8_t fill)
{
    std::vector<std::uint8_t> data;
    for (std::uint32_t i = 0; i < frames * 2; ++i) {
        const std::uint64_t value = (std::uint64_t{i} * 7919u * 257u) & ((std::uint64_t{1} << validBits) - 1);
        const unsigned pad = containerBits - validBits;
        const std::uint64_t word = (value << pad) | (pad >= 8 ? fill : 0);
        for (unsigned b = 0; b < containerBits / 8; ++b)
            data.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
    }
    return data;
}

// The same samples packed at their valid width, as the job keeps them.
std::vector<std::uint8_t> packedSamples(std::uint32_t frames, unsigned validBits)
{
    return containerSamples(frames, (validBits + 7) / 8 * 8, validBits, 0);
}

std::vector<std::uint8_t> withBlockAlign(std::vector<std::uint8_t> fmt, std::uint16_t blockAlign)
{
    bytes::storeLE(fmt, 12, blockAlign);
    return fmt;
}

TEST(WavContainer, SamplesAreReadAtTheirContainerWidthKeepingTheValidBits)
{
    constexpr std::uint32_t kFrames = 37;
    const struct {
        const char* name;
        std::vector<std::uint8_t> fmt;
        unsigned containerBits, validBits;
        int error;   // 0: the valid bits are read
    } cases[] = {
        {"24 in 32, extensible", RiffBuilder::extensibleFmtData(2, 48000, 32, 22, 24, 3, 1), 32, 24, 0},
        {"16 in 24, extensible", RiffBuilder::extensibleFmtData(2, 44100, 24, 22, 16, 3, 1), 24, 16, 0},
        {"20 in 24, extensible", RiffBuilder::extensibleFmtData(2, 44100, 24, 22, 20, 3, 1), 24, 20, 0},
        {"24 in 24, extensible", RiffBuilder::extensibleFmtData(2, 44100, 24, 22, 24, 3, 1), 24, 24, 0},
        {"16-bit PCM, block align 0 (not given)", withBlockAlign(RiffBuilder::fmtData(2, 44100, 16), 0), 16, 16, 0},
        {"24-bit PCM, block align 8", withBlockAlign(RiffBuilder::fmtData(2, 44100, 24), 8), 32, 24, kErrorHeader},
        {"24 in 32 with block align 6",
         withBlockAlign(RiffBuilder::extensibleFmtData(2, 48000, 32, 22, 24, 3, 1), 6), 32, 24, kErrorHeader},
        {"32 valid bits in 24", RiffBuilder::extensibleFmtData(2, 48000, 24, 22, 32, 3, 1), 24, 24, kErrorBitDepth},
        {"24 valid bits in no container", withBlockAlign(RiffBuilder::extensibleFmtData(2, 48000, 0, 22, 24, 3, 1), 0),
         32, 24, kErrorHeader},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = RiffBuilder()
                               .chunk("fmt ", c.fmt)
                               .chunk("data", containerSamples(kFrames, c.containerBits, c.validBits, 0x5A))
                               .image();
        for (bool headerOnly : {true, false}) {
            JobHarness h;
            h.job.AnalyseWAVImage(image, headerOnly);
            EXPECT_EQ(h.job.error, c.error);
            if (c.error != 0) {
                EXPECT_TRUE(h.job.srcAudioData.empty());
                continue;
            }
            EXPECT_EQ(h.job.srcSampleBits, c.validBits);
            EXPECT_EQ(h.job.srcFrames, kFrames);
            EXPECT_FALSE(h.log.contains("<WARNING> Discrepancy in audio data length between fmt and data"));
            if (!headerOnly) {
                EXPECT_EQ(h.job.srcAudioData, packedSamples(kFrames, c.validBits));
            }
        }
    }
}

// flac reads such files too; what it decodes them to (packed samples) must
// give the job the same samples.
TEST(WavContainer, AgreesWithFlacOnWideContainers)
{
    if (std::system("command -v flac >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "flac is not installed";
    constexpr std::uint32_t kFrames = 441;
    TempDir dir;
    for (const auto& [container, valid] : {std::pair{32u, 24u}, std::pair{24u, 16u}}) {
        SCOPED_TRACE(std::to_string(valid) + " in " + std::to_string(container));
        const auto wide = (dir.path() / "wide.wav").string();
        const auto coded = (dir.path() / "wide.flac").string();
        const auto decoded = (dir.path() / "decoded.wav").string();
        writeFile(wide, RiffBuilder()
                            .chunk("fmt ", RiffBuilder::extensibleFmtData(2, 44100, static_cast<std::uint16_t>(container),
                                                                          22, static_cast<std::uint16_t>(valid), 3, 1))
                            .chunk("data", containerSamples(kFrames, container, valid, 0))
                            .image());
        const std::string command =
            "flac -s -f -o '" + coded + "' '" + wide + "' && flac -s -d -f -o '" + decoded + "' '" + coded + "'";
        ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;

        JobHarness ours(wide), theirs(decoded);
        ours.job.AnalyseWAV(false);
        theirs.job.AnalyseWAV(false);
        ASSERT_EQ(ours.job.error, 0);
        ASSERT_EQ(theirs.job.error, 0);
        EXPECT_EQ(ours.job.srcSampleBits, theirs.job.srcSampleBits);
        EXPECT_EQ(ours.job.srcFrames, theirs.job.srcFrames);
        EXPECT_EQ(ours.job.srcAudioData, theirs.job.srcAudioData);
    }
}

// A zero-filled tail (a recorder that preallocated its file) or a chunk
// size that cannot be real ends the walk with a warning; the chunks found
// stay, and the walk neither reads nor logs chunk by chunk through the tail.
TEST(WavChunkWalk, StopsAtChunksThatCannotBeReal)
{
    const std::vector<std::uint8_t> samples{1, 0, 0xFF, 0xFF, 2, 0, 0xFE, 0xFF};
    const auto start = RiffBuilder().fmt(2, 44100, 16).chunk("data", samples);
    std::vector<std::uint8_t> zeroTail = start.image();
    zeroTail.resize(zeroTail.size() + 4 * 1024 * 1024, 0);
    std::vector<std::uint8_t> junkPastEnd = RiffBuilder(start).chunkWithSize("JUNK", 0x7fffffff, {1, 2, 3, 4}).image();

    const struct {
        const char* name;
        std::vector<std::uint8_t> image;
        const char* warning;
    } cases[] = {
        {"zero tail", zeroTail, "<WARNING> No chunk at offset 52 (zero bytes); the rest of the file is ignored"},
        {"size past the end", junkPastEnd,
         "<WARNING> Chunk 'JUNK' at offset 52 runs past the end; the rest of the file is ignored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobHarness h;
        h.job.AnalyseWAVImage(c.image, false);
        EXPECT_EQ(h.job.error, 0);
        EXPECT_TRUE(h.log.contains(c.warning));
        EXPECT_EQ(h.job.srcAudioData, samples);
        EXPECT_EQ(h.job.discardBytes, 0u);
        EXPECT_LT(h.log.lines().size(), 60u);
    }
}

TEST(WavChunkWalk, ManySmallChunksAreCountedButNotAllListed)
{
    RiffBuilder builder;
    builder.fmt(2, 44100, 16);
    constexpr int kChunks = 200000;   // 1.6 MB of empty chunks
    for (int i = 0; i < kChunks; ++i)
        builder.chunk("JUNK", {});
    builder.chunk("data", {1, 0, 2, 0});
    JobHarness h;
    h.job.AnalyseWAVImage(builder.image(), true);
    EXPECT_EQ(h.job.error, 0);
    EXPECT_EQ(h.job.srcFrames, 1u);
    EXPECT_EQ(h.job.discardBytes, 8u * kChunks);
    EXPECT_TRUE(h.log.contains("<Info>  Further chunks are not listed (more than 1000)"));
    EXPECT_LT(h.log.lines().size(), 5000u);
}

// A FIFO or a folder named .wav is refused at once, with the cause, and
// never waited on.
TEST(WavSource, RefusesFilesThatAreNotRegular)
{
    TempDir dir;
    const auto fifo = (dir.path() / "pipe.wav").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto folder = (dir.path() / "folder.wav").string();
    std::filesystem::create_directory(folder);
    const auto missing = (dir.path() / "missing.wav").string();
    const std::pair<std::string, std::string> cases[] = {
        {fifo, "Not a regular file: " + fifo},
        {folder, "Is a directory: " + folder},
        {missing, "No such file or directory: " + missing},
    };
    for (const auto& [path, cause] : cases) {
        SCOPED_TRACE(path);
        JobHarness h(path);
        h.job.AnalyseWAV(true);
        EXPECT_EQ(h.job.error, kErrorOpen);
        EXPECT_EQ(h.job.errorCause(), cause);
    }
}

}  // namespace
}  // namespace auralune::test

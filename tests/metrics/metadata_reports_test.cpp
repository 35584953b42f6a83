#include "metrics/metadata_decode.h"
#include "support/metrics_job.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace auralune {
namespace {

using metrics::kBextCodingHistoryOffset;

void put(std::vector<std::uint8_t>& chunk, std::size_t offset, std::string_view text)
{
    std::memcpy(chunk.data() + offset, text.data(), text.size());
}

void putLittle(std::vector<std::uint8_t>& chunk, std::size_t offset, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        chunk[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A version 2 chunk as a field recorder writes it, loudness included.
std::vector<std::uint8_t> recorderBext(std::string_view codingHistory)
{
    std::vector<std::uint8_t> chunk(kBextCodingHistoryOffset + codingHistory.size(), 0);
    put(chunk, 0, "bext");
    putLittle(chunk, 4, chunk.size() - 8, 4);
    put(chunk, metrics::kBextDescriptionOffset, "Interview, take 3");
    put(chunk, metrics::kBextOriginatorOffset, "Field Recorder");
    put(chunk, metrics::kBextOriginatorReferenceOffset, "USID0123456789");
    put(chunk, metrics::kBextOriginationDateOffset, "2023-05-17");
    put(chunk, metrics::kBextOriginationTimeOffset, "14:30:00");
    putLittle(chunk, metrics::kBextTimeReferenceOffset, (std::uint64_t{1} << 32) + 5, 8);
    putLittle(chunk, metrics::kBextVersionOffset, 2, 2);
    for (std::size_t i = 0; i < metrics::kBextUmidBytes; ++i)
        chunk[metrics::kBextUmidOffset + i] = static_cast<std::uint8_t>(i);
    putLittle(chunk, metrics::kBextLoudnessValueOffset, static_cast<std::uint16_t>(-2300), 2);
    putLittle(chunk, metrics::kBextLoudnessRangeOffset, 500, 2);
    putLittle(chunk, metrics::kBextMaxTruePeakLevelOffset, static_cast<std::uint16_t>(-100), 2);
    putLittle(chunk, metrics::kBextMaxMomentaryLoudnessOffset, static_cast<std::uint16_t>(-1800), 2);
    putLittle(chunk, metrics::kBextMaxShortTermLoudnessOffset, static_cast<std::uint16_t>(-2050), 2);
    put(chunk, kBextCodingHistoryOffset, codingHistory);
    return chunk;
}

const std::string kUmid =
    "<00010203 04050607 08090a0b 0c0d0e0f 10111213 14151617 18191a1b 1c1d1e1f "
    "20212223 24252627 28292a2b 2c2d2e2f 30313233 34353637 38393a3b 3c3d3e3f>";

TEST(AnalyseAudioMetricsBEXT, ReportsEveryFieldOfARecorderChunk)
{
    test::MetricsJob t;
    t.job.srcEndianessValues = kEndianLittle;
    t.job.srcFrameRate = 48000;
    t.job.srcBextChunkData = recorderBext("A=PCM,F=48000,W=24,M=stereo,T=original\r\n");
    t.job.AnalyseAudioMetricsBEXT(1);

    EXPECT_EQ(t.job.error, 0);
    const std::vector<std::string> expected{
        "---- Broadcast Wave Information (bext chunk) ----",
        "[Description]: Interview, take 3",
        "[Originator]: Field Recorder",
        "[OriginatorReference]: USID0123456789",
        "[OriginationDate]: 2023-05-17",
        "[OriginationTime]: 14:30:00",
        "[TimeReference]: 4294967301 (samples @ 48000Hz)",
        "[Version]: 2",
        "[SMPTE_UMID]: " + kUmid,
        "[LoudnessValue]: -2300 (LUFS x 100)",
        "[LoudnessRange]: 500 (LU x 100)",
        "[MaxTruePeakLevel]: -100 (dBTP x 100)",
        "[MaxMomentaryLoudness]: -1800 (LUFS x 100)",
        "[MaxShortTermLoudness]: -2050 (LUFS x 100)",
        "[CodingHistory]: A=PCM,F=48000,W=24,M=stereo,T=original\r\n",
    };
    EXPECT_EQ(t.job.srcMetrics, expected);

    const std::vector<std::string> log = t.log.lines();
    ASSERT_EQ(log.size(), 16u);
    EXPECT_EQ(log[1], "<Info>  Broadcast Audio Extension (bext): " + metrics::hexDescription(t.job.srcBextChunkData));
    EXPECT_EQ(log[9], "<Info>  SMPTE_UMID[64]: " + kUmid);
}

TEST(AnalyseAudioMetricsBEXT, NoChunkIsIgnoredAShortOneIsDamagedAndTheFixedPartAloneReports)
{
    test::MetricsJob t;
    t.job.AnalyseAudioMetricsBEXT(1);
    EXPECT_EQ(t.job.error, 0);
    EXPECT_TRUE(t.log.lines().empty());

    std::vector<std::uint8_t> chunk = recorderBext("");
    put(chunk, metrics::kBextDescriptionOffset, "Caf\xE9 \xFF");
    t.job.srcBextChunkData = std::vector<std::uint8_t>(chunk.begin(), chunk.end() - 1);
    t.job.AnalyseAudioMetricsBEXT(1);
    EXPECT_EQ(t.job.error, kErrorHeader);
    EXPECT_EQ(t.log.lines(), std::vector<std::string>{"<ERROR> Broadcast Wave chunk (bext) is too short"});
    EXPECT_TRUE(t.job.srcMetrics.empty());

    test::MetricsJob whole;
    whole.job.srcBextChunkData = chunk;
    whole.job.AnalyseAudioMetricsBEXT(1);
    EXPECT_EQ(whole.job.error, 0);
    ASSERT_EQ(whole.job.srcMetrics.size(), 15u);
    EXPECT_EQ(whole.job.srcMetrics[1], "[Description]: Caf\xEF\xBF\xBD \xEF\xBF\xBD" "iew, take 3");
    EXPECT_EQ(whole.job.srcMetrics[14], "[CodingHistory]: ");
}

std::vector<std::uint8_t> ixmlChunk(std::string_view text)
{
    std::vector<std::uint8_t> chunk(8 + text.size(), 0);
    put(chunk, 0, "iXML");
    putLittle(chunk, 4, text.size(), 4);
    put(chunk, 8, text);
    return chunk;
}

TEST(AnalyseAudioMetricsIXML, ShowsTheTextUnparsedAndRefusesAShortChunk)
{
    test::MetricsJob t;
    // Not well-formed: shown as it stands.
    const std::string xml = "<BWFXML><PROJECT>Night \xC3\xA9\x81</PROJECT><SCENE>12";
    t.job.srcIXMLChunkData = ixmlChunk(xml + std::string(1, '\0'));
    t.job.AnalyseAudioMetricsIXML(1);

    const std::string shown = "<BWFXML><PROJECT>Night \xC3\xA9\xEF\xBF\xBD</PROJECT><SCENE>12";
    EXPECT_EQ(t.job.srcMetrics, (std::vector<std::string>{"---- Location Sound Metadata (iXML chunk) ----", shown}));
    EXPECT_TRUE(t.log.contains("<Info>  Location Sound Metadata (iXML): " + shown));

    test::MetricsJob bare;
    bare.job.srcIXMLChunkData = ixmlChunk("");
    bare.job.AnalyseAudioMetricsIXML(1);
    EXPECT_EQ(bare.job.srcMetrics, (std::vector<std::string>{"---- Location Sound Metadata (iXML chunk) ----", ""}));

    test::MetricsJob s;
    s.job.srcIXMLChunkData = {'i', 'X', 'M', 'L', 0, 0, 0};
    s.job.AnalyseAudioMetricsIXML(1);
    EXPECT_EQ(s.job.error, kErrorHeader);
    EXPECT_EQ(s.log.lines(), std::vector<std::string>{"<ERROR> iXML chunk is too short"});
    EXPECT_TRUE(s.job.srcMetrics.empty());
}

TEST(AnalyseAudioMetricsVorbis, ListsEachCommentAsItsOwnLine)
{
    test::MetricsJob t("/music/Take 1.flac");
    t.job.srcVorbisCommentsPresent = true;
    t.job.srcVorbisComments = {"TITLE=Caf\xC3\xA9", "ARTIST=Bad \xE9 byte", "", "NOEQUALSSIGN",
                               "COMMENT=a=b"};
    t.job.AnalyseAudioMetricsVorbis(1);

    EXPECT_EQ(t.job.srcMetrics,
              (std::vector<std::string>{"---- FLAC Vorbis Comments ----", "TITLE=Caf\xC3\xA9",
                                        "ARTIST=Bad \xEF\xBF\xBD byte", "NOEQUALSSIGN", "COMMENT=a=b"}));
    EXPECT_TRUE(t.log.contains("<Info>  ARTIST=Bad \xEF\xBF\xBD byte"));

    // A block of empty entries gives the header alone; no block, nothing.
    test::MetricsJob empty("/music/Take 1.flac");
    empty.job.srcVorbisCommentsPresent = true;
    empty.job.AnalyseAudioMetricsVorbis(1);
    EXPECT_EQ(empty.job.srcMetrics, std::vector<std::string>{"---- FLAC Vorbis Comments ----"});
    test::MetricsJob wav;
    wav.job.AnalyseAudioMetricsVorbis(1);
    EXPECT_TRUE(wav.job.srcMetrics.empty() && wav.log.lines().empty());
}

}  // namespace
}  // namespace auralune

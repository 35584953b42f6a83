#include "metrics/file_facts.h"
#include "support/metrics_job.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace auralune {
namespace {

using Lines = std::vector<std::string>;

TEST(DurationText, TruncatesToWholeSecondsAndKeepsLongMinutes)
{
    EXPECT_EQ(metrics::durationText(3723000, 44100), "01:24");
    EXPECT_EQ(metrics::durationText(90u * 60u * 48000u, 48000), "90:00");
    EXPECT_EQ(metrics::durationText(47999, 48000), "00:00");
    EXPECT_EQ(metrics::durationText(4294967295u, 44100), "1623:11");
    EXPECT_EQ(metrics::durationText(1000, 0), "00:00");
}

TEST(DateDescription, IsUtcWithItsOffset)
{
    EXPECT_EQ(metrics::dateDescription(1700000000), "2023-11-14 22:13:20 +0000");
}

TEST(AnalyseAudioMetricsBasic, SourceFactsAndAMetadataSummaryOfWhatIsCarried)
{
    test::MetricsJob t("/music/Take 1.flac");
    t.job.srcFrames = 3723000;
    t.job.srcFrameRate = 44100;
    t.job.srcChannels = 2;
    t.job.srcSampleBits = 16;
    t.job.srcBextChunkData.resize(610);
    t.job.srcIXMLChunkData.resize(120);
    t.job.srcVorbisComments = {"TITLE=A", "ARTIST=B", "DATE=1972"};
    t.job.srcPictureChunkDict["mime"] = {'i', 'm', 'g'};
    t.job.srcPictureChunkDict["data"].resize(1000);
    t.job.AnalyseAudioMetricsBasic(1);
    EXPECT_EQ(t.job.srcMetrics,
              (Lines{"Time = 01:24", "Frames = 3723000", "Frame Rate = 44100.0", "Channels = 2", "Bit Depth = 16",
                     "---- Metadata ----", "BWF (bext) = 610 bytes", "BWF (iXML) = 120 bytes",
                     "FLAC Vorbis Comments = 3", "FLAC Picture = 1000 bytes"}));
    const Lines log = t.log.lines();
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(log[0], "<Info> Analysing the source audio basic metrics");
    EXPECT_EQ(log[6], "<Info> Analysing the source audio metadata");
    EXPECT_TRUE(t.job.midMetrics.empty() && t.job.dstMetrics.empty());

    EXPECT_EQ(metrics::metadataSummaryLines({.id3Bytes = 42}), Lines{"ID3v2 = 42 bytes"});
    EXPECT_TRUE(metrics::metadataSummaryLines({}).empty());
}

TEST(AnalyseAudioMetricsBasic, MidEnhancementUsesTheOutputOfEnhancementOne)
{
    test::MetricsJob t;
    t.job.dstFrames = 88200 * 2;
    t.job.dstFrameRate = 88200;
    t.job.dstChannels_1 = 6;
    t.job.dstSampleBits = 24;
    t.job.AnalyseAudioMetricsBasic(2);
    EXPECT_EQ(t.job.midMetrics,
              (Lines{"Time = 00:02", "Frames = 176400", "Frame Rate = 88200.0", "Channels = 6", "Bit Depth = 24"}));
    EXPECT_EQ(t.log.lines().front(), "<Info> Analysing the mid-enhancement audio basic metrics");
}

TEST(AnalyseAudioMetricsBasic, DestinationAddsEnhancementDateHiResAndDither)
{
    test::MetricsJob t;
    t.job.setTableText(TableText::Filter, "KESTRALIN");
    t.job.dstFrames = 48000 * 75;
    t.job.dstFrameRate = 48000;
    t.job.dstChannels_2 = 6;
    t.job.dstChannelsData = 2;
    t.job.dstSampleBits = 24;
    t.job.settings.hiResType = 2;
    t.job.settings.ditherType = 1;
    t.job.upsampleType = kUpsampleDouble;
    t.job.AnalyseAudioMetricsBasic(4);
    EXPECT_EQ(t.job.dstMetrics,
              (Lines{"Enhancement = KESTRALIN", "Date = 2023-11-14 22:13:20 +0000", "Time = 01:15",
                     "Frames = 3600000", "Frame Rate = 48000.0", "Channels = 2", "Bit Depth = 24",
                     "Hi-Res enabled = NO", "Hi-Res used = YES", "Dither = On"}));

    // Enhancement 1 "Hi-Res" enables hi-res whatever hiResType says.
    test::MetricsJob h;
    h.job.settings.filterType_1 = EnhancementCode{1} << 37;
    h.job.settings.hiResType = 2;
    h.job.settings.ditherType = 2;
    h.job.upsampleType = kUpsampleNone;
    h.job.AnalyseAudioMetricsBasic(4);
    EXPECT_EQ(Lines(h.job.dstMetrics.end() - 3, h.job.dstMetrics.end()),
              (Lines{"Hi-Res enabled = YES", "Hi-Res used = NO", "Dither = Off"}));
}

TEST(AnalyseAudioMetricsBasicDeathTest, UnknownStageIsAnInternalFailure)
{
    EXPECT_DEATH(
        {
            test::MetricsJob t;
            t.job.AnalyseAudioMetricsBasic(3);
        },
        "Unexpected metrics stage in -\\[AudioFile AnalyseAudioMetricsBasic:\\]");
}

}  // namespace
}  // namespace auralune

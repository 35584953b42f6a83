#include "dsp/hires.h"
#include "support/failing_allocation.h"
#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace auralune {
namespace {

using test::SampleJob;

std::vector<double> ramp(std::size_t count)
{
    std::vector<double> x(count);
    for (std::size_t i = 0; i < count; ++i)
        x[i] = static_cast<double>((i * 37) % 101) - 50.0;
    return x;
}

void setHighRateSource(SampleJob& s, int upsampleType, std::uint32_t frames)
{
    s.job.upsampleType = upsampleType;
    s.job.srcChannels = 2;
    s.job.srcFrames = frames;
    s.job.dstFrames = frames;
    s.job.srcFrameRate = 192000;
    s.job.dstFrameRate = 192000;
    s.job.audioIn = test::staged(ramp(2 * std::size_t{frames}));
}

TEST(HiResJob, QuadDownSampleHalvesAnOddSourceInPlace)
{
    SampleJob s;
    setHighRateSource(s, kUpsampleHalve, 1001);
    const std::vector<double> source = test::plain(s.job.audioIn);
    s.job.QuadDownSample();

    EXPECT_EQ(s.job.srcFrames, 500u);   // the odd last frame is dropped
    EXPECT_EQ(s.job.dstFrameRate, 96000);
    EXPECT_TRUE(s.log.contains("<Info>  High sample rate processing (1/2)"));
    EXPECT_EQ(s.job.tableText(TableText::State), "High sample rate processing...");

    std::vector<double> expected(1000);
    Progress progress;
    decimateByTwo(source, expected, 2, quadDownSampleKernel(), progress);
    ASSERT_EQ(s.job.audioIn.size(), 2002u);
    for (std::size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(s.job.audioIn[i], expected[i]) << i;
    for (std::size_t i = 1000; i < 2002; ++i)
        ASSERT_EQ(s.job.audioIn[i], 0.0) << i;
}

void setDoublingSource(SampleJob& s, std::uint32_t frames)
{
    s.job.upsampleType = kUpsampleDouble;
    s.job.srcChannels = 2;
    s.job.srcFrames = frames;
    s.job.dstFrames = 2 * frames;
    s.job.srcFrameRate = 44100;
    s.job.dstFrameRate = 88200;
    s.job.audioIn = test::staged(ramp(2 * std::size_t{frames}));
    s.job.audioBuf_0.assign(4 * std::size_t{frames}, 0.0);
}

TEST(HiResJob, DualUpSampleDoublesIntoTheStageBuffer)
{
    SampleJob s;
    setDoublingSource(s, 700);
    s.job.DualUpSample();

    EXPECT_TRUE(s.log.contains("<Info>  Hi-Res upconversion to 88200.0 Hz"));
    EXPECT_EQ(s.job.tableText(TableText::FrameRate), "44100 > 88200");
    EXPECT_EQ(s.job.tableText(TableText::Progress), "100%");
    EXPECT_EQ(s.job.dstFrames, 1400u);

    std::vector<double> expected(2800);
    Progress progress;
    interpolateByTwo(s.job.audioIn, expected, 2, dualUpSamplePhases(), progress);
    EXPECT_EQ(s.job.audioBuf_0, expected);
}

TEST(HiResJob, DualUpSampleCopiesWithoutDoublingAndTakesAnEmptySource)
{
    SampleJob s;
    setDoublingSource(s, 3);
    s.job.upsampleType = kUpsampleNone;
    s.job.dstFrames = 3;
    s.job.DualUpSample();
    EXPECT_EQ(std::vector<double>(s.job.audioBuf_0.begin(), s.job.audioBuf_0.begin() + 6), s.job.audioIn);
    EXPECT_TRUE(s.log.lines().empty());

    SampleJob empty;
    setDoublingSource(empty, 0);
    empty.job.DualUpSample();
    EXPECT_EQ(empty.job.dstFrames, 0u);
}

// The second half of a 192 kHz plan: audioBuf_2 at 96 kHz, room for twice its frames.
void setRestoringStage(SampleJob& s, std::uint32_t channels, std::uint32_t frames)
{
    s.job.upsampleType = kUpsampleHalveRestore;
    s.job.dstChannels_2 = channels;
    s.job.srcFrames = frames;
    s.job.dstFrames = frames;
    s.job.srcFrameRate = 96000;
    s.job.dstFrameRate = 96000;
    s.job.audioBuf_2 = test::staged(ramp(std::size_t{channels} * frames));
    s.job.audioBuf_2.resize(2 * std::size_t{channels} * frames, 0.0);
}

TEST(HiResJob, QuadUpSampleRestoresTheRateForEveryStageWidth)
{
    for (std::uint32_t channels : {1u, 2u, 6u}) {
        SampleJob s;
        setRestoringStage(s, channels, 333);
        const std::vector<double> stage(s.job.audioBuf_2.begin(), s.job.audioBuf_2.begin() + channels * 333);
        s.job.QuadUpSample();

        EXPECT_EQ(s.job.dstFrames, 666u);
        EXPECT_EQ(s.job.dstFrameRate, 192000);
        EXPECT_TRUE(s.log.contains("<Info>  Hi-Res processing (2/2)"));
        EXPECT_EQ(s.job.tableText(TableText::State), "Hi-Res processing...");

        std::vector<double> expected(2 * stage.size());
        Progress progress;
        interpolateByTwo(stage, expected, channels, quadUpSamplePhases(), progress);
        EXPECT_EQ(s.job.audioBuf_2, expected) << channels;
    }
}

TEST(HiResJob, RateChangesActOnlyForTheirPlans)
{
    for (int type : {kUpsampleNone, kUpsampleDouble}) {
        SampleJob s;
        setHighRateSource(s, type, 10);
        const std::vector<double> source = test::plain(s.job.audioIn);
        s.job.QuadDownSample();
        EXPECT_EQ(s.job.audioIn, source);
        EXPECT_TRUE(s.log.lines().empty());
    }
    SampleJob single;
    setHighRateSource(single, kUpsampleHalveRestore, 1);
    single.job.QuadDownSample();
    EXPECT_EQ(single.job.srcFrames, 0u);

    SampleJob up;
    setRestoringStage(up, 2, 10);
    up.job.upsampleType = kUpsampleHalve;
    const std::vector<double> stage = test::plain(up.job.audioBuf_2);
    up.job.QuadUpSample();
    EXPECT_EQ(up.job.dstFrames, 10u);
    EXPECT_EQ(up.job.audioBuf_2, stage);
}

TEST(HiResJobDeathTest, PlansAndRatesAreChecked)
{
    SampleJob down;
    setHighRateSource(down, kUpsampleHalve, 10);
    down.job.srcFrameRate = 96000;
    EXPECT_DEATH(down.job.QuadDownSample(), "Unexpected frame rate in -\\[AudioFile QuadDownSample\\]");

    SampleJob s;
    setDoublingSource(s, 10);
    s.job.srcChannels = 1;
    EXPECT_DEATH(s.job.DualUpSample(), "The number of channels must be 2 in -\\[AudioFile DualUpSample\\]");
    s.job.srcChannels = 2;
    s.job.dstFrames = 10;
    EXPECT_DEATH(s.job.DualUpSample(), "Source and destination frames match in -\\[AudioFile DualUpSample\\]");

    SampleJob up;
    setRestoringStage(up, 2, 10);
    up.job.dstFrameRate = 192000;
    EXPECT_DEATH(up.job.QuadUpSample(), "Unexpected frame rate in -\\[AudioFile QuadUpSample\\]");
}

TEST(HiResJob, QuadUpSampleSurvivesAFailedAllocation)
{
    // The error is reported and the frame counts still describe the buffer.
    SampleJob s;
    setRestoringStage(s, 2, 10000);
    {
        const test::FailingAllocation failing(100'000, 1);
        s.job.QuadUpSample();
        ASSERT_TRUE(failing.failed());
    }
    EXPECT_EQ(s.job.error, kErrorMemory);
    EXPECT_TRUE(s.log.contains("<ERROR> Memory allocation"));
    EXPECT_EQ(s.job.dstFrames, 10000u);
    EXPECT_EQ(s.job.dstFrameRate, 96000);
}

}  // namespace
}  // namespace auralune

#include "engine/sample_kernels.h"
#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace auralune {
namespace {

using test::RecordingSettingsController;
using test::SampleJob;

constexpr EnhancementCode kKestralin = 2;
constexpr EnhancementCode kGroove = 0x10000000;

// 100 silent stereo frames at 16 bits with one sample `dB` above full scale.
std::vector<double> oneClippedSample(double dB, double sign = 1.0)
{
    std::vector<double> samples(200, 0.0);
    samples[37] = sign * 32767.0 * std::pow(10.0, dB / 20.0);
    samples[38] = 1000.0;
    return samples;
}

TEST(ValidateAudioParameters, RunsEveryCheck)
{
    SampleJob ok;
    ok.job.srcChannels = 2;
    ok.job.srcSampleBits = 24;
    ok.job.srcFrameRate = 176400;
    ok.job.srcEndianessData = kEndianBig;
    ok.job.ValidateAudioParameters();
    EXPECT_EQ(ok.job.error, 0);

    SampleJob s;
    s.job.srcChannels = 6;
    s.job.srcSampleBits = 20;
    s.job.srcFrameRate = 32000;
    s.job.srcEndianessData = kEndianNone;
    s.job.ValidateAudioParameters();
    EXPECT_EQ(s.job.error, kErrorChannels | kErrorBitDepth | kErrorFrameRate | kErrorAudioData);
    EXPECT_EQ(s.log.lines(), (std::vector<std::string>{
                                 "<ERROR> Channels must be 2",
                                 "<ERROR> Sample size (20) is not supported",
                                 "<ERROR> Frame rate is not supported",
                                 "<ERROR> Audio data endianess is unknown",
                             }));
}

TEST(ConvertAudioToDouble, DecodesTheSourceAndReleasesIt)
{
    SampleJob s;
    s.job.srcChannels = 2;
    s.job.srcFrames = 2;
    s.job.srcSampleBytes = 3;
    s.job.srcEndianessData = kEndianBig;
    s.job.srcAudioData = {0xFF, 0xFF, 0xFE, 0x7F, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00};
    s.job.ConvertAudioToDouble();
    EXPECT_EQ(s.job.audioIn, (std::vector<double>{-2, 8388607, -8388608, 256}));
    EXPECT_TRUE(s.job.srcAudioData.empty());
    EXPECT_EQ(s.job.tableText(TableText::State), "Converting to double precision...");
}

TEST(ConvertAudioToDouble, UnknownByteOrderIsAnInternalFault)
{
    SampleJob s;
    s.job.srcChannels = 2;
    s.job.srcFrames = 1;
    s.job.srcSampleBytes = 2;
    s.job.srcEndianessData = 3;
    s.job.srcAudioData.resize(4);
    EXPECT_DEATH(s.job.ConvertAudioToDouble(), "Unknown endianess value 3 in -\\[AudioFile ProcessAudioData\\]");
}

TEST(PromoteAudioTo24Bit, ScalesToTheDestinationWord)
{
    SampleJob s;
    s.job.srcChannels = 2;
    s.job.dstFrames = 2;
    s.job.srcSampleBits = 16;
    s.job.dstSampleBits = 16;
    s.job.audioBuf_0 = {-32768, 32767, -1, 1};
    s.job.PromoteAudioTo24Bit();
    EXPECT_EQ(s.job.audioBuf_0, (std::vector<double>{-32768, 32767, -1, 1}));
    EXPECT_EQ(s.job.tableText(TableText::SampleSizeBits), "--");

    s.job.dstSampleBits = 24;
    s.job.PromoteAudioTo24Bit();
    EXPECT_EQ(s.job.audioBuf_0, (std::vector<double>{-8388608, 8388352, -256, 256}));
    EXPECT_EQ(s.job.tableText(TableText::SampleSizeBits), "16 > 24");
}

TEST(DitherAudio, RunsOnlyWhenTheSettingsAskForIt)
{
    struct Case {
        int ditherType;
        EnhancementCode first, second;
        double grooveNoise;
        bool dithered;
    };
    const Case cases[] = {
        {1, kKestralin, kEnhancementNone, -50.0, true},  {2, kKestralin, kEnhancementNone, -50.0, false},
        {1, kEnhancementNone, kKestralin, -50.0, false}, {1, kGroove, kEnhancementNone, -50.0, false},
        {1, kKestralin, kGroove, -50.0, false},          {1, kKestralin, kGroove, -70.0, true},
    };
    for (const Case& c : cases) {
        SampleJob s({0xC0000000u});
        s.job.settings.ditherType = c.ditherType;
        s.job.settings.filterType_1 = c.first;
        s.job.settings.filterType_2 = c.second;
        s.job.settings.grooveNoise = c.grooveNoise;
        s.setDestination({10.0, 10.0}, 16);
        s.job.DitherAudio();
        // r = 0.25 for every draw: the first sample gets 0.25, the next 0.
        const std::vector<double> expected = c.dithered ? std::vector<double>{10.25, 10.0} : std::vector<double>{10.0, 10.0};
        EXPECT_EQ(s.job.audioBuf_2, expected);
        EXPECT_EQ(s.log.contains("<Info> Adding dither noise"), c.dithered);
    }
}

TEST(ClippingManagement, OtherStagesAreAnInternalFault)
{
    SampleJob s;
    s.setDestination({0.0, 0.0}, 16);
    EXPECT_DEATH(s.job.ClippingManagement(2), "Unexpected type 2 in -\\[AudioFile ClippingManagement:\\]");
}

TEST(ClippingManagement, LeavesSamplesInRangeAlone)
{
    for (const char* method : {"1", "2", "4"}) {
        SampleJob s;
        s.defaults.setString("ClipManagement", method);
        std::vector<double> samples{32767.0, -32768.0, 0.4, -5.0};
        s.setDestination(samples, 16);
        s.job.ClippingManagement(4);
        EXPECT_EQ(s.job.audioBuf_2, samples);
        EXPECT_EQ(s.job.warning, 0);
        EXPECT_EQ(s.job.clipPercent, 0.0);
    }
}

TEST(ClippingManagement, ClampSetsTheWarningOnlyAboveTheThreshold)
{
    for (double dB : {1.5, 2.5}) {
        SampleJob s;
        s.defaults.setString("ClipManagement", "2");
        s.setDestination(oneClippedSample(dB, -1.0), 16);
        s.job.ClippingManagement(4);
        EXPECT_NEAR(s.job.clipdB, dB, 1e-9);
        EXPECT_DOUBLE_EQ(s.job.clipPercent, 0.5);
        EXPECT_EQ(s.job.audioBuf_2[37], -32768.0);
        EXPECT_EQ(s.job.audioBuf_2[38], 1000.0);
        EXPECT_EQ(s.job.warning, dB > 2.0 ? kWarningClipping : 0);
        EXPECT_TRUE(s.alerts.shown().empty());
    }
}

TEST(ClippingManagement, AttenuateBringsThePeakToFullScale)
{
    SampleJob s;
    s.defaults.setString("ClipManagement", "4");
    s.setDestination({65534.0, -100.0, 2.0, -65534.0}, 16);
    s.job.ClippingManagement(4);
    EXPECT_EQ(s.job.audioBuf_2, (std::vector<double>{32767.0, -50.0, 1.0, -32767.0}));
    EXPECT_EQ(s.job.warning, kWarningAttenuated);
    EXPECT_DOUBLE_EQ(s.job.clipFactor, 2.0);
    EXPECT_NEAR(s.job.clipdB, 6.0206, 1e-4);
}

TEST(ClippingManagement, AskShowsTheDialogAboveTheThresholdAndTakesItsAnswer)
{
    struct Case {
        AlertAnswer answer;
        std::int64_t option;
        int warning;
        std::vector<int> remembered;  // what the preferences controller is told
    };
    const double peak = 32767.0 * std::pow(10.0, 2.5 / 20.0);
    const Case cases[] = {
        {{1, false}, 1001, kWarningClipping, {}},
        {{0, false}, 1000, kWarningAttenuated, {}},
        {{0, true}, 1000, kWarningAttenuated, {4}},
        {{1, true}, 1001, kWarningClipping, {2}},
    };
    for (const Case& c : cases) {
        SampleJob s;
        RecordingSettingsController controller;
        s.job.settings.settingsController = &controller;
        s.defaults.setString("ClipManagement", "1");
        s.alerts.enqueue(c.answer);
        s.setDestination(oneClippedSample(2.5), 16);
        s.job.ClippingManagement(4);
        ASSERT_EQ(s.alerts.shown().size(), 1u);
        EXPECT_EQ(s.beeper.count(), 1);
        EXPECT_EQ(s.job.clipOption, c.option);
        EXPECT_EQ(s.job.warning, c.warning);
        EXPECT_NEAR(s.job.audioBuf_2[37], 32767.0, 1e-9);
        EXPECT_NEAR(s.job.audioBuf_2[38], c.option == 1000 ? 1000.0 * 32767.0 / peak : 1000.0, 1e-9);
        EXPECT_EQ(controller.clipManagement, c.remembered);
    }

    SampleJob s;
    s.alerts.enqueue({1, false});
    s.setDestination(oneClippedSample(2.5), 16);
    s.job.ClippingManagement(4);
    const Alert alert = s.alerts.shown().at(0);
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Attenuate", "Clamp"}));
    EXPECT_EQ(alert.suppressionTitle, "Always do this from now on");
    EXPECT_EQ(alert.informativeText,
              "Note that 0.50% of audio samples need to be clamped. The worst case clipping gain is 2.50dB, which "
              "exceeds your 2.00dB threshold. You should probably choose to attenuate the entire track. However, if "
              "you wish to retain the power of the audio track, you may choose only to clamp any out-of-range "
              "samples.");
}

TEST(ClippingManagement, DialogRunsOnTheMainThreadWhileThePassWaits)
{
    SampleJob s;
    s.alerts.enqueue({1, false});
    s.setDestination(oneClippedSample(6.0), 16);
    std::atomic<bool> done{false};
    std::thread pass([&] {
        s.job.ClippingManagement(4);
        done = true;
    });
    s.mainThread.runUntil([&] { return done.load(); });
    pass.join();
    EXPECT_EQ(s.alerts.shown().size(), 1u);
    EXPECT_EQ(s.job.clipOption, 1001);
    EXPECT_EQ(s.job.audioBuf_2[37], 32767.0);
}

TEST(ClippingManagement, BadStoredMethodFallsBackToAsking)
{
    // Nothing stored asks by default; within the threshold asking clamps silently.
    for (const char* stored : {"unset", "3", "0", "2x", ""}) {
        SampleJob s;
        if (std::string(stored) != "unset")
            s.defaults.setString("ClipManagement", stored);
        s.setDestination(oneClippedSample(1.0), 16);
        s.job.ClippingManagement(4);
        EXPECT_EQ(s.log.contains("<WARNING>  Unexpected value \"" + std::string(stored) +
                                 "\" of \"ClipManagement\"; asking instead"),
                  std::string(stored) != "unset");
        EXPECT_EQ(s.job.audioBuf_2[37], 32767.0);
        EXPECT_EQ(s.job.warning, 0);
        EXPECT_TRUE(s.alerts.shown().empty());
    }
}

TEST(ConvertAudioToInteger, WritesRoundedSamplesAndReleasesTheBuffers)
{
    SampleJob s;
    s.setDestination({32767.0, -32768.0, -1234.0, 2.5, -2.5, -1.7}, 16);
    s.job.dstEndianessData = kEndianBig;
    s.job.audioBuf_1 = {1.0};
    s.job.ConvertAudioToInteger();
    EXPECT_EQ(s.job.dstAudioData, (std::vector<std::uint8_t>{0x7F, 0xFF, 0x80, 0x00, 0xFB, 0x2E, 0x00, 0x03, 0xFF,
                                                             0xFE, 0xFF, 0xFE}));
    EXPECT_TRUE(s.job.audioBuf_2.empty());
    EXPECT_TRUE(s.job.audioBuf_1.empty());
    EXPECT_EQ(s.job.error, 0);
}

TEST(ConvertAudioToInteger, WritesTheChosenChannelsOfASixChannelResult)
{
    SampleJob s;
    std::vector<double> frames(12);
    for (int i = 0; i < 12; ++i)
        frames[i] = 100 * (i / 6) + i % 6;
    s.setDestination(frames, 24, 6);
    s.job.dstChannelsStart = 4;
    s.job.dstChannelsData = 2;
    s.job.dstSampleBytes = 4;   // FLAC container
    s.job.ConvertAudioToInteger();
    EXPECT_EQ(s.job.dstAudioData, (std::vector<std::uint8_t>{4, 0, 0, 0, 5, 0, 0, 0, 104, 0, 0, 0, 105, 0, 0, 0}));
}

TEST(ConvertAudioToInteger, KeepsAnEarlierErrorAndWritesNothing)
{
    SampleJob s;
    s.setDestination({1.0, 2.0}, 16);
    s.job.error = kErrorMemory;
    s.job.ConvertAudioToInteger();
    EXPECT_EQ(s.job.error, kErrorMemory);
    EXPECT_TRUE(s.job.dstAudioData.empty());
    EXPECT_TRUE(s.job.audioBuf_2.empty());
}

TEST(ConvertAudioToInteger, UnknownByteOrderIsAnInternalFault)
{
    SampleJob s;
    s.setDestination({1.0, 2.0}, 16);
    s.job.dstEndianessData = 0;
    EXPECT_DEATH(s.job.ConvertAudioToInteger(), "Unknown endianess value 0 in -\\[AudioFile ProcessAudioData\\]");
}

TEST(SampleConversion, AllocationFailureIsReportedAndLeavesNoBuffer)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer aborts on impossible allocations";
#endif
    SampleJob s;
    SampleBuffer buffer{1.0, 2.0};
    EXPECT_FALSE(s.job.allocateWorkBuffer(buffer, std::uint64_t{1} << 57));
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(s.job.error, kErrorMemory);
    EXPECT_TRUE(s.log.contains("<ERROR> Memory allocation"));

    ByteBuffer bytes;
    EXPECT_TRUE(s.job.allocateWorkBuffer(bytes, 16));
    EXPECT_EQ(bytes, ByteBuffer(16, 0));
}

}  // namespace
}  // namespace auralune

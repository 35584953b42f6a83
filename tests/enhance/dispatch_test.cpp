#include "enhance/availability.h"
#include "enhance/dispatch_table.h"

#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace auralune {
namespace {

using test::SampleJob;

constexpr EnhancementCode kHiRes = 0x2000000000;

std::vector<Routine> routinesOf(EnhancementCode code)
{
    const EnhancementRoute* route = findEnhancementRoute(code);
    if (route == nullptr)
        return {};
    return {route->routines.begin(), route->routines.begin() + static_cast<std::ptrdiff_t>(route->count)};
}

std::vector<double> numbered(std::size_t count)
{
    std::vector<double> v(count);
    for (std::size_t i = 0; i < count; ++i)
        v[i] = static_cast<double>(i) * 1.5 - 7;
    return v;
}

TEST(StereoEnhancement, NoneInStageTwoCopiesTheStageBuffer)
{
    SampleJob s;
    AudioFile& job = s.job;
    job.settings.filterType_1 = 0x2;
    job.settings.filterType_2 = kEnhancementNone;
    job.dstFrames = 150;
    job.dstChannels_1 = job.dstChannels_2 = 2;
    job.audioBuf_1 = numbered(300);
    job.audioBuf_2.assign(300, 0.0);
    job.error = 0x40;
    s.log.clear();

    job.StereoEnhancement(2);

    EXPECT_EQ(job.audioBuf_2, job.audioBuf_1);
    EXPECT_EQ(s.log.lines(), (std::vector<std::string>{"<Info> Apply no stereo enhancement", "<Info>  None"}));
    EXPECT_EQ(job.tableText(TableText::State), "None...");
    EXPECT_EQ(job.tableText(TableText::Progress), "100%");
    EXPECT_EQ(job.error, 0);
}

TEST(StereoEnhancement, HiResInStageOneCopiesWithTheStageChannelCount)
{
    SampleJob s;
    AudioFile& job = s.job;
    job.settings.filterType_1 = kHiRes;
    job.dstFrames = 40;
    job.dstChannels_1 = 2;
    job.dstChannels_2 = 6;
    job.audioBuf_0 = numbered(80);
    job.audioBuf_1.assign(80, 0.0);
    s.log.clear();

    job.StereoEnhancement(1);

    EXPECT_EQ(job.audioBuf_1, job.audioBuf_0);
    EXPECT_EQ(s.log.lines(),
              (std::vector<std::string>{"<Info> Apply the Hi-Res enhancement", "<Info>  Hi-Res upconversion"}));
    EXPECT_EQ(job.tableText(TableText::State), "Hi-Res upconversion...");

    // After a six-channel Enhancement 1 both stages carry six channels;
    // the copy takes every one of them, and only dstFrames frames of an
    // output that is larger (doubled for a later rate change).
    job.settings.filterType_2 = kEnhancementNone;
    job.dstChannels_1 = job.dstChannels_2 = 6;
    job.audioBuf_1 = numbered(240);
    job.audioBuf_2.assign(480, 0.0);
    job.StereoEnhancement(2);
    EXPECT_TRUE(std::equal(job.audioBuf_1.begin(), job.audioBuf_1.end(), job.audioBuf_2.begin()));
    EXPECT_TRUE(std::all_of(job.audioBuf_2.begin() + 240, job.audioBuf_2.end(), [](double v) { return v == 0; }));
}

TEST(EnhancementRoutes, FollowTheCatalogue)
{
    EXPECT_EQ(routinesOf(0x400), (std::vector<Routine>{Routine::Kestralin, Routine::LumoraSurround}));
    EXPECT_EQ(routinesOf(0x80000000), (std::vector<Routine>{Routine::Kestralin, Routine::LumoraSurround,
                                                           Routine::CassetteNoiseReduction}));
    EXPECT_EQ(routinesOf(0x40000000),
              (std::vector<Routine>{Routine::LumoraSurround, Routine::CassetteNoiseReduction}));
    EXPECT_EQ(routinesOf(0x100000000000), routinesOf(0x200000000000));
    EXPECT_EQ(routinesOf(0x100000000000).size(), 3u);
    EXPECT_EQ(routinesOf(0x40), (std::vector<Routine>{Routine::Quillmere, Routine::QuillmereReverb}));

    // Every phonograph curve goes through the phonograph chain.
    for (const EnhancementType& type : kEnhancementTypes) {
        if (type.code() & kPhonographEqMask) {
            EXPECT_EQ(routinesOf(type.code()), std::vector<Routine>{Routine::PhonographEQ}) << type.displayName;
        }
    }

    EXPECT_EQ(findEnhancementRoute(0), nullptr);
    EXPECT_EQ(findEnhancementRoute(3), nullptr);
    EXPECT_EQ(findEnhancementRoute(EnhancementCode{1} << 54), nullptr);
}

TEST(EnhancementAvailability, OnlyTypesWithEveryRoutineWritten)
{
    EXPECT_TRUE(enhancementAvailable(kEnhancementNone));
    EXPECT_TRUE(enhancementAvailable(kHiRes));
    EXPECT_FALSE(enhancementAvailable(0x2));              // KESTRALIN
    EXPECT_FALSE(enhancementAvailable(0x100000000000));   // CD-4
    EXPECT_FALSE(enhancementAvailable(0));
    EXPECT_FALSE(enhancementAvailable(0x3));
    EXPECT_FALSE(enhancementAvailable(EnhancementCode{1} << 60));

    EnhancementMask expected = 0;
    for (const EnhancementType& type : kEnhancementTypes)
        if (enhancementAvailable(type.code()))
            expected |= type.code();
    EXPECT_EQ(availableEnhancementsMask(), expected);
    EXPECT_EQ(expected & (kEnhancementNone | kHiRes), kEnhancementNone | kHiRes);
}

TEST(StereoEnhancementDeathTest, CodesAndNumbersOutsideTheTables)
{
    SampleJob s;
    AudioFile& job = s.job;
    job.dstFrames = 1;
    job.dstChannels_1 = job.dstChannels_2 = 2;
    job.audioBuf_0.assign(2, 0.0);
    job.audioBuf_1.assign(2, 0.0);

    EXPECT_DEATH(job.StereoEnhancement(3), "Unexpected enhancement number in -\\[AudioFile StereoEnhancement:\\]");
    job.settings.filterType_1 = EnhancementCode{1} << 54;
    EXPECT_DEATH(job.StereoEnhancement(1),
                 "Unknown enhancement type 18014398509481984 in -\\[AudioFile StereoEnhancement:\\]");
    job.settings.filterType_1 = 0x6;
    EXPECT_DEATH(job.StereoEnhancement(1), "Unknown enhancement type 6 in -\\[AudioFile StereoEnhancement:\\]");
    // A catalogue type whose routine has not been written is refused by the
    // front ends; reaching the dispatcher with one is a fault as well.
    job.settings.filterType_1 = 0x2;
    EXPECT_DEATH(job.StereoEnhancement(1), "Enhancement type 2 is not available in -\\[AudioFile StereoEnhancement:\\]");
    EXPECT_DEATH(job.StereoCorrectionNone(1), "Unknown enhancement type 2 in -\\[AudioFile StereoCorrectionNone:\\]");
    EXPECT_DEATH(job.StereoCorrectionNone(0), "Unexpected enhancement number in -\\[AudioFile StereoCorrectionNone:\\]");
}

}  // namespace
}  // namespace auralune

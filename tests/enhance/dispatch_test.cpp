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

TEST(StereoEnhancement, NoneAndHiResCopyTheStageBuffer)
{
    SampleJob s;
    AudioFile& job = s.job;
    job.settings.filterType_1 = kHiRes;
    job.settings.filterType_2 = kEnhancementNone;
    job.dstFrames = 150;
    job.dstChannels_1 = 2;
    job.dstChannels_2 = 6;
    job.audioBuf_0 = test::staged(numbered(300));
    job.audioBuf_1.assign(300, 0.0);
    job.error = 0x40;
    s.log.clear();
    job.StereoEnhancement(1);
    EXPECT_EQ(job.audioBuf_1, job.audioBuf_0);   // the stage 1 channel count
    EXPECT_EQ(job.tableText(TableText::State), "Hi-Res upconversion...");
    EXPECT_EQ(job.tableText(TableText::Progress), "100%");
    EXPECT_EQ(job.error, 0);

    // Six channels in both stages: all are copied, and only dstFrames frames
    // of a larger (doubled) output.
    s.log.clear();
    job.dstChannels_1 = 6;
    job.audioBuf_1 = test::staged(numbered(900));
    job.audioBuf_2.assign(1800, 0.0);
    job.StereoEnhancement(2);
    EXPECT_TRUE(std::equal(job.audioBuf_1.begin(), job.audioBuf_1.end(), job.audioBuf_2.begin()));
    EXPECT_TRUE(std::all_of(job.audioBuf_2.begin() + 900, job.audioBuf_2.end(), [](double v) { return v == 0; }));
    EXPECT_EQ(s.log.lines(), (std::vector<std::string>{"<Info> Apply no stereo enhancement", "<Info>  None"}));

    // An output left unallocated takes the input itself, when the channel
    // count stays; a short input is still a fault.
    job.audioBuf_2.clear();
    job.dstChannels_2 = 6;
    const std::vector<double>::const_pointer input = job.audioBuf_1.data();
    job.StereoEnhancement(2);
    EXPECT_EQ(job.audioBuf_2.data(), input);
    EXPECT_EQ(job.audioBuf_2, numbered(900));
    EXPECT_TRUE(job.audioBuf_1.empty());
    EXPECT_EQ(job.tableText(TableText::Progress), "100%");
    job.audioBuf_1 = test::staged(numbered(899));
    job.audioBuf_2.clear();
    EXPECT_DEATH(job.StereoEnhancement(2), "Buffer too small for its frames");
}

TEST(EnhancementRoutes, FollowTheCatalogue)
{
    EXPECT_EQ(routinesOf(0x80000000), (std::vector<Routine>{Routine::Kestralin, Routine::LumoraSurround,
                                                           Routine::CassetteNoiseReduction}));
    for (const EnhancementType& type : kEnhancementTypes) {
        if (type.code() & kPhonographEqMask) {
            EXPECT_EQ(routinesOf(type.code()), std::vector<Routine>{Routine::PhonographEQ}) << type.displayName;
        }
    }

    EXPECT_EQ(findEnhancementRoute(0), nullptr);
    EXPECT_EQ(findEnhancementRoute(3), nullptr);
}

TEST(EnhancementAvailability, OnlyTypesWithEveryRoutineWritten)
{
    EXPECT_TRUE(enhancementAvailable(kEnhancementNone));
    EXPECT_TRUE(enhancementAvailable(kHiRes));
    EXPECT_TRUE(enhancementAvailable(0x2));               // KESTRALIN
    EXPECT_FALSE(enhancementAvailable(0));
    EXPECT_FALSE(enhancementAvailable(0x3));

    EnhancementMask expected = 0;
    for (const EnhancementType& type : kEnhancementTypes)
        if (enhancementAvailable(type.code()))
            expected |= type.code();
    EXPECT_EQ(availableEnhancementsMask(), expected);
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
    job.settings.filterType_1 = 0x2;
    EXPECT_DEATH(job.StereoCorrectionNone(1), "Unknown enhancement type 2 in -\\[AudioFile StereoCorrectionNone:\\]");
    // A catalogue type without its routine is refused before the dispatcher.
    const auto missing = std::find_if(kEnhancementTypes.begin(), kEnhancementTypes.end(),
                                      [](const EnhancementType& type) { return !enhancementAvailable(type.code()); });
    if (missing == kEnhancementTypes.end())
        return;
    job.settings.filterType_1 = missing->code();
    EXPECT_DEATH(job.StereoEnhancement(1), "Enhancement type " + std::to_string(missing->code()) +
                                               " is not available in -\\[AudioFile StereoEnhancement:\\]");
}

}  // namespace
}  // namespace auralune

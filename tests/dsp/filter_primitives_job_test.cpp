#include "engine/audio_file.h"

#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <vector>

namespace auralune {
namespace {

using test::SampleJob;

TEST(FilterPrimitivesJob, WrappersRunTheKernelsAndReportProgress)
{
    SampleJob s;
    AudioFile& job = s.job;
    job.setTableText(TableText::Progress, "--");

    std::vector<double> buffer{1, -2, 3, -4};
    job.GainAdjust(buffer, 0, 2, 3.0, 1, 0);
    job.Rectifier(buffer, 2, 0, 1, 0);
    EXPECT_EQ(job.tableText(TableText::Progress), "--");
    EXPECT_EQ(buffer, (std::vector<double>{1, -2, 3, -4}));

    std::vector<double> in(400, 1.0), out(400);
    job.BiQuadFilter(in, out, 200, 2, 0.5, 0.5, 0, 0, 0, true, 4, 0);
    EXPECT_EQ(job.tableText(TableText::Progress), "100%");
    EXPECT_EQ(out[399], 0.5);   // first frame of the reversed pass
    EXPECT_EQ(out[0], 1.0);

    std::vector<double> taps{1, 1, 1};
    job.FiniteImpulseResponse(in, out, 200, 2, taps, 2, 4, 0);
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[2], 2.0);
    EXPECT_EQ(out[4], 2.0);

    job.GainAdjust(buffer, 2, 2, -1.0, 1, 0);
    job.Rectifier(buffer, 2, 2, 1, 0);
    EXPECT_EQ(buffer, (std::vector<double>{1, 2, 3, 4}));
    job.ChannelLeftMinusRight(buffer, 2, 2, 1, 0);
    EXPECT_EQ(buffer, (std::vector<double>{-1, -1, -1, -1}));

    std::vector<double> stereo{1, 0, 1, 1};
    job.TsymWidthCompensationFilter(stereo, stereo, 2, 2, 1, 0);
    EXPECT_EQ(stereo, (std::vector<double>{1.15, -0.15, 1, 1}));

    std::vector<double> wide(12, 9.0);
    const std::vector<double> mid{2, 2, 3, 3};
    job.KestralinFilter(mid, wide, 2, 2, 6, 0.5, -0.5, 0.5, 0.2, false, 1, 0);
    EXPECT_EQ(wide, (std::vector<double>{2, 2, 9, 9, 9, 9, 3, 3, 9, 9, 9, 9}));

}

TEST(FilterPrimitivesJobDeathTest, InconsistentArgumentsEndTheProgram)
{
    SampleJob s;
    AudioFile& job = s.job;
    std::vector<double> six(12), two(4);
    EXPECT_DEATH(job.TsymWidthCompensationFilter(six, six, 2, 6, 1, 0),
                 "The number of channels must be 2 in -\\[AudioFile TsymWidthCompensationFilter::::::\\]");
    EXPECT_DEATH(job.FiniteImpulseResponse(two, two, 2, 2, six, 3, 1, 0),
                 "The output must be a separate buffer in -\\[AudioFile FiniteImpulseResponse::::::::\\]");
    EXPECT_DEATH(job.KestralinFilter(six, six, 2, 2, 6, 1, -1, 0, 0.1, false, 1, 0),
                 "Overlapping buffers in -\\[AudioFile KestralinFilter::::::::::::\\]");
}

}  // namespace
}  // namespace auralune

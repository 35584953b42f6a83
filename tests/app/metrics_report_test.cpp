#include "app/metrics_report.h"
#include "support/metrics_job.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace auralune {
namespace {

using Lines = std::vector<std::string>;

void convert(test::MetricsJob& t, const std::string& destination)
{
    t.job.state = kStateConverted;
    t.job.setTableText(TableText::DestinationName, destination);
}

TEST(MetricsReport, SeveralJobsAreNumberedInQueueOrderSkippingUnreportedOnes)
{
    test::MetricsJob analysed("/music/One.flac");
    analysed.job.state = kStateAnalysed;
    analysed.job.srcMetrics = {"Bit Depth = 24"};

    test::MetricsJob failed("/music/Two.wav");
    failed.job.state = kStateFailed;
    failed.job.srcMetrics = {"Bit Depth = 16"};

    test::MetricsJob converting("/music/Three.wav");
    converting.job.state = kStateConverting;

    test::MetricsJob converted("/music/Four.aif");
    converted.job.srcMetrics = {"Channels = 2"};
    converted.job.midMetrics = {"Channels = 6"};
    converted.job.dstMetrics = {"Dither = On"};
    convert(converted, "/out/Four-ke.aif");

    const AudioFile* jobs[] = {&analysed.job, &failed.job, &converting.job, &converted.job};
    const Lines lines = metricsReportLines(jobs);
    EXPECT_EQ(lines, (Lines{
                         "==== SOURCE AUDIO FILE 1 ====",
                         "File Name = /music/One.flac",
                         "Bit Depth = 24",
                         "",
                         "==== SOURCE AUDIO FILE 2 ====",
                         "File Name = /music/Four.aif",
                         "Channels = 2",
                         "",
                         "==== MID-ENHANCEMENT AUDIO FILE 2 ====",
                         "Channels = 6",
                         "",
                         "==== CONVERTED AUDIO FILE 2 ====",
                         "File Name = /out/Four-ke.aif",
                         "Dither = On",
                         "",
                     }));
    EXPECT_EQ(metricsReportText(Lines{"a", "", "b"}), "a\n\nb\n");

    const AudioFile* nothing[] = {&failed.job, &converting.job};
    EXPECT_TRUE(metricsReportLines(nothing).empty());
}

}  // namespace
}  // namespace auralune

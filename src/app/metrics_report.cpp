#include "app/metrics_report.h"

#include "engine/audio_file.h"

namespace auralune {

namespace {

void appendBlock(std::vector<std::string>& lines, const char* title, unsigned number, const std::string* fileName,
                 const std::vector<std::string>& metrics)
{
    lines.push_back("==== " + std::string(title) + " AUDIO FILE " + std::to_string(number) + " ====");
    if (fileName)
        lines.push_back("File Name = " + *fileName);
    lines.insert(lines.end(), metrics.begin(), metrics.end());
    lines.emplace_back();
}

}  // namespace

std::vector<std::string> metricsReportLines(std::span<const AudioFile* const> jobs)
{
    std::vector<std::string> lines;
    unsigned number = 0;
    for (const AudioFile* job : jobs) {
        const int state = job->state;
        if (state != kStateConverted && state != kStateAnalysed)
            continue;
        ++number;
        appendBlock(lines, "SOURCE", number, &job->inputFile, job->srcMetrics);
        if (state != kStateConverted)
            continue;
        if (!job->midMetrics.empty())
            appendBlock(lines, "MID-ENHANCEMENT", number, nullptr, job->midMetrics);
        const std::string destination = job->tableText(TableText::DestinationName);
        appendBlock(lines, "CONVERTED", number, &destination, job->dstMetrics);
    }
    return lines;
}

std::string metricsReportText(std::span<const std::string> lines)
{
    std::string text;
    for (const std::string& line : lines)
        text.append(line).push_back('\n');
    return text;
}

}  // namespace auralune

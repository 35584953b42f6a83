#include "app/batch_progress.h"

#include "engine/text_format.h"

#include <algorithm>
#include <cmath>

namespace auralune {

BatchStatus batchStatus(const std::vector<BatchFile>& files, double elapsedSeconds)
{
    BatchStatus status;
    status.total = files.size();
    double totalAudio = 0.0;
    double processed = 0.0;
    for (const BatchFile& file : files) {
        totalAudio += file.audioSeconds;
        switch (file.outcome) {
        case BatchFile::Outcome::Waiting: break;
        case BatchFile::Outcome::Converting: processed += file.audioSeconds * file.progress; break;
        default:
            ++status.done;
            processed += file.audioSeconds;
            break;
        }
    }
    if (totalAudio > 0.0)
        status.fraction = processed / totalAudio;
    else
        status.fraction = status.total == 0 ? 1.0 : static_cast<double>(status.done) / static_cast<double>(status.total);
    if (processed > 0.0 && elapsedSeconds > 0.0)
        status.remainingSeconds = (totalAudio - processed) * elapsedSeconds / processed;
    return status;
}

std::string elapsedText(double seconds)
{
    const auto whole = static_cast<long>(std::max(0.0, std::floor(seconds)));
    if (whole >= 3600)
        return formatText("%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    return formatText("%ld:%02ld", whole / 60, whole % 60);
}

std::string batchStatusText(const BatchStatus& status, double elapsedSeconds)
{
    std::string text = formatText("%zu of %zu files", status.done, status.total) + " \u00b7 " +
                       elapsedText(elapsedSeconds) + " elapsed";
    if (status.remainingSeconds) {
        const double minutes = std::ceil(*status.remainingSeconds / 60.0);
        text += " \u00b7 ";
        text += minutes <= 1.0 ? std::string("less than a minute left")
                               : formatText("about %.0f min left", minutes);
    }
    return text;
}

std::string batchSummaryText(const std::vector<BatchFile>& files, double elapsedSeconds)
{
    std::size_t converted = 0, failed = 0, warnings = 0, cancelled = 0;
    for (const BatchFile& file : files) {
        converted += file.outcome == BatchFile::Outcome::Converted ? 1 : 0;
        failed += file.outcome == BatchFile::Outcome::Failed ? 1 : 0;
        warnings += file.outcome == BatchFile::Outcome::Converted && file.warnings ? 1 : 0;
        cancelled += file.outcome == BatchFile::Outcome::Cancelled ? 1 : 0;
    }
    std::string text = formatText("%zu converted, %zu failed, %zu with warnings", converted, failed, warnings);
    if (cancelled > 0)
        text += formatText(", %zu cancelled", cancelled);
    return text + " in " + elapsedText(elapsedSeconds);
}

}  // namespace auralune

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace auralune {

// One file of a running batch, as the status bar counts it.
struct BatchFile {
    enum class Outcome { Waiting, Converting, Converted, Failed, Cancelled };
    Outcome outcome = Outcome::Waiting;
    double audioSeconds = 0.0;   // the source's duration
    double progress = 0.0;       // 0-1 while converting
    bool warnings = false;       // converted with warnings
};

struct BatchStatus {
    std::size_t done = 0;        // converted, failed or cancelled
    std::size_t total = 0;
    double fraction = 0.0;       // of the batch's audio, 0-1
    // Seconds left, from the audio processed per second so far; nothing
    // until some audio has been processed.
    std::optional<double> remainingSeconds;
};

// The batch's progress counted in audio seconds, so that one long file
// weighs as much as many short ones.
BatchStatus batchStatus(const std::vector<BatchFile>& files, double elapsedSeconds);

// "k of N files · 1:05 elapsed · about 3 min left" (or "less than a minute
// left"; no estimate before the first audio is processed).
std::string batchStatusText(const BatchStatus& status, double elapsedSeconds);

// "12 converted, 1 failed, 2 with warnings in 3:12"; cancelled files are
// added as ", 3 cancelled" when there are any.
std::string batchSummaryText(const std::vector<BatchFile>& files, double elapsedSeconds);

// "m:ss", or "h:mm:ss" from an hour on.
std::string elapsedText(double seconds);

}  // namespace auralune

#pragma once

#include <span>
#include <string>
#include <vector>

namespace auralune {

class AudioFile;

// The metrics report of the chosen jobs, given in queue order, as the
// clipboard receives it: one string per line. A converted job (state 8)
// gives its source block, its mid-enhancement block when there is one and
// its converted block; an analysed job (state 4) its source block; other
// jobs are skipped and not numbered. Empty when no job was reported.
std::vector<std::string> metricsReportLines(std::span<const AudioFile* const> jobs);

// The lines as plain text, each ended by a newline.
std::string metricsReportText(std::span<const std::string> lines);

}  // namespace auralune

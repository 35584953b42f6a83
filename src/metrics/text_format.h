#pragma once

#include <string>

namespace auralune::metrics {

// printf into a string, for report and log lines whose formats are fixed.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace auralune::metrics

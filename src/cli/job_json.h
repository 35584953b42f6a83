#pragma once

#include <string>

namespace auralune {

class AudioFile;

// One finished job as a one-line JSON object for scripts: the source's
// facts, the state, the error and warning texts (with the cause of a
// failure), the destination when one was written and the numeric metrics.
// Read only after the job's pass has ended.
std::string jobJson(const AudioFile& job);

// A file the queue refused for its extension, in the same form.
std::string refusedJson(const std::string& path);

// A table text without the blank its sentences end with.
std::string trimmed(std::string text);

}  // namespace auralune

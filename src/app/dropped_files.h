#pragma once

#include <string>
#include <vector>

namespace auralune {

// The names a drop posts, in drop order: a file as it is (the queue refuses
// unsupported extensions with a warning); a folder as the source files
// directly inside it, sorted by name, so a dropped album folder queues its
// tracks in order. Subfolders and other files of a dropped folder are left
// out silently.
std::vector<std::string> expandDroppedPaths(const std::vector<std::string>& paths);

}  // namespace auralune

#pragma once

#include <string>

namespace auralune {

// The user's Music folder: the platform's standard location (on Linux the
// XDG music directory), else $HOME/Music. The default destination folder.
std::string musicFolder();

}  // namespace auralune

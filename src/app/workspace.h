#pragma once

#include <string>
#include <vector>

namespace auralune {

// The desktop around the application: the file browser, the default
// application of a file type and the clipboard. The desktop app implements
// it on the session bus and the toolkit; tests record the calls.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens a file with the default application for its type.
    virtual void openFile(const std::string& path) = 0;
    // Shows the files, selected, together in one file-browser window.
    virtual void revealFiles(const std::vector<std::string>& paths) = 0;
    virtual void openFolder(const std::string& path) = 0;
    // Replaces the clipboard with plain text, one line per string; true
    // when it was written.
    virtual bool writeToPasteBoard(const std::vector<std::string>& lines) = 0;
};

}  // namespace auralune

#pragma once

#include "app/settings_model.h"
#include "engine/catalogue.h"
#include "platform/defaults_store.h"
#include "platform/log.h"

#include <cstdint>
#include <string>

namespace auralune {

// The name column of a source: its file name or full path, with or without
// the extension ("ShowFileExt", "ShowFullPath").
std::string sourceNameText(const std::string& path, bool showExtension, bool showFullPath);

// A suffix may not contain "/": it would move the output out of its folder.
bool isUsableFileSuffix(const std::string& suffix);

// The two suffix fields of the main window (Enhancement 1 and 2) over the 54
// stored suffixes, and the destination folder controls. The suffix a
// conversion gets is composed by the settings snapshot from the same stored
// suffixes (Enhancement 1's, then Enhancement 2's unless that is "None"), so
// the fields and the conversions always agree.
class DestinationNaming {
public:
    DestinationNaming(DefaultsStore& store, Log& log, std::string musicFolder);

    // The current enhancements, as selected in the window.
    void setEnhancements(EnhancementCode enhancement1, EnhancementCode enhancement2);

    // The text of suffix field 1 or 2.
    const std::string& fieldText(int stage) const;
    // Shows the stored suffix of the current enhancement of the stage.
    void updateFileSuffixText(int stage);
    // An edit of field 1 or 2. A suffix with "/" is refused: the field gets
    // the stored suffix back and false is returned. Otherwise it is stored
    // as the suffix of the stage's enhancement, and when both enhancements
    // are the same type the other field shows it too.
    bool updateFileSuffix(int stage, const std::string& text);

    // The destination folder option (tag 1: next to the source). Logged
    // when chosen in the popup.
    void updateDestinationFolderOption(std::uint32_t tag, bool fromPopup);
    // A folder chosen with the folder chooser.
    void selectDestinationFolder(const std::string& path);
    std::string destinationFolder() const;
    bool destinationPathFollows() const;

private:
    EnhancementCode stageCode(int stage, const char* method) const;

    DefaultsStore& store_;
    Log& log_;
    SettingsModel model_;
    EnhancementCode enhancement1_ = kEnhancementNone;
    EnhancementCode enhancement2_ = kEnhancementNone;
    std::string field1_;
    std::string field2_;
};

}  // namespace auralune

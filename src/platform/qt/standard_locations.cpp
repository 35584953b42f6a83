#include "platform/qt/standard_locations.h"

#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>

namespace auralune {

std::string musicFolder()
{
    const QString location = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!location.isEmpty())
        return location.toStdString();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (std::filesystem::path(home) / "Music").string();
    return std::filesystem::temp_directory_path().string();
}

}  // namespace auralune

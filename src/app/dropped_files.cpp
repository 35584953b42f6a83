#include "app/dropped_files.h"

#include "app/queue_controller.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace auralune {

std::vector<std::string> expandDroppedPaths(const std::vector<std::string>& paths)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            names.push_back(path);
            continue;
        }
        std::vector<std::string> inside;
        for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
            std::error_code kindError;
            if (it->is_regular_file(kindError) && hasSourceFileExtension(it->path().string()))
                inside.push_back(it->path().string());
        }
        std::sort(inside.begin(), inside.end());
        names.insert(names.end(), inside.begin(), inside.end());
    }
    return names;
}

}  // namespace auralune

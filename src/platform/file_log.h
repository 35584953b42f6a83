#pragma once

#include "platform/log.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace auralune {

// The production log: each line goes to a per-user file, and to standard
// error when that is a terminal or when asked. When the file reaches
// maxBytes it is renamed to "<name>.1" (replacing an older one) and a new
// file is started, so the log never takes more than about twice maxBytes.
class FileLog final : public Log {
public:
    static constexpr std::uint64_t kDefaultMaxBytes = 4u << 20;

    FileLog(std::filesystem::path file, bool toStandardError,
            std::uint64_t maxBytes = kDefaultMaxBytes);
    void write(std::string_view line) override;

    // $XDG_STATE_HOME/auralune/auralune.log, or ~/.local/state/auralune/auralune.log.
    static std::filesystem::path defaultPath();
    static bool standardErrorIsTerminal();

private:
    void openFile();
    void rotate();

    std::mutex mutex_;
    std::filesystem::path file_;
    bool toStandardError_;
    std::uint64_t maxBytes_;
    std::ofstream out_;
    std::uint64_t size_ = 0;
};

}  // namespace auralune

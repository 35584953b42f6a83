#include "platform/file_log.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace auralune {

namespace {

std::string timestamp()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S ", &local);
    return text;
}

}  // namespace

FileLog::FileLog(std::filesystem::path file, bool toStandardError, std::uint64_t maxBytes)
    : file_(std::move(file)), toStandardError_(toStandardError), maxBytes_(maxBytes)
{
    openFile();
}

std::filesystem::path FileLog::defaultPath()
{
    std::filesystem::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "state";
    else
        base = std::filesystem::temp_directory_path();
    return base / "auralune" / "auralune.log";
}

bool FileLog::standardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

void FileLog::openFile()
{
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    out_.open(file_, std::ios::app | std::ios::binary);
    size_ = out_ ? std::filesystem::file_size(file_, ec) : 0;
    if (ec)
        size_ = 0;
}

void FileLog::rotate()
{
    out_.close();
    std::error_code ec;
    std::filesystem::path old = file_;
    old += ".1";
    std::filesystem::rename(file_, old, ec);
    openFile();
}

void FileLog::write(std::string_view line)
{
    std::lock_guard lock(mutex_);
    if (toStandardError_) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
    }
    if (!out_)
        return;
    if (size_ >= maxBytes_)
        rotate();
    std::string stamped = timestamp();
    stamped.append(line).push_back('\n');
    out_.write(stamped.data(), static_cast<std::streamsize>(stamped.size()));
    out_.flush();
    size_ += stamped.size();
}

}  // namespace auralune

#include "platform/log.h"

#include <algorithm>

namespace auralune {

std::string Log::prefixed(std::string_view prefix, std::string_view text)
{
    std::string line;
    line.reserve(prefix.size() + text.size());
    line.append(prefix).append(text);
    return line;
}

void CapturingLog::write(std::string_view line)
{
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> CapturingLog::lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

bool CapturingLog::contains(std::string_view line) const
{
    std::lock_guard lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

void CapturingLog::clear()
{
    std::lock_guard lock(mutex_);
    lines_.clear();
}

void TeeLog::write(std::string_view line)
{
    for (Log* sink : sinks_)
        sink->write(line);
}

}  // namespace auralune

#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace auralune {

// Every diagnostic is one line that starts with "<Info> ", "<WARNING> " or
// "<ERROR> ". Detail lines of a step carry one more blank after the prefix,
// which callers put at the start of their text.
class Log {
public:
    virtual ~Log() = default;
    virtual void write(std::string_view line) = 0;

    void info(std::string_view text) { write(prefixed("<Info> ", text)); }
    void warning(std::string_view text) { write(prefixed("<WARNING> ", text)); }
    void error(std::string_view text) { write(prefixed("<ERROR> ", text)); }

private:
    static std::string prefixed(std::string_view prefix, std::string_view text);
};

// Keeps every line; tests read them back.
class CapturingLog final : public Log {
public:
    void write(std::string_view line) override;
    std::vector<std::string> lines() const;
    bool contains(std::string_view line) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Drops everything.
class NullLog final : public Log {
public:
    void write(std::string_view) override {}
};

// Sends each line to several logs.
class TeeLog final : public Log {
public:
    explicit TeeLog(std::vector<Log*> sinks) : sinks_(std::move(sinks)) {}
    void write(std::string_view line) override;

private:
    std::vector<Log*> sinks_;
};

}  // namespace auralune

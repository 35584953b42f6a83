#pragma once

#include <atomic>
#include <ctime>

namespace auralune {

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds on a clock that never goes back; for intervals.
    virtual double seconds() const = 0;
    // The wall-clock time, for dates written into files.
    virtual std::time_t now() const = 0;
};

class SystemClock final : public Clock {
public:
    double seconds() const override;
    std::time_t now() const override { return std::time(nullptr); }
};

// The system's interval clock with a fixed date: files written in a
// repeatable run carry the same date on every run.
class FixedDateClock final : public Clock {
public:
    explicit FixedDateClock(std::time_t date) : date_(date) {}
    double seconds() const override { return system_.seconds(); }
    std::time_t now() const override { return date_; }

private:
    SystemClock system_;
    std::time_t date_;
};

// Moves only when told; for tests.
class ManualClock final : public Clock {
public:
    explicit ManualClock(double start = 1000.0, std::time_t wall = 1700000000) : seconds_(start), wall_(wall) {}
    double seconds() const override { return seconds_.load(); }
    std::time_t now() const override { return wall_.load(); }
    void advance(double by) { seconds_.store(seconds_.load() + by); }
    void setWallTime(std::time_t t) { wall_.store(t); }

private:
    std::atomic<double> seconds_;
    std::atomic<std::time_t> wall_;
};

}  // namespace auralune

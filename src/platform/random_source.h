#pragma once

#include "platform/mersenne_twister.h"

#include <cstdint>
#include <mutex>
#include <random>
#include <span>
#include <vector>

namespace auralune {

// Uniform unsigned 32-bit integers (dither noise).
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual std::uint32_t next() = 0;
    // The next values.size() numbers, as next() would give them one by one.
    virtual void fill(std::span<std::uint32_t> values)
    {
        for (std::uint32_t& v : values)
            v = next();
    }
};

class SystemRandomSource final : public RandomSource {
public:
    SystemRandomSource() : engine_(std::random_device{}()) {}
    explicit SystemRandomSource(std::uint32_t seed) : engine_(seed) {}
    std::uint32_t next() override
    {
        std::lock_guard lock(mutex_);
        return engine_();
    }
    // One lock for the whole block: dither draws a number per sample.
    void fill(std::span<std::uint32_t> values) override
    {
        std::lock_guard lock(mutex_);
        engine_.fill(values);
    }

private:
    std::mutex mutex_;
    MersenneTwister32 engine_;
};

// Repeats a fixed sequence; for tests.
class SequenceRandomSource final : public RandomSource {
public:
    explicit SequenceRandomSource(std::vector<std::uint32_t> values) : values_(std::move(values)) {}
    std::uint32_t next() override
    {
        if (values_.empty())
            return 0;
        std::uint32_t v = values_[index_ % values_.size()];
        ++index_;
        return v;
    }

private:
    std::vector<std::uint32_t> values_;
    std::size_t index_ = 0;
};

}  // namespace auralune

#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// Generated signals for the loudness tests: interleaved doubles, full scale 1.
namespace auralune::test {

// A sine of `amplitude` in the channels whose bit is set in `mask`.
inline std::vector<double> sineFrames(double rate, double hz, double amplitude, double seconds,
                                      std::uint32_t channels, std::uint32_t mask, double phase = 0)
{
    std::vector<double> x(static_cast<std::size_t>(seconds * rate) * channels, 0.0);
    for (std::size_t i = 0; i < x.size(); ++i)
        if ((mask >> (i % channels)) & 1u)
            x[i] = amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i / channels) / rate + phase);
    return x;
}

// Pink noise (about -3 dB per octave, from a fixed 64-bit LCG, each channel
// its own) in steps of `stepSeconds` cycling through `levelsDb`.
inline std::vector<double> pinkNoiseSteps(double rate, double seconds, std::uint32_t channels,
                                          const std::vector<double>& levelsDb, double stepSeconds,
                                          std::uint64_t seed = 1)
{
    const auto frames = static_cast<std::size_t>(seconds * rate);
    const auto stepFrames = static_cast<std::size_t>(stepSeconds * rate);
    std::vector<double> x(frames * channels);
    for (std::uint32_t c = 0; c < channels; ++c) {
        std::uint64_t state = seed * 7919 + c;
        double b[3] = {}, gain = 1;
        for (std::size_t n = 0; n < frames; ++n) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            const double w = static_cast<double>(state >> 11) * 0x1.0p-52 - 1.0;
            b[0] = 0.99765 * b[0] + w * 0.0990460;
            b[1] = 0.96300 * b[1] + w * 0.2965164;
            b[2] = 0.57000 * b[2] + w * 1.0526913;
            if (n % stepFrames == 0)
                gain = 0.12 * std::pow(10.0, levelsDb[(n / stepFrames) % levelsDb.size()] / 20);
            x[n * channels + c] = (b[0] + b[1] + b[2] + w * 0.1848) * gain;
        }
    }
    return x;
}

inline std::vector<double> scaled(std::vector<double> x, double factor)
{
    for (double& v : x)
        v *= factor;
    return x;
}

}  // namespace auralune::test

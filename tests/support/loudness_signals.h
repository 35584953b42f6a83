#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// Generated test signals for the loudness measurements: interleaved
// doubles on a full scale of 1 unless scaled.
namespace auralune::test {

// A sine of `amplitude` (of full scale) in the channels whose bit is set
// in `channelMask`, silence in the others.
inline std::vector<double> sineFrames(double rateHz, double hz, double amplitude, double seconds,
                                      std::uint32_t channels, std::uint32_t channelMask, double phase = 0)
{
    const auto frames = static_cast<std::size_t>(seconds * rateHz);
    std::vector<double> x(frames * channels, 0.0);
    for (std::size_t n = 0; n < frames; ++n) {
        const double v = amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(n) / rateHz + phase);
        for (std::uint32_t c = 0; c < channels; ++c)
            if ((channelMask >> c) & 1u)
                x[n * channels + c] = v;
    }
    return x;
}

// Uniform numbers in [-1, 1) from a fixed 64-bit linear congruential
// sequence, the same on every platform.
struct NoiseSource {
    std::uint64_t state;
    double next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) * 0x1.0p-52 - 1.0;
    }
};

// Pink noise (a sum of first-order low-passes of white noise, about -3 dB
// per octave), each channel its own, in steps of `stepSeconds` whose levels
// cycle through `levelsDb` (relative to a peak near full scale).
inline std::vector<double> pinkNoiseSteps(double rateHz, double seconds, std::uint32_t channels,
                                          const std::vector<double>& levelsDb, double stepSeconds,
                                          std::uint64_t seed = 1)
{
    const auto frames = static_cast<std::size_t>(seconds * rateHz);
    const auto stepFrames = static_cast<std::size_t>(stepSeconds * rateHz);
    std::vector<double> x(frames * channels);
    for (std::uint32_t c = 0; c < channels; ++c) {
        NoiseSource noise{seed * 7919 + c};
        double b[6] = {};
        double gain = 1;
        for (std::size_t n = 0; n < frames; ++n) {
            const double w = noise.next();
            b[0] = 0.99886 * b[0] + w * 0.0555179;
            b[1] = 0.99332 * b[1] + w * 0.0750759;
            b[2] = 0.96900 * b[2] + w * 0.1538520;
            b[3] = 0.86650 * b[3] + w * 0.3104856;
            b[4] = 0.55000 * b[4] + w * 0.5329522;
            b[5] = -0.7616 * b[5] - w * 0.0168980;
            const double pink = (b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + w * 0.5362) * 0.11;
            if (n % stepFrames == 0)
                gain = std::pow(10.0, levelsDb[(n / stepFrames) % levelsDb.size()] / 20);
            x[n * channels + c] = pink * gain;
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

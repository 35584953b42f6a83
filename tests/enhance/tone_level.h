#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace auralune::test {

// The complex amplitude of a `hz` sine in one channel of an interleaved
// buffer, over `count` frames from `begin`, through a Hann window: a tone
// of amplitude A and phase φ (A·sin(ωn + φ)) gives A·e^{j(φ − 90°)}, and
// other tones a few hertz away leak below −90 dB.
inline std::complex<double> tonePhasor(const std::vector<double>& buffer, std::uint32_t channels,
                                       std::uint32_t channel, double hz, double rate, std::uint64_t begin,
                                       std::uint64_t count)
{
    std::complex<double> sum = 0;
    double weight = 0;
    const double w = 2 * std::numbers::pi * hz / rate;
    for (std::uint64_t i = 0; i < count; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / count);
        const std::uint64_t n = begin + i;
        sum += hann * buffer[n * channels + channel] * std::polar(1.0, -w * static_cast<double>(n));
        weight += hann;
    }
    return 2.0 * sum / weight;
}

inline double toneDb(const std::vector<double>& buffer, std::uint32_t channels, std::uint32_t channel, double hz,
                     double rate, std::uint64_t begin, std::uint64_t count)
{
    return 20 * std::log10(std::abs(tonePhasor(buffer, channels, channel, hz, rate, begin, count)) + 1e-300);
}

}  // namespace auralune::test

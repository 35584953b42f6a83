#include "restore/groove_kernels.h"

#include <algorithm>
#include <array>

namespace auralune {

namespace {

// 2^−31: a 32-bit draw to [0, 2).
constexpr double kDrawScale = 4.656612873077393e-10;
// The surface noise low-pass, about 5 Hz at 44.1 kHz stereo.
constexpr double kNoisePole = 0.999287836;
constexpr double kNoiseGain = 0.000356082;

}  // namespace

void grooveDistortion(std::span<const double> in, std::span<double> out, double fullScale, double k, bool tapOff,
                      Progress& progress)
{
    const double* x = in.data();
    double* y = out.data();
    progress.run(in.size(), 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const double clean = x[i];
            const double v = clean / fullScale;
            const double distorted = ((1 - k) * v + k * v * v) * fullScale;
            y[i] = tapOff ? distorted - clean : distorted;
        }
    });
}

void grooveSurfaceNoise(std::span<double> samples, double fullScale, double noiseGain, double signalMix,
                        RandomSource& random, Progress& progress)
{
    std::array<std::uint32_t, 4096> draws{};
    double previous = 0, lowPassed = 0;
    double* s = samples.data();
    progress.run(samples.size(), 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t block = begin; block < end; block += draws.size()) {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(draws.size(), end - block));
            random.fill(std::span<std::uint32_t>(draws.data(), count));
            for (std::size_t j = 0; j < count; ++j) {
                const double w = (static_cast<double>(draws[j]) * kDrawScale - 1.0) * fullScale;
                lowPassed = kNoisePole * lowPassed + kNoiseGain * (previous + w);
                previous = w;
                s[block + j] = s[block + j] * signalMix + noiseGain * lowPassed;
            }
        }
    });
}

}  // namespace auralune

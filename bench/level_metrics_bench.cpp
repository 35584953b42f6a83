#include "metrics/level_metrics.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using namespace auralune;

// 60 s of 96 kHz stereo on the 24-bit integer scale: two detuned tones.
std::vector<double> stereoMinute(std::uint32_t channels)
{
    constexpr std::uint64_t frames = 60 * 96000;
    std::vector<double> samples(frames * channels);
    for (std::uint64_t n = 0; n < frames; ++n)
        for (std::uint32_t c = 0; c < channels; ++c)
            samples[n * channels + c] = std::round(4000000.0 * std::sin(0.0131 * (c + 1) * static_cast<double>(n)));
    return samples;
}

void levels(benchmark::State& state)
{
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const std::vector<double> samples = stereoMinute(channels);
    const std::uint64_t frames = samples.size() / channels;
    for (auto _ : state) {
        Progress progress{Progress::stepFor(frames), 0, [](std::uint32_t percent) { benchmark::DoNotOptimize(percent); }};
        metrics::LevelMetrics m = metrics::measureLevels(samples, channels, 24, progress);
        benchmark::DoNotOptimize(m);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * frames));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * samples.size() * sizeof(double)));
}
BENCHMARK(levels)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

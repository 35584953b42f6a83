#include "bench_platform.h"
#include "dsp/denormals.h"
#include "engine/audio_file.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace auralune;

// A minute of a 96 kHz stereo needle-drop: tones with a slow swell, surface
// noise, a click every 50 ms or so on one or both channels and a light
// crackle on the left.
constexpr double kRate = 96000.0;
constexpr double kSeconds = 60.0;
constexpr std::uint64_t kFrames = static_cast<std::uint64_t>(kRate * kSeconds);

std::vector<double> needleDrop()
{
    std::mt19937 random(1);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(kFrames * 2);
    constexpr double twoPi = 2 * std::numbers::pi;
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double swell = 0.6 + 0.4 * std::sin(twoPi * 0.2 * t);
        x[2 * i] = swell * (90000 * std::sin(twoPi * 196 * t) + 40000 * std::sin(twoPi * 1175 * t)) +
                   12000 * uniform(random);
        x[2 * i + 1] = swell * (80000 * std::sin(twoPi * 247 * t + 1) + 50000 * std::sin(twoPi * 2349 * t)) +
                       12000 * uniform(random);
    }
    for (std::uint64_t at = 1000; at + 100 < kFrames; at += 3000 + random() % 3000) {
        const std::uint32_t which = random() % 3;
        for (std::uint64_t k = at; k < at + 1 + random() % 40; ++k) {
            const double v = (random() & 1) ? 2000000.0 : -2000000.0;
            x[2 * k] += which != 1 ? v : 0.0;
            x[2 * k + 1] += which != 0 ? v : 0.0;
        }
    }
    for (std::uint64_t at = 500; at + 10 < kFrames; at += 400 + random() % 2000)
        x[2 * at] += (random() & 1) ? 700000.0 : -700000.0;
    return x;
}

using bench::BenchPlatform;

// Arguments: crackle mode (0 or 1), channel correlation in dB (pass 1 runs
// below 20 dB).
void BM_PopClickCrackle(benchmark::State& state)
{
    const bool crackle = state.range(0) != 0;
    const double ccc = static_cast<double>(state.range(1));
    const DenormalsFlushedToZero flush;
    BenchPlatform services;
    AudioFile job(services.platform);
    job.initWithName("/music/needle drop.wav", false, false);
    job.dstFrames = static_cast<std::uint32_t>(kFrames);
    job.dstFrameRate = kRate;
    job.ccc = ccc;
    const std::vector<double> input = needleDrop();
    std::vector<double> buffer(input.size());
    for (auto _ : state) {
        state.PauseTiming();
        buffer = input;
        state.ResumeTiming();
        job.PopClick_Crackle(buffer, !crackle, crackle);
        benchmark::DoNotOptimize(buffer.data());
    }
    // Seconds of audio per second of processing.
    state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PopClickCrackle)
    ->Args({0, 10})
    ->Args({0, 30})
    ->Args({1, 10})
    ->ArgNames({"crackle", "cccDb"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

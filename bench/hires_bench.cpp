#include "dsp/hires.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using namespace auralune;

constexpr double kSeconds = 60;

// Stereo programme of `frames` frames: two tones per channel.
std::vector<double> programme(std::uint64_t frames)
{
    std::vector<double> v(2 * frames);
    for (std::uint64_t i = 0; i < v.size(); ++i)
        v[i] = 8000.0 * std::sin(0.01 * static_cast<double>(i)) + 300.0 * std::sin(0.37 * static_cast<double>(i));
    return v;
}

// "x_realtime": seconds of audio converted per second of work.
void reportRealtime(benchmark::State& state)
{
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// DualUpSample: 60 s of 44.1 kHz stereo to 88.2 kHz.
void BM_DualUpSample(benchmark::State& state)
{
    const auto in = programme(static_cast<std::uint64_t>(44100 * kSeconds));
    std::vector<double> out(2 * in.size());
    const InterpolationKernel& kernel = dualUpSamplePhases();
    for (auto _ : state) {
        Progress progress{Progress::stepFor(in.size() / 2), 0, {}};
        interpolateByTwo(in, out, 2, kernel, progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_DualUpSample)->Unit(benchmark::kMillisecond);

// QuadDownSample: 60 s of 192 kHz stereo to 96 kHz.
void BM_QuadDownSample(benchmark::State& state)
{
    const auto in = programme(static_cast<std::uint64_t>(192000 * kSeconds));
    std::vector<double> out(in.size() / 2);
    const auto kernel = quadDownSampleKernel();
    for (auto _ : state) {
        Progress progress{Progress::stepFor(out.size() / 2), 0, {}};
        decimateByTwo(in, out, 2, kernel, progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_QuadDownSample)->Unit(benchmark::kMillisecond);

// QuadUpSample: 60 s of 96 kHz stereo back to 192 kHz.
void BM_QuadUpSample(benchmark::State& state)
{
    const auto in = programme(static_cast<std::uint64_t>(96000 * kSeconds));
    std::vector<double> out(2 * in.size());
    const InterpolationKernel& kernel = quadUpSamplePhases();
    for (auto _ : state) {
        Progress progress{Progress::stepFor(in.size() / 2), 0, {}};
        interpolateByTwo(in, out, 2, kernel, progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_QuadUpSample)->Unit(benchmark::kMillisecond);

// The wide-band kernel ("HiResFilter" Wide) in the three places.
void BM_WideDualUpSample(benchmark::State& state)
{
    const auto in = programme(static_cast<std::uint64_t>(44100 * kSeconds));
    std::vector<double> out(2 * in.size());
    for (auto _ : state) {
        Progress progress{Progress::stepFor(in.size() / 2), 0, {}};
        interpolateByTwo(in, out, 2, widePhases(), progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_WideDualUpSample)->Unit(benchmark::kMillisecond);

void BM_WideQuadDownSample(benchmark::State& state)
{
    const auto programmeIn = programme(static_cast<std::uint64_t>(192000 * kSeconds));
    std::vector<double> in, out(programmeIn.size() / 2);
    for (auto _ : state) {
        state.PauseTiming();
        in = programmeIn;   // the converter uses its input as scratch
        state.ResumeTiming();
        Progress progress{Progress::stepFor(out.size() / 2), 0, {}};
        decimateByTwoHalfBand(in, out, 2, wideHalfBand(), progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_WideQuadDownSample)->Unit(benchmark::kMillisecond);

void BM_WideQuadUpSample(benchmark::State& state)
{
    const auto in = programme(static_cast<std::uint64_t>(96000 * kSeconds));
    std::vector<double> out(2 * in.size());
    for (auto _ : state) {
        Progress progress{Progress::stepFor(in.size() / 2), 0, {}};
        interpolateByTwo(in, out, 2, widePhases(), progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_WideQuadUpSample)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

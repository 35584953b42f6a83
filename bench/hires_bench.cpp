#include "dsp/hires.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

// A minute of stereo at `rate` through one converter, `outputRatio` output
// frames per input frame. "x_realtime": seconds of audio converted per
// second of work.
template <class Convert>
void convertMinute(benchmark::State& state, double rate, double outputRatio, Convert convert)
{
    const auto in = programme(static_cast<std::uint64_t>(rate * kSeconds));
    std::vector<double> out(static_cast<std::size_t>(static_cast<double>(in.size()) * outputRatio));
    for (auto _ : state) {
        // The converters count input frames when doubling, output frames when halving.
        Progress progress{Progress::stepFor(std::min(in.size(), out.size()) / 2), 0, {}};
        convert(in, out, progress);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Each place of the hi-res path with the standard kernel and beside it the
// wide-band one ("HiResFilter" Wide).

// DualUpSample: 44.1 kHz to 88.2 kHz.
void BM_DualUpSample(benchmark::State& state)
{
    convertMinute(state, 44100, 2, [](const auto& in, auto& out, Progress& progress) {
        interpolateByTwo(in, out, 2, dualUpSamplePhases(), progress);
    });
}
BENCHMARK(BM_DualUpSample)->Unit(benchmark::kMillisecond);

void BM_WideDualUpSample(benchmark::State& state)
{
    convertMinute(state, 44100, 2, [](const auto& in, auto& out, Progress& progress) {
        interpolateByTwo(in, out, 2, widePhases(), progress);
    });
}
BENCHMARK(BM_WideDualUpSample)->Unit(benchmark::kMillisecond);

// QuadDownSample: 192 kHz to 96 kHz.
void BM_QuadDownSample(benchmark::State& state)
{
    convertMinute(state, 192000, 0.5, [](const auto& in, auto& out, Progress& progress) {
        decimateByTwo(in, out, 2, quadDownSampleKernel(), progress);
    });
}
BENCHMARK(BM_QuadDownSample)->Unit(benchmark::kMillisecond);

void BM_WideQuadDownSample(benchmark::State& state)
{
    convertMinute(state, 192000, 0.5, [](const auto& in, auto& out, Progress& progress) {
        decimateByTwoHalfBand(in, out, 2, wideHalfBand(), progress);
    });
}
BENCHMARK(BM_WideQuadDownSample)->Unit(benchmark::kMillisecond);

// QuadUpSample: 96 kHz back to 192 kHz.
void BM_QuadUpSample(benchmark::State& state)
{
    convertMinute(state, 96000, 2, [](const auto& in, auto& out, Progress& progress) {
        interpolateByTwo(in, out, 2, quadUpSamplePhases(), progress);
    });
}
BENCHMARK(BM_QuadUpSample)->Unit(benchmark::kMillisecond);

void BM_WideQuadUpSample(benchmark::State& state)
{
    convertMinute(state, 96000, 2, [](const auto& in, auto& out, Progress& progress) {
        interpolateByTwo(in, out, 2, widePhases(), progress);
    });
}
BENCHMARK(BM_WideQuadUpSample)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

#include "dsp/denormals.h"
#include "dsp/wind_up_kernels.h"
#include "restore/hum_zephra_kernels.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using namespace auralune;

// 60 s of 96 kHz stereo on the 24-bit integer scale: programme with a
// 50 Hz hum under it.
constexpr double kRate = 96000;
constexpr double kSeconds = 60;
constexpr std::uint64_t kFrames = static_cast<std::uint64_t>(kRate * kSeconds);

std::vector<double> humMinute()
{
    std::vector<double> v(kFrames * 2);
    for (std::uint64_t n = 0; n < kFrames; ++n)
        for (std::uint64_t c = 0; c < 2; ++c)
            v[n * 2 + c] = 2000000.0 * std::sin(0.0131 * static_cast<double>((c + 1) * n)) +
                           20000.0 * std::sin(2 * 3.141592653589793 * 50 * static_cast<double>(n) / kRate);
    return v;
}

Progress benchProgress(std::uint64_t units)
{
    return Progress{Progress::stepFor(units), 0, [](std::uint32_t percent) { benchmark::DoNotOptimize(percent); }};
}

// x-realtime: seconds of audio processed per second of processing.
void reportRealtime(benchmark::State& state)
{
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_HumRemoval(benchmark::State& state)
{
    const DenormalsFlushedToZero flush;
    const std::vector<double> in = humMinute();
    const HumCascade cascade = *humCascade(kRate, state.range(0) != 0);
    std::vector<double> out(in.size()), work(humWorkSamples(cascade, kFrames));
    for (auto _ : state) {
        Progress progress = benchProgress(kFrames * 4);
        humRemoval(in, 2, out, 2, kFrames, cascade, work, progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_HumRemoval)->Arg(0)->Arg(1)->ArgName("bass")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Zephra(benchmark::State& state)
{
    const DenormalsFlushedToZero flush;
    const std::vector<double> in = humMinute();
    std::vector<double> out(in.size()), work(zephraWorkSamples(kZephraLowPass[3], kFrames));
    for (auto _ : state) {
        Progress progress = benchProgress(kFrames * 2);
        zephra(in, out, kFrames, kZephraLowPass[3], work, progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_Zephra)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WindUp(benchmark::State& state)
{
    const std::vector<double> in = humMinute();
    const WindUpSpeed& speed = kWindUpSpeeds[static_cast<std::size_t>(state.range(0))];
    std::vector<double> out(windUpFrames(kFrames, speed.decimation) * 2);
    const WindUpKernel kernel = *windUpKernel(kRate, speed.captureSpeed);
    for (auto _ : state) {
        Progress progress = benchProgress(out.size() / 2);
        windUpResample(in, kFrames, 2, kernel, speed.decimation, out, progress);
        benchmark::DoNotOptimize(out.data());
    }
    reportRealtime(state);
}
BENCHMARK(BM_WindUp)->Arg(0)->Arg(3)->ArgName("speed_row")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

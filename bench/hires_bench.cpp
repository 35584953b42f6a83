#include "dsp/hires.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using namespace auralune;

constexpr double kSeconds = 60;

// `samples` samples of programme: two tones.
std::vector<double> programme(std::uint64_t samples)
{
    std::vector<double> v(samples);
    for (std::uint64_t i = 0; i < v.size(); ++i)
        v[i] = 8000.0 * std::sin(0.01 * static_cast<double>(i)) + 300.0 * std::sin(0.37 * static_cast<double>(i));
    return v;
}

// A minute of stereo at `rate` (or as many samples in frames of
// state.range(0) channels) through one converter, `outputRatio` output
// frames per input frame. "x_realtime": seconds of stereo converted per
// second of work.
template <class Convert>
void convertMinute(benchmark::State& state, double rate, double outputRatio, Convert convert)
{
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const auto frames = static_cast<std::uint64_t>(rate * kSeconds * 2 / channels);
    const auto in = programme(frames * channels);
    std::vector<double> out(static_cast<std::size_t>(static_cast<double>(in.size()) * outputRatio));
    for (auto _ : state) {
        // The converters count input frames when doubling, output frames when halving.
        Progress progress{Progress::stepFor(std::min(in.size(), out.size()) / channels), 0, {}};
        convert(in, out, channels, progress);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Each place of the hi-res path with the standard kernel and beside it the
// wide-band one ("HiResFilter" Wide). Doubling 44.1 kHz is for stereo only;
// the other two take the source's channels, or six for surround (four: a
// count without a loop of its own).

// DualUpSample: 44.1 kHz to 88.2 kHz.
void BM_DualUpSample(benchmark::State& state)
{
    convertMinute(state, 44100, 2, [](const auto& in, auto& out, std::uint32_t channels, Progress& progress) {
        interpolateByTwo(in, out, channels, dualUpSamplePhases(), progress);
    });
}
BENCHMARK(BM_DualUpSample)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_WideDualUpSample(benchmark::State& state)
{
    convertMinute(state, 44100, 2, [](const auto& in, auto& out, std::uint32_t channels, Progress& progress) {
        interpolateByTwo(in, out, channels, widePhases(), progress);
    });
}
BENCHMARK(BM_WideDualUpSample)->Arg(2)->Unit(benchmark::kMillisecond);

// QuadDownSample: 192 kHz to 96 kHz.
void BM_QuadDownSample(benchmark::State& state)
{
    convertMinute(state, 192000, 0.5, [](const auto& in, auto& out, std::uint32_t channels, Progress& progress) {
        decimateByTwo(in, out, channels, quadDownSampleKernel(), progress);
    });
}
BENCHMARK(BM_QuadDownSample)->Arg(2)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_WideQuadDownSample(benchmark::State& state)
{
    convertMinute(state, 192000, 0.5, [](const auto& in, auto& out, std::uint32_t channels, Progress& progress) {
        decimateByTwoHalfBand(in, out, channels, wideHalfBand(), progress);
    });
}
BENCHMARK(BM_WideQuadDownSample)->Arg(2)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond);

// QuadUpSample: 96 kHz back to 192 kHz.
void BM_QuadUpSample(benchmark::State& state)
{
    convertMinute(state, 96000, 2, [](const auto& in, auto& out, std::uint32_t channels, Progress& progress) {
        interpolateByTwo(in, out, channels, quadUpSamplePhases(), progress);
    });
}
BENCHMARK(BM_QuadUpSample)->Arg(2)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_WideQuadUpSample(benchmark::State& state)
{
    convertMinute(state, 96000, 2, [](const auto& in, auto& out, std::uint32_t channels, Progress& progress) {
        interpolateByTwo(in, out, channels, widePhases(), progress);
    });
}
BENCHMARK(BM_WideQuadUpSample)->Arg(2)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

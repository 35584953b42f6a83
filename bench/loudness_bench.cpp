#include "metrics/loudness.h"

#include "../tests/support/loudness_signals.h"

#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// The whole R128 measurement (integrated loudness, range, true peak,
// maximum momentary and short-term loudness) of 10 minutes of stereo,
// ours against libebur128 with every measure on, single-threaded. Compare
// the times of the same signal and rate for the ratio.
namespace {

using namespace auralune;
namespace test = auralune::test;

constexpr double kSeconds = 600;

enum Signal : int {
    kProgramme = 0,   // pink noise whose level changes every 2 s between -30 and -6 dB
    kTone = 1,        // a steady sine 1 dB below full scale: no window can be skipped
};

std::vector<double> tenMinutes(Signal signal, double rate)
{
    if (signal == kTone)
        return test::sineFrames(rate, 997, 0.891, kSeconds, 2, 3u);
    return test::pinkNoiseSteps(rate, kSeconds, 2, {-6, -18, -30, -12, -24, -9}, 2.0);
}

void ours(benchmark::State& state)
{
    const auto signal = static_cast<Signal>(state.range(0));
    const auto rate = static_cast<double>(state.range(1));
    const std::vector<double> x = tenMinutes(signal, rate);
    for (auto _ : state) {
        Progress progress{1, 0, [](std::uint32_t percent) { benchmark::DoNotOptimize(percent); }};
        metrics::LoudnessMeasurement m = metrics::measureLoudness(x, 2, rate, 1.0, progress);
        benchmark::DoNotOptimize(m);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * x.size() / 2));
}

// Fed 100 ms at a time, with the momentary and short-term loudness read
// after each piece for their maxima.
void libebur128(benchmark::State& state)
{
    const auto signal = static_cast<Signal>(state.range(0));
    const auto rate = static_cast<unsigned long>(state.range(1));
    const std::vector<double> x = tenMinutes(signal, static_cast<double>(rate));
    const std::size_t frames = x.size() / 2;
    for (auto _ : state) {
        ebur128_state* st = ebur128_init(2, rate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
        const std::size_t step = rate / 10;
        double maxMomentary = -HUGE_VAL, maxShortTerm = -HUGE_VAL;
        for (std::size_t done = 0; done < frames; done += step) {
            ebur128_add_frames_double(st, x.data() + 2 * done, std::min(step, frames - done));
            double value = 0;
            if (ebur128_loudness_momentary(st, &value) == EBUR128_SUCCESS)
                maxMomentary = std::max(maxMomentary, value);
            if (ebur128_loudness_shortterm(st, &value) == EBUR128_SUCCESS)
                maxShortTerm = std::max(maxShortTerm, value);
        }
        double integrated = 0, range = 0, left = 0, right = 0;
        ebur128_loudness_global(st, &integrated);
        ebur128_loudness_range(st, &range);
        ebur128_true_peak(st, 0, &left);
        ebur128_true_peak(st, 1, &right);
        benchmark::DoNotOptimize(integrated + range + left + right + maxMomentary + maxShortTerm);
        ebur128_destroy(&st);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * frames));
}

BENCHMARK(ours)->ArgsProduct({{kProgramme, kTone}, {48000, 96000}})->Unit(benchmark::kMillisecond);
BENCHMARK(libebur128)->ArgsProduct({{kProgramme, kTone}, {48000, 96000}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

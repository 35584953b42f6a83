#include "metrics/loudness.h"

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

constexpr double kSeconds = 600;

enum Signal : int {
    kProgramme = 0,   // pink noise whose level changes every 2 s between -30 and -6 dB
    kTone = 1,        // a steady sine 1 dB below full scale: no window can be skipped
};

std::vector<double> tenMinutes(Signal signal, double rate)
{
    const auto frames = static_cast<std::size_t>(kSeconds * rate);
    std::vector<double> x(2 * frames);
    std::uint64_t state = 1;
    const auto white = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) * 0x1.0p-52 - 1.0;
    };
    const double levelsDb[] = {-6, -18, -30, -12, -24, -9};
    double b[2][3] = {};
    for (std::size_t n = 0; n < frames; ++n)
        for (std::size_t c = 0; c < 2; ++c) {
            if (signal == kTone) {
                x[2 * n + c] = 0.891 * std::sin(2 * 3.14159265358979 * 997 * static_cast<double>(n) / rate + c);
                continue;
            }
            const double w = white();
            b[c][0] = 0.99765 * b[c][0] + w * 0.0990460;
            b[c][1] = 0.96300 * b[c][1] + w * 0.2965164;
            b[c][2] = 0.57000 * b[c][2] + w * 1.0526913;
            const double pink = (b[c][0] + b[c][1] + b[c][2] + w * 0.1848) * 0.12;
            const double level = levelsDb[static_cast<std::size_t>(static_cast<double>(n) / rate / 2) % 6];
            x[2 * n + c] = std::clamp(pink * std::pow(10.0, level / 20), -1.0, 1.0);
        }
    return x;
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

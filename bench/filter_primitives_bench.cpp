#include "dsp/denormals.h"
#include "dsp/filter_primitives.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using namespace auralune;

// Ten seconds of 96 kHz stereo: 960000 frames, 1920000 samples.
constexpr std::uint64_t kFrames = 960000;
constexpr std::uint32_t kChannels = 2;
constexpr std::uint64_t kSamples = kFrames * kChannels;

std::vector<double> programme()
{
    std::vector<double> v(kSamples);
    for (std::uint64_t i = 0; i < kSamples; ++i)
        v[i] = 8000.0 * std::sin(0.01 * static_cast<double>(i)) + 300.0 * std::sin(0.37 * static_cast<double>(i));
    return v;
}

// 2nd-order low-pass at 50 Hz, Q 0.707, 96 kHz: poles close to z = 1
// (d1 ≈ +1.995), the hardest case for a long tail.
BiquadCoeffs lowPass()
{
    const double w0 = 2 * std::numbers::pi * 50.0 / 96000.0;
    const double alpha = std::sin(w0) / (2 * 0.707);
    const double a0 = 1 + alpha;
    const double cw = std::cos(w0);
    return {(1 - cw) / 2 / a0, (1 - cw) / a0, (1 - cw) / 2 / a0, 2 * cw / a0, -(1 - alpha) / a0};
}

Progress progressFor(std::uint64_t units)
{
    return Progress{Progress::stepFor(units), 0, [](std::uint32_t percent) { benchmark::DoNotOptimize(percent); }};
}

void BM_Biquad(benchmark::State& state)
{
    const auto direction = static_cast<Direction>(state.range(0));
    const std::vector<double> in = programme();
    std::vector<double> out(kSamples);
    const BiquadCoeffs k = lowPass();
    for (auto _ : state) {
        Progress progress = progressFor(kSamples);
        biquad(in, out, kFrames, kChannels, k, direction, progress);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
}
BENCHMARK(BM_Biquad)->Arg(0)->Arg(1)->ArgName("reverse")->Unit(benchmark::kMillisecond);

void BM_Fir(benchmark::State& state)
{
    const auto taps = static_cast<std::size_t>(state.range(0));
    const std::vector<double> in = programme();
    std::vector<double> out(kSamples);
    std::vector<double> h(taps);
    for (std::size_t k = 0; k < taps; ++k)
        h[k] = 1.0 / static_cast<double>(taps) * (1 + 0.1 * std::cos(static_cast<double>(k)));
    for (auto _ : state) {
        Progress progress = progressFor(kSamples);
        fir(in, out, kFrames, kChannels, h, progress);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
}
BENCHMARK(BM_Fir)->Arg(64)->ArgName("taps")->Unit(benchmark::kMillisecond);

void BM_Gain(benchmark::State& state)
{
    std::vector<double> samples = programme();
    for (auto _ : state) {
        Progress progress = progressFor(kSamples);
        gain(samples, kFrames, kChannels, 0.999, progress);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
}
BENCHMARK(BM_Gain)->Unit(benchmark::kMillisecond);

// A low-pass ringing out into silence from a tiny value spends the whole
// buffer among denormals unless they are flushed.
void BM_BiquadSilentTail(benchmark::State& state)
{
    const bool flush = state.range(0) != 0;
    std::vector<double> in(kSamples, 0.0);
    in[0] = in[1] = 1e-305;
    std::vector<double> out(kSamples);
    const BiquadCoeffs k = lowPass();
    for (auto _ : state) {
        Progress progress = progressFor(kSamples);
        if (flush) {
            DenormalsFlushedToZero guard;
            biquad(in, out, kFrames, kChannels, k, Direction::Forward, progress);
        } else {
            biquad(in, out, kFrames, kChannels, k, Direction::Forward, progress);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSamples));
}
BENCHMARK(BM_BiquadSilentTail)->Arg(0)->Arg(1)->ArgName("flush")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

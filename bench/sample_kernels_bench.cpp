#include "engine/sample_kernels.h"
#include "engine/sample_kernels_simd.h"
#include "platform/mersenne_twister.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using namespace auralune;

// 60 s of 96 kHz stereo on the 24-bit integer scale, a little of it past
// full scale so that the clipping scan counts.
std::vector<double> stereoMinute()
{
    constexpr std::uint64_t frames = 60 * 96000;
    std::vector<double> samples(frames * 2);
    for (std::uint64_t i = 0; i < samples.size(); ++i)
        samples[i] = std::round(8500000.0 * std::sin(0.0131 * static_cast<double>(i)));
    return samples;
}

// Arg: 0 scalar loops, 1 SSE2, 2 AVX2 (where present).
struct Level {
    explicit Level(const benchmark::State& state)
        : previous(limitVectorLevel(static_cast<VectorLevel>(state.range(0))))
    {
    }
    ~Level() { limitVectorLevel(previous); }
    VectorLevel previous;
};

void unpack24(benchmark::State& state)
{
    const Level level(state);
    const std::vector<double> samples = stereoMinute();
    std::vector<std::uint8_t> bytes(samples.size() * 3);
    Progress once;
    doubleToInteger(samples, {2, 0, 2}, 24, 3, kEndianLittle, bytes, once);
    std::vector<double> out(samples.size());
    for (auto _ : state) {
        Progress progress;
        progress.step = samples.size() / 100;
        integerToDouble(bytes, 3, kEndianLittle, out, progress);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples.size()));
}
BENCHMARK(unpack24)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void pack(benchmark::State& state)
{
    const Level level(state);
    const auto width = static_cast<std::uint32_t>(state.range(1));
    std::vector<double> samples = stereoMinute();
    if (width == 2)
        for (double& x : samples)
            x /= 256;
    std::vector<std::uint8_t> bytes(samples.size() * width);
    for (auto _ : state) {
        Progress progress;
        progress.step = samples.size() / 200;
        doubleToInteger(samples, {2, 0, 2}, 8 * width, width, kEndianLittle, bytes, progress);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples.size()));
}
BENCHMARK(pack)->ArgsProduct({{0, 1, 2}, {2, 3}})->Unit(benchmark::kMillisecond);

void clippingScan(benchmark::State& state)
{
    const Level level(state);
    const std::vector<double> samples = stereoMinute();
    for (auto _ : state) {
        Progress progress;
        progress.step = samples.size() / 100;
        benchmark::DoNotOptimize(scanClipping(samples, 2, 8388607, -8388608, progress));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples.size()));
}
BENCHMARK(clippingScan)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

// Dither noise: one number per sample, a minute of 96 kHz stereo in blocks
// as the dither stage draws them. Arg 0: std::mt19937 one at a time (the
// peer), 1: the block generator (the same numbers).
void ditherNumbers(benchmark::State& state)
{
    std::vector<std::uint32_t> block(4096);
    std::mt19937 reference(1);
    MersenneTwister32 twister(1);
    constexpr std::uint64_t samples = 60 * 96000 * 2;
    for (auto _ : state) {
        for (std::uint64_t done = 0; done < samples; done += block.size()) {
            if (state.range(0) == 0)
                for (std::uint32_t& v : block)
                    v = static_cast<std::uint32_t>(reference());
            else
                twister.fill(block);
            benchmark::DoNotOptimize(block.data());
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples));
}
BENCHMARK(ditherNumbers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// The six-channel enhancements as Enhancement 1 through the dispatcher, on
// 60 s of 96 kHz stereo: the matrix decoders, Lumora and the two CD-4
// decoders (a synthetic groove with its 30 kHz carrier).

#include "bench_platform.h"
#include "dsp/denormals.h"
#include "engine/audio_file.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using namespace auralune;
using bench::BenchPlatform;

constexpr double kRate = 96000;
constexpr double kSeconds = 60;
constexpr std::uint64_t kFrames = static_cast<std::uint64_t>(kRate * kSeconds);
constexpr double kPi = std::numbers::pi;

// Programme on the 24-bit scale; with `carrier`, each wall also carries a
// 30 kHz carrier frequency-modulated by a slow tone.
std::vector<double> record(bool carrier)
{
    std::vector<double> v(kFrames * 2);
    double phase[2] = {0, 0};
    for (std::uint64_t n = 0; n < kFrames; ++n)
        for (std::uint64_t c = 0; c < 2; ++c) {
            const double t = static_cast<double>(n) / kRate;
            double x = 1500000.0 * std::sin(2 * kPi * 440 * (c + 1) * t) + 400000.0 * std::sin(2 * kPi * 3300 * t);
            if (carrier) {
                phase[c] += 2 * kPi * (30000 + 500 * std::sin(2 * kPi * (700 + 300 * c) * t)) / kRate;
                x += 500000.0 * std::cos(phase[c]);
            }
            v[n * 2 + c] = x;
        }
    return v;
}

void BM_SixChannelEnhancement(benchmark::State& state)
{
    const auto code = static_cast<EnhancementCode>(state.range(0));
    const bool cd4 = (code & kCd4Mask) != 0;
    const DenormalsFlushedToZero flush;
    BenchPlatform services;
    AudioFile job(services.platform);
    job.initWithName("/music/quad side.wav", false, false);
    job.settings = SettingsSnapshot{};
    job.settings.filterType_1 = code;
    job.srcFrames = job.dstFrames = static_cast<std::uint32_t>(kFrames);
    job.srcFrameRate = job.dstFrameRate = kRate;
    job.srcSampleBits = job.dstSampleBits = 24;
    job.srcChannels = 2;
    job.dstChannels_1 = job.dstChannels_2 = job.dstChannelsData = 6;
    job.ccc = 4.0;
    const std::vector<double> input = record(cd4);
    job.audioBuf_1.assign(kFrames * 6, 0.0);
    for (auto _ : state) {
        state.PauseTiming();
        job.audioBuf_0.assign(input.begin(), input.end());
        job.audioBuf_0_sub.assign(cd4 ? kFrames * 2 : 0, 0.0);
        job.rmsRatio = 1.0;
        job.warning = 0;
        state.ResumeTiming();
        job.StereoEnhancement(1);
        benchmark::DoNotOptimize(job.audioBuf_1.data());
    }
    if (job.error != 0)
        state.SkipWithError("the enhancement failed");
    state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
// SQ, QS, Ambisonic UHJ, Lumora 51, Cinema Surround 5.1, JVC and High-Quality CD-4.
BENCHMARK(BM_SixChannelEnhancement)
    ->Arg(0x800000)
    ->Arg(0x400000)
    ->Arg(0x1000000)
    ->Arg(0x100)
    ->Arg(0x40000000)
    ->Arg(0x100000000000)
    ->Arg(0x200000000000)
    ->ArgName("code")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

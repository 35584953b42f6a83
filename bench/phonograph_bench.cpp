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

// A minute of 96 kHz stereo: two tones per channel with a slow swell, a
// quiet groove run-in, surface noise and a click every 30-60 ms.
constexpr double kRate = 96000.0;
constexpr double kSeconds = 60.0;
constexpr std::uint64_t kFrames = static_cast<std::uint64_t>(kRate * kSeconds);
constexpr EnhancementCode kRiaa = 0x800;

std::vector<double> record()
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(kFrames * 2);
    constexpr double twoPi = 2 * std::numbers::pi;
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double swell = t < 2.0 ? 0.001 : 0.6 + 0.4 * std::sin(twoPi * 0.2 * t);
        x[2 * i] = swell * (90000 * std::sin(twoPi * 196 * t) + 40000 * std::sin(twoPi * 1175 * t)) +
                   3000 * uniform(random);
        x[2 * i + 1] = swell * (80000 * std::sin(twoPi * 247 * t + 1) + 50000 * std::sin(twoPi * 2349 * t)) +
                       3000 * uniform(random);
    }
    for (std::uint64_t at = 1000; at + 100 < kFrames; at += 3000 + random() % 3000)
        for (std::uint64_t k = at; k < at + 1 + random() % 30; ++k) {
            x[2 * k] += 1500000.0;
            x[2 * k + 1] -= 1200000.0;
        }
    return x;
}

using bench::BenchPlatform;

// "Phonograph EQ A1 (RIAA)" at stage 1. Argument 1: the phonograph
// defaults (gain ranging, cartridge balance, disc echo removal, pop-click,
// LP distortion cancellation, Zephra, rumble filter); 0: equalisation alone.
void BM_PhonographEQ(benchmark::State& state)
{
    const bool defaults = state.range(0) != 0;
    const DenormalsFlushedToZero flush;
    BenchPlatform services;
    AudioFile job(services.platform);
    job.initWithName("/music/side one.wav", false, false);
    job.settings = SettingsSnapshot{};
    job.settings.filterType_1 = kRiaa;
    if (!defaults) {
        SettingsSnapshot& s = job.settings;
        s.useGainRanging = s.useCartridgeBalance = s.useDiscEchoRemoval = s.useLpDistortionCancel = false;
        s.useZephra = s.useRumbleFilter = s.useHumFilter = false;
        s.phonographPopClick = 1;
        s.phonographScratch = 1;
    }
    job.dstFrames = static_cast<std::uint32_t>(kFrames);
    job.dstFrameRate = kRate;
    job.dstSampleBits = 24;
    job.srcChannels = 2;
    job.dstChannels_1 = 2;
    job.rmsRatio = 1.08;
    job.ccc = 30.0;
    const std::vector<double> input = record();
    job.audioBuf_1.assign(input.size(), 0.0);
    for (auto _ : state) {
        state.PauseTiming();
        job.audioBuf_0.assign(input.begin(), input.end());
        state.ResumeTiming();
        job.PhonographEQ(1);
        benchmark::DoNotOptimize(job.audioBuf_1.data());
    }
    if (job.error != 0)
        state.SkipWithError("the chain failed");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFrames));
    // Seconds of audio per second of processing.
    state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PhonographEQ)->Arg(1)->Arg(0)->ArgName("defaults")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

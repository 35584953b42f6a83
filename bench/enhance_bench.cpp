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

// A minute of 96 kHz stereo on the 24-bit scale: two tones per channel
// with a slow swell and a little noise.
constexpr double kRate = 96000.0;
constexpr double kSeconds = 60.0;
constexpr std::uint64_t kFrames = static_cast<std::uint64_t>(kRate * kSeconds);

const std::vector<double>& programme()
{
    static const std::vector<double> x = [] {
        std::mt19937 random(11);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        std::vector<double> v(kFrames * 2);
        constexpr double twoPi = 2 * std::numbers::pi;
        for (std::uint64_t i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double swell = 0.6 + 0.4 * std::sin(twoPi * 0.2 * t);
            v[2 * i] = swell * (900000 * std::sin(twoPi * 196 * t) + 400000 * std::sin(twoPi * 3175 * t)) +
                       3000 * uniform(random);
            v[2 * i + 1] = swell * (800000 * std::sin(twoPi * 247 * t + 1) + 500000 * std::sin(twoPi * 5349 * t)) +
                           3000 * uniform(random);
        }
        return v;
    }();
    return x;
}

// One enhancement as Enhancement 1 through the dispatcher, the input
// restored (untimed) before each run. x-realtime: seconds of audio per
// second of processing.
void BM_Enhancement(benchmark::State& state, EnhancementCode code)
{
    const DenormalsFlushedToZero flush;
    bench::BenchPlatform services;
    SystemRandomSource random(1);
    // The groove noise draws from a real generator, as in a conversion.
    const Platform platform{services.log,       services.defaults, services.notifications, services.mainThread,
                            services.alerts,    services.beeper,   services.clock,         random};
    AudioFile job(platform);
    job.initWithName("/music/take.wav", false, false);
    job.settings = SettingsSnapshot{};
    job.settings.filterType_1 = code;
    job.dstFrames = static_cast<std::uint32_t>(kFrames);
    job.dstFrameRate = kRate;
    job.dstSampleBits = 24;
    job.srcChannels = 2;
    job.dstChannels_1 = 2;
    job.audioBuf_1.assign(kFrames * 2, 0.0);
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<double> samples = programme();
        job.audioBuf_0.assign(samples.begin(), samples.end());
        state.ResumeTiming();
        job.StereoEnhancement(1);
        benchmark::DoNotOptimize(job.audioBuf_1.data());
    }
    if (job.error != 0)
        state.SkipWithError("the enhancement failed");
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

#define AURALUNE_ENHANCEMENT_BENCH(name, code)                                                                    \
    BENCHMARK_CAPTURE(BM_Enhancement, name, code)->Unit(benchmark::kMillisecond)->UseRealTime()

AURALUNE_ENHANCEMENT_BENCH(Kestralin, 0x2);
AURALUNE_ENHANCEMENT_BENCH(KestralinTSym, 0x100000000);
AURALUNE_ENHANCEMENT_BENCH(Quillmere_with_reverb, 0x40);
AURALUNE_ENHANCEMENT_BENCH(Rivelle, 0x10);
AURALUNE_ENHANCEMENT_BENCH(TapeEQ_A, 0x2000000000000);
AURALUNE_ENHANCEMENT_BENCH(CassetteNoiseReduction, 0x8000000);
AURALUNE_ENHANCEMENT_BENCH(Cat22NoiseReduction, 0x1000000000000);
AURALUNE_ENHANCEMENT_BENCH(Unlimiting, 0x200000000);
AURALUNE_ENHANCEMENT_BENCH(Groove_with_noise, 0x10000000);

}  // namespace

BENCHMARK_MAIN();

#include "bench_platform.h"
#include "dsp/denormals.h"
#include "engine/audio_file.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace {

using namespace auralune;

// Ten minutes of a 96 kHz stereo needle-drop of an off-centre 33⅓ rpm
// record: a tone and programme noise whose speed swings by 0.3 % once per
// revolution, surface noise whose level swings between the channels with it.
constexpr double kRate = 96000.0;
constexpr double kSeconds = 600.0;
constexpr std::uint64_t kFrames = static_cast<std::uint64_t>(kRate * kSeconds);
constexpr EnhancementCode kRiaa = 0x800;

const std::vector<double>& record()
{
    static const std::vector<double> x = [] {
        std::minstd_rand random(7);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        std::vector<double> v(kFrames * 2);
        constexpr double twoPi = 2 * std::numbers::pi;
        constexpr double revolutionHz = 100.0 / 3 / 60;
        double programme = 0;
        for (std::uint64_t i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double swing = std::sin(twoPi * revolutionHz * t);
            const double phase = twoPi * 3150 * (t - 0.003 / (twoPi * revolutionHz) * std::cos(twoPi * revolutionHz * t));
            programme = 0.9 * programme + 0.1 * uniform(random);
            const double tone = 2e6 * std::sin(phase) + 1e6 * programme;
            v[2 * i] = tone + 80000 * uniform(random) * (1 - 0.1 * swing);
            v[2 * i + 1] = tone + 80000 * uniform(random) * (1 + 0.1 * swing);
        }
        return v;
    }();
    return x;
}

using bench::BenchPlatform;

void setUp(AudioFile& job)
{
    job.initWithName("/music/side one.wav", false, false);
    job.settings = SettingsSnapshot{};
    job.settings.filterType_1 = kRiaa;
    job.settings.useWowCorrection = true;
    job.settings.tonearmSwayWow = 0.9;
    job.dstFrames = static_cast<std::uint32_t>(kFrames);
    job.dstFrameRate = kRate;
    job.dstSampleBits = 24;
    job.srcChannels = 2;
    job.dstChannels_1 = 2;
    job.rmsRatio = 1.0;
    job.ccc = 30.0;
}

void report(benchmark::State& state, const AudioFile& job)
{
    if (job.error != 0 || (job.warning & kWarningWowNotFound) != 0)
        state.SkipWithError("no wow was corrected");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFrames));
    // Seconds of audio per second of processing.
    state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

// The wow stage alone, in place on the stage's source buffer.
void BM_WowCorrection(benchmark::State& state)
{
    const DenormalsFlushedToZero flush;
    BenchPlatform services;
    AudioFile job(services.platform);
    setUp(job);
    for (auto _ : state) {
        state.PauseTiming();
        job.audioBuf_0.assign(record().begin(), record().end());
        job.warning = 0;
        state.ResumeTiming();
        job.WowCorrection(std::span<double>(job.audioBuf_0));
        benchmark::DoNotOptimize(job.audioBuf_0.data());
    }
    report(state, job);
}
BENCHMARK(BM_WowCorrection)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// "Phonograph EQ A1 (RIAA)" at stage 1 with the phonograph defaults (gain
// ranging, cartridge balance, disc echo removal, pop-click, LP distortion
// cancellation, Zephra, rumble filter) and wow correction.
void BM_PhonographChainWithWow(benchmark::State& state)
{
    const DenormalsFlushedToZero flush;
    BenchPlatform services;
    AudioFile job(services.platform);
    setUp(job);
    job.audioBuf_1.assign(kFrames * 2, 0.0);
    for (auto _ : state) {
        state.PauseTiming();
        job.audioBuf_0.assign(record().begin(), record().end());
        job.warning = 0;
        state.ResumeTiming();
        job.PhonographEQ(1);
        benchmark::DoNotOptimize(job.audioBuf_1.data());
    }
    report(state, job);
}
BENCHMARK(BM_PhonographChainWithWow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

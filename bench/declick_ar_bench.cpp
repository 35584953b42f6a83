#include "../tests/support/click_record.h"
#include "dsp/denormals.h"
#include "restore/declick_ar_kernels.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace auralune;

// The interpolating declicker on the benchmark record of its tests (200
// clicks in three seconds of a piano-like stereo recording), at 44.1 and
// 96 kHz. Compare "x_realtime" with ffmpeg's adeclick on the same record.
void BM_ArDeclick(benchmark::State& state)
{
    const DenormalsFlushedToZero flush;
    const double rate = static_cast<double>(state.range(0));
    const test::ClickRecord record = test::makeClickRecord(rate, 3.0, 200, 17);
    const ArDeclickParams params = arDeclickParams(rate, DeclickSensitivity::Normal);
    std::vector<double> buffer, work(2 * record.frames);
    for (auto _ : state) {
        state.PauseTiming();
        buffer = record.clicked;
        state.ResumeTiming();
        Progress progress{Progress::stepFor(2 * record.frames), 0, {}};
        arDeclick(buffer, record.frames, params, work, progress);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(3.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ArDeclick)->Arg(44100)->Arg(96000)->ArgName("rate")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

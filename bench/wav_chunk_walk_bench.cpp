#include "bench_platform.h"
#include "engine/audio_file.h"
#include "formats/byte_io.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

using namespace auralune;

// A 16-bit stereo header, `emptyChunks` chunks of 8 bytes, one frame of
// data, then `zeroTail` zero bytes (a recorder's preallocated end).
std::vector<std::uint8_t> image(std::uint64_t emptyChunks, std::uint64_t zeroTail)
{
    std::vector<std::uint8_t> out;
    bytes::appendText(out, "RIFF");
    bytes::appendLE<std::uint32_t>(out, 0);
    bytes::appendText(out, "WAVEfmt ");
    bytes::appendLE<std::uint32_t>(out, 16);
    for (const std::uint16_t field : {1, 2})
        bytes::appendLE(out, field);
    bytes::appendLE<std::uint32_t>(out, 44100);
    bytes::appendLE<std::uint32_t>(out, 176400);
    for (const std::uint16_t field : {4, 16})
        bytes::appendLE(out, field);
    for (std::uint64_t i = 0; i < emptyChunks; ++i) {
        bytes::appendText(out, "JUNK");
        bytes::appendLE<std::uint32_t>(out, 0);
    }
    bytes::appendText(out, "data");
    bytes::appendLE<std::uint32_t>(out, 4);
    bytes::appendLE<std::uint32_t>(out, 0);
    out.resize(out.size() + zeroTail, 0);
    return out;
}

// The header-only read of the analysis pass; the argument is MiB of chunks
// (range 0) or of zero tail (range 1).
void analyse(benchmark::State& state)
{
    constexpr std::uint64_t kMiB = 1024 * 1024;
    const auto chunks = static_cast<std::uint64_t>(state.range(0)) * kMiB / 8;
    const std::vector<std::uint8_t> bytes = image(chunks, static_cast<std::uint64_t>(state.range(1)) * kMiB);
    bench::BenchPlatform services;
    for (auto _ : state) {
        AudioFile job(services.platform);
        job.initWithName("bench.wav", false, false);
        job.AnalyseWAVImage(bytes, true);
        benchmark::DoNotOptimize(job.discardBytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(analyse)->Args({64, 0})->Args({0, 64})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// FLAC decode and encode of a 10-minute 96 kHz 24-bit stereo programme,
// ours (libFLAC through the job, level 5 with verify, into the destination
// image; decode with MD5 check into the source buffer) beside the flac
// command line on the same audio in the same run ("flac -5", "flac -5 -V",
// "flac -d"). The last benchmark reports our time over flac's as ratios.
// Needs flac; the command-line rows are skipped without it.

#include "bench_platform.h"
#include "engine/audio_file.h"
#include "formats/byte_io.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace auralune;
namespace fs = std::filesystem;

constexpr std::uint32_t kRate = 96000;
constexpr std::uint32_t kFrames = kRate * 600;

// Two tones per channel with a little noise: a programme that compresses
// about as much as music does.
struct Programme {
    fs::path folder;
    fs::path wav, flac;
    std::vector<std::uint8_t> words;   // 32-bit little-endian, as the job hands them to the writer

    Programme()
    {
        folder = fs::temp_directory_path() / ("auralune-flac-bench-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        wav = folder / "programme.wav";
        flac = folder / "programme.flac";
        std::vector<std::uint8_t> pcm;
        pcm.reserve(std::size_t{kFrames} * 6);
        words.reserve(std::size_t{kFrames} * 8);
        std::uint32_t noise = 1;
        for (std::uint32_t n = 0; n < kFrames; ++n)
            for (int c = 0; c < 2; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const double x = 0.4 * std::sin(0.0123 * n * (c + 1)) + 0.2 * std::sin(0.00071 * n) +
                                 0.002 * ((noise >> 8) / 16777216.0 - 0.5);
                const auto value = static_cast<std::int32_t>(std::lround(8388607.0 * x));
                bytes::appendLE(pcm, static_cast<std::uint8_t>(value));
                bytes::appendLE(pcm, static_cast<std::uint8_t>(value >> 8));
                bytes::appendLE(pcm, static_cast<std::uint8_t>(value >> 16));
                bytes::appendLE(words, static_cast<std::uint32_t>(value));
            }
        std::vector<std::uint8_t> header;
        bytes::appendText(header, "RIFF");
        bytes::appendLE(header, static_cast<std::uint32_t>(36 + pcm.size()));
        bytes::appendText(header, "WAVEfmt ");
        bytes::appendLE(header, std::uint32_t{16});
        bytes::appendLE(header, std::uint16_t{1});
        bytes::appendLE(header, std::uint16_t{2});
        bytes::appendLE(header, kRate);
        bytes::appendLE(header, kRate * 6);
        bytes::appendLE(header, std::uint16_t{6});
        bytes::appendLE(header, std::uint16_t{24});
        bytes::appendText(header, "data");
        bytes::appendLE(header, static_cast<std::uint32_t>(pcm.size()));
        std::ofstream out(wav, std::ios::binary);
        out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
        out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
    }
    ~Programme() { fs::remove_all(folder); }
};

Programme& programme()
{
    static Programme p;
    return p;
}

bool haveFlac() { return std::system("command -v flac >/dev/null 2>&1") == 0; }

// Seconds per iteration of each row, for the ratios.
std::map<std::string, double>& timings()
{
    static std::map<std::string, double> t;
    return t;
}

template <class Body>
void timed(benchmark::State& state, const std::string& name, Body body)
{
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    timings()[name] = total / static_cast<double>(state.iterations());
    state.counters["x_realtime"] = 600.0 / timings()[name];
}

void BM_OurFlacEncode(benchmark::State& state)
{
    bench::BenchPlatform services;
    AudioFile job(services.platform);
    job.initWithName("programme.wav", false, false);
    job.dstFileType = kFileFlac;
    job.dstEndianessValues = job.dstEndianessData = kEndianLittle;
    job.dstFrames = job.srcFrames = kFrames;
    job.dstFrameRate = job.srcFrameRate = kRate;
    job.dstChannelsData = 2;
    job.dstSampleBits = 24;
    job.dstSampleBytes = 4;
    const std::vector<std::uint8_t> words = programme().words;
    job.dstAudioData.assign(words.begin(), words.end());
    timed(state, "our encode", [&] {
        ByteBuffer image;
        job.CreateDestBufferFLAC(image);
        if (job.error != 0)
            state.SkipWithError("encode failed");
        state.counters["ratio_percent"] =
            100.0 * static_cast<double>(image.size()) / static_cast<double>(programme().words.size() / 4 * 3);
    });
}
BENCHMARK(BM_OurFlacEncode)->Unit(benchmark::kSecond)->UseRealTime();

void flacCommand(benchmark::State& state, const std::string& name, const std::string& arguments)
{
    if (!haveFlac()) {
        state.SkipWithError("flac is not installed");
        return;
    }
    timed(state, name, [&] {
        if (std::system(("flac -s -f " + arguments).c_str()) != 0)
            state.SkipWithError("flac failed");
    });
}

void BM_FlacCliEncode(benchmark::State& state)
{
    const Programme& p = programme();
    flacCommand(state, "flac -5", "-5 -o '" + p.flac.string() + "' '" + p.wav.string() + "'");
}
BENCHMARK(BM_FlacCliEncode)->Unit(benchmark::kSecond)->UseRealTime();

void BM_FlacCliEncodeVerify(benchmark::State& state)
{
    const Programme& p = programme();
    flacCommand(state, "flac -5 -V", "-5 -V -o '" + p.flac.string() + "' '" + p.wav.string() + "'");
}
BENCHMARK(BM_FlacCliEncodeVerify)->Unit(benchmark::kSecond)->UseRealTime();

void BM_OurFlacDecode(benchmark::State& state)
{
    if (!fs::exists(programme().flac)) {
        state.SkipWithError("no FLAC file from the flac rows");
        return;
    }
    bench::BenchPlatform services;
    timed(state, "our decode", [&] {
        AudioFile job(services.platform);
        job.initWithName(programme().flac.string(), false, false);
        job.AnalyseFLAC(false);
        if (job.error != 0 || job.srcAudioData.size() != std::size_t{kFrames} * 6)
            state.SkipWithError("decode failed");
    });
}
BENCHMARK(BM_OurFlacDecode)->Unit(benchmark::kSecond)->UseRealTime();

void BM_FlacCliDecode(benchmark::State& state)
{
    flacCommand(state, "flac -d", "-d -c '" + programme().flac.string() + "' > /dev/null");
}
BENCHMARK(BM_FlacCliDecode)->Unit(benchmark::kSecond)->UseRealTime();

// Our time over flac's: 1.10 is the 10 % target.
void BM_Ratios(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(timings().size());
    const auto ratio = [](const char* ours, const char* theirs) {
        const auto& t = timings();
        return t.count(ours) && t.count(theirs) && t.at(theirs) > 0 ? t.at(ours) / t.at(theirs) : 0.0;
    };
    state.counters["encode_vs_flac5"] = ratio("our encode", "flac -5");
    state.counters["encode_vs_flac5V"] = ratio("our encode", "flac -5 -V");
    state.counters["decode_vs_flacd"] = ratio("our decode", "flac -d");
}
BENCHMARK(BM_Ratios)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

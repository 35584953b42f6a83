// Stage buffers kept in temporary files: the allocator's mapped blocks, and
// whole conversions that must give the same bytes as in memory.

#include "engine/pass_lock.h"
#include "engine/stage_memory.h"
#include "support/external_tools.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

namespace auralune {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::size_t entriesIn(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(StageMemory, MappedBlocksKeepTheirDataThroughTrimsAndAreFreedOnAnotherThread)
{
    test::TempDir dir;
    const std::size_t before = stage_memory::mappedBlockCount();
    StageMemoryBacking backing(dir.path().string());
    SampleBuffer large;
    ByteBuffer small;
    {
        const StageMemoryScope scope(&backing);
        large.resize(3 << 17);   // 3 MiB
        small.resize(1000);
    }
    SampleBuffer anonymous(3 << 17);
    EXPECT_EQ(stage_memory::mappedBlockCount(), before + 1) << "only the large block inside the scope is mapped";
    EXPECT_EQ(backing.mappedBytes(), large.size() * sizeof(double));
    EXPECT_EQ(entriesIn(dir.path()), 0u) << "the files have no name";
    EXPECT_TRUE(std::all_of(large.begin(), large.end(), [](double x) { return x == 0.0; }));

    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<double>(i) * 0.5;
    backing.trimResident();
    bool kept = true;
    for (std::size_t i = 0; i < large.size(); ++i)
        kept = kept && large[i] == static_cast<double>(i) * 0.5;
    EXPECT_TRUE(kept) << "trimming drops pages, not data";

    std::thread([moved = std::move(large)]() mutable { SampleBuffer().swap(moved); }).join();
    EXPECT_EQ(stage_memory::mappedBlockCount(), before);

    // Outside a scope, blocks from 64 MiB on are anonymous mappings, freed
    // the same way.
    SampleBuffer populated(std::size_t{8} << 20);
    EXPECT_EQ(stage_memory::mappedBlockCount(), before + 1);
    EXPECT_EQ(backing.mappedBytes(), 0u);
    EXPECT_TRUE(populated.front() == 0.0 && populated.back() == 0.0);
    std::thread([moved = std::move(populated)]() mutable { SampleBuffer().swap(moved); }).join();
    EXPECT_EQ(stage_memory::mappedBlockCount(), before);
    EXPECT_TRUE(backing.failure().empty());
}

// A populated block given back serves the next buffer it can hold, cut to
// its size, and comes back zeroed as a vector asks; blocks too small for a
// request are joined into it, so keeping them never adds to the peak.
TEST(StageMemory, GivenBackBlocksServeTheNextBuffersWithoutRaisingThePeak)
{
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    stage_memory::releaseKept();
    ByteBuffer first(200 * kMiB, 7);
    const std::uint8_t* const address = first.data();
    ByteBuffer().swap(first);
    EXPECT_EQ(stage_memory::keptBytes(), 200 * kMiB);

    ByteBuffer reused(120 * kMiB);
    EXPECT_EQ(reused.data(), address);
    EXPECT_TRUE(reused.front() == 0 && reused.back() == 0);
    EXPECT_EQ(stage_memory::keptBytes(), 80 * kMiB) << "the rest stays kept";
    SampleBuffer rest(70 * kMiB / sizeof(double));
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(rest.data()), address + 120 * kMiB);
    EXPECT_EQ(stage_memory::keptBytes(), 0u) << "a remainder under 64 MiB goes back";

    SampleBuffer().swap(rest);
    ByteBuffer larger(100 * kMiB);
    EXPECT_EQ(stage_memory::keptBytes(), 0u) << "too small: joined into the new block";
    ByteBuffer().swap(larger);
    ByteBuffer().swap(reused);
    EXPECT_EQ(stage_memory::keptBytes(), 220 * kMiB);
    stage_memory::releaseKept();
    EXPECT_EQ(stage_memory::keptBytes(), 0u);

    // No kept block large enough: their pages are moved side by side into
    // one block, the largest first, and only the rest is new.
    auto* a = static_cast<std::uint8_t*>(stage_memory::allocateLarge(100 * kMiB));
    auto* b = static_cast<std::uint8_t*>(stage_memory::allocateLarge(80 * kMiB));
    a[0] = 0xAB;
    b[0] = 0xCD;
    stage_memory::deallocateLarge(a);
    stage_memory::deallocateLarge(b);
    auto* joined = static_cast<std::uint8_t*>(stage_memory::allocateLarge(150 * kMiB));
    EXPECT_EQ(joined[0], 0xAB);
    EXPECT_EQ(joined[100 * kMiB], 0xCD);
    EXPECT_EQ(joined[150 * kMiB - 1], 0);
    EXPECT_EQ(stage_memory::keptBytes(), 0u) << "the 30 MiB left over go back";
    stage_memory::deallocateLarge(joined);
    stage_memory::releaseKept();
}

TEST(StageMemory, AFileThatCannotBeHadIsAnAllocationFailureWithItsCause)
{
    test::TempDir dir;
    StageMemoryBacking backing(dir.path().string(), [](const std::string&) { return -ENOSPC; });
    const StageMemoryScope scope(&backing);
    SampleBuffer buffer;
    EXPECT_THROW(buffer.resize(1 << 20), std::bad_alloc);
    EXPECT_EQ(backing.failure(), "cannot create a temporary file in " + dir.path().string() + ": " +
                                     std::strerror(ENOSPC));
    EXPECT_NO_THROW(buffer.resize(1000)) << "small blocks stay in memory";
}

// Three seconds of two tones and a little noise, full of detail for every
// stage, as a WAV image.
Bytes programme(std::uint32_t rate, std::uint16_t bits)
{
    const std::uint32_t frames = 3 * rate;
    const std::uint32_t bytesPerSample = bits / 8;
    Bytes data;
    data.reserve(std::size_t{frames} * 2 * bytesPerSample);
    std::uint32_t noise = 12345;
    for (std::uint32_t n = 0; n < frames; ++n)
        for (int channel = 0; channel < 2; ++channel) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(n) / rate;
            const double x = 0.3 * std::sin(2 * M_PI * (220 + 110 * channel) * t) + 0.2 * std::sin(2 * M_PI * 3300 * t) +
                             0.01 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5);
            const auto value = static_cast<std::int32_t>(std::lround(x * ((1 << (bits - 1)) - 1)));
            for (std::uint32_t b = 0; b < bytesPerSample; ++b)
                data.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
        }
    return test::RiffBuilder().fmt(2, rate, bits).chunk("data", data).image();
}

struct Converted {
    Bytes image;
    std::vector<std::string> log;
};

// Converts `source` into `folder` with the settings given, in memory or on
// disk, and returns the destination's bytes.
Converted convert(const fs::path& source, const fs::path& folder, SettingsSnapshot settings, bool onDisk,
                  const std::string& suffix)
{
    test::JobHarness h(source.string());
    h.job.AnalyseFileThread(SettingsSnapshot{});
    EXPECT_EQ(h.job.error, 0) << test::logText(h.log);
    PassLock lock;
    settings.passLock = &lock;
    settings.destinationPathFollows = false;
    settings.destinationPath = folder.string();
    settings.destinationFileSuffix = suffix;
    h.job.stageBuffersOnDisk.enabled = onDisk;
    h.job.ProcessFileThread(settings);
    EXPECT_EQ(h.job.state, kStateConverted) << test::logText(h.log);
    return {test::readFile(h.job.tableText(TableText::DestinationName)), h.log.lines()};
}

TEST(StageMemory, ConversionsOnDiskGiveTheSameBytes)
{
    test::TempDir dir;
    const fs::path cd = dir.path() / "cd.wav";
    const fs::path needle = dir.path() / "needle.wav";
    test::writeFile(cd, programme(44100, 16));
    test::writeFile(needle, programme(96000, 24));
    const fs::path out = dir.path() / "out";
    fs::create_directory(out);

    struct Case {
        const char* what;
        const fs::path& source;
        const char* enhancement;
        int outputFormat;
    };
    const Case cases[] = {
        {"None, doubled to 88.2 kHz", cd, "None", 1},
        {"phonograph A1 chain at 96 kHz", needle, "Phonograph EQ A1 (RIAA)", 1},
        {"six-channel decoder", needle, "SQ Quadraphonic", 1},
        {"FLAC destination", cd, "None", kFileFlac},
    };
    for (const Case& c : cases) {
        SettingsSnapshot settings;
        settings.filterType_1 = findEnhancementByName(c.enhancement)->code();
        settings.outputFormatType = c.outputFormat;
        const Converted memory = convert(c.source, out, settings, false, "-memory");
        const Converted disk = convert(c.source, out, settings, true, "-disk");
        ASSERT_GT(memory.image.size(), 1000u) << c.what;
        EXPECT_TRUE(memory.image == disk.image) << c.what;
        EXPECT_EQ(std::count(disk.log.begin(), disk.log.end(),
                             "<Info> Stage buffers kept in temporary files in " + out.string()),
                  1)
            << c.what;
    }
    EXPECT_EQ(entriesIn(out), 2 * std::size(cases)) << "the destinations, and nothing else";
}

TEST(StageMemory, APassWithoutItsTemporaryFilesFailsWithTheCauseAndLeavesNothing)
{
    test::TempDir dir;
    const fs::path source = dir.path() / "cd.wav";
    test::writeFile(source, programme(44100, 16));
    test::JobHarness h(source.string());
    h.job.AnalyseFileThread(SettingsSnapshot{});
    // Over a memory budget of 1 MiB, the pass goes to disk by itself.
    PassLock lock;
    lock.setLimits(1, std::uint64_t{1} << 20);
    SettingsSnapshot settings;
    settings.passLock = &lock;
    h.job.stageBuffersOnDisk.openTemporary = [](const std::string&) { return -ENOSPC; };
    h.job.ProcessFileThread(settings);

    const std::string cause = "cannot create a temporary file in " + dir.path().string() + ": " + std::strerror(ENOSPC);
    EXPECT_EQ(h.job.state, kStateFailed);
    EXPECT_EQ(h.job.error & kErrorMemory, kErrorMemory);
    EXPECT_EQ(h.job.errorCause(), cause);
    EXPECT_NE(h.job.tableText(TableText::State).find("Memory allocation error. "), std::string::npos);
    const std::vector<std::string> lines = h.log.lines();
    const std::string start = "<Info> Stage buffers kept in temporary files in " + dir.path().string() +
                              " (estimated peak ";
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&start](const std::string& line) {
                                return line.starts_with(start) && line.ends_with(" MiB, memory budget 1 MiB)");
                            }),
              1)
        << test::logText(h.log);
    EXPECT_TRUE(h.log.contains("<ERROR> Stage buffers: " + cause));
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "only the source";
    EXPECT_EQ(stage_memory::mappedBlockCount(), 0u);
}

}  // namespace
}  // namespace auralune

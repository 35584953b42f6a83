#include "engine/pass_lock.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>

namespace auralune {
namespace {

using test::JobHarness;
using test::RiffBuilder;
using test::TempDir;

// A stereo WAV of the given frames whose sample data is a hole in a sparse
// file, so long durations cost no disk.
std::filesystem::path sparseWav(const TempDir& dir, const std::string& name, std::uint32_t rate,
                                std::uint16_t bits, std::uint32_t frames, std::uint16_t channels = 2,
                                const std::vector<std::uint8_t>& markChunk = {})
{
    const std::uint64_t dataBytes = std::uint64_t{frames} * channels * (bits / 8);
    RiffBuilder riff;
    riff.fmt(channels, rate, bits);
    auto image = riff.image();
    image.insert(image.end(), markChunk.begin(), markChunk.end());
    bytes::appendText(image, "data");
    bytes::appendLE(image, static_cast<std::uint32_t>(dataBytes));
    bytes::storeLE<std::uint32_t>(image, 4, static_cast<std::uint32_t>(image.size() - 8 + dataBytes));
    const auto path = dir.path() / name;
    test::writeFile(path, image);
    std::filesystem::resize_file(path, image.size() + dataBytes);
    return path;
}

struct Analysed : JobHarness {
    explicit Analysed(const std::filesystem::path& path) : JobHarness(path.string())
    {
        job.AnalyseFileThread(SettingsSnapshot{});
    }
    std::string text(TableText which) const { return job.tableText(which); }
};

TEST(AnalysisPass, FillsTheRowOfAReadyFile)
{
    TempDir dir;
    Analysed a(sparseWav(dir, "a.wav", 44100, 16, 3'723'000));
    EXPECT_EQ(a.job.state, kStateAnalysed);
    EXPECT_EQ(a.text(TableText::Duration), "01:24");
    EXPECT_EQ(a.text(TableText::FrameRate), "44100");
    EXPECT_EQ(a.text(TableText::State), "Ready to convert. ");
    EXPECT_TRUE(a.job.srcAudioData.empty()) << "analysis never reads samples";
    EXPECT_FALSE(a.job.srcMetrics.empty());

    Analysed b(sparseWav(dir, "b.wav", 48000, 24, 90u * 60u * 48000u));
    EXPECT_EQ(b.text(TableText::Duration), "90:00");
    EXPECT_EQ(b.text(TableText::SampleSizeBits), "24");
}

TEST(AnalysisPass, ParameterFailuresKeepTheFactsButListTheErrors)
{
    TempDir dir;
    Analysed mono(sparseWav(dir, "m.wav", 44100, 16, 44100, 1));
    EXPECT_EQ(mono.text(TableText::Channels), "1");
    EXPECT_EQ(mono.text(TableText::State), "Unsupported number of channels. ");
    EXPECT_EQ(mono.text(TableText::DestinationName), "--");

    Analysed odd(sparseWav(dir, "o.wav", 22050, 16, 22050, 6));
    EXPECT_EQ(odd.text(TableText::State), "Unsupported frame rate. Unsupported number of channels. ");
    EXPECT_EQ(odd.job.state, kStateAnalysed);
}

TEST(AnalysisPass, UnsupportedOrMissingFilesEndAnalysedWithTheirErrors)
{
    TempDir dir;
    test::writeFile(dir.path() / "song.MP3", {1, 2, 3});
    Analysed mp3(dir.path() / "song.MP3");
    EXPECT_EQ(mp3.text(TableText::State), "Invalid file type. ");
    EXPECT_TRUE(mp3.log.contains("<ERROR> File extension 'MP3' is NOT supported."));
    EXPECT_EQ(mp3.job.state, kStateAnalysed);

    Analysed missing(dir.path() / "gone.wav");
    EXPECT_EQ(missing.text(TableText::State), "Cannot open file. ");

    // A known extension over other bytes: each reader refuses it.
    for (auto [name, state] : {std::pair{"x.aiff", "Invalid file header. "}, {"x.flac", "Cannot open file. "}}) {
        test::writeFile(dir.path() / name, {1, 2, 3});
        Analysed wrong(dir.path() / name);
        EXPECT_EQ(wrong.text(TableText::State), state) << name;
    }
}

// The mark a conversion with these two enhancements writes.
std::vector<std::uint8_t> markOf(const char* first, const char* second)
{
    JobHarness writer;
    writer.job.settings.filterType_1 = findEnhancementByName(first)->code();
    writer.job.settings.filterType_2 = findEnhancementByName(second)->code();
    writer.job.dstEndianessValues = kEndianLittle;
    ByteBuffer mark;
    writer.job.CreateMetadataChunk(mark);
    return {mark.begin(), mark.end()};
}

TEST(AnalysisPass, PriorConversionIsNamedAndWarnedOnceAsked)
{
    TempDir dir;
    const auto path = sparseWav(dir, "k.wav", 44100, 16, 4410, 2, markOf("KESTRALIN", "Hi-Res"));

    JobHarness warned(path.string());
    warned.job.AnalyseFileThread(SettingsSnapshot{});
    EXPECT_EQ(warned.job.tableText(TableText::State), "Ready to convert. Prior conversion: KESTRALIN + Hi-Res");
    ASSERT_EQ(warned.alerts.shown().size(), 1u);
    EXPECT_EQ(warned.beeper.count(), 1);

    // The stored default wins over the snapshot.
    JobHarness quiet(path.string());
    quiet.defaults.setString("WarnPreprocess", "NO");
    quiet.job.AnalyseFileThread(SettingsSnapshot{});
    EXPECT_EQ(quiet.job.tableText(TableText::State), "Ready to convert. Prior conversion: KESTRALIN + Hi-Res");
    EXPECT_TRUE(quiet.alerts.shown().empty());
}

TEST(ReadyText, ListsPriorConversionsInMarkOrderThenWarnings)
{
    JobHarness h;
    h.job.warning_1 = (std::uint64_t{1} << 49) | (std::uint64_t{1} << 7) | (std::uint64_t{1} << 6);
    EXPECT_EQ(h.job.readyStateText(), "Ready to convert. Prior conversion: TessalinPrior conversion: KESTRALIN T-Sym"
                                      "Prior conversion: Lumora 51 Surround");
    h.job.warning_1 = 1;   // "None" has no name
    h.job.warning_2 = 1 | (1u << 5);
    EXPECT_EQ(h.job.readyStateText(), "Ready to convert. .  + Rivelle");
    h.job.warning_2 = 1;
    h.job.warning = kWarningWowNotFound | kWarningCdEmphasis | kWarningAttenuated | kWarningTruncated4GB;
    EXPECT_EQ(h.job.readyStateText(),
              "Ready to convert. Output file truncated to 4GB limit. "
              "50/15 \u03bcs emphasis detected. Requires CD de-emphasis equalisation. Failed to detect Wow! ");
}

// Counts, whenever a pass starts reading its file (under the lock), how many
// rows show "Analysing...".
struct AnalysingRowsLog final : Log {
    std::vector<std::unique_ptr<AudioFile>>* jobs = nullptr;
    std::atomic<int> reads{0};
    std::atomic<int> mostAnalysingAtOnce{0};
    void write(std::string_view line) override
    {
        if (!line.starts_with("<Info> Analysing audio file: "))
            return;
        int analysing = 0;
        for (const auto& job : *jobs)
            analysing += job->tableText(TableText::State) == "Analysing...";
        mostAnalysingAtOnce = std::max(mostAnalysingAtOnce.load(), analysing);
        ++reads;
    }
};

TEST(AnalysisPass, JobsWaitForTheLockAndOnlyTheHolderShowsAnalysing)
{
    TempDir dir;
    constexpr int kJobs = 5;
    JobHarness services;
    AnalysingRowsLog log;
    Platform platform{log, services.defaults, services.notifications, services.mainThread, services.alerts,
                      services.beeper, services.clock, services.random};
    std::vector<std::unique_ptr<AudioFile>> jobs;
    log.jobs = &jobs;
    for (int i = 0; i < kJobs; ++i) {
        jobs.push_back(std::make_unique<AudioFile>(platform));
        jobs.back()->initWithName(sparseWav(dir, "j" + std::to_string(i) + ".wav", 48000, 24, 48000).string(),
                                  false, false);
    }

    PassLock lock;
    SettingsSnapshot snapshot;
    snapshot.passLock = &lock;
    lock.lock();   // hold the analyses back until every thread waits
    std::vector<std::thread> passes;
    for (auto& job : jobs)
        passes.push_back(job->analysisThread(snapshot));
    while (std::any_of(jobs.begin(), jobs.end(), [](const auto& j) { return j->state != kStateAnalysing; }))
        std::this_thread::yield();
    for (const auto& job : jobs)
        EXPECT_EQ(job->tableText(TableText::State), "--") << "waiting for the lock";
    lock.unlock();

    services.mainThread.runUntil([&] {
        return std::all_of(jobs.begin(), jobs.end(), [](const auto& j) { return j->state == kStateAnalysed; });
    });
    for (auto& pass : passes)
        pass.join();
    services.mainThread.runPending();
    EXPECT_EQ(log.reads, kJobs);
    EXPECT_EQ(log.mostAnalysingAtOnce, 1);
    for (const auto& job : jobs)
        EXPECT_EQ(job->tableText(TableText::State), "Ready to convert. ");
}

TEST(AnalysisPassDeathTest, AnErrorBeforeThePassIsAnInternalFailure)
{
    JobHarness h;
    h.job.error = kErrorHeader;
    EXPECT_DEATH(h.job.AnalyseFileThread(SettingsSnapshot{}),
                 "There is an error too early in the thread in -\\[AudioFile AnalyseFileThread:\\]");
}

}  // namespace
}  // namespace auralune

#include "engine/pass_lock.h"
#include "support/failing_allocation.h"
#include "engine/text_format.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <future>
#include <set>
#include <thread>
#include <utility>

namespace auralune {
namespace {

using test::RiffBuilder;
using test::TempDir;
namespace fs = std::filesystem;

constexpr EnhancementCode kKestralin = kEnhancementTypes[1].code();
constexpr EnhancementCode kPhonographA1 = kEnhancementTypes[11].code();
constexpr EnhancementCode kCd4 = kEnhancementTypes[44].code();
constexpr EnhancementCode kHiRes = kEnhancementTypes[37].code();

bool haveSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

// The samples of a file as sox decodes them.
std::string soxSamples(const fs::path& path)
{
    std::string text;
    if (FILE* pipe = ::popen(("sox '" + path.string() + "' -t raw -").c_str(), "r")) {
        char chunk[4096];
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
            text.append(chunk, n);
        ::pclose(pipe);
    }
    return text;
}

// A 16-bit stereo WAV with the given samples.
fs::path stereoWav(const fs::path& folder, const std::string& name, std::uint32_t rate, std::uint32_t frames,
                   const std::function<std::int16_t(std::uint32_t frame, int channel)>& sample)
{
    std::vector<std::uint8_t> data;
    for (std::uint32_t f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c)
            bytes::appendLE(data, sample(f, c));
    const fs::path path = folder / name;
    test::writeFile(path, RiffBuilder().fmt(2, rate, 16).chunk("data", data).image());
    return path;
}

std::int16_t tone(std::uint32_t frame, int channel)
{
    return static_cast<std::int16_t>(std::lround(8000.0 * std::sin(0.05 * frame + channel)));
}

std::set<std::string> entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// An analysed job with the settings of its conversion: "None", output next
// to the source with the suffix "-ke", hi-res and dither off.
struct Conversion : test::JobHarness {
    PassLock lock;
    SettingsSnapshot settings;

    explicit Conversion(const fs::path& source) : JobHarness(source.string())
    {
        job.AnalyseFileThread(SettingsSnapshot{});
        settings.passLock = &lock;
        settings.destinationFileSuffix = "-ke";
        settings.hiResType = 2;
        settings.ditherType = 2;
    }
    void convert() { job.ProcessFileThread(settings); }
    std::string text(TableText which) const { return job.tableText(which); }

    bool lockIsFree()
    {
        auto taken = std::async(std::launch::async, [this] {
            lock.lock();
            lock.unlock();
        });
        // A lock never freed hangs here until the test runner's time limit.
        taken.wait();
        return true;
    }
    bool buffersReleased() const
    {
        return job.srcAudioData.empty() && job.audioIn.empty() && job.audioBuf_0.empty() &&
               job.audioBuf_0_sub.empty() && job.audioBuf_1.empty() && job.audioBuf_2.empty() &&
               job.dstAudioData.empty();
    }
    // Ended, unlocked and empty-handed, with the error texts shown.
    void expectFailed(const std::string& stateText)
    {
        EXPECT_EQ(job.state, kStateFailed);
        EXPECT_EQ(text(TableText::State), stateText);
        EXPECT_EQ(text(TableText::DestinationName), "--");
        EXPECT_TRUE(buffersReleased());
        EXPECT_TRUE(lockIsFree());
    }
};

// Rate, bits and frames of a WAV this pass wrote (44-byte header).
struct WrittenFormat {
    std::uint32_t rate, bits, frames;
    bool operator==(const WrittenFormat&) const = default;
};
WrittenFormat writtenFormat(const fs::path& path)
{
    const std::vector<std::uint8_t> image = test::readFile(path);
    return {bytes::readU32LE(image, 24).value_or(0), bytes::readU16LE(image, 34).value_or(0),
            bytes::readU32LE(image, 40).value_or(0) / bytes::readU16LE(image, 32).value_or(1)};
}

TEST(ProcessingPass, NoneWithoutHiResOrDitherWritesTheIntegersItRead)
{
    if (!haveSox())
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    const fs::path source = dir.path() / "Song.wav";
    ASSERT_EQ(std::system(("sox -n -r 44100 -b 16 -c 2 '" + source.string() +
                           "' synth 0.5 sine 440 sine 660 vol 0.9").c_str()),
              0);

    Conversion c(source);
    c.convert();
    const fs::path written = dir.path() / "Song-ke.wav";
    EXPECT_EQ(c.job.state, kStateConverted);
    EXPECT_EQ(c.text(TableText::State), "Complete.");
    EXPECT_EQ(c.text(TableText::DestinationName), written.string());
    EXPECT_TRUE(c.buffersReleased());
    EXPECT_TRUE(c.lockIsFree());
    EXPECT_TRUE(c.log.contains("<Info> Destination file is 88200 bytes uncompressed (0.00% of 4GB)"));
    EXPECT_EQ(writtenFormat(written), (WrittenFormat{44100, 16, 22050}));
    const std::string samples = soxSamples(source);
    ASSERT_EQ(samples.size(), 88200u);
    EXPECT_TRUE(soxSamples(written) == samples) << "the samples changed";
}

TEST(ProcessingPass, DefaultsDoubleTheRateAt24Bits)
{
    TempDir dir;
    Conversion c(stereoWav(dir.path(), "Take.wav", 44100, 1000, tone));
    c.settings = SettingsSnapshot{};
    c.settings.passLock = &c.lock;
    c.settings.destinationFileSuffix = "-hr";
    c.convert();
    ASSERT_EQ(c.job.state, kStateConverted) << c.text(TableText::State);
    EXPECT_EQ(c.text(TableText::SampleSizeBits), "16 > 24");
    EXPECT_EQ(c.text(TableText::FrameRate), "44100 > 88200");
    EXPECT_EQ(writtenFormat(dir.path() / "Take-hr.wav"), (WrittenFormat{88200, 24, 2000}));
}

TEST(ProcessingPass, RecordsCapturedAtTheWrongSpeedAreRestored)
{
    TempDir dir;
    // Played at half speed and captured at 96 kHz: processed at 192 kHz,
    // halved and written at 96 kHz.
    Conversion half(stereoWav(dir.path(), "half.wav", 96000, 192000, tone));
    half.settings.filterType_1 = kPhonographA1;
    half.settings.captureSpeed = 2;
    half.convert();
    ASSERT_EQ(half.job.state, kStateConverted) << half.text(TableText::State);
    EXPECT_EQ(half.job.upsampleType, kUpsampleHalve);
    EXPECT_EQ(half.text(TableText::Duration), "00:02 > 00:01");
    EXPECT_EQ(half.text(TableText::FrameRate), "96000");
    EXPECT_EQ(writtenFormat(dir.path() / "half-ke.wav"), (WrittenFormat{96000, 24, 96000}));

    // A 78 captured at 33 1/3 rpm plays 7/3 times faster, at the same rate
    // (doubled by hi-res processing for the LP distortion canceller).
    Conversion windUp(stereoWav(dir.path(), "78.wav", 44100, 154350, tone));
    windUp.settings.filterType_1 = kPhonographA1;
    windUp.settings.captureSpeed = 3;
    windUp.convert();
    ASSERT_EQ(windUp.job.state, kStateConverted) << windUp.text(TableText::State);
    EXPECT_EQ(windUp.text(TableText::Duration), "00:03 > 00:01");
    EXPECT_EQ(writtenFormat(dir.path() / "78-ke.wav"), (WrittenFormat{88200, 24, 2 * 154350 * 3 / 7}));
}

TEST(ProcessingPass, ANameTakenWhileWritingIsNeverReplaced)
{
    TempDir dir;
    Conversion c(stereoWav(dir.path(), "Song.wav", 48000, 500, tone));
    const std::vector<std::uint8_t> intruder{'m', 'i', 'n', 'e'};
    bool taken = false;
    c.job.destinationNamingHook = [&](const std::string& candidate) {
        if (!std::exchange(taken, true))
            test::writeFile(candidate, intruder);
    };
    c.convert();
    ASSERT_EQ(c.job.state, kStateConverted) << c.text(TableText::State);
    EXPECT_EQ(test::readFile(dir.path() / "Song-ke.wav"), intruder);
    const fs::path written = dir.path() / "Song-ke-1.wav";
    EXPECT_EQ(c.text(TableText::DestinationName), written.string());
    EXPECT_EQ(test::readFile(written).size(), 44u + 500u * 4u + 66u);
}

// Two passes of one source race for one name: the one that links second
// takes the next number, and both files are whole.
TEST(ProcessingPass, TwoPassesRacingForOneNameGetTwoNames)
{
    TempDir dir;
    const fs::path source = stereoWav(dir.path(), "Song.wav", 48000, 500, tone);
    Conversion first(source);
    Conversion second(source);
    bool raced = false;
    // The second pass chooses the same name and writes it while the first
    // is about to link its file.
    first.job.destinationNamingHook = [&](const std::string&) {
        if (!std::exchange(raced, true))
            second.convert();
    };
    first.convert();
    ASSERT_EQ(second.job.state, kStateConverted) << second.text(TableText::State);
    ASSERT_EQ(first.job.state, kStateConverted) << first.text(TableText::State);
    const fs::path plain = dir.path() / "Song-ke.wav";
    const fs::path numbered = dir.path() / "Song-ke-1.wav";
    EXPECT_EQ(second.text(TableText::DestinationName), plain.string());
    EXPECT_EQ(first.text(TableText::DestinationName), numbered.string());
    EXPECT_EQ(test::readFile(plain), test::readFile(numbered));
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"Song.wav", "Song-ke.wav", "Song-ke-1.wav"}));
}

// A pass whose estimated peak alone exceeds the memory budget is admitted
// all the same, told so, and converts.
TEST(ProcessingPass, APassOverTheMemoryBudgetIsToldSoAndConverts)
{
    TempDir dir;
    const fs::path source = stereoWav(dir.path(), "Big.wav", 44100, 1000, tone);
    for (const std::uint64_t budget : {std::uint64_t{1024}, PassLock::kNoBudget}) {
        Conversion c(source);
        c.lock.setLimits(4, budget);
        c.convert();
        ASSERT_EQ(c.job.state, kStateConverted) << c.text(TableText::State);
        EXPECT_EQ(c.job.settings.exceedsMemoryBudget, budget == 1024);
        EXPECT_TRUE(c.lockIsFree());
    }
}

TEST(ProcessingPass, AFolderThatCannotTakeTheFileFailsWithCannotSaveFile)
{
    TempDir dir;
    Conversion missing(stereoWav(dir.path(), "Song.wav", 44100, 100, tone));
    missing.settings.destinationPathFollows = false;
    missing.settings.destinationPath = (dir.path() / "absent").string();
    missing.convert();
    missing.expectFailed("Cannot save file. ");
    // Checked before any sample is processed, with the cause and the path.
    const std::string absent = (dir.path() / "absent").string();
    EXPECT_TRUE(missing.log.contains("<ERROR> Cannot write into the destination folder: No such file or directory: " +
                                     absent));
    EXPECT_EQ(missing.job.errorCause(), "No such file or directory: " + absent);
    EXPECT_FALSE(missing.log.contains("<Info>  Reading audio data"));

    // Read-only folder; root may write anywhere, so the pass runs in a child
    // process without root's rights.
    fs::permissions(dir.path(), fs::perms(0755));
    const fs::path readOnly = dir.path() / "out";
    fs::create_directory(readOnly);
    fs::permissions(readOnly, fs::perms(0555));
    Conversion c(dir.path() / "Song.wav");
    c.settings.destinationPathFollows = false;
    c.settings.destinationPath = readOnly.string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        c.convert();
        if (c.job.state != kStateFailed)
            ::_exit(11);
        if (c.text(TableText::State) != "Cannot save file. ")
            ::_exit(12);
        ::_exit(c.job.errorCause() == "Permission denied: " + readOnly.string() ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(entries(readOnly).empty()) << "nothing left in the folder";
}

// Refuses each large allocation of a conversion in turn: every refusal ends
// the job as failed with nothing written, until the one past the last
// succeeds.
void failEachLargeAllocation(const fs::path& source, std::size_t largeBytes, int expectedFailures,
                             EnhancementCode enhancement1 = kEnhancementNone)
{
    const fs::path folder = source.parent_path();
    for (int failAt = 1;; ++failAt) {
        ASSERT_LE(failAt, 30) << "the conversion never succeeded";
        Conversion c(source);
        c.settings.destinationPathFollows = false;
        c.settings.destinationPath = (folder / "out").string();
        c.settings.filterType_1 = enhancement1;
        fs::create_directories(folder / "out");
        const test::FailingAllocation failing(largeBytes, failAt);
        c.convert();
        if (!failing.failed()) {
            EXPECT_EQ(c.job.state, kStateConverted);
            EXPECT_GE(failAt - 1, expectedFailures) << "fewer large allocations than the stage buffers";
            EXPECT_EQ(entries(folder / "out").size(), 1u);
            return;
        }
        SCOPED_TRACE("refused allocation " + std::to_string(failAt));
        c.expectFailed("Memory allocation error. ");
        EXPECT_TRUE(c.log.contains("<ERROR> Memory allocation"));
        EXPECT_TRUE(entries(folder / "out").empty());
    }
}

TEST(ProcessingPass, AnAllocationFailureFailsTheJobAndWritesNothing)
{
    constexpr std::uint32_t kFrames = 40000;
    const std::size_t stageBytes = kFrames * 2 * sizeof(double);
    TempDir plain;
    // audioIn only: it becomes audioBuf_0, and "None" hands each stage's
    // input on as its output.
    failEachLargeAllocation(stereoWav(plain.path(), "a.wav", 44100, kFrames, tone), stageBytes, 1);
    // A 192 kHz source is halved for the enhancements and restored after
    // them: audioIn, the halving's work buffer, audioBuf_2 with room for the
    // restored rate and the restoring step's work buffer.
    TempDir high;
    failEachLargeAllocation(stereoWav(high.path(), "b.wav", 192000, kFrames, tone), stageBytes / 2, 3);
    // The phonograph chain allocates its output itself, after its in-place
    // stages: audioIn and the needle-scratch work buffer, which the output
    // then reuses.
    TempDir phono;
    failEachLargeAllocation(stereoWav(phono.path(), "c.wav", 96000, kFrames, tone), stageBytes, 2, kPhonographA1);
}

TEST(ProcessingPass, FailuresBeforeTheSamplesEndFailedAndUnlocked)
{
    TempDir dir;
    const fs::path cd = stereoWav(dir.path(), "cd.wav", 44100, 100, tone);
    Conversion cd4(cd);
    cd4.settings.filterType_1 = kCd4;
    cd4.convert();
    cd4.expectFailed("Unsupported frame rate. ");
    EXPECT_TRUE(cd4.log.contains("<ERROR> Frame rate is not supported for CD-4 quadraphonic decode"));

    Conversion halfSpeed(stereoWav(dir.path(), "hs.wav", 192000, 100, tone));
    halfSpeed.settings.filterType_1 = kPhonographA1;
    halfSpeed.settings.captureSpeed = 2;
    halfSpeed.convert();
    halfSpeed.expectFailed("Invalid frame-rate for half-speed needle drop. ");

    // A file replaced or removed after its analysis.
    Conversion replaced(cd);
    Conversion gone(cd);
    test::writeFile(cd, RiffBuilder().fmt(1, 44100, 16).chunk("data", std::vector<std::uint8_t>(200)).image());
    replaced.convert();
    replaced.expectFailed("Unsupported number of channels. ");
    fs::remove(cd);
    gone.convert();
    gone.expectFailed("Cannot open file. ");
    EXPECT_EQ(entries(dir.path()).count("cd-ke.wav"), 0u);
}

TEST(ProcessingPass, WaitsQueuedForTheLock)
{
    TempDir dir;
    Conversion c(stereoWav(dir.path(), "q.wav", 44100, 100, tone));
    c.settings.filterType_1 = kCd4;
    c.settings.filterType_2 = kKestralin;
    c.lock.lock();
    std::thread pass = c.job.processingThread(c.settings);
    // The pass is queued once it waits for the lock.
    while (c.lock.holdersAndWaiters() != 2)
        std::this_thread::yield();
    EXPECT_EQ(c.job.state, kStateQueued);
    EXPECT_EQ(c.text(TableText::State), "Queued");
    EXPECT_EQ(c.text(TableText::Filter), "JVC CD-4 Quadraphonic + KESTRALIN");
    c.lock.unlock();
    pass.join();
    c.expectFailed("Unsupported frame rate. ");
}

TEST(ProcessingPass, ClippingFromTheRateDoublingIsReportedAfterComplete)
{
    TempDir dir;
    // A full-scale square wave overshoots once it is interpolated.
    Conversion c(stereoWav(dir.path(), "sq.wav", 44100, 4000, [](std::uint32_t f, int) {
        return static_cast<std::int16_t>((f / 20) % 2 ? 32767 : -32768);
    }));
    c.defaults.setString("ClipManagement", "4");
    c.settings.filterType_1 = kHiRes;
    c.job.warning_1 = 1u | (1u << 1);
    c.convert();
    ASSERT_EQ(c.job.state, kStateConverted);
    EXPECT_GT(c.job.clipdB, 0.0);
    EXPECT_EQ(c.text(TableText::State),
              formatText("Attenuated by %.2fdB to avoid excessive clipping. Multiple converts. Complete.", c.job.clipdB));
}

// A cancel that arrives while the pass works (here from the clipping
// dialog) stops it at the next stage boundary: nothing is written and the
// row can be converted again.
TEST(ProcessingPass, CancelStopsAtTheNextStageAndWritesNothing)
{
    TempDir dir;
    Conversion c(stereoWav(dir.path(), "sq.wav", 44100, 4000, [](std::uint32_t f, int) {
        return static_cast<std::int16_t>((f / 20) % 2 ? 32767 : -32768);
    }));
    struct Cancelling final : SettingsControllerInterface {
        AudioFile* job = nullptr;
        void updateWarnPreprocess(bool) override {}
        void updateClipManagement(int) override { job->cancelRequested = true; }
    } cancelling;
    cancelling.job = &c.job;
    c.defaults.setString("ClipManagement", "1");
    c.settings.clipThreshold = 0.0;
    c.settings.filterType_1 = kHiRes;
    c.settings.settingsController = &cancelling;
    c.alerts.enqueue({0, true, false});
    c.convert();
    EXPECT_EQ(c.alerts.shown().size(), 1u);
    EXPECT_EQ(c.job.state, kStateAnalysed);
    EXPECT_EQ(c.text(TableText::State), "Cancelled.");
    EXPECT_FALSE(c.job.cancelRequested);
    EXPECT_TRUE(c.buffersReleased());
    EXPECT_TRUE(c.lockIsFree());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(CompletedStateText, ListsTheWarningsInOrderThenPriorConversions)
{
    test::JobHarness h;
    h.job.warning = kWarningWowNotFound | kWarningNoCd4Radar | kWarningJ17Emphasis | kWarningCdEmphasis |
                    kWarningR128TooShort | kWarningTruncated4GB | kWarningClipping | kWarningAttenuated |
                    kWarningLoudnessAdjusted;
    h.job.clipdB = 6.0206;
    h.job.settings.adjustDstR128Level = -16.5;
    h.job.warning_1 = 1;   // converted before with "None": not a multiple conversion
    EXPECT_EQ(h.job.completedStateText(),
              "Loudness adjusted to -16.5 LUFS. Attenuated by 6.02dB to avoid excessive clipping. "
              "Excessive clipping in converted file (6.02dB). Output file truncated to 4GB limit. "
              "File is too short for R128 analysis. 50/15 \u03bcs emphasis detected. Requires CD de-emphasis "
              "equalisation. CCITT J.17 emphasis detected. Requires Radio de-emphasis equalisation. "
              "No RADAR detected for CD-4 quadraphonic decode. Failed to detect Wow! Complete.");

    h.job.warning = 0;
    h.job.warning_1 = std::uint64_t{1} << 40;
    EXPECT_EQ(h.job.completedStateText(), "Multiple converts. Complete.");
}

}  // namespace
}  // namespace auralune

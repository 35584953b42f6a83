#include "engine/audio_file.h"
#include "support/job_fixture.h"
#include "support/sample_job.h"

#include <gtest/gtest.h>


namespace auralune {
namespace {

using test::TestPlatform;

struct NameCase {
    const char* path;
    bool showExtension;
    bool showFullPath;
    const char* name;
    int type;
    const char* typeText;
};

class InitWithName : public ::testing::TestWithParam<NameCase> {};

TEST_P(InitWithName, NameTypeAndInitialTexts)
{
    TestPlatform t;
    const NameCase& c = GetParam();
    auto job = t.job(c.path, c.showExtension, c.showFullPath);
    EXPECT_EQ(job->tableText(TableText::SourceName), c.name);
    EXPECT_EQ(job->srcFileType, c.type);
    EXPECT_EQ(job->tableText(TableText::FileType), c.typeText);
    EXPECT_EQ(job->inputFile, c.path);
    EXPECT_EQ(job->state, kStateNew);
    for (TableText which : {TableText::State, TableText::Duration, TableText::Filter, TableText::DestinationName})
        EXPECT_EQ(job->tableText(which), "--");
    EXPECT_EQ(job->tableText(TableText::Progress), "");
}

INSTANTIATE_TEST_SUITE_P(
    Flags, InitWithName,
    ::testing::Values(NameCase{"/a/b/Take 1.Wav", false, false, "Take 1", kFileWav, "WAV audio"},
                      NameCase{"/a/b/Take 1.Wav", true, true, "/a/b/Take 1.Wav", kFileWav, "WAV audio"},
                      NameCase{"/a/b.c/side A.aifc", false, false, "side A", kFileAifc, ""},
                      NameCase{"/x/y.AIF", false, false, "y", kFileAiff, ""},
                      NameCase{"/x/y.FLAC", false, false, "y", kFileFlac, "FLAC audio"},
                      NameCase{"/x/song.mp3", false, false, "song", kFileUnsupported, "Unsupported"},
                      NameCase{"/x/noextension", true, false, "noextension", kFileUnsupported, "Unsupported"},
                      NameCase{"/x/archive.wav.gz", false, false, "archive.wav", kFileUnsupported, "Unsupported"}));

class Progress : public ::testing::Test {
protected:
    TestPlatform t;
    std::unique_ptr<AudioFile> job = t.job("/m/a.wav");
    int refreshes = 0;

    void SetUp() override
    {
        t.notifications.observe(kAudioFileRefreshViewMsg, [this](const Notification& n) {
            EXPECT_EQ(n.object, job.get());
            ++refreshes;
        });
    }
    std::string shown()
    {
        t.mainThread.runPending();
        return job->tableText(TableText::Progress);
    }
};

TEST_F(Progress, ZeroAndHundredAlwaysShownOthersAtMostTenTimesASecond)
{
    job->updateProgressTableText(0);
    EXPECT_EQ(shown(), "0%");
    job->updateProgressTableText(1);
    job->updateProgressTableText(2);
    EXPECT_EQ(shown(), "0%");
    EXPECT_EQ(refreshes, 1);

    t.clock.advance(0.09);
    job->updateProgressTableText(3);
    EXPECT_EQ(shown(), "0%");
    t.clock.advance(0.02);
    job->updateProgressTableText(4);
    EXPECT_EQ(shown(), "4%");

    job->updateProgressTableText(100);
    EXPECT_EQ(shown(), "100%");
    job->updateProgressTableText(250);
    EXPECT_EQ(shown(), "100%");
    EXPECT_EQ(refreshes, 4);
}

TEST_F(Progress, ShownUpdateRestartsTheInterval)
{
    t.clock.advance(1.0);
    job->updateProgressTableText(10);
    EXPECT_EQ(shown(), "10%");
    t.clock.advance(0.05);
    job->updateProgressTableText(11);
    EXPECT_EQ(shown(), "10%");
    job->updateProgressTableText(0);
    EXPECT_EQ(shown(), "0%");
    t.clock.advance(0.05);
    job->updateProgressTableText(12);
    EXPECT_EQ(shown(), "0%") << "the 0 % update counts as the last shown one";
}

TEST(AudioFileJob, ErrorTextsFollowTableOrderWhateverTheBitOrder)
{
    TestPlatform t;
    auto job = t.job("/m/a.wav");
    job->setTableText(TableText::DestinationName, "/out/a-no.wav");
    job->error = kErrorChannels | kErrorFrameRate;
    job->composeErrorStateText();
    EXPECT_EQ(job->tableText(TableText::State), "Unsupported frame rate. Unsupported number of channels. ");
    EXPECT_EQ(job->tableText(TableText::DestinationName), "--");

    job->error = kErrorHalfSpeedRate | kErrorMemory | kErrorAudioData | kErrorHeader;
    job->composeErrorStateText();
    EXPECT_EQ(job->tableText(TableText::State),
              "Memory allocation error. Invalid file header. Invalid audio data. "
              "Invalid frame-rate for half-speed needle drop. ");
}

TEST(AudioFileJob, AlreadyProcessedAlertBeepsAndTurnsWarningOffWhenSuppressed)
{
    TestPlatform t;
    test::RecordingSettingsController controller;
    auto job = t.job("/m/a.wav");
    job->settings.settingsController = &controller;

    job->ShowFileAlreadyProcessedWarning("KESTRALIN");
    t.alerts.enqueue({0, true});
    job->ShowFileAlreadyProcessedWarning("Hi-Res");

    ASSERT_EQ(t.alerts.shown().size(), 2u);
    const Alert alert = t.alerts.shown()[0];
    EXPECT_EQ(alert.informativeText, "This source file has already been processed with KESTRALIN.");
    EXPECT_EQ(alert.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(alert.suppressionTitle, "Do not show this warning again");
    EXPECT_EQ(t.beeper.count(), 2);
    EXPECT_EQ(controller.warnPreprocess, std::vector<bool>{false}) << "only the ticked alert turns it off";
}

TEST(AudioFileJob, SnapshotIsCopiedWithoutTheLock)
{
    TestPlatform t;
    auto job = t.job("/m/a.wav");
    PassLock* lock = reinterpret_cast<PassLock*>(0x1);
    SettingsSnapshot snapshot;
    snapshot.passLock = lock;
    snapshot.filterType_1 = findEnhancementByName("Zephra")->code();
    snapshot.stopDiameterWow = 120;
    job->applySettingsSnapshot(snapshot);
    EXPECT_EQ(job->settings.passLock, nullptr);
    snapshot.passLock = nullptr;
    EXPECT_EQ(job->settings, snapshot);
}

}  // namespace
}  // namespace auralune

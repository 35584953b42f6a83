#include "app/queue_controller.h"

#include "support/sample_job.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

namespace auralune {
namespace {

using test::RiffBuilder;
using test::TempDir;

struct CountingObserver final : QueueObserver {
    void queueReloaded() override { ++reloads; }
    void jobRefreshed(const void*) override { ++refreshes; }
    int reloads = 0;
    int refreshes = 0;
};

// One second of 16-bit stereo silence at 44.1 kHz.
std::vector<std::uint8_t> shortWav()
{
    return RiffBuilder().fmt(2, 44100, 16).chunk("data", std::vector<std::uint8_t>(44100 * 4)).image();
}

class QueueControllerTest : public ::testing::Test {
protected:
    QueueControllerTest()
    {
        registerDefaults(services.defaults, "/music");
        controller = std::make_unique<QueueController>(services.platform, options());
        controller->setObserver(&observer);
    }
    ~QueueControllerTest() override { controller.reset(); }

    QueueController::Options options()
    {
        QueueController::Options o;
        o.musicFolder = "/music";
        o.detachPasses = false;
        o.settingsController = &settingsController;
        return o;
    }

    std::string wav(const std::string& name)
    {
        const auto path = dir.path() / name;
        test::writeFile(path, shortWav());
        return path.string();
    }

    // Adds analysed rows, one per name.
    void addAnalysed(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            ASSERT_TRUE(controller->addNewFileToQueue(wav(name)));
        controller->waitForPasses();
        for (std::size_t row = 0; row < controller->size(); ++row)
            ASSERT_EQ(controller->job(row).state, kStateAnalysed) << row;
    }

    std::vector<std::string> rowNames()
    {
        std::vector<std::string> names;
        for (std::size_t row = 0; row < controller->size(); ++row)
            names.push_back(controller->job(row).tableText(TableText::SourceName));
        return names;
    }

    TempDir dir;
    test::TestPlatform services;
    test::RecordingSettingsController settingsController;
    CountingObserver observer;
    std::unique_ptr<QueueController> controller;
};

TEST_F(QueueControllerTest, DroppedFilesAreAddedAndAnalysedUnsupportedOnesRefused)
{
    EXPECT_TRUE(controller->dragDropPromptVisible());
    for (const char* name : {"a.wav", "b.WAV", "c.Wav"})
        services.notifications.post(kDropViewAddFileMsg, nullptr, {{"filename", wav(name)}});
    services.notifications.post(kDropViewAddFileMsg, nullptr, {{"filename", std::string("/x/take.mp3")}});
    services.notifications.post(kDropViewAddFileMsg, nullptr, {{"filename", std::string("/x/folder")}});
    controller->waitForPasses();

    EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(controller->dragDropPromptVisible());
    for (std::size_t row = 0; row < 3; ++row) {
        EXPECT_EQ(controller->job(row).state, kStateAnalysed);
        EXPECT_EQ(controller->job(row).error, 0);
    }
    EXPECT_TRUE(services.log.contains("<WARNING> Cannot add '/x/take.mp3' to the table view"));
    EXPECT_TRUE(services.log.contains("<WARNING> Cannot add '/x/folder' to the table view"));
    EXPECT_EQ(services.beeper.count(), 2);
    EXPECT_EQ(observer.reloads, 3);
    EXPECT_GT(observer.refreshes, 0);

    // The open panel path takes what it is given.
    controller->addSourceFiles({wav("d.aiff"), wav("e.flac")});
    controller->waitForPasses();
    EXPECT_EQ(controller->size(), 5u);
    EXPECT_TRUE(hasSourceFileExtension("/x/y.AiFc"));
    EXPECT_FALSE(hasSourceFileExtension("/x/wav"));
}

TEST_F(QueueControllerTest, ConvertStartsOnlyAnalysedJobsWithoutErrors)
{
    EXPECT_EQ(controller->processQueue(ConvertSender::ConvertButton), 0u);   // empty queue
    EXPECT_EQ(services.beeper.count(), 1);

    addAnalysed({"new.wav", "bad.wav", "good.wav", "done.wav"});
    controller->job(0).state = kStateNew;
    controller->job(1).error = kErrorHeader;
    controller->job(3).state = kStateConverted;

    EXPECT_EQ(controller->processQueue(ConvertSender::ConvertButton), 1u);
    controller->waitForPasses();
    EXPECT_EQ(controller->job(2).state, kStateConverted);
    EXPECT_EQ(controller->job(0).state, kStateNew);
    EXPECT_EQ(controller->job(1).state, kStateAnalysed);
    EXPECT_EQ(services.beeper.count(), 1);

    // Nothing eligible left: a beep.
    EXPECT_EQ(controller->processQueue(ConvertSender::ConvertButton), 0u);
    EXPECT_EQ(services.beeper.count(), 2);
}

TEST_F(QueueControllerTest, SendersChooseTheirRows)
{
    addAnalysed({"a.wav", "b.wav", "c.wav"});
    EXPECT_EQ(controller->processQueue(ConvertSender::Other, {}), 0u);
    EXPECT_EQ(services.beeper.count(), 1);

    controller->job(2).contextAction = 28;
    EXPECT_EQ(controller->processQueue(ConvertSender::ContextMenu), 1u);
    EXPECT_EQ(controller->processQueue(ConvertSender::Other, {0}), 1u);
    controller->waitForPasses();
    EXPECT_EQ(controller->job(0).state, kStateConverted);
    EXPECT_EQ(controller->job(1).state, kStateAnalysed);
    EXPECT_EQ(controller->job(2).state, kStateConverted);
}

TEST_F(QueueControllerTest, RemovesOnlyRowsThatNoPassIsUsing)
{
    addAnalysed({"a.wav", "b.wav", "c.wav", "d.wav", "e.wav", "f.wav"});
    const int states[] = {kStateNew, kStateAnalysing, kStateAnalysed, kStateQueued, kStateConverted, kStateFailed};
    for (std::size_t row = 0; row < 6; ++row)
        controller->job(row).state = states[row];

    EXPECT_FALSE(controller->removeAll());
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"b", "d"}));
    EXPECT_TRUE(services.log.contains("<WARNING> Cannot remove row 1"));
    EXPECT_TRUE(services.log.contains("<WARNING> Cannot remove row 3"));
    EXPECT_EQ(services.beeper.count(), 1);

    controller->job(0).state = kStateAnalysed;
    EXPECT_TRUE(controller->remove({0, 0, 7}));
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"d"}));
}

TEST_F(QueueControllerTest, RemovingAJobWhosePassIsStartingIsSafe)
{
    // Between the start of its thread and its first step a job is still in
    // state 2; the pass keeps the job alive when its row goes.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(controller->addNewFileToQueue(wav("a.wav")));
        controller->remove({0});
    }
    controller->waitForPasses();
    controller->removeAll();
    EXPECT_TRUE(controller->empty());
}

TEST_F(QueueControllerTest, SettingsNotificationsBecomeTheNextSnapshot)
{
    addAnalysed({"a.wav"});
    services.notifications.post(std::string(kSettingsUpdateClipThreshold), nullptr, {{"clipThreshold", 1.5}});
    services.notifications.post(std::string(kSettingsUpdateWarnPreprocess), nullptr, {{"warnPreprocess", false}});
    EXPECT_EQ(services.defaults.string("ClipThreshold"), "1.500000");
    EXPECT_EQ(services.defaults.string("WarnPreprocess"), "NO");

    const SettingsSnapshot snapshot = controller->snapshot(controller->processAudioLock());
    EXPECT_EQ(snapshot.clipThreshold, 1.5);
    EXPECT_FALSE(snapshot.warnPreprocess);
    EXPECT_EQ(snapshot.passLock, &controller->processAudioLock());
    EXPECT_EQ(snapshot.settingsController, &settingsController);

    // Jobs keep the record of their last pass.
    EXPECT_EQ(controller->job(0).settings.clipThreshold, 2.0);

    controller->applicationWillTerminate();
    services.notifications.post(std::string(kSettingsUpdateClipThreshold), nullptr, {{"clipThreshold", 3.0}});
    EXPECT_EQ(services.defaults.string("ClipThreshold"), "1.500000");
}

TEST_F(QueueControllerTest, DisplayOptionsRenameRowsAlreadyQueued)
{
    addAnalysed({"a.wav"});
    const int reloads = observer.reloads;
    services.notifications.post(std::string(kSettingsUpdateDestinationTableText), nullptr,
                                {{"showFileExt", true}, {"showFullPath", true}});
    EXPECT_EQ(rowNames(), (std::vector<std::string>{(dir.path() / "a.wav").string()}));
    EXPECT_EQ(services.defaults.string("ShowFullPath"), "YES");
    EXPECT_EQ(observer.reloads, reloads + 1);

    ASSERT_TRUE(controller->addNewFileToQueue(wav("b.wav")));
    controller->waitForPasses();
    EXPECT_EQ(rowNames()[1], (dir.path() / "b.wav").string());
}

TEST_F(QueueControllerTest, JobsMayDrawFromRandomSourcesOfTheirOwn)
{
    std::vector<std::string> asked;
    QueueController::Options o = options();
    o.randomSourceFor = [&](const std::string& path) {
        asked.push_back(path);
        return std::make_unique<SequenceRandomSource>(std::vector<std::uint32_t>{7});
    };
    controller = std::make_unique<QueueController>(services.platform, o);
    const std::string path = wav("a.wav");
    ASSERT_TRUE(controller->addNewFileToQueue(path));
    controller->waitForPasses();
    EXPECT_EQ(asked, std::vector<std::string>{path});
    EXPECT_EQ(controller->job(0).platform.random.next(), 7u);
    EXPECT_EQ(&controller->job(0).platform.log, &services.platform.log);
}

}  // namespace
}  // namespace auralune

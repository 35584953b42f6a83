#include "support/queue_fixture.h"

#include <gtest/gtest.h>

namespace auralune {
namespace {

struct CountingObserver final : QueueObserver {
    void queueReloaded() override { ++reloads; }
    void jobRefreshed(const void*) override { ++refreshes; }
    int reloads = 0;
    int refreshes = 0;
};

class QueueControllerTest : public ::testing::Test, protected test::QueueHarness {
protected:
    QueueControllerTest() { queue->setObserver(&observer); }

    std::vector<std::string> rowNames()
    {
        std::vector<std::string> names;
        for (std::size_t row = 0; row < queue->size(); ++row)
            names.push_back(queue->job(row).tableText(TableText::SourceName));
        return names;
    }

    CountingObserver observer;
};

TEST_F(QueueControllerTest, DroppedFilesAreAddedAndAnalysedUnsupportedOnesRefused)
{
    EXPECT_TRUE(queue->dragDropPromptVisible());
    for (const char* name : {"a.wav", "b.WAV", "c.Wav"})
        services.notifications.post(kDropViewAddFileMsg, nullptr, {{"filename", wav(name)}});
    services.notifications.post(kDropViewAddFileMsg, nullptr, {{"filename", std::string("/x/take.mp3")}});
    services.notifications.post(kDropViewAddFileMsg, nullptr, {{"filename", std::string("/x/folder")}});
    queue->waitForPasses();

    EXPECT_EQ(rowNames(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(queue->dragDropPromptVisible());
    for (std::size_t row = 0; row < 3; ++row) {
        EXPECT_EQ(queue->job(row).state, kStateAnalysed);
        EXPECT_EQ(queue->job(row).error, 0);
    }
    EXPECT_TRUE(services.log.contains("<WARNING> Cannot add '/x/take.mp3' to the table view"));
    EXPECT_EQ(services.beeper.count(), 2);
    EXPECT_EQ(observer.reloads, 3);
    EXPECT_GT(observer.refreshes, 0);

    // The open panel path takes what it is given.
    queue->addSourceFiles({wav("d.aiff")});
    queue->waitForPasses();
    EXPECT_EQ(queue->size(), 4u);
    EXPECT_TRUE(hasSourceFileExtension("/x/y.AiFc"));
    EXPECT_FALSE(hasSourceFileExtension("/x/wav"));
}

TEST_F(QueueControllerTest, ConvertStartsOnlyAnalysedJobsWithoutErrors)
{
    EXPECT_EQ(queue->processQueue(ConvertSender::ConvertButton), 0u);   // empty queue
    EXPECT_EQ(services.beeper.count(), 1);

    addAnalysed({"new.wav", "bad.wav", "good.wav", "done.wav"});
    queue->job(0).state = kStateNew;
    queue->job(1).error = kErrorHeader;
    queue->job(3).state = kStateConverted;

    EXPECT_EQ(queue->processQueue(ConvertSender::ConvertButton), 1u);
    queue->waitForPasses();
    EXPECT_EQ(queue->job(2).state, kStateConverted);
    EXPECT_EQ(queue->job(0).state, kStateNew);
    EXPECT_EQ(queue->job(1).state, kStateAnalysed);
    EXPECT_EQ(services.beeper.count(), 1);

    // Nothing eligible left: a beep.
    EXPECT_EQ(queue->processQueue(ConvertSender::ConvertButton), 0u);
    EXPECT_EQ(services.beeper.count(), 2);
}

TEST_F(QueueControllerTest, SendersChooseTheirRows)
{
    addAnalysed({"a.wav", "b.wav", "c.wav"});
    EXPECT_EQ(queue->processQueue(ConvertSender::Other, {}), 0u);
    EXPECT_EQ(services.beeper.count(), 1);

    queue->job(2).contextAction = 28;
    EXPECT_EQ(queue->processQueue(ConvertSender::ContextMenu), 1u);
    EXPECT_EQ(queue->processQueue(ConvertSender::Other, {0}), 1u);
    queue->waitForPasses();
    EXPECT_EQ(queue->job(0).state, kStateConverted);
    EXPECT_EQ(queue->job(1).state, kStateAnalysed);
    EXPECT_EQ(queue->job(2).state, kStateConverted);
}

TEST_F(QueueControllerTest, RemovesOnlyRowsThatNoPassIsUsing)
{
    addAnalysed({"a.wav", "b.wav", "c.wav", "d.wav", "e.wav", "f.wav"});
    const int states[] = {kStateNew, kStateAnalysing, kStateAnalysed, kStateQueued, kStateConverted, kStateFailed};
    for (std::size_t row = 0; row < 6; ++row)
        queue->job(row).state = states[row];

    EXPECT_FALSE(queue->removeAll());
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"b", "d"}));
    EXPECT_TRUE(services.log.contains("<WARNING> Cannot remove row 3"));
    EXPECT_EQ(services.beeper.count(), 1);

    queue->job(0).state = kStateAnalysed;
    EXPECT_TRUE(queue->remove({0, 0, 7}));
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"d"}));
}

TEST_F(QueueControllerTest, RemovingAJobWhosePassIsStartingIsSafe)
{
    // A job whose pass waits for a worker is already analysing and keeps
    // its row; a row removed once the pass ends is not followed by it.
    for (int i = 0; i < 20; ++i) {
        // A name of its own each time: a file still waiting is not queued twice.
        ASSERT_TRUE(queue->addNewFileToQueue(wav("a" + std::to_string(i) + ".wav")));
        queue->remove({0});
    }
    queue->waitForPasses();
    queue->removeAll();
    EXPECT_TRUE(queue->empty());
}

TEST_F(QueueControllerTest, SettingsNotificationsBecomeTheNextSnapshot)
{
    addAnalysed({"a.wav"});
    services.notifications.post(std::string(kSettingsUpdateClipThreshold), nullptr, {{"clipThreshold", 1.5}});
    services.notifications.post(std::string(kSettingsUpdateWarnPreprocess), nullptr, {{"warnPreprocess", false}});
    EXPECT_EQ(services.defaults.string("ClipThreshold"), "1.500000");
    EXPECT_EQ(services.defaults.string("WarnPreprocess"), "NO");

    const SettingsSnapshot snapshot = queue->snapshot(queue->processAudioLock());
    EXPECT_EQ(snapshot.clipThreshold, 1.5);
    EXPECT_FALSE(snapshot.warnPreprocess);
    EXPECT_EQ(snapshot.passLock, &queue->processAudioLock());

    // Jobs keep the record of their last pass.
    EXPECT_EQ(queue->job(0).settings.clipThreshold, 2.0);

    queue->applicationWillTerminate();
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

    ASSERT_TRUE(queue->addNewFileToQueue(wav("b.wav")));
    queue->waitForPasses();
    EXPECT_EQ(rowNames()[1], (dir.path() / "b.wav").string());
}

}  // namespace
}  // namespace auralune

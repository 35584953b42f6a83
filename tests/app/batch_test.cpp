// Batches that run unattended: one answer for the rest of a batch, rows in
// table order, stopping and cancelling, duplicates, the status bar texts.

#include "app/batch_progress.h"
#include "app/settings_model.h"
#include "engine/text_format.h"
#include "enhance/availability.h"
#include "support/queue_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace auralune {
namespace {

using Outcome = BatchFile::Outcome;

class BatchTest : public ::testing::Test, protected test::QueueHarness {
protected:
    // A 100 Hz tone 3 dB below full scale: the RIAA curve's bass boost
    // drives it far past full scale, so every file asks about clipping.
    std::string loud(const std::string& name) const
    {
        constexpr int kFrames = 2205;   // 50 ms at 44.1 kHz
        std::vector<std::uint8_t> data;
        for (int n = 0; n < kFrames; ++n) {
            const auto sample = static_cast<std::int16_t>(
                std::lround(23197.0 * std::sin(2.0 * 3.141592653589793 * 100.0 * n / 44100.0)));
            for (int channel = 0; channel < 2; ++channel) {
                data.push_back(static_cast<std::uint8_t>(sample & 0xFF));
                data.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
            }
        }
        const auto path = dir.path() / name;
        test::writeFile(path, test::RiffBuilder().fmt(2, 44100, 16).chunk("data", data).image());
        return path.string();
    }

    std::size_t filesInFolder() const
    {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                                      std::filesystem::directory_iterator()));
    }
};

TEST_F(BatchTest, OneAnswerServesTheRestOfTheBatchAndRowsConvertInTableOrder)
{
    const EnhancementType* riaa = findEnhancementBySuffixCode("PA1");
    if (!enhancementAvailable(riaa->code()))
        GTEST_SKIP() << "Phonograph EQ A1 is not available";
    services.defaults.setString("FilterType_1", tagText(riaa->code()));
    std::vector<std::string> paths;
    for (int i = 0; i < 20; ++i)
        paths.push_back(loud(formatText("f%02d.wav", i)));
    for (const std::string& path : paths)
        queue->addNewFileToQueue(path);
    queue->waitForPasses();

    services.alerts.enqueue({1, false, true});   // Clamp, for the rest of this batch
    ASSERT_EQ(queue->processQueue(ConvertSender::ConvertButton), 20u);
    queue->waitForPasses();

    const std::vector<Alert> shown = services.alerts.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, Alert::Kind::Clipping);
    EXPECT_EQ(shown[0].subject, "f00.wav");
    EXPECT_EQ(shown[0].batchTitle, kApplyToBatchTitle);
    for (std::size_t row = 0; row < queue->size(); ++row) {
        EXPECT_EQ(queue->job(row).state.load(), kStateConverted) << row;
        EXPECT_EQ(queue->job(row).clipOption, 1001) << row;   // clamped
    }
    // Not stored: the setting still asks.
    EXPECT_EQ(SettingsModel(services.defaults, services.log, "/m").clipManagement(), 1u);

    std::vector<std::string> order;
    for (const std::string& line : services.log.lines())
        if (line.starts_with("<Info> Processing audio file: "))
            order.push_back(line.substr(std::string("<Info> Processing audio file: ").size()));
    EXPECT_EQ(order, paths);

    // The next batch asks again.
    queue->addNewFileToQueue(loud("next.wav"));
    queue->waitForPasses();
    ASSERT_EQ(queue->processQueue(ConvertSender::Other, {20}), 1u);
    queue->waitForPasses();
    EXPECT_EQ(services.alerts.shown().size(), 2u);
}

// Cancelled rows write nothing, read "Cancelled." and convert again later.
TEST_F(BatchTest, StopAndCancelLeaveNoFileAndRowsConvertAgain)
{
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "stop after current");
        queue->removeAll();
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove(entry.path());
        addAnalysed({"a.wav", "b.wav", "c.wav"});

        // The passes wait for their turns while the test holds the lock.
        queue->processAudioLock().lock();
        ASSERT_EQ(queue->processQueue(ConvertSender::ConvertButton), 3u);
        EXPECT_EQ(cancel ? queue->cancelConversion() : queue->stopAfterCurrentFile(), 3u);
        queue->processAudioLock().unlock();
        queue->waitForPasses();
        for (std::size_t row = 0; row < 3; ++row) {
            EXPECT_EQ(queue->job(row).state.load(), kStateAnalysed);
            EXPECT_EQ(queue->job(row).tableText(TableText::State), "Cancelled.");
        }
        EXPECT_EQ(filesInFolder(), 3u);

        ASSERT_EQ(queue->processQueue(ConvertSender::ConvertButton), 3u);
        queue->waitForPasses();
        for (std::size_t row = 0; row < 3; ++row)
            EXPECT_EQ(queue->job(row).state.load(), kStateConverted);
        EXPECT_EQ(filesInFolder(), 6u);
    }
}

TEST_F(BatchTest, ConvertAgainWritesANewFile)
{
    addAnalysed({"a.wav"});
    queue->processQueue(ConvertSender::ConvertButton);
    queue->waitForPasses();
    const std::string first = queue->job(0).tableText(TableText::DestinationName);
    ASSERT_EQ(queue->convertAgain({0}), 1u);
    queue->waitForPasses();
    EXPECT_EQ(queue->job(0).state.load(), kStateConverted);
    EXPECT_NE(queue->job(0).tableText(TableText::DestinationName), first);
    EXPECT_EQ(filesInFolder(), 3u);
}

struct SelectingObserver final : QueueObserver {
    void rowSelected(std::size_t row) override { selected.push_back(row); }
    std::vector<std::size_t> selected;
};

TEST_F(BatchTest, AddingAQueuedFileAgainSelectsItsRow)
{
    addAnalysed({"a.wav", "b.wav"});
    SelectingObserver observer;
    queue->setObserver(&observer);
    const std::string b = (dir.path() / "b.wav").string();
    EXPECT_FALSE(queue->addNewFileToQueue(b));
    EXPECT_EQ(queue->size(), 2u);
    EXPECT_EQ(observer.selected, std::vector<std::size_t>{1});
    EXPECT_TRUE(services.log.contains("<Info> Already queued, so selecting its row: " + b));

    // Once converted, the same file may be queued again.
    queue->processQueue(ConvertSender::ConvertButton);
    queue->waitForPasses();
    EXPECT_TRUE(queue->addNewFileToQueue(b));
    queue->waitForPasses();
    EXPECT_EQ(queue->size(), 3u);
    queue->setObserver(nullptr);
}

TEST(BatchProgress, StatusCountsAudioSecondsNotFiles)
{
    struct Case {
        std::vector<BatchFile> files;
        double elapsed;
        double fraction;
        std::string text;
    };
    const std::vector<Case> cases{
        // 90 of 240 audio seconds in 30 s: 50 s left.
        {{{Outcome::Converted, 60, 0, false}, {Outcome::Converting, 60, 0.5, false}, {Outcome::Waiting, 120, 0, false}},
         30, 0.375, "1 of 3 files \u00b7 0:30 elapsed \u00b7 less than a minute left"},
        // 90 of 240 in 10 min: 1000 s left.
        {{{Outcome::Converted, 60, 0, false}, {Outcome::Converting, 60, 0.5, false}, {Outcome::Waiting, 120, 0, false}},
         600, 0.375, "1 of 3 files \u00b7 10:00 elapsed \u00b7 about 17 min left"},
        // A long file weighs more than a short one.
        {{{Outcome::Failed, 10, 0, false}, {Outcome::Waiting, 990, 0, false}}, 5, 0.01,
         "1 of 2 files \u00b7 0:05 elapsed \u00b7 about 9 min left"},
        {{{Outcome::Waiting, 60, 0, false}, {Outcome::Converting, 60, 0, false}}, 5, 0.0,
         "0 of 2 files \u00b7 0:05 elapsed"},
    };
    for (const Case& c : cases) {
        const BatchStatus status = batchStatus(c.files, c.elapsed);
        EXPECT_NEAR(status.fraction, c.fraction, 1e-12) << c.text;
        EXPECT_EQ(batchStatusText(status, c.elapsed), c.text);
    }
}

TEST(BatchProgress, Summary)
{
    std::vector<BatchFile> files(12, BatchFile{Outcome::Converted, 1, 0, false});
    files[3].warnings = files[7].warnings = true;
    files.push_back({Outcome::Failed, 1, 0, false});
    EXPECT_EQ(batchSummaryText(files, 192.4), "12 converted, 1 failed, 2 with warnings in 3:12");
    files.push_back({Outcome::Cancelled, 1, 0, true});
    EXPECT_EQ(batchSummaryText(files, 3725), "12 converted, 1 failed, 2 with warnings, 1 cancelled in 1:02:05");
}

}  // namespace
}  // namespace auralune

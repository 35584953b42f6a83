#include "app/context_menu.h"

#include "app/metrics_report.h"
#include "support/queue_fixture.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace auralune {
namespace {

using Rows = std::vector<std::size_t>;

// Jobs in given states, as the rows of a table.
class ContextMenuTest : public ::testing::Test {
protected:
    void addRows(std::initializer_list<int> states)
    {
        for (int state : states) {
            owned.push_back(services.job("/music/take" + std::to_string(owned.size()) + ".wav"));
            owned.back()->state = state;
            jobs.push_back(owned.back().get());
        }
    }
    std::vector<int> actions() const
    {
        std::vector<int> values;
        for (const AudioFile* job : jobs)
            values.push_back(job->contextAction);
        return values;
    }
    void expectItem(const ContextMenuState& menu, ContextCommand command, const std::string& title, bool enabled,
                    const Rows& rows)
    {
        const ContextMenuItem& item = menu.item(command);
        EXPECT_EQ(item.title, title);
        EXPECT_EQ(item.enabled, enabled) << title;
        EXPECT_EQ(menu.validateMenuItem(command), enabled) << title;
        EXPECT_EQ(item.rows, rows) << title;
    }

    test::TestPlatform services;
    std::vector<std::unique_ptr<AudioFile>> owned;
    std::vector<AudioFile*> jobs;
};

TEST_F(ContextMenuTest, ClickInsideTheSelectionActsOnEverySelectedRow)
{
    addRows({kStateAnalysed, kStateConverted, kStateAnalysed, kStateAnalysed, kStateNew});
    const ContextMenuState menu = menuNeedsUpdate(jobs, 2, Rows{0, 1, 2, 3});

    expectItem(menu, ContextCommand::Convert, "Convert 3 Files", true, {0, 2, 3});
    expectItem(menu, ContextCommand::Show, "Show Converted File in File Manager", true, {1});
    expectItem(menu, ContextCommand::Play, "Play Converted File", true, {1});
    expectItem(menu, ContextCommand::CopyMetrics, "Copy 4 Audio Metrics to Clipboard", true, {0, 1, 2, 3});
    expectItem(menu, ContextCommand::Delete, "Delete 4 Rows", true, {0, 1, 2, 3});
    EXPECT_EQ(actions(), (std::vector<int>{28, 15, 28, 28, 0}));
    EXPECT_THROW(menu.item(ContextCommand::RemoveAll), std::out_of_range);
}

TEST_F(ContextMenuTest, ClickOutsideTheSelectionActsOnTheClickedRowAlone)
{
    addRows({kStateAnalysed, kStateAnalysed, kStateConverted});
    const ContextMenuState menu = menuNeedsUpdate(jobs, 2, Rows{0, 1});

    expectItem(menu, ContextCommand::Convert, "Convert File", false, {});
    expectItem(menu, ContextCommand::Play, "Play Converted File", true, {2});
    expectItem(menu, ContextCommand::CopyMetrics, "Copy Audio Metrics to Clipboard", true, {2});
    expectItem(menu, ContextCommand::Delete, "Delete Row", true, {2});
    EXPECT_EQ(actions(), (std::vector<int>{0, 0, 15}));
}

TEST_F(ContextMenuTest, ClickBelowTheRowsDisablesEveryItemAndClearsTheMarks)
{
    addRows({kStateAnalysed, kStateConverted});
    menuNeedsUpdate(jobs, 0, Rows{0, 1});
    for (std::ptrdiff_t outside : {std::ptrdiff_t{-1}, std::ptrdiff_t{2}}) {
        const ContextMenuState menu = menuNeedsUpdate(jobs, outside, Rows{0, 1});
        expectItem(menu, ContextCommand::Convert, "Convert File", false, {});
        expectItem(menu, ContextCommand::Delete, "Delete Row", false, {});
        EXPECT_EQ(actions(), (std::vector<int>{0, 0}));
    }
}

TEST_F(ContextMenuTest, EachStateAdmitsItsCommands)
{
    addRows({kStateCreating, kStateNew, kStateAnalysing, kStateAnalysed, kStateQueued, kStateConverting,
             kStateConverted, kStateFailed, kStateConverted, kStateAnalysed});
    jobs[9]->error = kErrorHeader;   // analysis failed: Convert would skip it
    const Rows all{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const ContextMenuState menu = menuNeedsUpdate(jobs, 5, all);

    EXPECT_EQ(actions(), (std::vector<int>{0, 4, 0, 28, 0, 0, 15, 4, 15, 12}));
    expectItem(menu, ContextCommand::Convert, "Convert File", true, {3});
    expectItem(menu, ContextCommand::Show, "Show 2 Converted Files in File Manager", true, {6, 8});
    expectItem(menu, ContextCommand::Play, "Play 2 Converted Files", true, {6, 8});
    expectItem(menu, ContextCommand::CopyMetrics, "Copy 4 Audio Metrics to Clipboard", true, {3, 6, 8, 9});
    expectItem(menu, ContextCommand::Delete, "Delete 6 Rows", true, {1, 3, 6, 7, 8, 9});

    // Rows whose passes run or wait admit nothing.
    const ContextMenuState busy = menuNeedsUpdate(jobs, 4, Rows{0, 2, 4, 5});
    for (const ContextMenuItem& item : busy.items)
        EXPECT_FALSE(item.enabled) << item.title;
    EXPECT_EQ(busy.item(ContextCommand::Delete).title, "Delete Row");
}

TEST_F(ContextMenuTest, CommandsTakeTheMarkedRowsFromTheMenuAndTheSelectionElsewhere)
{
    addRows({kStateAnalysed, kStateConverted, kStateAnalysed});
    menuNeedsUpdate(jobs, 1, Rows{1, 2});
    const std::vector<const AudioFile*> table(jobs.begin(), jobs.end());

    EXPECT_EQ(commandRows(table, ContextCommand::Convert, true, Rows{0}), (Rows{2}));
    EXPECT_EQ(commandRows(table, ContextCommand::Delete, true, Rows{}), (Rows{1, 2}));
    EXPECT_EQ(commandRows(table, ContextCommand::Convert, false, Rows{2, 0, 7}), (Rows{0, 2}));
    EXPECT_EQ(commandRows(table, ContextCommand::RemoveAll, false, Rows{}), (Rows{0, 1, 2}));
}

TEST(RowColourTest, ErrorThenConvertingThenWarningThenConverted)
{
    test::TestPlatform services;
    const auto job = services.job("/music/a.wav");
    const auto colour = [&](int state, int error, int warning, std::uint64_t prior) {
        job->state = state;
        job->error = error;
        job->warning = warning;
        job->warning_1 = prior;
        return rowColour(*job);
    };
    EXPECT_EQ(colour(kStateAnalysed, 0, 0, 0), RowColour::Normal);
    EXPECT_EQ(colour(kStateFailed, kErrorSave, 0, 0), RowColour::Error);
    EXPECT_EQ(colour(kStateAnalysed, kErrorHeader, 0x1, 0x4), RowColour::Error);
    EXPECT_EQ(colour(kStateConverting, 0, 0x1, 0x4), RowColour::Converting);
    EXPECT_EQ(colour(kStateConverted, 0, 0, 0), RowColour::Converted);
    EXPECT_EQ(colour(kStateConverted, 0, 0x2, 0), RowColour::Warning);
    // A prior conversion with an enhancement is a warning; one with "None" is not.
    EXPECT_EQ(colour(kStateAnalysed, 0, 0, 0x4), RowColour::Warning);
    EXPECT_EQ(colour(kStateAnalysed, 0, 0, 0x1), RowColour::Normal);
    EXPECT_EQ(colour(kStateConverted, 0, 0, 0x1), RowColour::Converted);
    // ...but it never hides a warning of the conversion itself.
    EXPECT_EQ(colour(kStateConverted, 0, 0x2, 0x1), RowColour::Warning);
}

// A queue of four analysed rows, the middle two then marked converted.
class ContextCommandTest : public ::testing::Test, protected test::QueueHarness {
protected:
    ContextCommandTest()
    {
        addAnalysed({"a.wav", "b.wav", "c.wav", "d.wav"});
        for (std::size_t row : {1, 2}) {
            AudioFile& job = queue->job(row);
            job.state = kStateConverted;
            job.setTableText(TableText::DestinationName, "/out/dest " + std::to_string(row) + ".wav");
            job.dstMetrics = {"Peak = " + std::to_string(row)};
        }
    }

    void run(ContextCommand command, bool fromMenu, const Rows& selected = {})
    {
        runContextCommand(command, *queue, fromMenu, selected, workspace, services.beeper);
    }

    test::RecordingWorkspace workspace;
};

TEST_F(ContextCommandTest, PlayAndShowActOnConvertedRowsOrBeep)
{
    menuNeedsUpdate(*queue, 1, Rows{0, 1, 2});
    run(ContextCommand::Play, true);
    EXPECT_EQ(workspace.opened, (std::vector<std::string>{"/out/dest 2.wav", "/out/dest 1.wav"}));
    run(ContextCommand::Show, true);
    ASSERT_EQ(workspace.revealed.size(), 1u);
    EXPECT_EQ(workspace.revealed[0], (std::vector<std::string>{"/out/dest 1.wav", "/out/dest 2.wav"}));
    EXPECT_EQ(services.beeper.count(), 0);

    // From elsewhere the selection counts; analysed rows have nothing to play.
    run(ContextCommand::Play, false, Rows{0, 3});
    run(ContextCommand::Show, false, Rows{});
    EXPECT_EQ(workspace.opened.size(), 2u);
    EXPECT_EQ(workspace.revealed.size(), 1u);
    EXPECT_EQ(services.beeper.count(), 2);
}

TEST_F(ContextCommandTest, CopyMetricsPastesTheReportOfTheChosenRowsInQueueOrder)
{
    menuNeedsUpdate(*queue, 3, Rows{3, 2});
    run(ContextCommand::CopyMetrics, true);
    ASSERT_EQ(workspace.pasted.size(), 1u);
    const std::vector<const AudioFile*> chosen{&queue->job(2), &queue->job(3)};
    EXPECT_EQ(workspace.pasted[0], metricsReportLines(chosen));
    EXPECT_EQ(workspace.pasted[0][0], "==== SOURCE AUDIO FILE 1 ====");

    queue->job(0).state = kStateFailed;
    run(ContextCommand::CopyMetrics, false, Rows{0});
    EXPECT_EQ(workspace.pasted.size(), 1u);
    EXPECT_EQ(services.beeper.count(), 1);
}

TEST_F(ContextCommandTest, ConvertAndDeleteFromTheMenuActOnTheMarkedRows)
{
    menuNeedsUpdate(*queue, 0, Rows{0, 1});
    run(ContextCommand::Convert, true);
    queue->waitForPasses();
    EXPECT_NE(queue->job(0).state, kStateAnalysed);
    EXPECT_EQ(queue->job(3).state, kStateAnalysed);

    menuNeedsUpdate(*queue, 1, Rows{1, 2, 3});
    queue->job(3).state = kStateConverting;   // started after the menu opened
    run(ContextCommand::Delete, true);
    ASSERT_EQ(queue->size(), 2u);
    EXPECT_EQ(queue->job(1).state, kStateConverting);
    EXPECT_TRUE(services.log.contains("<WARNING> Cannot remove row 3"));
    EXPECT_EQ(services.beeper.count(), 1);

    queue->job(1).state = kStateConverted;
    run(ContextCommand::RemoveAll, false);
    EXPECT_TRUE(queue->empty());
}

}  // namespace
}  // namespace auralune

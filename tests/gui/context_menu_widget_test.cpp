#include "gui/context_menu_widget.h"

#include "app/queue_controller.h"
#include "app/workspace.h"
#include "support/sample_job.h"
#include "support/wav_fixtures.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace auralune {

struct RecordingWorkspace final : Workspace {
    void openFile(const std::string& path) override { opened.push_back(path); }
    void revealFiles(const std::vector<std::string>&) override {}
    void openFolder(const std::string&) override {}
    bool writeToPasteBoard(const std::vector<std::string>&) override { return true; }
    std::vector<std::string> opened;
};

class ContextMenuWidgetTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> dir;
    std::unique_ptr<test::TestPlatform> services;
    test::RecordingSettingsController settingsController;
    std::unique_ptr<QueueController> queue;
    RecordingWorkspace workspace;
    QWidget table;

    // Three analysed rows, the middle one then marked converted.
    void makeQueue()
    {
        queue.reset();
        dir = std::make_unique<test::TempDir>();
        services = std::make_unique<test::TestPlatform>();
        registerDefaults(services->defaults, dir->path().string());
        QueueController::Options options;
        options.musicFolder = dir->path().string();
        options.detachPasses = false;
        options.settingsController = &settingsController;
        queue = std::make_unique<QueueController>(services->platform, options);
        const auto silence =
            test::RiffBuilder().fmt(2, 44100, 16).chunk("data", std::vector<std::uint8_t>(4410 * 4)).image();
        for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
            test::writeFile(dir->path() / name, silence);
            queue->addNewFileToQueue((dir->path() / name).string());
        }
        queue->waitForPasses();
        queue->job(1).state = kStateConverted;
        queue->job(1).setTableText(TableText::DestinationName, "/out/b Z1.wav");
        workspace = {};
    }

    std::unique_ptr<QMenu> build(int clickedRow, const std::vector<std::size_t>& selected)
    {
        return std::unique_ptr<QMenu>(
            buildFileTableContextMenu(&table, *queue, clickedRow, selected, workspace, services->beeper));
    }

    static QStringList titles(const QMenu& menu)
    {
        QStringList list;
        for (const QAction* action : menu.actions())
            list << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return list;
    }
    static QList<bool> enabled(const QMenu& menu)
    {
        QList<bool> list;
        for (const QAction* action : menu.actions())
            if (!action->isSeparator())
                list << action->isEnabled();
        return list;
    }

private slots:
    void init() { makeQueue(); }
    void cleanup() { queue.reset(); }

    void itemsCountTheRowsTheyActOn()
    {
        const auto menu = build(2, {0, 1, 2});
        QCOMPARE(titles(*menu), QStringList({"Convert 2 Files", "-", "Show Converted File in File Manager",
                                             "Play Converted File", "Copy 3 Audio Metrics to Clipboard", "-",
                                             "Delete 3 Rows"}));
        QCOMPARE(enabled(*menu), QList<bool>({true, true, true, true, true}));

        const auto single = build(0, {1, 2});
        QCOMPARE(titles(*single), QStringList({"Convert File", "-", "Show Converted File in File Manager",
                                               "Play Converted File", "Copy Audio Metrics to Clipboard", "-",
                                               "Delete Row"}));
        QCOMPARE(enabled(*single), QList<bool>({true, false, false, true, true}));

        const auto below = build(-1, {0, 1, 2});
        QCOMPARE(enabled(*below), QList<bool>({false, false, false, false, false}));
    }

    void itemsRunTheirCommandOnTheMarkedRows()
    {
        const auto menu = build(1, {1, 2});
        const QList<QAction*> actions = menu->actions();
        actions[3]->trigger();   // play
        QCOMPARE(workspace.opened, std::vector<std::string>({"/out/b Z1.wav"}));
        QCOMPARE(services->beeper.count(), 0);

        // Delete takes the two rows the menu marked, converted or not.
        actions[6]->trigger();
        QCOMPARE(queue->size(), std::size_t{1});
        QCOMPARE(queue->job(0).inputFile, (dir->path() / "a.wav").string());
    }

    void shownMenuRunsTheChosenItem()
    {
        QTimer::singleShot(0, [] {
            QWidget* popup = QApplication::activePopupWidget();
            QVERIFY(popup);
            QTest::keyClick(popup, Qt::Key_Up);   // wraps round to the last item
            QTest::keyClick(popup, Qt::Key_Return);
        });
        showFileTableContextMenu(&table, QPoint(10, 10), *queue, 0, {}, workspace, services->beeper);
        QCOMPARE(queue->size(), std::size_t{2});
        QCOMPARE(queue->job(0).inputFile, (dir->path() / "b.wav").string());
    }
};

}  // namespace auralune

QTEST_MAIN(auralune::ContextMenuWidgetTest)
#include "context_menu_widget_test.moc"

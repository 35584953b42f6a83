#include "gui/context_menu_widget.h"

#include "support/queue_fixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace auralune {

using test::RecordingWorkspace;

class ContextMenuWidgetTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::QueueHarness> harness;
    RecordingWorkspace workspace;
    QWidget table;

    // Three analysed rows, the middle one then marked converted.
    void makeQueue()
    {
        harness.reset();
        harness = std::make_unique<test::QueueHarness>();
        harness->addAnalysed({"a.wav", "b.wav", "c.wav"});
        queue().job(1).state = kStateConverted;
        queue().job(1).setTableText(TableText::DestinationName, "/out/b Z1.wav");
        workspace = {};
    }
    QueueController& queue() { return *harness->queue; }
    CountingBeeper& beeper() { return harness->services.beeper; }

    std::unique_ptr<QMenu> build(int clickedRow, const std::vector<std::size_t>& selected)
    {
        return std::unique_ptr<QMenu>(
            buildFileTableContextMenu(&table, queue(), clickedRow, selected, workspace, beeper()));
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
    void cleanup() { harness.reset(); }

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
        QCOMPARE(enabled(*build(-1, {0, 1, 2})), QList<bool>({false, false, false, false, false}));
    }

    void itemsRunTheirCommandOnTheMarkedRows()
    {
        const auto menu = build(1, {1, 2});
        const QList<QAction*> actions = menu->actions();
        actions[3]->trigger();   // play
        QCOMPARE(workspace.opened, std::vector<std::string>({"/out/b Z1.wav"}));
        QCOMPARE(beeper().count(), 0);

        // Delete takes the two rows the menu marked, converted or not.
        actions[6]->trigger();
        QCOMPARE(queue().size(), std::size_t{1});
        QCOMPARE(queue().job(0).inputFile, (harness->dir.path() / "a.wav").string());
    }

    void shownMenuRunsTheChosenItem()
    {
        QTimer::singleShot(0, [] {
            QWidget* popup = QApplication::activePopupWidget();
            QVERIFY(popup);
            QTest::keyClick(popup, Qt::Key_Up);   // wraps round to the last item
            QTest::keyClick(popup, Qt::Key_Return);
        });
        showFileTableContextMenu(&table, QPoint(10, 10), queue(), 0, {}, workspace, beeper());
        QCOMPARE(queue().size(), std::size_t{2});
        QCOMPARE(queue().job(0).inputFile, (harness->dir.path() / "b.wav").string());
    }
};

}  // namespace auralune

QTEST_MAIN(auralune::ContextMenuWidgetTest)
#include "context_menu_widget_test.moc"

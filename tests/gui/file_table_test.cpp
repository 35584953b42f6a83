// The file table over the queue: drops of file URLs, the drop prompt,
// Convert eligibility, removal of running rows, row colours and progress.

#include "gui_fixture.h"

#include "gui/drop_view.h"
#include "gui/queue_table_model.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>

#include <limits>
#include <QUrl>

#include <filesystem>

using namespace auralune;
using namespace auralune::test;

namespace {

QMimeData* urlsOf(const std::vector<std::string>& paths)
{
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const std::string& path : paths)
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    mime->setUrls(urls);
    return mime;
}

// Drops the paths on the table as a file manager does.
bool drop(MainWindow& window, const std::vector<std::string>& paths)
{
    std::unique_ptr<QMimeData> mime(urlsOf(paths));
    QWidget* target = window.tableView()->viewport();
    const QPointF where(10, 10);
    QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent event(where, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

bool allAnalysed(MainWindow& window)
{
    for (std::size_t row = 0; row < window.controller().size(); ++row)
        if (window.controller().job(row).state.load() != kStateAnalysed)
            return false;
    return true;
}

QString cell(MainWindow& window, int row, int column)
{
    return window.tableModel()->index(row, column).data().toString();
}

void selectRows(MainWindow& window, std::initializer_list<int> rows)
{
    window.tableView()->clearSelection();
    for (int row : rows)
        window.tableView()->selectionModel()->select(window.tableModel()->index(row, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace

class FileTableTest : public QObject {
    Q_OBJECT
private slots:
    void droppedFilesAreQueuedInOrder()
    {
        GuiPlatform p;
        p.defaults.setString("DestinationFolderOption", "1");
        auto window = p.window();
        QVERIFY(window->tableView()->dropPrompt()->isVisibleTo(window.get()));

        const std::string a = p.wav("a.wav");
        const std::string b = p.wav("b.WAV");
        const std::string mp3 = (p.folder.path() / "take.mp3").string();
        writeFile(mp3, {1, 2, 3});
        QVERIFY(drop(*window, {a, mp3, b, a}));

        QVERIFY(p.log.contains("<WARNING> Cannot add '" + mp3 + "' to the table view"));
        QCOMPARE(p.beeper.count(), 1);
        // The second "a" is waiting already: its row is selected instead.
        QCOMPARE(window->tableModel()->rowCount(), 2);
        QVERIFY(p.log.contains("<Info> Already queued, so selecting its row: " + a));
        QVERIFY(!window->tableView()->dropPrompt()->isVisibleTo(window.get()));
        AURALUNE_WAIT_FOR(allAnalysed(*window));
        QCOMPARE(cell(*window, 0, QueueTableModel::column(TableText::SourceName)), QString("a"));
        QCOMPARE(window->tableModel()->index(1, QueueTableModel::column(TableText::SourceName)).data(Qt::ToolTipRole).toString(),
                 QString::fromStdString(b));
    }

    void failedRowsShowTheCauseInTheStateTooltip()
    {
        GuiPlatform p;
        auto window = p.window();
        const std::string gone = (p.folder.path() / "gone.wav").string();
        window->queueFiles({gone});
        AURALUNE_WAIT_FOR(allAnalysed(*window));
        QCOMPARE(window->tableModel()->index(0, QueueTableModel::column(TableText::State)).data(Qt::ToolTipRole).toString(),
                 QString::fromStdString("Cannot open file. (No such file or directory: " + gone + ")"));
    }

    void dropOfAFolderQueuesItsSourceFilesByName()
    {
        GuiPlatform p;
        auto window = p.window();
        const auto album = p.folder.path() / "album";
        std::filesystem::create_directory(album);
        std::filesystem::create_directory(album / "scans.wav");
        p.wav("album/02 two.wav");
        p.wav("album/01 one.wav");
        writeFile(album / "cover.jpg", {0});
        QVERIFY(drop(*window, {album.string()}));
        QCOMPARE(window->tableModel()->rowCount(), 2);
        QCOMPARE(cell(*window, 0, QueueTableModel::column(TableText::SourceName)), QString("01 one"));
        QCOMPARE(cell(*window, 1, QueueTableModel::column(TableText::SourceName)), QString("02 two"));
        QCOMPARE(p.beeper.count(), 0);
        AURALUNE_WAIT_FOR(allAnalysed(*window));   // no pass may outlive the window
    }

    void dragsWithoutFilesAreRefused()
    {
        GuiPlatform p;
        auto window = p.window();
        QMimeData text;
        text.setText("a.wav");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window->tableView()->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
    }

    void convertStartsOnlyAnalysedRowsWithoutErrors()
    {
        GuiPlatform p;
        p.defaults.setString("DestinationFolderOption", "1");
        auto window = p.window();
        // Nothing queued: Convert beeps.
        window->convertButton()->trigger();
        QCOMPARE(p.beeper.count(), 1);

        window->queueFiles({p.wav("new.wav"), p.wav("ready.wav"), p.wav("done.wav"), p.wav("failed.wav")});
        AURALUNE_WAIT_FOR(allAnalysed(*window));
        QueueController& queue = window->controller();
        queue.job(0).state = kStateNew;
        queue.job(2).state = kStateConverted;
        queue.job(3).error = 0x10;

        window->convertButton()->trigger();
        QCOMPARE(p.beeper.count(), 1);   // one pass started: no beep
        AURALUNE_WAIT_FOR(queue.job(1).state.load() == int{kStateConverted});
        QCOMPARE(queue.job(0).state.load(), int{kStateNew});
        QCOMPARE(queue.job(2).state.load(), int{kStateConverted});
        QCOMPARE(queue.job(3).state.load(), int{kStateAnalysed});

        // The menu's Convert takes the selection; nothing selected: a beep.
        window->tableView()->clearSelection();
        window->convertMenuItem()->trigger();
        QCOMPARE(p.beeper.count(), 2);
        selectRows(*window, {0, 2});
        window->convertMenuItem()->trigger();
        QCOMPARE(p.beeper.count(), 3);
    }

    void runningRowsAreNotRemoved()
    {
        GuiPlatform p;
        auto window = p.window();
        window->queueFiles({p.wav("one.wav"), p.wav("two.wav"), p.wav("three.wav")});
        AURALUNE_WAIT_FOR(allAnalysed(*window));
        QueueController& queue = window->controller();
        queue.job(1).state = kStateConverting;

        window->removeAllAction()->trigger();
        QCOMPARE(window->tableModel()->rowCount(), 1);
        QVERIFY(p.log.contains("<WARNING> Cannot remove row 1"));
        QCOMPARE(p.beeper.count(), 1);

        queue.job(0).state = kStateConverted;
        selectRows(*window, {0});
        window->removeAction()->trigger();
        QCOMPARE(window->tableModel()->rowCount(), 0);
        QVERIFY(window->tableView()->dropPrompt()->isVisibleTo(window.get()));
    }

    void rowColoursAndProgress()
    {
        GuiPlatform p;
        auto window = p.window();
        window->queueFiles({p.wav("x.wav")});
        AURALUNE_WAIT_FOR(allAnalysed(*window));
        AudioFile& job = window->controller().job(0);
        QueueTableModel* model = window->tableModel();
        const QModelIndex name = model->index(0, QueueTableModel::column(TableText::SourceName));
        QVERIFY(!name.data(Qt::ForegroundRole).isValid());

        const auto hueOf = [&] { return name.data(Qt::ForegroundRole).value<QColor>().hslHue(); };
        job.warning_1 = 1ull << 6;
        QCOMPARE(hueOf(), 30);
        job.error = 2;
        QCOMPARE(hueOf(), 0);

        QCOMPARE(model->index(0, QueueTableModel::column(TableText::Progress)).data(QueueTableModel::ProgressRole).toInt(), -1);
        job.setTableText(TableText::Progress, "45%");
        QCOMPARE(model->index(0, QueueTableModel::column(TableText::Progress)).data(QueueTableModel::ProgressRole).toInt(), 45);
        window->resize(1000, 500);
        QVERIFY(!window->grab().isNull());   // the progress bar paints

        // Readable on a dark base as on a light one.
        QPalette dark;
        dark.setColor(QPalette::Base, Qt::black);
        QVERIFY(QueueTableModel::rowTextColour(RowColour::Error, dark).lightness() > 128);
        QPalette light;
        light.setColor(QPalette::Base, Qt::white);
        QVERIFY(QueueTableModel::rowTextColour(RowColour::Error, light).lightness() < 128);
    }

    void contextMenuActsOnTheClickedRowOrTheSelection()
    {
        GuiPlatform p;
        p.defaults.setString("DestinationFolderOption", "1");
        auto window = p.window();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), std::numeric_limits<int>::max()));
        window->queueFiles({p.wav("c0.wav"), p.wav("c1.wav"), p.wav("c2.wav")});
        AURALUNE_WAIT_FOR(allAnalysed(*window));
        selectRows(*window, {0, 1});
        const auto at = [&](int row) {
            return window->tableView()->visualRect(window->tableModel()->index(row, 0)).center();
        };
        const auto titles = [](QMenu& menu) {
            QStringList shown;
            for (QAction* action : menu.actions())
                if (!action->isSeparator())
                    shown << action->text() + (action->isEnabled() ? "" : " (off)");
            return shown;
        };

        const QPoint belowTheRows(5, window->tableView()->viewport()->height() - 2);
        std::unique_ptr<QMenu> outside(window->buildContextMenu(belowTheRows));
        QCOMPARE(titles(*outside).first(), QString("Convert File (off)"));

        std::unique_ptr<QMenu> single(window->buildContextMenu(at(2)));
        QCOMPARE(titles(*single).first(), QString("Convert File"));
        std::unique_ptr<QMenu> menu(window->buildContextMenu(at(0)));
        QCOMPARE(titles(*menu).first(), QString("Convert 2 Files"));
        QCOMPARE(titles(*menu).last(), QString("Delete 2 Rows"));

        menu->actions().first()->trigger();
        QueueController& queue = window->controller();
        AURALUNE_WAIT_FOR(queue.job(0).state.load() == kStateConverted && queue.job(1).state.load() == kStateConverted);
        QCOMPARE(queue.job(2).state.load(), int{kStateAnalysed});
        QCOMPARE(p.beeper.count(), 0);
    }

    void copyMetricsOfSelectedRows()
    {
        GuiPlatform p;
        auto window = p.window();
        window->copyMetricsAction()->trigger();
        QCOMPARE(p.beeper.count(), 1);
        window->queueFiles({p.wav("m.wav")});
        AURALUNE_WAIT_FOR(allAnalysed(*window));
        selectRows(*window, {0});
        window->copyMetricsAction()->trigger();
        QCOMPARE(p.beeper.count(), 1);
        QCOMPARE(p.workspace.pasted.size(), std::size_t{1});
        QCOMPARE(p.workspace.pasted[0].front(), std::string("==== SOURCE AUDIO FILE 1 ===="));
    }
};

QTEST_MAIN(FileTableTest)
#include "file_table_test.moc"

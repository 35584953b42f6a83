// The main window running a batch: the status bar's summary, asking before
// quitting with files converting, the dialogs naming their file and
// offering the batch answer, a file added twice.

#include "gui_fixture.h"

#include "app/batch_alerts.h"
#include "gui/drop_view.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

using namespace auralune;
using namespace auralune::test;

namespace {

bool allInState(MainWindow& window, int state)
{
    for (std::size_t row = 0; row < window.controller().size(); ++row)
        if (window.controller().job(row).state.load() != state)
            return false;
    return true;
}

}  // namespace

class BatchWindowTest : public QObject {
    Q_OBJECT
private slots:
    void batchEndsWithItsSummary()
    {
        GuiPlatform p;
        auto window = p.window();
        window->queueFiles({p.wav("a.wav"), p.wav("b.wav"), p.wav("c.wav")});
        QTRY_COMPARE(window->controller().size(), std::size_t{3});
        QTRY_VERIFY(allInState(*window, kStateAnalysed));
        QVERIFY(!window->cancelConversionAction()->isEnabled());
        window->convertButton()->trigger();
        QVERIFY(window->stopAfterCurrentAction()->isEnabled());
        // The test clock stands still: the batch took no time.
        QTRY_COMPARE_WITH_TIMEOUT(window->batchStatusLabel()->text(),
                                  QString("3 converted, 0 failed, 0 with warnings in 0:00"), 20000);
        QCOMPARE(window->windowTitle(), QString("Auralune"));
        QVERIFY(!window->batchProgressBar()->isVisibleTo(window.get()));
        QVERIFY(!window->cancelConversionAction()->isEnabled());
    }

    void quittingWhileConvertingAsksAndAbandonsCleanly()
    {
        GuiPlatform p;
        std::vector<Alert> asked;
        int answer = 0;   // Cancel
        p.alerts.setAnswerFunction([&](const Alert& alert) {
            asked.push_back(alert);
            return AlertAnswer{answer, false, false};
        });
        auto window = p.window();
        window->show();
        window->queueFiles({p.wav("a.wav"), p.wav("b.wav")});
        QTRY_COMPARE(window->controller().size(), std::size_t{2});
        QTRY_VERIFY(allInState(*window, kStateAnalysed));

        window->controller().processAudioLock().lock();
        window->convertButton()->trigger();
        QVERIFY(!window->close());
        QCOMPARE(asked.size(), std::size_t{1});
        QCOMPARE(asked[0].message, std::string("Quit and abandon 2 files?"));
        QVERIFY(window->isVisible());

        answer = 1;   // Quit
        QVERIFY(window->close());
        window->controller().processAudioLock().unlock();
        QTRY_VERIFY_WITH_TIMEOUT(allInState(*window, kStateAnalysed), 20000);
        QCOMPARE(window->controller().job(1).tableText(TableText::State), std::string("Cancelled."));
        QCOMPARE(std::distance(std::filesystem::directory_iterator(p.folder.path()),
                               std::filesystem::directory_iterator()),
                 std::ptrdiff_t{2});
    }

    // The real message box: the file in its text, and the batch box.
    void dialogNamesItsFileAndOffersTheBatchAnswer()
    {
        QtAlertPresenter presenter;
        Alert alert;
        alert.kind = Alert::Kind::Clipping;
        alert.message = "Warning";
        alert.subject = "side-a.wav";
        alert.informativeText = "Clips.";
        alert.buttons = {"Attenuate", "Clamp"};
        alert.suppressionTitle = "Always do this from now on";
        alert.batchTitle = kApplyToBatchTitle;
        QString text;
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, &text] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll->stop();
            poll->deleteLater();
            text = box->text();
            box->findChild<QCheckBox*>("batchCheckBox")->setChecked(true);
            for (QAbstractButton* button : box->buttons())
                if (button->text() == "Clamp")
                    button->click();
        });
        poll->start(5);
        const AlertAnswer answer = presenter.run(alert);
        QCOMPARE(text, QString("Warning: side-a.wav"));
        QCOMPARE(answer.button, 1);
        QVERIFY(answer.forBatch);
        QVERIFY(!answer.suppressed);
    }

    void addingAQueuedFileSelectsItsRow()
    {
        GuiPlatform p;
        auto window = p.window();
        const std::string a = p.wav("a.wav");
        window->queueFiles({a, p.wav("b.wav")});
        QTRY_COMPARE(window->controller().size(), std::size_t{2});
        window->queueFiles({a});
        QTRY_VERIFY(p.log.contains("<Info> Already queued, so selecting its row: " + a));
        QCOMPARE(window->controller().size(), std::size_t{2});
        QCOMPARE(window->selectedRows(), std::vector<std::size_t>{0});
    }
};

QTEST_MAIN(BatchWindowTest)
#include "batch_window_test.moc"

// The engine's dialogs in the window: real message boxes with their
// suppression box, and a pass on its own thread waiting for the answer.

#include "gui_fixture.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace auralune;
using namespace auralune::test;

namespace {

Alert clippingAlert()
{
    Alert alert;
    alert.message = "Clipping";
    alert.informativeText = "The converted audio clips.";
    alert.buttons = {"Attenuate", "Clamp"};
    alert.suppressionTitle = "Always do this from now on";
    return alert;
}

// Answers the next message box once it is shown: ticks its box when asked
// and clicks the button with the given title.
void answerMessageBox(const QString& button, bool tick)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, tick] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        if (tick && box->checkBox())
            box->checkBox()->setChecked(true);
        for (QAbstractButton* candidate : box->buttons())
            if (candidate->text() == button)
                candidate->click();
    });
    poll->start(5);
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxShowsButtonsAndSuppressionBox()
    {
        QtAlertPresenter presenter;
        answerMessageBox("Clamp", true);
        AlertAnswer answer = presenter.run(clippingAlert());
        QCOMPARE(answer.button, 1);
        QVERIFY(answer.suppressed);

        answerMessageBox("Attenuate", false);
        answer = presenter.run(clippingAlert());
        QCOMPARE(answer.button, 0);
        QVERIFY(!answer.suppressed);
    }

    void passWaitsForTheAnswerAndTheSuppressionIsStored()
    {
        GuiPlatform p;
        std::vector<Alert> shown;
        p.alerts.setAnswerFunction([&](const Alert& alert) {
            shown.push_back(alert);
            return AlertAnswer{0, true};
        });
        auto window = p.window();
        window->queueFiles({p.wav("old.wav")});
        AURALUNE_WAIT_FOR(window->controller().job(0).state.load() == int{kStateAnalysed});
        QCOMPARE(p.defaults.string("WarnPreprocess").value_or(""), std::string("YES"));

        // As an analysis pass that found a processing mark does.
        AudioFile& job = window->controller().job(0);
        std::atomic<bool> answered{false};
        std::thread pass([&] {
            job.ShowFileAlreadyProcessedWarning("Quillmere");
            answered = true;
        });
        AURALUNE_WAIT_FOR(answered.load());
        pass.join();

        QCOMPARE(shown.size(), std::size_t{1});
        QCOMPARE(shown[0].suppressionTitle, std::string("Do not show this warning again"));
        QCOMPARE(shown[0].window, static_cast<const void*>(window.get()));
        QCOMPARE(p.beeper.count(), 1);
        QCOMPARE(p.defaults.string("WarnPreprocess").value_or(""), std::string("NO"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"

#include "gui/qt_alert_presenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

namespace auralune {

namespace {

QMessageBox::Icon iconOf(Alert::Style style)
{
    switch (style) {
    case Alert::Style::Informational: return QMessageBox::Information;
    case Alert::Style::Critical: return QMessageBox::Critical;
    case Alert::Style::Warning: break;
    }
    return QMessageBox::Warning;
}

}  // namespace

AlertAnswer QtAlertPresenter::run(const Alert& alert)
{
    if (answer_)
        return answer_(alert);

    QMessageBox box(parent_);
    box.setIcon(iconOf(alert.style));
    box.setWindowTitle(QApplication::applicationName());
    // The file it is about, so that an answer is never given blind.
    box.setText(QString::fromStdString(alert.subject.empty() ? alert.message : alert.message + ": " + alert.subject));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    box.setWindowModality(Qt::ApplicationModal);

    std::vector<QPushButton*> buttons;
    const std::vector<std::string> titles = alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        // The first button is the default; the others act as answers too.
        QPushButton* button = box.addButton(QString::fromStdString(titles[i]),
                                            i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole);
        buttons.push_back(button);
    }
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons.front());

    QCheckBox* suppression = nullptr;
    if (!alert.suppressionTitle.empty()) {
        suppression = new QCheckBox(QString::fromStdString(alert.suppressionTitle), &box);
        box.setCheckBox(suppression);
    }
    QCheckBox* batch = nullptr;
    if (!alert.batchTitle.empty()) {
        batch = new QCheckBox(QString::fromStdString(alert.batchTitle), &box);
        batch->setObjectName("batchCheckBox");
        auto* grid = qobject_cast<QGridLayout*>(box.layout());
        grid->addWidget(batch, grid->rowCount(), 0, 1, grid->columnCount());
    }

    box.exec();

    AlertAnswer answer;
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            answer.button = static_cast<int>(i);
    answer.suppressed = suppression && suppression->isChecked();
    answer.forBatch = batch && batch->isChecked();
    return answer;
}

void QtBeeper::beep()
{
    QApplication::beep();
}

}  // namespace auralune

#pragma once

#include "platform/alerts.h"

#include <functional>

class QWidget;

namespace auralune {

// The engine's dialogs as application-modal message boxes with their
// suppression check box. Passes call run() through the main thread's
// synchronous hand-over, so they wait for the answer.
class QtAlertPresenter final : public AlertPresenter {
public:
    // Answers instead of the message box, so tests never wait on a modal.
    using AnswerFunction = std::function<AlertAnswer(const Alert&)>;

    explicit QtAlertPresenter(QWidget* parent = nullptr) : parent_(parent) {}

    void setParent(QWidget* parent) { parent_ = parent; }
    void setAnswerFunction(AnswerFunction answer) { answer_ = std::move(answer); }

    AlertAnswer run(const Alert& alert) override;

private:
    QWidget* parent_;
    AnswerFunction answer_;
};

class QtBeeper final : public Beeper {
public:
    void beep() override;
};

}  // namespace auralune

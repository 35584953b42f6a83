#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace auralune {

// A modal alert with an optional suppression check box. The engine shows
// two: the already-processed warning and the clipping dialog.
struct Alert {
    enum class Style { Informational, Warning, Critical };
    // Which question it is, so that a front end can answer it for the rest
    // of a batch or from a command-line option.
    enum class Kind { Other, ConvertedBefore, Clipping };
    Style style = Style::Warning;
    Kind kind = Kind::Other;
    std::string subject;               // the file it is about; empty: none
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;  // first is the default button
    std::string suppressionTitle;      // empty: no check box
    std::string batchTitle;            // a second box: the answer holds for the rest of the batch
    const void* window = nullptr;      // parent window, when there is one
};

struct AlertAnswer {
    int button = 0;            // index into Alert::buttons
    bool suppressed = false;   // the suppression box was ticked
    bool forBatch = false;     // the batch box was ticked
};

// Shows alerts modally. Called on the main thread only.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual AlertAnswer run(const Alert& alert) = 0;
};

// Answers from a script and keeps what was shown; for tests. With no
// scripted answer left it answers the default button, unticked.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    void enqueue(AlertAnswer answer);
    AlertAnswer run(const Alert& alert) override;
    std::vector<Alert> shown() const;

private:
    mutable std::mutex mutex_;
    std::deque<AlertAnswer> answers_;
    std::vector<Alert> shown_;
};

class Beeper {
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

class CountingBeeper final : public Beeper {
public:
    void beep() override { ++count_; }
    int count() const { return count_; }

private:
    int count_ = 0;
};

}  // namespace auralune

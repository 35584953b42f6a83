#pragma once

#include "cli/cli.h"
#include "platform/alerts.h"
#include "platform/log.h"
#include "platform/platform.h"

#include <iosfwd>

namespace auralune {

// The engine's dialogs without a window. With a terminal to ask on, the
// question is put there and answered by the user, suppression box
// included. Otherwise it is written to the log and to err, and answered
// with the dialog's default button, box unticked.
class ConsoleAlertPresenter final : public AlertPresenter {
public:
    // `terminal` is the input to read answers from, or null when there is
    // no interactive terminal.
    ConsoleAlertPresenter(std::ostream& err, Log& log, std::istream* terminal = nullptr);
    AlertAnswer run(const Alert& alert) override;

private:
    int askButton(const Alert& alert);
    bool askYesNo(const std::string& question);

    std::ostream& err_;
    Log& log_;
    std::istream* terminal_;
};

// The CLI makes no sound.
class SilentBeeper final : public Beeper {
public:
    void beep() override {}
};

// The platform services of a command that runs jobs on its own thread:
// the command line's log and settings, dialogs on the console, no sound,
// the system clock and random source.
struct ConsolePlatform {
    ConsolePlatform(Services& services, std::ostream& err)
        : alerts(err, services.log, services.terminalInput),
          platform{services.log, services.defaults, notifications, mainThread, alerts, beeper, clock, random}
    {
    }
    NotificationCenter notifications;
    RunLoopMainThread mainThread;
    ConsoleAlertPresenter alerts;
    SilentBeeper beeper;
    SystemClock clock;
    SystemRandomSource random;
    Platform platform;
};

}  // namespace auralune

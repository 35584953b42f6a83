#pragma once

#include "platform/platform.h"

namespace auralune::fuzz {

// Answers every alert with its default button and keeps nothing.
class DefaultAlertPresenter final : public AlertPresenter {
public:
    AlertAnswer run(const Alert&) override { return {}; }
};

class SilentBeeper final : public Beeper {
public:
    void beep() override {}
};

// Quiet platform services for a fuzz target; the dialogs run at once on the
// calling thread, which is the run loop's own.
struct Services {
    NullLog log;
    MemoryDefaultsStore defaults;
    NotificationCenter notifications;
    RunLoopMainThread mainThread;
    DefaultAlertPresenter alerts;
    SilentBeeper beeper;
    ManualClock clock;
    SequenceRandomSource random{{1}};
    Platform platform{log, defaults, notifications, mainThread, alerts, beeper, clock, random};
};

}  // namespace auralune::fuzz

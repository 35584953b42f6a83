#pragma once

#include "platform/platform.h"

// Platform services for the fuzzers: nothing kept, every alert answered
// with its default button.
namespace auralune::fuzz {

class DefaultAlertPresenter final : public AlertPresenter {
public:
    AlertAnswer run(const Alert&) override { return {}; }
};

class SilentBeeper final : public Beeper {
public:
    void beep() override {}
};

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

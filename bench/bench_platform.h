#pragma once

#include "platform/platform.h"

namespace auralune::bench {

// Quiet platform services for running a job's stages in a benchmark.
struct BenchPlatform {
    NullLog log;
    MemoryDefaultsStore defaults;
    NotificationCenter notifications;
    RunLoopMainThread mainThread;
    ScriptedAlertPresenter alerts;
    CountingBeeper beeper;
    ManualClock clock;
    SequenceRandomSource random{{0u}};
    Platform platform{log, defaults, notifications, mainThread, alerts, beeper, clock, random};
};

}  // namespace auralune::bench

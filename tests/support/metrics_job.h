#pragma once

#include "engine/audio_file.h"
#include "platform/alerts.h"
#include "platform/clock.h"
#include "platform/defaults_store.h"
#include "platform/log.h"
#include "platform/main_thread.h"
#include "platform/notification_center.h"
#include "platform/platform.h"
#include "platform/random_source.h"

#include <string>

namespace auralune::test {

// A job on test services, for the metrics reports: the log is captured and
// the clock stands still.
struct MetricsJob {
    explicit MetricsJob(const std::string& path = "/music/Take 1.wav") { job.initWithName(path, false, false); }

    CapturingLog log;
    MemoryDefaultsStore defaults;
    NotificationCenter notifications;
    RunLoopMainThread mainThread;
    ScriptedAlertPresenter alerts;
    CountingBeeper beeper;
    ManualClock clock;
    SequenceRandomSource random{{1}};
    Platform platform{log, defaults, notifications, mainThread, alerts, beeper, clock, random};
    AudioFile job{platform};
};

}  // namespace auralune::test

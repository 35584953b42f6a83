#pragma once

#include "platform/alerts.h"
#include "platform/clock.h"
#include "platform/defaults_store.h"
#include "platform/log.h"
#include "platform/main_thread.h"
#include "platform/notification_center.h"
#include "platform/random_source.h"

namespace auralune {

// The services a job and the controllers use, by role. The front end that
// owns them outlives every job.
struct Platform {
    Log& log;
    DefaultsStore& defaults;
    NotificationCenter& notifications;
    MainThread& mainThread;
    AlertPresenter& alerts;
    Beeper& beeper;
    Clock& clock;
    RandomSource& random;
};

}  // namespace auralune

#pragma once

#include "support/job_fixture.h"

#include <string>

namespace auralune::test {

// A job on test services, for the metrics reports: the log is captured and
// the clock stands still.
struct MetricsJob : TestPlatform {
    explicit MetricsJob(const std::string& path = "/music/Take 1.wav") { job.initWithName(path, false, false); }

    AudioFile job{platform};
};

}  // namespace auralune::test

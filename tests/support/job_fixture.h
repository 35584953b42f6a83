#pragma once

#include "engine/audio_file.h"
#include "platform/platform.h"

#include <memory>
#include <string>
#include <vector>

namespace auralune::test {

// Plain services for one test: a captured log, in-memory defaults, a run
// loop owned by the test's thread, scripted alerts and a manual clock.
struct TestPlatform {
    CapturingLog log;
    MemoryDefaultsStore defaults;
    NotificationCenter notifications;
    RunLoopMainThread mainThread;
    ScriptedAlertPresenter alerts;
    CountingBeeper beeper;
    ManualClock clock;
    SequenceRandomSource random{{0x12345678u, 0x9abcdef0u, 0x0u, 0xffffffffu}};
    Platform platform{log, defaults, notifications, mainThread, alerts, beeper, clock, random};

    std::unique_ptr<AudioFile> job(const std::string& path, bool showExtension = false, bool showFullPath = false)
    {
        auto file = std::make_unique<AudioFile>(platform);
        file->initWithName(path, showExtension, showFullPath);
        return file;
    }
};

}  // namespace auralune::test

#pragma once

#include "engine/audio_file.h"
#include "platform/platform.h"
#include "support/stage_buffers.h"

#include <cstdint>
#include <string>
#include <vector>

namespace auralune::test {

// Remembers what the job asked of the preferences controller.
struct RecordingSettingsController final : SettingsControllerInterface {
    void updateWarnPreprocess(bool warn) override { warnPreprocess.push_back(warn); }
    void updateClipManagement(int tag) override { clipManagement.push_back(tag); }
    std::vector<bool> warnPreprocess;
    std::vector<int> clipManagement;
};

// A job on test doubles of every platform service, created on the test's
// thread (which is then the main thread, so dialogs run inline).
struct SampleJob {
    explicit SampleJob(std::vector<std::uint32_t> randomValues = {0x80000000u})
        : random(std::move(randomValues))
    {
        job.initWithName("/music/Take 1.wav", false, false);
    }

    // A stereo stage buffer in audioBuf_2 with the destination format set.
    void setDestination(std::vector<double> samples, std::uint32_t bits, std::uint32_t channels = 2)
    {
        job.dstSampleBits = bits;
        job.dstSampleBytes = bits / 8;
        job.dstChannels_2 = channels;
        job.dstChannelsData = channels;
        job.dstChannelsStart = 0;
        job.dstEndianessData = kEndianLittle;
        job.dstFrames = static_cast<std::uint32_t>(samples.size() / channels);
        job.audioBuf_2 = staged(samples);
    }

    CapturingLog log;
    MemoryDefaultsStore defaults;
    NotificationCenter notifications;
    RunLoopMainThread mainThread;
    ScriptedAlertPresenter alerts;
    CountingBeeper beeper;
    ManualClock clock;
    SequenceRandomSource random;
    Platform platform{log, defaults, notifications, mainThread, alerts, beeper, clock, random};
    AudioFile job{platform};
};

}  // namespace auralune::test

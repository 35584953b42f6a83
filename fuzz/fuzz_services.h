#pragma once

#include "engine/audio_file.h"
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

// A destination job that writes what `source` read: its format facts, its
// samples as they were stored and its ID3 chunk. The caller sets the
// destination type and byte orders.
inline void copySourceToDestination(const AudioFile& source, AudioFile& job)
{
    job.dstFrames = job.srcFrames = source.srcFrames;
    job.dstFrameRate = job.srcFrameRate = source.srcFrameRate;
    job.dstChannelsData = source.srcChannels;
    job.dstSampleBits = source.srcSampleBits;
    job.dstSampleBytes = source.srcSampleBytes;
    job.dstAudioData = source.srcAudioData;
    job.srcID3ChunkData = source.srcID3ChunkData;
}

}  // namespace auralune::fuzz

// libFuzzer target: the WAV reader over arbitrary bytes, header-only and
// full, and for every image it accepts, a destination written from what it
// read must read back with the same samples.

#include "engine/audio_file.h"
#include "fuzz_services.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using namespace auralune;

// Writes the samples the job read as a destination and reads that image.
void roundTrip(const AudioFile& source, const Platform& platform)
{
    AudioFile job(platform);
    job.initWithName("fuzz.wav", false, false);
    job.dstEndianessValues = kEndianLittle;
    job.dstEndianessData = kEndianLittle;
    fuzz::copySourceToDestination(source, job);
    ByteBuffer image;
    job.CreateDestBufferWAV(image);

    AudioFile back(platform);
    back.initWithName("fuzz.wav", false, false);
    back.AnalyseWAVImage(image, false);
    // Channel counts past 16 bits and widths past 65535 bits do not survive
    // the 16-bit fmt fields; everything else must.
    if (source.srcChannels <= 0xFFFF && source.srcSampleBits <= 0xFFFF &&
        source.srcChannels * source.srcSampleBytes <= 0xFFFF &&
        (back.error != 0 || back.srcAudioData != source.srcAudioData))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::Services services;
    const std::span<const std::uint8_t> image(data, size);
    for (bool headerOnly : {true, false}) {
        AudioFile job(services.platform);
        job.initWithName("fuzz.wav", false, false);
        job.AnalyseWAVImage(image, headerOnly);
        if (!headerOnly && job.error == 0)
            roundTrip(job, services.platform);
    }
    services.mainThread.runPending();
    return 0;
}

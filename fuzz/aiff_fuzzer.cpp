// libFuzzer target: the AIFF/AIFF-C reader over arbitrary bytes, header-only
// and full, and for every image it accepts with 16- or 24-bit samples, a
// destination of the same type written from what it read must read back
// with the same samples and rate.

#include "engine/audio_file.h"
#include "fuzz_services.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using namespace auralune;

void roundTrip(const AudioFile& source, const Platform& platform)
{
    AudioFile job(platform);
    job.initWithName("fuzz.aif", false, false);
    job.dstFileType = source.srcFileType;
    job.dstEndianessValues = kEndianBig;
    job.dstEndianessData = source.srcEndianessData;
    fuzz::copySourceToDestination(source, job);
    ByteBuffer image;
    job.CreateDestBufferAIFC(image);

    AudioFile back(platform);
    back.initWithName("fuzz.aif", false, false);
    back.AnalyseAIFCImage(image, false);
    // Rates are written as whole numbers.
    if (back.error != 0 || back.srcAudioData != source.srcAudioData ||
        (source.srcFrameRate == static_cast<double>(static_cast<std::uint32_t>(source.srcFrameRate)) &&
         back.srcFrameRate != source.srcFrameRate))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::Services services;
    const std::span<const std::uint8_t> image(data, size);
    for (bool headerOnly : {true, false}) {
        AudioFile job(services.platform);
        job.initWithName("fuzz.aif", false, false);
        job.AnalyseAIFCImage(image, headerOnly);
        if (!headerOnly && job.error == 0 && (job.srcSampleBits == 16 || job.srcSampleBits == 24) &&
            job.srcChannels <= 0xFFFF)
            roundTrip(job, services.platform);
    }
    services.mainThread.runPending();
    return 0;
}

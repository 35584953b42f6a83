// libFuzzer target: our FLAC metadata handling and decode callbacks over
// arbitrary bytes, header-only and full. Whatever a header-only read keeps
// must be writable: an accepted 16- or 24-bit stereo stream is encoded
// with its carried blocks and read back with the same samples.

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
    job.initWithName("fuzz.flac", false, false);
    job.dstFileType = kFileFlac;
    job.dstEndianessValues = job.dstEndianessData = kEndianLittle;
    fuzz::copySourceToDestination(source, job);
    job.dstSampleBytes = 4;
    job.dstAudioData.clear();
    // The decoded little-endian samples as sign-extended 32-bit words.
    const std::size_t width = source.srcSampleBytes;
    for (std::size_t i = 0; i + width <= source.srcAudioData.size(); i += width) {
        const bool negative = (source.srcAudioData[i + width - 1] & 0x80) != 0;
        for (std::size_t b = 0; b < 4; ++b)
            job.dstAudioData.push_back(b < width ? source.srcAudioData[i + b] : (negative ? 0xFF : 0));
    }
    job.srcVorbisComments = source.srcVorbisComments;
    job.srcVorbisCommentsPresent = source.srcVorbisCommentsPresent;
    job.srcPictureChunkDict = source.srcPictureChunkDict;
    ByteBuffer image;
    job.CreateDestBufferFLAC(image);
    // A rate libFLAC cannot store is refused, never written.
    if (job.error != 0)
        return;

    AudioFile back(platform);
    back.initWithName("fuzz.flac", false, false);
    back.AnalyseFLACImage(image, true);
    back.AnalyseFLACImage(image, false);
    if (back.error != 0 || back.srcAudioData != source.srcAudioData ||
        back.srcVorbisComments != source.srcVorbisComments || back.srcPictureChunkDict != source.srcPictureChunkDict)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::Services services;
    const std::span<const std::uint8_t> image(data, size);
    AudioFile job(services.platform);
    job.initWithName("fuzz.flac", false, false);
    job.AnalyseFLACImage(image, true);
    if (job.error == 0) {
        job.AnalyseFLACImage(image, false);
        if (job.error == 0 && job.srcChannels == 2 && (job.srcSampleBits == 16 || job.srcSampleBits == 24) &&
            job.srcFrames < 100000)
            roundTrip(job, services.platform);
    }
    services.mainThread.runPending();
    return 0;
}

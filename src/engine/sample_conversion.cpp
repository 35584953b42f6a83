#include "engine/assertion.h"
#include "engine/audio_file.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace auralune {

void AudioFile::CreateSrcAudioData(const std::uint8_t* bytes, std::uint64_t count)
{
    const std::uint64_t expected =
        std::uint64_t{srcSampleBytes} * std::uint64_t{srcChannels} * std::uint64_t{srcFrames};
    if (count != expected)
        raiseAssertion("Unexpected dataSize in %s", "-[AudioFile CreateSrcAudioData::]");
    try {
        srcAudioData.assign(bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        srcAudioData.clear();
        srcAudioData.shrink_to_fit();
        platform.log.error("Memory allocation");
        error |= kErrorMemory;
    }
}

void AudioFile::ValidateAudioParameters()
{
    if (srcChannels != 2) {
        platform.log.error("Channels must be 2");
        error |= kErrorChannels;
    }
    if (srcSampleBits != 16 && srcSampleBits != 24) {
        platform.log.error("Sample size (" + std::to_string(srcSampleBits) + ") is not supported");
        error |= kErrorBitDepth;
    }
    if (std::find(kSourceFrameRates.begin(), kSourceFrameRates.end(), srcFrameRate) == kSourceFrameRates.end()) {
        platform.log.error("Frame rate is not supported");
        error |= kErrorFrameRate;
    }
    if (srcEndianessData == kEndianNone) {
        platform.log.error("Audio data endianess is unknown");
        error |= kErrorAudioData;
    }
}

}  // namespace auralune

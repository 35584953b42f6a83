#include "dsp/wind_up_kernels.h"
#include "engine/assertion.h"
#include "engine/audio_file.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace auralune {

void AudioFile::WindUpSpeedChange()
{
    constexpr std::string_view method = "-[AudioFile WindUpSpeedChange]";
    if (srcChannels != 2)
        raiseAssertion("The number of channels must be 2 in %s", method);
    // Only a phonograph playback curve as Enhancement 1 plays a record; any
    // other capture speed or enhancement leaves the audio as it is.
    const WindUpSpeed* speed = findWindUpSpeed(settings.captureSpeed);
    if ((settings.filterType_1 & kPhonographEqMask) == 0 || speed == nullptr)
        return;
    const std::optional<WindUpKernel> kernel = windUpKernel(dstFrameRate, speed->captureSpeed);
    if (!kernel)
        raiseAssertion("Invalid frame rate in %s", method);
    if (dstFrames > audioBuf_0.size() / srcChannels)
        raiseAssertion("Buffer too small for its frames in %s", method);

    // Only the kept frames are computed, straight into a buffer of the new
    // length; the tripled-rate signal itself is never stored.
    const std::uint64_t newFrames = windUpFrames(dstFrames, speed->decimation);
    SampleBuffer resampled;
    if (!allocateWorkBuffer(resampled, newFrames * srcChannels))
        return;

    platform.log.info(" Wind-up processing");
    setTableText(TableText::State, "Wind-up processing from " + std::string(speed->text) + "...");
    Progress progress{Progress::stepFor(newFrames), 0,
                      [this](std::uint32_t percent) { updateProgressTableText(percent); }};
    progress.start(0);
    windUpResample(audioBuf_0, dstFrames, srcChannels, *kernel, speed->decimation, resampled, progress);

    // The rate stays: the record now plays D/3 times faster. Frames past the
    // new end keep their old samples; nothing reads them.
    std::copy(resampled.begin(), resampled.end(), audioBuf_0.begin());
    dstFrames = static_cast<std::uint32_t>(newFrames);
}

}  // namespace auralune

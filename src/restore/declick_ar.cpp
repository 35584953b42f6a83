#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "restore/declick_ar_kernels.h"
#include "restore/pop_click_kernels.h"

#include <algorithm>
#include <string_view>

namespace auralune {

namespace {

constexpr std::string_view kMethod = "-[AudioFile PopClickInterpolated:]";

DeclickSensitivity sensitivityOf(int setting)
{
    switch (setting) {
    case 1: return DeclickSensitivity::Low;
    case 3: return DeclickSensitivity::High;
    default: return DeclickSensitivity::Normal;
    }
}

}  // namespace

void AudioFile::PopClickInterpolated(std::span<double> buffer)
{
    setTableText(TableText::State, "Pop-Click Removal: Allocating buffers...");
    const std::uint64_t frames = dstFrames;
    // The same shortest track as the level-based removal: its 20 ms window.
    if (frames <= clickLengths(dstFrameRate).windowFrames) {
        platform.log.warning(" Track is too short to perform Pop-Click Removal");
        error = 0;
        return;
    }
    if (buffer.size() / 2 < frames)
        raiseAssertion("Buffer too small for its frames in %s", kMethod);
    SampleBuffer work;
    if (!allocateWorkBuffer(work, 2 * frames))
        return;

    platform.log.info(" Pop-Click Removal (interpolated)");
    setTableText(TableText::State, "Pop-Click Removal (interpolated)...");
    const ArDeclickParams params = arDeclickParams(dstFrameRate, sensitivityOf(settings.popClickSensitivity));
    Progress progress{Progress::stepFor(2 * params.passes * arDeclickModels(frames, params)), 0,
                      [this](std::uint32_t percent) { updateProgressTableText(percent); }};
    progress.start(0);
    const ArDeclickCount count = arDeclick(std::span<double>(buffer.data(), 2 * frames), frames, params, work, progress);
    platform.log.info(formatText(" Pop/click interpolation : %lu runs, %lu samples repaired",
                                 static_cast<unsigned long>(count.runs), static_cast<unsigned long>(count.frames)));
    error = 0;
}

}  // namespace auralune

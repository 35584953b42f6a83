#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "restore/pop_click_kernels.h"

#include <algorithm>
#include <string_view>

namespace auralune {

namespace {

constexpr std::string_view kPopClickMethod = "-[AudioFile PopClick_Crackle:::]";

// Below this correlation between the channels the per-channel pass runs
// before the side-signal pass.
constexpr double kChannelPassBelowCccDb = 20.0;

// The look-ahead scans at most this many frames (0.57 ms up to about 261 kHz).
constexpr std::uint64_t kMaxLookAheadFrames = 149;

}  // namespace

void AudioFile::PopClick_Crackle(std::span<double> buffer, bool popClickRemoval, bool crackleRemoval)
{
    if (!popClickRemoval && !crackleRemoval)
        raiseAssertion("bPopClickRemoval or bCrackleRemoval must be set in %s", kPopClickMethod);
    setTableText(TableText::State, "Pop-Click Removal: Allocating buffers...");

    const ClickLengths lengths = clickLengths(dstFrameRate);
    const std::uint64_t frames = dstFrames;
    if (frames <= lengths.windowFrames) {
        platform.log.warning(" Track is too short to perform Pop-Click Removal");
        error = 0;
        return;
    }
    if (buffer.size() / 2 < frames)
        raiseAssertion("Buffer too small for its frames in %s", kPopClickMethod);
    if (lengths.lookAheadFrames > kMaxLookAheadFrames)
        raiseAssertion("Buffer overrun failure in %s", kPopClickMethod);

    // Released on every return: the low band of the input (crackle mode), the
    // level of every sample and the level of the side signal against it.
    const CrackleBands bands = crackleBands(dstFrameRate);
    SampleBuffer lowBand, bandTail;
    StageVector<ClickLevel> levels, sideLevels;
    const std::uint64_t samples = frames * 2;
    if ((crackleRemoval && (!allocateWorkBuffer(lowBand, samples) ||
                            !allocateWorkBuffer(bandTail, crackleTailSamples(bands, frames)))) ||
        !allocateWorkBuffer(levels, samples) || !allocateWorkBuffer(sideLevels, samples))
        return;

    platform.log.info(" Pop-Click Removal");
    setTableText(TableText::State, "Pop-Click Removal...");
    const bool channelPass = ccc < kChannelPassBelowCccDb;
    // Work units: 5 × frames per pass (levels of both channels and the side,
    // then one scan per channel), 8 × frames for the two zero-phase band
    // filters of crackle mode.
    const std::uint64_t passes = (channelPass ? 10 : 5) + (crackleRemoval ? 8 : 0);
    Progress progress{std::max<std::uint64_t>(1, passes * (frames / 100)), 0,
                      [this](std::uint32_t percent) { updateProgressTableText(percent); }};
    progress.start(0);

    std::span<double> audio(buffer.data(), samples);
    if (crackleRemoval)
        crackleLowBand(audio, lowBand, frames, bands, bandTail, progress);

    const auto passLine = [frames](bool first, std::uint32_t channel, std::uint64_t count) {
        const auto index = static_cast<unsigned long>(channel);
        const auto over = static_cast<unsigned long>(count);
        const double percent = 100.0 * static_cast<double>(count) / static_cast<double>(frames);
        return first ? formatText(" Pop/click pass 1 : channel = %lu, samples over threshold = %lu (%.6f%%)", index,
                                  over, percent)
                     : formatText(" Pop/click pass 2 : channel = %lu, samples over threshold = %lu (%.3f%%)", index,
                                  over, percent);
    };
    const auto runPass = [&](const ClickThresholds& thresholds) {
        const std::span<ClickLevel> side = thresholds.useSide ? std::span<ClickLevel>(sideLevels) : std::span<ClickLevel>();
        measureClickLevels(audio, frames, lengths.windowFrames, levels, side, progress);
        for (std::uint32_t channel = 0; channel < 2; ++channel)
            platform.log.info(passLine(!thresholds.useSide, channel,
                                       countClickHits(levels, side, frames, channel, thresholds)));
        for (std::uint32_t channel = 0; channel < 2; ++channel)
            repairClicks(audio, levels, side, frames, channel, lengths, thresholds, progress);
    };
    // Pass 1 per channel, for material with low channel correlation; pass 2
    // also asks the side signal to stand out, so it leaves alone what both
    // channels carry alike.
    if (channelPass)
        runPass(kChannelPass);
    runPass(kSidePass);

    if (crackleRemoval)
        crackleRecombine(audio, lowBand, frames, bands, bandTail, progress);
    error = 0;
}

}  // namespace auralune

#include "enhance/quillmere_rivelle_kernels.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace auralune {

namespace {

constexpr EnhancementCode kQuillmere = 0x40;
constexpr std::string_view kQuillmereMethod = "-[AudioFile Quillmere:]";
constexpr std::string_view kReverbMethod = "-[AudioFile QuillmereReverb:]";
constexpr std::string_view kRivelleMethod = "-[AudioFile Rivelle:]";

// Whole frames of a delay at the stage rate, rounded to the nearest.
std::uint64_t delayFrames(double rate, double seconds) { return static_cast<std::uint64_t>(rate * seconds + 0.5); }

}  // namespace

void AudioFile::Quillmere(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kQuillmereMethod);
    if (io.code != kQuillmere)
        raiseUnknownEnhancementType(io.code, kQuillmereMethod);
    requireStereoStage(*this, io, kQuillmereMethod);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, kQuillmereMethod);
    if (!row)
        return;

    platform.log.info(" Quillmere");
    setTableText(TableText::State, "Quillmere...");
    Progress progress = stageProgress(*this, dstFrames);
    progress.start(0);
    quillmereCrossFeed(io.in, io.out, dstFrames, kQuillmereCrossFeed[*row],
                       delayFrames(dstFrameRate, kQuillmereCrossDelaySeconds), progress);
    error = 0;
}

void AudioFile::QuillmereReverb(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kReverbMethod);
    if (io.code != kQuillmere)
        raiseUnknownEnhancementType(io.code, kReverbMethod);
    requireStageChannels(io.outChannels, 2, kReverbMethod);
    requireStageFrames(io, kReverbMethod);
    const std::optional<std::size_t> row = stageRateRow(dstFrameRate);
    if (!row) {
        platform.log.error("Unknown source frame rate in " + std::string(kReverbMethod));
        error |= kErrorFrameRate;
        return;
    }
    // 44.1 and 48 kHz share one set, 88.2 and 96 kHz the other.
    const QuillmereCoeffs& echo = kQuillmereReverbEcho[*row / 2];
    const std::uint64_t leftDelay = delayFrames(dstFrameRate, kQuillmereReverbLeftDelaySeconds);
    const std::uint64_t rightDelay = delayFrames(dstFrameRate, kQuillmereReverbRightDelaySeconds);

    // The echoes read the signal at most 20 ms back: a history of that
    // length does what a copy of the whole output would.
    SampleBuffer history;
    if (!allocateWorkBuffer(history, 2 * (std::max(leftDelay, rightDelay) + 1)))
        return;
    platform.log.info(" Quillmere Reverb");
    setTableText(TableText::State, "Quillmere Reverb...");
    Progress progress = stageProgress(*this, dstFrames);
    progress.start(0);
    quillmereReverb(io.out, dstFrames, echo, leftDelay, rightDelay, history, progress);
    error = 0;
}

void AudioFile::Rivelle(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kRivelleMethod);
    const RivelleVariant* variant = findVariant(kRivelleVariants, io.code);
    if (variant == nullptr)
        raiseUnknownEnhancementType(io.code, kRivelleMethod);
    requireStereoStage(*this, io, kRivelleMethod);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, kRivelleMethod);
    if (!row)
        return;

    platform.log.info(" " + std::string(variant->displayName));
    setTableText(TableText::State, std::string(variant->displayName) + "...");
    Progress progress = stageProgress(*this, dstFrames);
    progress.start(0);
    rivelleShuffle(io.in, io.out, dstFrames, kRivelleSideLowPass[*row], variant->processedGain, variant->directGain,
                   progress);
    error = 0;
}

}  // namespace auralune

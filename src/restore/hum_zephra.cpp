#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "restore/hum_zephra_kernels.h"

#include <bit>
#include <string>
#include <string_view>

namespace auralune {

namespace {

constexpr EnhancementCode kHumRemoval = 0x400000000;
constexpr EnhancementCode kHumRemovalBassCompensation = 0x800000000;
constexpr EnhancementCode kZephra = 0x20000000000000;

constexpr std::string_view kHumMethod = "-[AudioFile HumRemoval:]";
constexpr std::string_view kZephraMethod = "-[AudioFile ZephraFilter:]";

// Stage 1 and 2 run as enhancements of their own, source to destination;
// the phonograph chain sends its own stage + 100 to work in place.
constexpr std::uint32_t kChainStageOffset = 100;

// What one call works on: the stage's own buffers for 1 and 2, or one of
// them in place for 101 and 102.
struct StageBuffers {
    const SampleBuffer* in = nullptr;
    SampleBuffer* out = nullptr;
    std::uint32_t inChannels = 0;
    std::uint32_t outChannels = 0;
    EnhancementCode code = 0;
};

enum class InPlace { StageInput, StageOutput };

StageBuffers resolve(AudioFile& job, std::uint32_t stage, InPlace inPlace, std::string_view method)
{
    const bool chain = stage > kChainStageOffset;
    const AudioFile::StageIo io = job.stageIo(chain ? stage - kChainStageOffset : stage, method);
    if (!chain)
        return {&io.in, &io.out, io.inChannels, io.outChannels, io.code};
    if (inPlace == InPlace::StageInput)
        return {&io.in, &io.in, io.inChannels, io.inChannels, io.code};
    return {&io.out, &io.out, io.outChannels, io.outChannels, io.code};
}

[[noreturn]] void unknownEnhancementType(EnhancementCode code, std::string_view method)
{
    raiseAssertion(formatText("Unknown enhancement type %lu in %%s", static_cast<unsigned long>(code)), method);
}

// The stage's own code for 1 and 2; for 101 and 102 the code of the
// phonograph stage that calls in place, which must be a playback curve (or,
// in stage 1, a CD-4 decoder).
EnhancementCode checkedCode(std::uint32_t stage, EnhancementCode code, std::string_view method)
{
    if (stage > kChainStageOffset) {
        const EnhancementMask allowed = stage == 101 ? kPhonographEqMask | kCd4Mask : kPhonographEqMask;
        if ((code & allowed) == 0 || !std::has_single_bit(code))
            unknownEnhancementType(code, method);
    }
    return code;
}

void requireChannels(const StageBuffers& b, std::uint32_t channels, std::string_view method)
{
    const std::string count = std::to_string(channels);
    if (b.inChannels != channels)
        raiseAssertion("The number of channels_in must be " + count + " in %s", method);
    if (b.outChannels != channels)
        raiseAssertion("The number of channels_out must be " + count + " in %s", method);
}

void requireFrames(const StageBuffers& b, std::uint64_t frames, std::string_view method)
{
    if (frames > b.in->size() / b.inChannels || frames > b.out->size() / b.outChannels)
        raiseAssertion("Buffer too small for its frames in %s", method);
}

std::size_t rateRow(double rate, std::string_view method)
{
    const std::optional<std::size_t> row = humZephraRateIndex(rate);
    if (!row)
        raiseAssertion("Invalid frame rate in %s", method);
    return *row;
}

}  // namespace

void AudioFile::HumRemoval(std::uint32_t stage)
{
    // In the chain, hum removal follows equalisation: it works on the stage's output.
    StageBuffers b = resolve(*this, stage, InPlace::StageOutput, kHumMethod);
    b.code = checkedCode(stage, b.code, kHumMethod);

    bool bassCompensation = false;
    if (stage < kChainStageOffset) {
        if (b.code != kHumRemoval && b.code != kHumRemovalBassCompensation)
            unknownEnhancementType(b.code, kHumMethod);
        bassCompensation = b.code == kHumRemovalBassCompensation;
    } else {
        // The CD-4 tab has its own bass compensation switch next to its own
        // hum removal switch.
        bassCompensation = (b.code & kCd4Mask) != 0 ? settings.useHumFilterBassCompensationCD4
                                                    : settings.useHumFilterBassCompensation;
    }
    requireChannels(b, (b.code & kCd4Mask) != 0 ? 6 : 2, kHumMethod);
    requireFrames(b, dstFrames, kHumMethod);
    const std::optional<HumCascade> cascade = humCascade(dstFrameRate, bassCompensation);
    if (!cascade)
        raiseAssertion("Invalid frame rate in %s", kHumMethod);

    const std::string name = bassCompensation ? "Hum Removal Bass Compensation" : "Hum Removal";
    setTableText(TableText::State, name + "...");
    platform.log.info(" " + name);

    SampleBuffer work;
    if (!allocateWorkBuffer(work, humWorkSamples(*cascade, dstFrames)))
        return;
    Progress progress{Progress::stepFor(std::uint64_t{dstFrames} * 4), 0,
                      [this](std::uint32_t percent) { updateProgressTableText(percent); }};
    progress.start(0);
    humRemoval(*b.in, b.inChannels, *b.out, b.outChannels, dstFrames, *cascade, work, progress);
    releaseStageBuffer(work);
    error = 0;
}

void AudioFile::ZephraFilter(std::uint32_t stage)
{
    // In the chain, Zephra precedes equalisation: it works on the stage's input.
    StageBuffers b = resolve(*this, stage, InPlace::StageInput, kZephraMethod);
    b.code = checkedCode(stage, b.code, kZephraMethod);
    if (stage < kChainStageOffset && b.code != kZephra)
        unknownEnhancementType(b.code, kZephraMethod);
    requireChannels(b, 2, kZephraMethod);
    requireFrames(b, dstFrames, kZephraMethod);
    const ZephraCoeffs coeffs = kZephraLowPass[rateRow(dstFrameRate, kZephraMethod)];

    setTableText(TableText::State, "Zephra...");
    platform.log.info(" Zephra");

    SampleBuffer work;
    if (!allocateWorkBuffer(work, zephraWorkSamples(coeffs, dstFrames)))
        return;
    Progress progress{Progress::stepFor(std::uint64_t{dstFrames} * 2), 0,
                      [this](std::uint32_t percent) { updateProgressTableText(percent); }};
    progress.start(0);
    zephra(*b.in, *b.out, dstFrames, coeffs, work, progress);
    // Kept for the next stage buffer of its size (the chain's output).
    releaseStageBuffer(work);
    error = 0;
}

}  // namespace auralune

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "restore/phonograph_kernels.h"
#include "restore/phonograph_options.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace auralune {

namespace {

constexpr std::string_view kPhonographEQ = "-[AudioFile PhonographEQ:]";
constexpr std::string_view kPhonographAntiEQ = "-[AudioFile PhonographAntiEQ:]";

constexpr EnhancementCode kRiaa = 0x800;
constexpr EnhancementCode kRumbleOnly = 0x80000;
constexpr EnhancementCode kAntiRiaa = 0x2000000;
constexpr EnhancementCode kDeemphasis = 0x4000000;
constexpr std::string_view kRumbleName = "Veridane Rumble Filter";

static_assert(std::popcount(kPhonographEqMask) == 17, "the seventeen playback curves");
static_assert(kEnhancementTypes[11].code() == kRiaa && kEnhancementTypes[19].displayName == kRumbleName &&
              kEnhancementTypes[25].code() == kAntiRiaa && kEnhancementTypes[26].displayName == "CD De-emphasis");

// The enhancement groups the chain serves; each enables its own options.
enum class ChainGroup { Curve, Deemphasis, RumbleOnly, Cd4 };

std::optional<ChainGroup> chainGroupOf(EnhancementCode code)
{
    if (!std::has_single_bit(code))
        return std::nullopt;
    if ((code & kPhonographEqMask) != 0)
        return ChainGroup::Curve;
    if ((code & kCd4Mask) != 0)
        return ChainGroup::Cd4;
    if (code == kDeemphasis)
        return ChainGroup::Deemphasis;
    if (code == kRumbleOnly)
        return ChainGroup::RumbleOnly;
    return std::nullopt;
}

// Which stages of the chain run, resolved once at entry.
struct ChainOptions {
    bool equalise = false;
    bool gainRanging = false;
    bool cartridgeBalance = false;
    bool discEchoRemoval = false;
    bool wow = false;
    bool dizor = false;
    bool popClick = false;
    bool crackle = false;
    bool popClickInterpolated = false;
    bool lpDistortion = false;
    bool needleScratch = false;
    bool gradientScratch = false;
    bool zephra = false;
    bool rumble = false;
    bool hum = false;
};

ChainOptions chainOptions(ChainGroup group, const SettingsSnapshot& s)
{
    ChainOptions o;
    switch (group) {
    case ChainGroup::Curve:
        o.equalise = true;
        o.gainRanging = s.useGainRanging;
        o.cartridgeBalance = s.useCartridgeBalance;
        o.discEchoRemoval = s.useDiscEchoRemoval;
        o.wow = s.useWowCorrection;
        o.dizor = s.useDeroz2ResponseCorrection;
        o.popClick = s.phonographPopClick == 2;
        o.crackle = s.phonographPopClick == 3;
        o.popClickInterpolated = s.phonographPopClick == 4;
        o.lpDistortion = s.useLpDistortionCancel;
        o.needleScratch = s.phonographScratch == 2;
        o.gradientScratch = s.phonographScratch == 3;
        o.zephra = s.useZephra;
        o.rumble = s.useRumbleFilter;
        o.hum = s.useHumFilter;
        break;
    case ChainGroup::Deemphasis: o.equalise = true; break;
    case ChainGroup::RumbleOnly: o.rumble = true; break;
    case ChainGroup::Cd4:
        o.equalise = true;
        o.popClick = s.popClickCD4 == 2;
        o.zephra = s.useZephraCD4;
        o.rumble = s.useRumbleFilterCD4;
        o.hum = s.useHumFilterCD4;
        break;
    }
    return o;
}

double fullScale(std::uint32_t bits) { return std::ldexp(1.0, static_cast<int>(bits) - 1); }

// The stage's buffers must hold dstFrames frames; anything less is a fault
// of the pass that sized them, and the chain never writes past a buffer.
void requireFrames(const SampleBuffer& buffer, std::uint64_t frames, std::uint32_t channels,
                   std::string_view method)
{
    if (buffer.size() / channels < frames)
        raiseAssertion("Buffer too small for its frames in %s", method);
}

}  // namespace

void AudioFile::PhonographEQ(std::uint32_t stage)
{
    // Validation.
    const StageIo io = stageIo(stage, kPhonographEQ);
    const EnhancementCode code = io.code;
    SampleBuffer& sourceBuffer = io.in;
    SampleBuffer& destination = io.out;
    const std::uint32_t channels = io.outChannels;
    const std::optional<ChainGroup> group = chainGroupOf(code);
    if (!group)
        raiseAssertion("Filter type is unknown in %s", kPhonographEQ);
    if (*group == ChainGroup::Cd4 && channels != 6)
        raiseAssertion("The number of channels must be 6 in %s", kPhonographEQ);
    if (*group != ChainGroup::Cd4 && channels != 2)
        raiseAssertion("The number of channels must be 2 in %s", kPhonographEQ);
    const std::uint64_t frames = dstFrames;
    requireFrames(sourceBuffer, frames, 2, kPhonographEQ);
    // The processing pass leaves the destination for the chain to allocate
    // once the in-place stages and their work buffers are done, and the
    // source goes as soon as it is equalised: two stage buffers at the peak
    // instead of three.
    const bool allocatesDestination = destination.empty();
    if (!allocatesDestination)
        requireFrames(destination, frames, channels, kPhonographEQ);
    const std::span<double> source(sourceBuffer.data(), 2 * frames);

    // Option flags of the enhancement group.
    const ChainOptions options = chainOptions(*group, settings);

    if (options.gainRanging)
        GainRanging(source);
    if (options.cartridgeBalance)
        CartridgeBalance(source);
    if (options.discEchoRemoval)
        DiscEchoRemoval(source);
    if (options.wow) {
        WowCorrection(source);
        if (error != 0)
            return;
    }
    if (options.dizor)
        DizorResponseCorrection(source);
    // A failure inside a called stage must reach the processing pass, so
    // the chain stops instead of clearing it at the end.
    if (options.popClick || options.crackle) {
        PopClick_Crackle(sourceBuffer, options.popClick, options.crackle);
        if (error != 0)
            return;
    }
    if (options.popClickInterpolated) {
        PopClickInterpolated(sourceBuffer);
        if (error != 0)
            return;
    }

    if (options.lpDistortion)
        LpDistortionCancellation(source);

    // Coefficients for the rate; none at any other rate (all zero).
    const std::optional<phonograph::Rate> rate = phonograph::rateFor(dstFrameRate);
    const EnhancementCode curve = *group == ChainGroup::Cd4 ? kRiaa : code;
    const phonograph::Equaliser equaliser = phonograph::equaliserFor(curve, rate);
    const BiquadCoeffs rumble = rate ? phonograph::at(phonograph::kRumble, *rate) : BiquadCoeffs{};

    // The two-channel work buffer is needed only by the needle-scratch
    // stages; equalisation works straight into the destination.
    if (options.needleScratch || options.gradientScratch) {
        SampleBuffer work;
        if (!allocateWorkBuffer(work, 2 * frames))
            return;
        if (options.needleScratch)
            NeedleScratchRemoval(source, work);
        else
            GradientNeedleScratchRemoval(source, work);
        // Kept for the next stage buffer of its size (the chain's output).
        releaseStageBuffer(work);
    }

    if (options.zephra) {
        ZephraFilter(stage + 100);
        if (error != 0)
            return;
    }

    // Equalisation, rumble filter and regime into the destination.
    std::string label;
    if (*group == ChainGroup::RumbleOnly) {
        platform.log.info(" " + std::string(kRumbleName));
        label = std::string(kRumbleName) + "...";
    } else {
        const std::string name(findEnhancement(curve)->displayName);
        platform.log.info(" " + name);
        if (options.rumble) {
            platform.log.info(" + " + std::string(kRumbleName));
            label = name + " + " + std::string(kRumbleName) + "...";
        } else {
            label = name + "...";
        }
    }
    if (options.equalise && (settings.phonographRegime < 1 || settings.phonographRegime > 4))
        raiseAssertion("Phonograph regime is unknown in %s", kPhonographEQ);
    if (allocatesDestination && !allocateWorkBuffer(destination, std::uint64_t{channels} * frames))
        return;
    SampleBuffer rumbleTail;
    if (options.rumble && !allocateWorkBuffer(rumbleTail, phonograph::rumbleTailSamples(rumble, frames)))
        return;
    Progress progress = phonograph::startStage(*this, label, options.rumble ? 2 * frames : frames);
    phonograph::equalise(source, destination, channels, frames, options.equalise ? &equaliser : nullptr,
                         static_cast<phonograph::Regime>(settings.phonographRegime),
                         options.rumble ? &rumble : nullptr, rumbleTail, progress);
    if (allocatesDestination)
        releaseStageBuffer(sourceBuffer);

    if (options.hum) {
        HumRemoval(stage + 100);
        if (error != 0)
            return;
    }
    error = 0;
}

void AudioFile::GainRanging(std::span<double> source)
{
    // 100 ms chunks; −65 dBFS is taken for silence between the grooves.
    const auto chunkFrames = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::floor(dstFrameRate * 0.1)));
    const std::uint64_t chunks = (std::uint64_t{dstFrames} + chunkFrames - 1) / chunkFrames;
    Progress progress = phonograph::startStage(*this, "Gain Ranging...", chunks);
    const double threshold = fullScale(dstSampleBits) * 0.0005623413251903491;
    const std::uint64_t reduced = phonograph::gainRanging(source, dstFrames, chunkFrames, threshold, progress);
    platform.log.info(formatText(" Gain Ranging applied to %lu x 100mS chunks", static_cast<unsigned long>(reduced)));
}

void AudioFile::CartridgeBalance(std::span<double> source)
{
    Progress progress = phonograph::startStage(*this, "Cartridge Channel Balance...", dstFrames);
    const double ratio = rmsRatio;
    platform.log.info(formatText(" Cartridge Channel Balance: L/R RMS Ratio = %.5f (%.3f dBFS)", ratio,
                                 20.0 * std::log10(ratio)));
    // A silent channel has no ratio to correct (and dividing by its root
    // would wipe or overflow the other channel).
    if (!(ratio > 0.0 && std::isfinite(ratio)))
        return;
    phonograph::cartridgeBalance(source, dstFrames, ratio, progress);
}

void AudioFile::DiscEchoRemoval(std::span<double> source)
{
    Progress progress = phonograph::startStage(*this, "Disc Echo Removal...", 2 * std::uint64_t{dstFrames});
    // −60 dBFS; the gain recovers at 192 dB per second.
    const double threshold = fullScale(dstSampleBits) * 0.001;
    const double recovery = std::pow(10.0, (192.0 / dstFrameRate) / 20.0);
    phonograph::discEchoRemoval(source, dstFrames, threshold, recovery, progress);
}

void AudioFile::LpDistortionCancellation(std::span<double> source)
{
    Progress progress = phonograph::startStage(*this, "LP Distortion Cancellation...", dstFrames);
    platform.log.info(" LP Distortion Cancellation");
    const double highClamp = fullScale(dstSampleBits);
    // A 2 µm stylus traces the groove without this error.
    const double td = (settings.lpDistortionStylusRadius - 2.0) * 0.03;
    const double factor = 0.25 * td;
    platform.log.info(formatText("highClamp = %f", highClamp));
    platform.log.info(formatText("Td = %lf", td));
    platform.log.info(formatText("factor = %15.10f", factor));
    phonograph::lpDistortionCancel(source, dstFrames, factor, highClamp, progress);
}

void AudioFile::PhonographAntiEQ(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kPhonographAntiEQ);
    const EnhancementCode code = io.code;
    const SampleBuffer& source = io.in;
    SampleBuffer& destination = io.out;
    const std::uint32_t channels = io.outChannels;
    if (code != kAntiRiaa)
        raiseAssertion("Filter type is unknown in %s", kPhonographAntiEQ);
    if (channels != 2)
        raiseAssertion("The number of channels must be 2 in %s", kPhonographAntiEQ);

    const std::string name(findEnhancement(code)->displayName);
    platform.log.info(" " + name);
    Progress progress = phonograph::startStage(*this, name + "...", dstFrames);
    const std::optional<phonograph::Rate> rate = phonograph::rateFor(dstFrameRate);
    const phonograph::AntiRiaaCoeffs coeffs =
        rate ? phonograph::at(phonograph::kAntiRiaa, *rate) : phonograph::AntiRiaaCoeffs{0, 0, 0, 0, 0, 0, 0};
    phonograph::antiRiaa(source, destination, dstFrames, coeffs, progress);
    error = 0;
}

}  // namespace auralune

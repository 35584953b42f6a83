#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "enhance/cd4_kernels.h"
#include "enhance/decoder_stage.h"
#include "restore/phonograph_kernels.h"
#include "restore/phonograph_options.h"

#include <cmath>
#include <string>
#include <string_view>

namespace auralune {

namespace {

constexpr std::string_view kInputMethod = "-[AudioFile CD4_Quadraphonic_1_InputSubFM:]";
constexpr std::string_view kOutputMethod = "-[AudioFile CD4_Quadraphonic_2_LevelCompOutput:]";

constexpr EnhancementCode kJvcCd4 = 0x100000000000;
constexpr EnhancementCode kHighQualityCd4 = 0x200000000000;
constexpr EnhancementCode kRiaa = 0x800;
static_assert((kJvcCd4 | kHighQualityCd4) == kCd4Mask);
static_assert(kEnhancementTypes[11].code() == kRiaa);

// The checks both routines start with.
AudioFile::StageIo checkedStage(AudioFile& job, std::uint32_t stage, std::string_view method)
{
    if (stage != 1)
        raiseAssertion("The enhancement number must be 1 in %s", method);
    const AudioFile::StageIo io = job.stageIo(stage, method);
    if (io.code != kJvcCd4 && io.code != kHighQualityCd4)
        raiseAssertion("Filter type is unknown in %s", method);
    if (job.srcFrames != job.dstFrames)
        raiseAssertion("_srcFrames does not equal _dstFrames in %s", method);
    if (job.audioBuf_0_sub.size() < std::uint64_t{job.dstFrames} * 2)
        raiseAssertion("_audioBuf_0_sub is not allocated in %s", method);
    if (io.outChannels != 6)
        raiseAssertion("The number of channels must be 6 in %s", method);
    if (io.inChannels != 2)
        raiseAssertion("The number of channels_in must be 2 in %s", method);
    job.requireStageFrames(io, method);
    if (job.srcFrameRate != cd4::kRate || job.dstFrameRate != cd4::kRate)
        raiseAssertion("Source and destination frame rates must be 96kHz in %s", method);
    return io;
}

// Full scale of the samples in the stage buffers. They are on the scale of
// dstSampleBits: a 16-bit source promoted to 24 bits (hi-res) is 256 times
// larger than its own full scale, and measuring it against that would put
// every level 48 dB too high.
double bufferFullScale(const AudioFile& job) { return std::ldexp(1.0, static_cast<int>(job.dstSampleBits) - 1); }

Progress stageProgress(AudioFile& job, const std::string& name, std::uint64_t units)
{
    job.platform.log.info(" " + name);
    return phonograph::startStage(job, name + "...", units);
}

}  // namespace

void AudioFile::CD4_Quadraphonic_1_InputSubFM(std::uint32_t stage)
{
    const StageIo io = checkedStage(*this, stage, kInputMethod);
    const std::uint64_t frames = dstFrames;
    // One stereo work buffer serves the baseband split and the JVC band-pass.
    SampleBuffer work;
    if (error != 0 || !allocateWorkBuffer(work, 2 * frames))
        return;
    SampleBuffer& input = io.in;
    SampleBuffer& sub = audioBuf_0_sub;
    const double fullScale = bufferFullScale(*this);

    setDecodedChannelsText(*this, "2 > 4.0");
    const bool balance = settings.useCartridgeBalanceCD4;
    Progress progress = stageProgress(*this, "CD-4 Quadraphonic Input Matrix", (3 + balance) * frames);
    if (balance) {
        const double ratio = rmsRatio;
        platform.log.info(formatText(" Cartridge Balance & Azimuth: L/R RMS Ratio = %.5f (%.3f dBFS)", ratio,
                                     20.0 * std::log10(ratio)));
        // A silent wall has no ratio to correct.
        if (ratio > 0.0 && std::isfinite(ratio))
            phonograph::cartridgeBalance(input, frames, ratio, progress);
        rmsRatio = 1.0;
    }
    cd4::splitBaseband(input, sub, work, frames, progress);

    progress = stageProgress(*this, "CD-4 Quadraphonic Subcarrier Processing", 5 * frames);
    for (std::uint32_t c = 0; c < 2; ++c) {
        const double rms = cd4::channelRms(sub, c, frames);
        const double level = 20.0 * std::log10(rms / fullScale);
        platform.log.info(formatText(" Subcarrier Ch%u: RMS = %.1f (%.1f dBFS)", c, rms, level));
        if (!(level > cd4::kPilotFloorDb)) {
            platform.log.warning(formatText(
                "No RADAR. Subcarrier RMS for ch%u is %.1f (less than -30.0dBFS). Either the disc is ruined, or "
                "the needle-drop set-up is inadequate, or the user is attempting to decode a standard stereo disc",
                c, level));
            warning |= kWarningNoCd4Radar;
        }
    }
    if (warning & kWarningNoCd4Radar) {
        // Decoding goes on as a matrix of the baseband alone.
        std::fill(sub.begin(), sub.end(), 0.0);
        updateProgressTableText(100);
        return;
    }
    if (settings.useDeroz2CrosstalkCD4)
        cd4::dizorCrosstalk(sub, frames, progress);
    for (std::uint32_t c = 0; c < 2; ++c) {
        const std::uint64_t limited = cd4::subcarrierAgc(sub, c, frames, cd4::kAgcThreshold * fullScale, progress);
        platform.log.info(formatText(" Ch%u: AGC applied to %lu of %lu chunks of 100 samples", c,
                                     static_cast<unsigned long>(limited),
                                     static_cast<unsigned long>((frames + 99) / 100)));
    }
    Progress gainProgress;
    gain(sub, frames, 2, cd4::kSubcarrierGain, gainProgress);

    const bool jvc = io.code == kJvcCd4;
    progress = stageProgress(*this, "CD-4 Quadraphonic FM Discriminator", (jvc ? 6 : 2) * frames);
    cd4::discriminate(sub, frames, fullScale, progress);
    if (jvc)
        cd4::jvcPostFilter(sub, work, frames, progress);
    else
        cd4::highQualityPostFilter(sub, frames, progress);
    error = 0;
}

void AudioFile::CD4_Quadraphonic_2_LevelCompOutput(std::uint32_t stage)
{
    const StageIo io = checkedStage(*this, stage, kOutputMethod);
    const std::uint64_t frames = dstFrames;
    // Without a pilot the feeds come from the baseband alone.
    double subGain = 0.0;
    Progress progress;
    if ((warning & kWarningNoCd4Radar) == 0) {
        progress = stageProgress(*this, "CD-4 Quadraphonic Level Matcher", 3 * frames);
        // The difference signals are cut with the recording characteristic
        // of the baseband, which the phonograph stage has just undone on the
        // baseband alone; the same playback curve brings them into phase
        // with it, so that front and rear cancel in the matrix.
        const phonograph::Equaliser riaa = phonograph::equaliserFor(kRiaa, phonograph::rateFor(cd4::kRate));
        phonograph::equalise(audioBuf_0_sub, audioBuf_0_sub, 2, frames, &riaa, phonograph::Regime::Stereo, nullptr, {},
                             progress);
        subGain = cd4::matchDemodulatedLevel(io.out, audioBuf_0_sub, frames, progress);
    }
    cd4::outputMatrix(io.out, audioBuf_0_sub, subGain, settings.outputCD4 == 2, frames, progress);
}

}  // namespace auralune

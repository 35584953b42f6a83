#include "enhance/noise_reduction_kernels.h"

#include <cmath>
#include <string>

namespace auralune {

namespace {

constexpr EnhancementCode kCassette = 0x8000000;
constexpr EnhancementCode kCinema51 = 0x40000000;
constexpr EnhancementCode kCinema40 = 0x80000000;
constexpr EnhancementCode kCat22 = 0x1000000000000;
constexpr EnhancementCode kUnlimiting = 0x200000000;

constexpr std::string_view kCassetteMethod = "-[AudioFile CassetteNoiseReduction:]";
constexpr std::string_view kCat22Method = "-[AudioFile Cat22NoiseReduction:]";
constexpr std::string_view kUnlimitingMethod = "-[AudioFile Unlimiting:]";

// The cinema decodes run on the rear pair of their six-channel result.
constexpr std::uint32_t kRearPair = 4;

}  // namespace

void AudioFile::CassetteNoiseReduction(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kCassetteMethod);
    StereoLanes lanes;
    std::string name;
    if (io.code == kCassette) {
        requireStageChannels(io.outChannels, 2, kCassetteMethod);
        requireStageChannels(io.inChannels, 2, kCassetteMethod);
        lanes = StereoLanes{io.in, io.inChannels, io.out, io.outChannels, 0, dstFrames};
        name = "Cassette Noise Reduction";
    } else if (io.code == kCinema51 || io.code == kCinema40) {
        // In place on the rear pair the up-mix wrote; the front four stay.
        requireStageChannels(io.outChannels, 6, kCassetteMethod);
        lanes = StereoLanes{io.out, io.outChannels, io.out, io.outChannels, kRearPair, dstFrames};
        name = io.code == kCinema51 ? "Cinema Surround 5.1" : "Cinema Surround 4.0";
    } else {
        raiseAssertion("Filter type is unknown in %s", kCassetteMethod);
    }
    platform.log.info(" " + name);
    setTableText(TableText::State, name + "...");
    requireStageFrames(io, kCassetteMethod);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, kCassetteMethod);
    if (!row)
        return;

    Progress progress = stageProgress(*this, std::uint64_t{dstFrames} * 2);
    progress.start(0);
    const double threshold = kCassetteThresholdOfPeak * lanesPeak(lanes, progress);
    platform.log.info(formatText(" Limiting threshold = %f", threshold));
    cassetteDecode(lanes, kCassetteSideChain[*row], threshold, limiterRelease(dstFrameRate), progress);
    error = 0;
}

void AudioFile::Cat22NoiseReduction(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kCat22Method);
    if (io.code != kCat22)
        raiseAssertion("Filter type is unknown in %s", kCat22Method);
    requireStageChannels(io.outChannels, 2, kCat22Method);
    requireStageChannels(io.inChannels, 2, kCat22Method);
    platform.log.info(" Cat 22 Noise Reduction");
    setTableText(TableText::State, "Cat 22 Noise Reduction...");
    requireStageFrames(io, kCat22Method);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, kCat22Method);
    if (!row)
        return;

    // Referenced to the recording's calibration tone: 22 dB under it.
    const double fullScale = std::ldexp(1.0, static_cast<int>(dstSampleBits) - 1);
    const double thresholdDb = settings.dolbyTone - kCat22ThresholdBelowToneDb;
    const double threshold = std::pow(10.0, thresholdDb / 20) * fullScale;
    platform.log.info(formatText(" Dolby tone (dBFS) = %f", settings.dolbyTone));
    platform.log.info(formatText(" Limiting threshold (dBFS)  = %f", thresholdDb));

    Progress progress = stageProgress(*this, dstFrames);
    progress.start(0);
    cat22Decode(StereoLanes{io.in, 2, io.out, 2, 0, dstFrames}, kCat22SideChain[*row], threshold,
                limiterRelease(dstFrameRate), progress);
    error = 0;
}

void AudioFile::Unlimiting(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kUnlimitingMethod);
    if (io.code != kUnlimiting)
        raiseUnknownEnhancementType(io.code, kUnlimitingMethod);
    platform.log.info(" Unlimiting");
    setTableText(TableText::State, "Unlimiting...");
    requireStageChannels(io.inChannels, io.outChannels, kUnlimitingMethod);
    requireStageFrames(io, kUnlimitingMethod);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, kUnlimitingMethod);
    if (!row)
        return;

    const std::uint64_t samples = std::uint64_t{dstFrames} * io.outChannels;
    Progress progress = stageProgress(*this, samples);
    progress.start(0);
    cascadedHighPass(io.in, io.out, dstFrames, io.outChannels, kUnlimitingHighPass[*row], progress);
    error = 0;
}

}  // namespace auralune

#include "enhance/stage_support.h"
#include "restore/groove_kernels.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace auralune {

namespace {

constexpr EnhancementCode kGroove = 0x10000000;
constexpr std::string_view kGrooveMethod = "-[AudioFile Groove24:]";
// "Off" for the surface noise, exactly.
constexpr double kGrooveNoiseOff = -70.0;

}  // namespace

void AudioFile::Groove24(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kGrooveMethod);
    if (io.code != kGroove)
        raiseUnknownEnhancementType(io.code, kGrooveMethod);
    if (dstSampleBits != 24)
        raiseAssertion(formatText("Unexpected destination sample bits (%u) in %%s", dstSampleBits), kGrooveMethod);
    requireStageChannels(io.inChannels, io.outChannels, kGrooveMethod);
    requireStageFrames(io, kGrooveMethod);

    const double fullScale = std::ldexp(1.0, static_cast<int>(dstSampleBits) - 1);
    const double k = settings.grooveDistortion * 0.1 * 0.25;
    const bool tapOff = settings.grooveDistortionTapOff;
    const bool noise = settings.grooveNoise != kGrooveNoiseOff;
    const double noiseGain = noise ? std::pow(10.0, (30 + settings.grooveNoise) / 20) : 0.0;
    const double signalMix = noise ? 1 - std::pow(10.0, settings.grooveNoise / 20) : 1.0;
    const std::uint64_t samples = std::uint64_t{dstFrames} * io.outChannels;
    const std::span<const double> source(io.in.data(), samples);
    const std::span<double> destination(io.out.data(), samples);

    // The source stays as it was: the model writes the destination only.
    platform.log.info(formatText(" Normalising samples (%f)", fullScale));
    if (tapOff) {
        platform.log.info(" Tapping off Groove stylus model distortion");
        setTableText(TableText::State, "Tapping off Groove stylus model distortion...");
        setTableText(TableText::Progress, "");
        postRefresh();
        // The tap-off runs without a progress display.
        Progress silent;
        grooveDistortion(source, destination, fullScale, k, true, silent);
    } else if (k > 0) {
        platform.log.info(" Adding Groove stylus model distortion");
        setTableText(TableText::State, "Groove stylus model distortion...");
        Progress distortion = stageProgress(*this, samples);
        distortion.start(0);
        grooveDistortion(source, destination, fullScale, k, false, distortion);
    } else {
        std::copy(source.begin(), source.end(), destination.begin());
    }
    platform.log.info(formatText(" Creating 24-bit precision (%.1f)", fullScale));

    if (noiseGain > 0 && !tapOff) {
        platform.log.info(formatText(" Adding Groove surface model noise (%.1fdBFS)", settings.grooveNoise));
        setTableText(TableText::State, "Groove surface model noise...");
        Progress progress = stageProgress(*this, samples);
        progress.start(0);
        grooveSurfaceNoise(destination, fullScale, noiseGain, signalMix, platform.random, progress);
    }
    error = 0;
}

}  // namespace auralune

#include "dsp/hires.h"
#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"

#include <algorithm>
#include <span>
#include <vector>

namespace auralune {

namespace {

constexpr const char* kQuadDownSample = "-[AudioFile QuadDownSample]";
constexpr const char* kDualUpSample = "-[AudioFile DualUpSample]";
constexpr const char* kQuadUpSample = "-[AudioFile QuadUpSample]";

// The first `count` samples of a stage buffer. The pass sizes every buffer
// from the same fields, so a shorter one is an internal fault.
std::span<double> stageSamples(SampleBuffer& buffer, std::uint64_t count, const char* method)
{
    if (buffer.size() < count)
        raiseAssertion("Unexpected buffer size in %s", method);
    return std::span<double>(buffer).first(count);
}

// "HiResFilter" 2 chooses the wide-band kernel for all three converters;
// any other value keeps the standard ones.
bool wideFilter(const SettingsSnapshot& settings) { return settings.hiResFilter == 2; }

}  // namespace

void AudioFile::QuadDownSample()
{
    if (upsampleType != kUpsampleHalveRestore && upsampleType != kUpsampleHalve)
        return;
    if (srcFrameRate != 176400 && srcFrameRate != 192000)
        raiseAssertion("Unexpected frame rate in %s", kQuadDownSample);

    const std::uint32_t halfFrames = srcFrames / 2;
    const std::span<double> samples = stageSamples(audioIn, std::uint64_t{srcChannels} * srcFrames, kQuadDownSample);

    platform.log.info(" High sample rate processing (1/2)");
    setTableText(TableText::State, "High sample rate processing...");
    Progress progress{Progress::stepFor(halfFrames), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);

    SampleBuffer work;
    if (!allocateWorkBuffer(work, std::uint64_t{srcChannels} * halfFrames))
        return;
    if (wideFilter(settings))
        decimateByTwoHalfBand(samples, work, srcChannels, wideHalfBand(), progress);
    else
        decimateByTwo(samples, work, srcChannels, quadDownSampleKernel(), progress);

    // The kept frames go to the front; the rest of the buffer is silence.
    std::fill(audioIn.begin(), audioIn.end(), 0.0);
    std::copy(work.begin(), work.end(), audioIn.begin());
    srcFrames = halfFrames;
    dstFrames /= 2;
    srcFrameRate /= 2;
    dstFrameRate /= 2;
}

void AudioFile::DualUpSample()
{
    if (srcChannels != 2)
        raiseAssertion("The number of channels must be 2 in %s", kDualUpSample);

    if (upsampleType != kUpsampleDouble) {
        if (srcFrames != dstFrames)
            raiseAssertion("Source and destination frames do not match in %s", kDualUpSample);
        const std::uint64_t count = std::uint64_t{srcChannels} * srcFrames;
        const std::span<double> from = stageSamples(audioIn, count, kDualUpSample);
        std::copy(from.begin(), from.end(), stageSamples(audioBuf_0, count, kDualUpSample).begin());
        return;
    }

    // The pass has already doubled the destination's frames and rate. An
    // empty source doubles to an empty destination, which is no fault.
    if (srcFrames != 0 && srcFrames == dstFrames)
        raiseAssertion("Source and destination frames match in %s", kDualUpSample);
    const std::span<double> from = stageSamples(audioIn, std::uint64_t{srcChannels} * srcFrames, kDualUpSample);
    const std::span<double> to = stageSamples(audioBuf_0, std::uint64_t{srcChannels} * dstFrames, kDualUpSample);

    platform.log.info(formatText(" Hi-Res upconversion to %.1f Hz", dstFrameRate));
    setTableText(TableText::State, "Hi-Res upconversion...");
    setTableText(TableText::FrameRate, formatText("%.0f > %.0f", srcFrameRate, dstFrameRate));
    Progress progress{Progress::stepFor(srcFrames), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);

    if (wideFilter(settings))
        interpolateByTwo(from, to, srcChannels, widePhases(), progress);
    else
        interpolateByTwo(from, to, srcChannels, dualUpSamplePhases(), progress);
}

void AudioFile::QuadUpSample()
{
    if (upsampleType != kUpsampleHalveRestore)
        return;
    if (dstFrameRate != 88200 && dstFrameRate != 96000)
        raiseAssertion("Unexpected frame rate in %s", kQuadUpSample);

    const std::uint64_t doubledFrames = 2 * std::uint64_t{dstFrames};
    const std::uint64_t doubledSamples = doubledFrames * dstChannels_2;
    const std::span<double> buffer = stageSamples(audioBuf_2, doubledSamples, kQuadUpSample);
    const std::span<const double> from = buffer.first(std::uint64_t{dstChannels_2} * dstFrames);

    platform.log.info(" Hi-Res processing (2/2)");
    setTableText(TableText::State, "Hi-Res processing...");
    Progress progress{Progress::stepFor(dstFrames), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);

    // The counts and rates are doubled only once the work buffer exists, so
    // that after a failed allocation they still describe the buffer's audio.
    SampleBuffer work;
    if (!allocateWorkBuffer(work, doubledSamples))
        return;
    if (wideFilter(settings))
        interpolateByTwo(from, work, dstChannels_2, widePhases(), progress);
    else
        interpolateByTwo(from, work, dstChannels_2, quadUpSamplePhases(), progress);
    std::copy(work.begin(), work.end(), buffer.begin());

    srcFrames *= 2;
    dstFrames = static_cast<std::uint32_t>(doubledFrames);
    srcFrameRate *= 2;
    dstFrameRate *= 2;
}

}  // namespace auralune

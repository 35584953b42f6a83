#include "enhance/availability.h"
#include "enhance/dispatch_table.h"

#include "engine/assertion.h"
#include "engine/sample_kernels.h"
#include "engine/text_format.h"

#include <string>

namespace auralune {

namespace {

constexpr EnhancementCode kEnhancementHiRes = 0x2000000000;
static_assert(kEnhancementTypes[37].code() == kEnhancementHiRes && kEnhancementTypes[37].displayName == "Hi-Res");

[[noreturn]] void unknownEnhancementType(EnhancementCode code, std::string_view method)
{
    raiseAssertion(formatText("Unknown enhancement type %lu in %%s", static_cast<unsigned long>(code)), method);
}

[[noreturn]] void unexpectedEnhancementNumber(std::string_view method)
{
    raiseAssertion("Unexpected enhancement number in %s", method);
}

}  // namespace

bool enhancementAvailable(EnhancementCode code)
{
    const EnhancementRoute* route = findEnhancementRoute(code);
    return route != nullptr && route->available();
}

EnhancementMask availableEnhancementsMask()
{
    EnhancementMask mask = 0;
    for (const EnhancementRoute& route : kEnhancementRoutes)
        if (route.available())
            mask |= route.code;
    return mask;
}

void AudioFile::StereoEnhancement(std::uint32_t enhancement)
{
    constexpr std::string_view method = "-[AudioFile StereoEnhancement:]";
    if (enhancement != 1 && enhancement != 2)
        unexpectedEnhancementNumber(method);
    const EnhancementCode code = enhancement == 1 ? settings.filterType_1 : settings.filterType_2;
    const EnhancementRoute* route = findEnhancementRoute(code);
    if (route == nullptr)
        unknownEnhancementType(code, method);
    // The front ends refuse types whose routines are not written yet.
    if (!route->available())
        raiseAssertion(formatText("Enhancement type %lu is not available in %%s", static_cast<unsigned long>(code)),
                       method);

    if (code == kEnhancementNone)
        platform.log.info("Apply no stereo enhancement");
    else
        platform.log.info("Apply the " + std::string(findEnhancement(code)->displayName) + " enhancement");

    // Each routine of a row clears the error when it succeeds; one that
    // fails the job ends the row, so that a later one cannot clear it.
    for (std::size_t i = 0; i < route->count; ++i) {
        (this->*routineEntry(route->routines[i]).run)(enhancement);
        if (error != 0)
            return;
    }
}

AudioFile::StageIo AudioFile::stageIo(std::uint32_t stage, std::string_view method)
{
    if (stage != 1 && stage != 2)
        unexpectedEnhancementNumber(method);
    return stage == 1 ? StageIo{audioBuf_0, audioBuf_1, srcChannels, dstChannels_1, settings.filterType_1}
                      : StageIo{audioBuf_1, audioBuf_2, dstChannels_1, dstChannels_2, settings.filterType_2};
}

void AudioFile::requireStageFrames(const StageIo& io, std::string_view method) const
{
    // A smaller buffer is a fault of the pass that sized it; no routine may
    // write past it.
    const std::uint64_t frames = dstFrames;
    if (io.in.size() < frames * io.inChannels || io.out.size() < frames * io.outChannels)
        raiseAssertion("Buffer too small for its frames in %s", method);
}

void AudioFile::StereoCorrectionNone(std::uint32_t enhancement)
{
    constexpr std::string_view method = "-[AudioFile StereoCorrectionNone:]";
    const StageIo io = stageIo(enhancement, method);
    const EnhancementCode code = io.code;
    const std::uint32_t channels = io.outChannels;

    if (code == kEnhancementNone) {
        platform.log.info(" None");
        setTableText(TableText::State, "None...");
    } else if (code == kEnhancementHiRes) {
        platform.log.info(" Hi-Res upconversion");
        setTableText(TableText::State, "Hi-Res upconversion...");
    } else {
        unknownEnhancementType(code, method);
    }

    // The pass leaves the output unallocated when the input, which it
    // releases after this stage, can become the output as it is.
    if (io.out.empty() && io.inChannels == channels) {
        io.out.swap(io.in);
        requireStageFrames(StageIo{io.out, io.out, channels, channels, code}, method);
        updateProgressTableText(100);
        error = 0;
        return;
    }
    requireStageFrames(io, method);
    updateProgressTableText(0);
    const std::uint64_t samples = std::uint64_t{dstFrames} * channels;
    CopyBuffer(io.in, io.out, dstFrames, channels, Progress::stepFor(samples), 0);
    error = 0;
}

}  // namespace auralune

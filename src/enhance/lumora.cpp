#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "enhance/decoder_stage.h"
#include "enhance/stage_support.h"
#include "enhance/lumora_kernels.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace auralune {

namespace {

constexpr std::string_view kLumoraMethod = "-[AudioFile LumoraSurround:]";

enum class SurroundLevel { Fixed, FromCorrelation };

struct SurroundVariant {
    EnhancementCode code;
    std::uint32_t channels;         // of the stage output
    std::string_view channelsText;  // when all six channels are written
    double frontGain;               // 0: the KESTRALIN pair already in the output
    double centreGain;
    double lfeGain;
    bool cinema;                    // 20 ms delay, straight centre, surrounds in phase
    SurroundLevel level;
};

constexpr SurroundVariant kVariants[] = {
    {0x80, 2, "", 0.795, 0.5, -1.0, false, SurroundLevel::Fixed},                 // Lumora 20 Headphones
    {0x100, 6, "2 > 5.1", 1.0, 0.5, -1.0, false, SurroundLevel::FromCorrelation},  // Lumora 51 Surround
    {0x200, 6, "2 > 5.0", 1.0, 0.5, 0.0, false, SurroundLevel::FromCorrelation},   // Lumora 50 Surround
    {0x400, 6, "2 > 4.0", 0.0, 0.0, 0.0, false, SurroundLevel::FromCorrelation},   // Lumora 40 Surround
    {0x40000000, 6, "2 > 5.1", 1.0, 0.5, -1.0, true, SurroundLevel::Fixed},        // Cinema Surround 5.1
    {0x80000000, 6, "2 > 4.0", 0.0, 0.0, 0.0, true, SurroundLevel::Fixed},         // Cinema Surround 4.0
};

}  // namespace

void AudioFile::LumoraSurround(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kLumoraMethod);
    const SurroundVariant* variant = findVariant(kVariants, io.code);
    if (variant == nullptr)
        raiseAssertion("Unexpected enhancement type in %s", kLumoraMethod);
    beginDecoderStage(*this, io, variant->channels, variant->channelsText, kLumoraMethod);

    const std::optional<LumoraFilters> filters = lumoraFilters(dstFrameRate);
    if (!filters)
        raiseAssertion("Invalid frame rate in %s", kLumoraMethod);
    // 576 frames at 48 kHz for Lumora, 960 for the cinema decode.
    const double delaySeconds = variant->cinema ? kCinemaDelaySeconds : kLumoraDelaySeconds;
    LumoraParams params;
    params.filters = *filters;
    params.frontGain = variant->frontGain;
    params.keepFront = variant->frontGain == 0.0;
    params.centreGain = variant->centreGain;
    params.centreHighPass = !variant->cinema;
    params.lfeGain = variant->lfeGain;
    params.delayFrames = static_cast<std::uint64_t>(std::trunc(dstFrameRate * delaySeconds + 0.5));
    params.rightSign = variant->cinema ? 1.0 : -1.0;
    params.headphones = variant->channels == 2;
    if (variant->level == SurroundLevel::FromCorrelation) {
        params.surroundLevel = surroundLevelFromCorrelation(ccc);
        platform.log.info(formatText(" Surround coefficient = %.3f", params.surroundLevel));
    }

    Progress progress{Progress::stepFor(dstFrames), 0,
                      [this](std::uint32_t percent) { updateProgressTableText(percent); }};
    progress.start(0);
    lumoraSurround(io.in, io.inChannels, io.out, io.outChannels, dstFrames, params, progress);
    error = 0;
}

}  // namespace auralune

#include "enhance/kestralin_coefficients.h"

#include <algorithm>
#include <string>

namespace auralune {

namespace {

constexpr std::string_view kKestralinMethod = "-[AudioFile Kestralin:]";
constexpr std::string_view kTSymMethod = "-[AudioFile KestralinTSym:]";

const KestralinVariant& kestralinVariant(EnhancementCode code)
{
    const auto* found = std::find_if(kKestralinVariants.begin(), kKestralinVariants.end(),
                                     [code](const KestralinVariant& v) { return v.code == code; });
    if (found == kKestralinVariants.end())
        raiseUnknownEnhancementType(code, kKestralinMethod);
    return *found;
}

}  // namespace

void AudioFile::Kestralin(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kKestralinMethod);
    const KestralinVariant& variant = kestralinVariant(io.code);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, kKestralinMethod);
    if (!row)
        return;
    const FirstOrderCoeffs hp = kKestralinHighPass[*row];

    platform.log.info(" " + std::string(variant.displayName));
    setTableText(TableText::State, std::string(variant.displayName) + "...");
    updateProgressTableText(0);
    requireStageChannels(io.outChannels, variant.stageChannels, kKestralinMethod);
    // The input is the stereo source (or the front pair of a wider one);
    // for the surround codes only the front pair of the output is written,
    // the up-mix fills the rest.
    requireStageFrames(io, kKestralinMethod);
    KestralinFilter(io.in, io.out, dstFrames, io.inChannels, io.outChannels, hp.a, -hp.a, hp.c, variant.depth, false,
                    Progress::stepFor(dstFrames), 0);
    error = 0;
}

void AudioFile::KestralinTSym(std::uint32_t stage)
{
    const StageIo io = stageIo(stage, kTSymMethod);
    if (io.code != kKestralinTSymCode)
        raiseUnknownEnhancementType(io.code, kTSymMethod);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, kTSymMethod);
    if (!row)
        return;
    const FirstOrderCoeffs hp = kKestralinTSymHighPass[*row];

    platform.log.info(" KESTRALIN T-Sym");
    setTableText(TableText::State, "KESTRALIN T-Sym...");
    requireStageChannels(io.outChannels, 2, kTSymMethod);
    requireStageChannels(io.inChannels, 2, kTSymMethod);
    requireStageFrames(io, kTSymMethod);
    const std::uint64_t interval = Progress::stepFor(std::uint64_t{dstFrames} * 3);
    updateProgressTableText(0);
    // Forward, then backward over the result: the phase cancels and the
    // side reduction applies twice. The input buffer keeps the two-pass
    // result; the width compensation then writes the output.
    KestralinFilter(io.in, io.out, dstFrames, 2, 2, hp.a, -hp.a, hp.c, kKestralinTSymDepth, false, interval, 0);
    KestralinFilter(io.out, io.in, dstFrames, 2, 2, hp.a, -hp.a, hp.c, kKestralinTSymDepth, true, interval, 33);
    TsymWidthCompensationFilter(io.in, io.out, dstFrames, 2, interval, 66);
    error = 0;
}

}  // namespace auralune

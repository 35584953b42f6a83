#include "enhance/tape_eq_kernels.h"

#include <algorithm>
#include <string>

namespace auralune {

void AudioFile::TapeEQ(std::uint32_t stage)
{
    constexpr std::string_view method = "-[AudioFile TapeEQ:]";
    const StageIo io = stageIo(stage, method);
    const auto* conversion = std::find_if(kTapeEqConversions.begin(), kTapeEqConversions.end(),
                                          [&io](const TapeEqConversion& c) { return c.code == io.code; });
    if (conversion == kTapeEqConversions.end())
        raiseAssertion("Filter type is unknown in %s", method);
    requireStageChannels(io.outChannels, 2, method);
    requireStageChannels(io.inChannels, 2, method);
    requireStageFrames(io, method);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, method);
    if (!row)
        return;

    platform.log.info(" " + std::string(conversion->displayName));
    setTableText(TableText::State, std::string(conversion->displayName) + "...");
    Progress progress = stageProgress(*this, dstFrames);
    progress.start(0);
    tapeEq(io.in, io.out, dstFrames, conversion->byRate[*row], progress);
    error = 0;
}

}  // namespace auralune

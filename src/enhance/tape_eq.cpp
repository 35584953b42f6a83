#include "enhance/tape_eq_kernels.h"

#include <string>

namespace auralune {

void AudioFile::TapeEQ(std::uint32_t stage)
{
    constexpr std::string_view method = "-[AudioFile TapeEQ:]";
    const StageIo io = stageIo(stage, method);
    const TapeEqConversion* conversion = findVariant(kTapeEqConversions, io.code);
    if (conversion == nullptr)
        raiseAssertion("Filter type is unknown in %s", method);
    requireStereoStage(*this, io, method);
    const std::optional<std::size_t> row = stageRateRowOrFail(*this, method);
    if (!row)
        return;

    platform.log.info(" " + std::string(conversion->displayName));
    setTableText(TableText::State, std::string(conversion->displayName) + "...");
    Progress progress = stageProgress(*this, dstFrames);
    progress.start(0);
    tapeEq(io.in, io.out, dstFrames, conversion->at(*row), progress);
    error = 0;
}

}  // namespace auralune

#include "enhance/decoder_stage.h"

#include "engine/assertion.h"

#include <string>

namespace auralune {

void setDecodedChannelsText(AudioFile& job, std::string_view allChannelsText)
{
    if (job.dstChannelsData == 1)
        job.setTableText(TableText::Channels, "2 > 1");
    else if (job.dstChannelsData == 6)
        job.setTableText(TableText::Channels, std::string(allChannelsText));
    else
        return;
    job.postRefresh();
}

void beginDecoderStage(AudioFile& job, const AudioFile::StageIo& io, std::uint32_t outChannels,
                       std::string_view allChannelsText, std::string_view method)
{
    if (io.outChannels != outChannels)
        raiseAssertion("The number of channels must be " + std::to_string(outChannels) + " in %s", method);
    if (io.inChannels < 2)
        raiseAssertion("The number of channels_in must be 2 in %s", method);
    job.requireStageFrames(io, method);
    if (outChannels == 6)
        setDecodedChannelsText(job, allChannelsText);

    const std::string name(findEnhancement(io.code)->displayName);
    job.platform.log.info(" " + name);
    job.setTableText(TableText::State, name + "...");
}

}  // namespace auralune

#include "enhance/channels_text.h"

#include "engine/audio_file.h"

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

}  // namespace auralune

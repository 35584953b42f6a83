#pragma once

#include <string_view>

namespace auralune {

class AudioFile;

// The channels column of a decoder that yields six channels: "2 > 1" when
// the destination keeps a single channel of them, `allChannelsText`
// ("2 > 4.0", "2 > 5.1", ...) when it keeps all six; a channel pair leaves
// the text as it is.
void setDecodedChannelsText(AudioFile& job, std::string_view allChannelsText);

}  // namespace auralune

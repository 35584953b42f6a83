#pragma once

#include "engine/audio_file.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace auralune {

// The channels column of a decoder that yields six channels: "2 > 1" when
// the destination keeps a single channel of them, `allChannelsText`
// ("2 > 4.0", "2 > 5.1", ...) when it keeps all six; a channel pair leaves
// the text as it is.
void setDecodedChannelsText(AudioFile& job, std::string_view allChannelsText);

// The opening of a matrix or surround stage: the stage output must have
// `outChannels` channels ("The number of channels must be %u in %s") and
// the input at least two; a six-channel result sets the channels text;
// the type's display name is logged and shown as the state.
void beginDecoderStage(AudioFile& job, const AudioFile::StageIo& io, std::uint32_t outChannels,
                       std::string_view allChannelsText, std::string_view method);

}  // namespace auralune

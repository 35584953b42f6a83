#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Pieces of FLAC metadata handling that need no decoder: checked apart from
// libFLAC's callbacks.
namespace auralune {

// The text of a Vorbis comment entry as carried: invalid UTF-8 sequences
// (and the zero byte) become U+FFFD, every valid character is kept.
std::string validUtf8(std::string_view bytes);

// Whether an entry is "NAME=value" with a name of printable ASCII other
// than "=" (0x20-0x7D), as Vorbis comments require.
bool isVorbisCommentEntry(std::string_view entry);

// The numbers of a picture as srcPictureChunkDict keeps them: 4 bytes,
// big-endian.
std::vector<std::uint8_t> pictureNumber(std::uint32_t value);
std::uint32_t pictureNumberValue(const std::map<std::string, std::vector<std::uint8_t>>& picture,
                                 const std::string& key);

// A metadata block's length field has 24 bits: an APPLICATION block holds
// at most this many chunk bytes after its 4-byte ID.
inline constexpr std::uint64_t kFlacMaxApplicationBytes = (std::uint64_t{1} << 24) - 1 - 4;

// The 8192-byte PADDING blocks that follow the ID3 and Vorbis comment
// blocks, room for taggers to grow them in place.
inline constexpr unsigned kFlacPaddingBytes = 8192;

}  // namespace auralune

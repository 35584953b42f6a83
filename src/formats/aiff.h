#pragma once

#include "formats/byte_io.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// AIFF and AIFF-C layout: the 80-bit extended sample rate and the image
// sizes, apart from the job so that they can be checked on their own.
namespace auralune {

// AIFCVersion1, the only FVER timestamp there is.
inline constexpr std::uint32_t kAifcVersion1 = 0xA2805140;

// The FORM size of a destination without audio or ID3 chunk: form type (4),
// FVER (12, AIFF-C only), COMM (32 or 26), SSND header with offset and
// block size (16) and the mark (66).
inline constexpr std::uint64_t kAifcFixedFormSize = 130;
inline constexpr std::uint64_t kAiffFixedFormSize = 112;

// The sample rate of a COMM chunk's 80-bit IEEE extended field: sign bit,
// 15-bit exponent biased by 16383, 64-bit mantissa with an explicit integer
// bit. Byte i of the mantissa is worth 2^(E - 16390 - 8i), summed in double
// precision, so unnormalised forms decode too (40 12 15 88 80 .. is 88200).
// The sign is ignored here; the reader reports it.
double decodeExtendedRate(std::span<const std::uint8_t, 10> field);

// The field written for a rate. The six rates the program writes use the
// bytes other programs expect (88200 and 96000 in their unnormalised form);
// any other whole rate is written normalised.
std::array<std::uint8_t, 10> encodeExtendedRate(double rate);

struct AiffImagePlan {
    std::uint64_t frames = 0;     // frames written
    std::uint64_t audioBytes = 0;
    std::uint64_t id3Bytes = 0;   // carried chunk size with header, 0: left out
    std::uint64_t formSize = 0;
    bool truncated = false;
};

// Sizes of an AIFF (aifc false) or AIFF-C destination of `frames` frames.
// FORM sizes are 32-bit: past 0xFFFFFFFF whole frames are cut from the end,
// as for RIFF, and an ID3 chunk that passes the limit by itself is left out.
AiffImagePlan planAiffImage(bool aifc, std::uint64_t frames, std::uint64_t bytesPerFrame, std::uint64_t id3Bytes);

}  // namespace auralune

#pragma once

#include "formats/byte_io.h"

#include <cstdint>

// RIFF/WAVE layout arithmetic, apart from the job so that the 4 GB cut can
// be checked without writing 4 GB.
namespace auralune {

// RIFF sizes are 32-bit: the whole file may not exceed 8 + 0xFFFFFFFF bytes.
inline constexpr std::uint64_t kRiffSizeLimit = 0xFFFFFFFF;
// The RIFF size of a destination without audio or carried chunks:
// "WAVE" (4) + the fmt chunk (24) + the data header (8) + the mark (66).
inline constexpr std::uint64_t kWavFixedRiffSize = 102;
inline constexpr std::size_t kWavHeaderBytes = 44;

// The RIFF size of a destination image: every chunk with its pad byte.
constexpr std::uint64_t wavRiffSize(std::uint64_t audioBytes, std::uint64_t bextBytes, std::uint64_t ixmlBytes,
                                    std::uint64_t id3Bytes)
{
    const auto padded = [](std::uint64_t n) { return n + (n & 1); };
    return kWavFixedRiffSize + padded(audioBytes) + padded(bextBytes) + padded(ixmlBytes) + padded(id3Bytes);
}

struct WavImagePlan {
    std::uint64_t frames = 0;       // frames written
    std::uint64_t audioBytes = 0;   // A
    std::uint64_t bextBytes = 0;    // carried chunk sizes, headers included
    std::uint64_t ixmlBytes = 0;
    std::uint64_t id3Bytes = 0;
    std::uint64_t riffSize = 0;
    bool truncated = false;         // audio cut to keep within the limit
    bool metadataDropped = false;   // the carried chunks alone passed the limit
};

// Sizes of a destination image of `frames` frames of `bytesPerFrame` bytes
// with the carried chunks given. Past the 4 GB limit, whole frames are cut
// from the end: first ceiling((R - 0xFFFFFFFF) / frame size) frames, then
// one more when the pad byte of an odd audio length still overruns.
// Carried chunks that pass the limit by themselves are left out.
WavImagePlan planWavImage(std::uint64_t frames, std::uint64_t bytesPerFrame, std::uint64_t bextBytes,
                          std::uint64_t ixmlBytes, std::uint64_t id3Bytes);

struct WavFormatFields {
    std::uint16_t channels = 0;
    std::uint32_t frameRate = 0;
    std::uint16_t sampleBytes = 0;
    std::uint16_t sampleBits = 0;
};

// The 44 bytes that open a destination image: RIFF header, a 16-byte PCM
// fmt chunk and the data chunk header.
bytes::Buffer wavHeader(const WavFormatFields& format, std::uint32_t audioBytes, std::uint32_t riffSize);

}  // namespace auralune

#pragma once

#include "formats/byte_io.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The processing mark ("KEST" chunk) that every destination carries, and the
// metadata chunks rebuilt from the source's: "bext", "iXML" and "ID3 ".
namespace auralune {

// The whole mark chunk as written: 8-byte header, 16-byte version text,
// two 8-byte enhancement codes, 26-byte date text.
inline constexpr std::size_t kMarkChunkBytes = 66;
inline constexpr std::uint32_t kMarkDataBytes = 58;
inline constexpr std::size_t kMarkVersionWidth = 16;
inline constexpr std::size_t kMarkDateWidth = 26;

// Marks come in two layouts, told apart only by the version text: layout 1
// stores the enhancement codes in 4 bytes each (50 data bytes), layout 2 in
// 8 (58 data bytes). Layout 2 is chosen by a version of 3 or more, 2.x with
// x > 0, or 2.0.14 and later; anything older means layout 1. The separators
// are "v", "V", ".", "-" and space; a piece that is not a number counts as 0,
// and the text ends at a zero byte.
constexpr int markLayoutForVersion(std::string_view text)
{
    std::uint64_t numbers[3] = {0, 0, 0};
    int pieces = 0;
    std::size_t i = 0;
    while (i < text.size() && text[i] != '\0' && pieces < 3) {
        const auto isSeparator = [](char c) { return c == 'v' || c == 'V' || c == '.' || c == '-' || c == ' '; };
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        std::uint64_t value = 0;
        bool numeric = true;
        for (; i < text.size() && text[i] != '\0' && !isSeparator(text[i]); ++i) {
            if (text[i] < '0' || text[i] > '9')
                numeric = false;
            else if (value < 1'000'000)
                value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        }
        numbers[pieces++] = numeric ? value : 0;
    }
    const auto [major, minor, patch] = numbers;
    if (major >= 3 || (major == 2 && minor != 0) || (major == 2 && patch >= 14))
        return 2;
    return 1;
}

// The version text written into every mark. Readers pick the layout from it,
// and since marks are always written in layout 2 it must read as 2.0.14 or
// later. The program's own release numbers began again at 1.0.0, which
// would read as layout 1, so the mark carries the version of the mark format
// instead of the release number.
inline constexpr std::string_view kMarkVersionText = "v3.0.0";
static_assert(kMarkVersionText.size() <= kMarkVersionWidth);
static_assert(markLayoutForVersion(kMarkVersionText) == 2);

// Data bytes a mark of the layout occupies: 50 or 58.
constexpr std::size_t markDataBytes(int layout)
{
    return kMarkVersionWidth + (layout == 2 ? 16u : 8u) + kMarkDateWidth;
}

struct ProcessingMark {
    std::string version;   // the 16 version characters, as stored
    int layout = 2;
    std::uint64_t enhancement1 = 0;
    std::uint64_t enhancement2 = 0;
    std::string date;   // the 26 date characters, as stored
};

// Decodes the data of a mark chunk (after its 8-byte header). Nothing when
// the data is shorter than its layout needs.
std::optional<ProcessingMark> decodeProcessingMark(std::span<const std::uint8_t> data);

// The 66-byte chunk. The texts are padded with spaces (or cut) to their
// fields; the size field is big-endian for AIFF destinations.
bytes::Buffer encodeProcessingMark(std::string_view version, std::uint64_t enhancement1, std::uint64_t enhancement2,
                                   std::string_view date, bool bigEndianSize);

// Local time as "yyyy-MM-dd HH:mm:ss +hhmm" (25 characters for years 1000-9999).
std::string markDateText(std::time_t when);

// What a mark's two enhancement codes say about earlier conversions: the
// flag bits for Enhancement 1 and Enhancement 2 and the names for the
// warning text. A code outside the catalogue marks its side bad and is
// named by unknownEnhancementName.
struct PriorConversion {
    std::uint64_t flags1 = 0;
    std::uint64_t flags2 = 0;
    std::string names;
    bool badEnhancement1 = false;
    bool badEnhancement2 = false;
};
PriorConversion priorConversion(std::uint64_t enhancement1, std::uint64_t enhancement2, int layout);
// "unknown enhancement (0x...)".
std::string unknownEnhancementName(std::uint64_t code);

// Flag bits 1-53: an earlier conversion that applied an enhancement.
inline constexpr std::uint64_t kPriorEnhancementMask = 0x3FFFFFFFFFFFFE;

// Chunks that only fill space or describe the source's own layout and
// samples (a FLAC made with --keep-foreign-metadata holds the RIFF or AIFF
// headers too); the readers name every other chunk they skip as metadata
// not carried.
constexpr bool isFillerChunk(std::string_view id)
{
    constexpr std::string_view kIds[] = {"JUNK", "junk", "PAD ", "FLLR", "fact", "PEAK", "RIFF", "RF64",
                                         "ds64", "fmt ", "data", "FORM", "FVER", "COMM", "SSND"};
    for (std::string_view known : kIds)
        if (known == id)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Broadcast Wave "bext"

inline constexpr std::size_t kBextChunkBytes = 610;   // header + the fixed fields

// A loudness value in hundredths, as the signed 16-bit bext fields hold it:
// v >= 0 gives the integer part of v x 100 + 0.5 kept to 15 bits, v < 0 the
// negative of that of -v, in two's complement. Values out of range saturate
// before the cut instead of overflowing.
std::uint16_t bextLoudnessField(double value);

// A loudness field that holds no measurement: 0x7FFF, +327.67, which no
// loudness, range or true peak reaches.
inline constexpr std::uint16_t kBextLoudnessNotMeasured = 0x7FFF;

struct BextLoudness {
    double loudnessValue = 0;
    double loudnessRange = 0;
    double maxTruePeakLevel = 0;
    double maxMomentaryLoudness = 0;
    double maxShortTermLoudness = 0;
    // Bit i set: the i-th value above was measured; the others are written
    // as kBextLoudnessNotMeasured.
    std::uint32_t measured = 0x1F;
};

// A stored bext chunk can be carried only when it holds every fixed field.
inline bool usableBextChunk(std::span<const std::uint8_t> chunk)
{
    return chunk.size() >= kBextChunkBytes;
}

// The destination bext chunk: a copy of a usable source chunk (size field,
// coding history and all) or, without one, a new 610-byte chunk; either way
// with Version 2 and the destination's loudness.
bytes::Buffer buildBextChunk(std::span<const std::uint8_t> source, const BextLoudness& loudness);

// A stored "iXML" or "ID3 " chunk with its header rewritten in the
// destination's byte order; empty when the stored chunk is shorter than a
// header.
bytes::Buffer rebuildChunk(std::string_view id, std::span<const std::uint8_t> stored, bool bigEndianSize);

}  // namespace auralune

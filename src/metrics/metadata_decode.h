#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Decoding of the metadata carried from a source (broadcast-wave bext, iXML,
// Vorbis comments) into the text of the source metrics report. Everything
// here works on bytes and strings only, so malformed input can be tested
// directly.
namespace auralune::metrics {

// Valid UTF-8 passes unchanged; every maximal ill-formed subsequence
// (stray continuation byte, truncated sequence, overlong form, surrogate,
// code point above U+10FFFF) becomes one U+FFFD.
std::string sanitiseUtf8(std::string_view bytes);

// A text field of a chunk: its bytes up to the first NUL (the padding of a
// fixed-width field or a terminator), never beyond the field, as sanitised
// UTF-8.
std::string fixedFieldText(std::span<const std::uint8_t> field);

// Bytes as hexadecimal data: "<" groups of four bytes separated by blanks ">",
// lower case, e.g. "<00112233 4455>".
std::string hexDescription(std::span<const std::uint8_t> bytes);

// The bext chunk, offsets from the chunk start (8-byte header included).
// The fixed part ends at 610; the coding history takes the rest.
inline constexpr std::size_t kBextDescriptionOffset = 8;
inline constexpr std::size_t kBextDescriptionBytes = 256;
inline constexpr std::size_t kBextOriginatorOffset = 264;
inline constexpr std::size_t kBextOriginatorBytes = 32;
inline constexpr std::size_t kBextOriginatorReferenceOffset = 296;
inline constexpr std::size_t kBextOriginatorReferenceBytes = 32;
inline constexpr std::size_t kBextOriginationDateOffset = 328;
inline constexpr std::size_t kBextOriginationDateBytes = 10;
inline constexpr std::size_t kBextOriginationTimeOffset = 338;
inline constexpr std::size_t kBextOriginationTimeBytes = 8;
inline constexpr std::size_t kBextTimeReferenceOffset = 346;
inline constexpr std::size_t kBextVersionOffset = 354;
inline constexpr std::size_t kBextUmidOffset = 356;
inline constexpr std::size_t kBextUmidBytes = 64;
inline constexpr std::size_t kBextLoudnessValueOffset = 420;
inline constexpr std::size_t kBextLoudnessRangeOffset = 422;
inline constexpr std::size_t kBextMaxTruePeakLevelOffset = 424;
inline constexpr std::size_t kBextMaxMomentaryLoudnessOffset = 426;
inline constexpr std::size_t kBextMaxShortTermLoudnessOffset = 428;
inline constexpr std::size_t kBextCodingHistoryOffset = 610;

struct BextInfo {
    std::string description;
    std::string originator;
    std::string originatorReference;
    std::string originationDate;
    std::string originationTime;
    std::uint64_t timeReferenceSamples = 0;   // samples since midnight
    std::uint16_t version = 0;
    std::string umidHex;
    std::int16_t loudnessValue = 0;           // LUFS x 100
    std::int16_t loudnessRange = 0;           // LU x 100
    std::int16_t maxTruePeakLevel = 0;        // dBTP x 100
    std::int16_t maxMomentaryLoudness = 0;    // LUFS x 100
    std::int16_t maxShortTermLoudness = 0;    // LUFS x 100
    std::string codingHistory;
};

// Nothing when the chunk is shorter than its 610-byte fixed part. Numbers
// are little-endian unless bigEndian (a big-endian container's header
// order).
std::optional<BextInfo> decodeBext(std::span<const std::uint8_t> chunk, bool bigEndian);

// One decoded field, shown as " <logLabel>: <value>" in the log and as
// "[<reportLabel>]: <value>" in the report.
struct LabelledValue {
    std::string_view logLabel;
    std::string_view reportLabel;
    std::string value;

    std::string logText() const;
    std::string reportLine() const;
};

// The fields of a bext chunk in report order; the time reference is shown
// with the source frame rate.
std::vector<LabelledValue> bextFields(const BextInfo& info, double frameRate);

// The text of an iXML chunk (bytes 8 to the end, up to a NUL terminator, as
// sanitised UTF-8); nothing when the chunk is shorter than its 8-byte header.
std::optional<std::string> ixmlText(std::span<const std::uint8_t> chunk);

// The report lines of the Vorbis comments: each non-empty comment as
// sanitised UTF-8, in order. A comment without "=" is shown as it is.
std::vector<std::string> vorbisCommentLines(const std::vector<std::string>& comments);

}  // namespace auralune::metrics

#include "metrics/metadata_decode.h"

#include "engine/text_format.h"

#include <algorithm>

namespace auralune::metrics {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";   // U+FFFD

std::uint64_t readUnsigned(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width,
                           bool bigEndian)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t index = bigEndian ? offset + i : offset + width - 1 - i;
        value = (value << 8) | bytes[index];
    }
    return value;
}

std::int16_t readInt16(std::span<const std::uint8_t> bytes, std::size_t offset, bool bigEndian)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(readUnsigned(bytes, offset, 2, bigEndian)));
}

}  // namespace

std::string sanitiseUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        // Continuation bytes and the range allowed for the first of them,
        // which excludes overlong forms, surrogates and values past U+10FFFF.
        std::size_t continuation = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuation = 1;
        } else if (lead == 0xE0) {
            continuation = 2;
            low = 0xA0;
        } else if (lead == 0xED) {
            continuation = 2;
            high = 0x9F;
        } else if (lead >= 0xE1 && lead <= 0xEF) {
            continuation = 2;
        } else if (lead == 0xF0) {
            continuation = 3;
            low = 0x90;
        } else if (lead >= 0xF1 && lead <= 0xF3) {
            continuation = 3;
        } else if (lead == 0xF4) {
            continuation = 3;
            high = 0x8F;
        } else {
            out.append(kReplacementCharacter);
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        std::size_t matched = 0;
        while (matched < continuation && next < bytes.size()) {
            const auto byte = static_cast<unsigned char>(bytes[next]);
            if (byte < low || byte > high)
                break;
            low = 0x80;
            high = 0xBF;
            ++matched;
            ++next;
        }
        if (matched == continuation)
            out.append(bytes.substr(i, continuation + 1));
        else
            out.append(kReplacementCharacter);
        i = next;
    }
    return out;
}

std::string fixedFieldText(std::span<const std::uint8_t> field)
{
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    const std::string_view raw(reinterpret_cast<const char*>(field.data()),
                               static_cast<std::size_t>(end - field.begin()));
    return sanitiseUtf8(raw);
}

std::string hexDescription(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 + bytes.size() * 2 + bytes.size() / 4);
    text.push_back('<');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0 && i % 4 == 0)
            text.push_back(' ');
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    text.push_back('>');
    return text;
}

std::optional<BextInfo> decodeBext(std::span<const std::uint8_t> chunk, bool bigEndian)
{
    if (chunk.size() < kBextCodingHistoryOffset)
        return std::nullopt;
    BextInfo info;
    info.description = fixedFieldText(chunk.subspan(kBextDescriptionOffset, kBextDescriptionBytes));
    info.originator = fixedFieldText(chunk.subspan(kBextOriginatorOffset, kBextOriginatorBytes));
    info.originatorReference =
        fixedFieldText(chunk.subspan(kBextOriginatorReferenceOffset, kBextOriginatorReferenceBytes));
    info.originationDate = fixedFieldText(chunk.subspan(kBextOriginationDateOffset, kBextOriginationDateBytes));
    info.originationTime = fixedFieldText(chunk.subspan(kBextOriginationTimeOffset, kBextOriginationTimeBytes));
    info.timeReferenceSamples = readUnsigned(chunk, kBextTimeReferenceOffset, 8, bigEndian);
    info.version = static_cast<std::uint16_t>(readUnsigned(chunk, kBextVersionOffset, 2, bigEndian));
    info.umidHex = hexDescription(chunk.subspan(kBextUmidOffset, kBextUmidBytes));
    info.loudnessValue = readInt16(chunk, kBextLoudnessValueOffset, bigEndian);
    info.loudnessRange = readInt16(chunk, kBextLoudnessRangeOffset, bigEndian);
    info.maxTruePeakLevel = readInt16(chunk, kBextMaxTruePeakLevelOffset, bigEndian);
    info.maxMomentaryLoudness = readInt16(chunk, kBextMaxMomentaryLoudnessOffset, bigEndian);
    info.maxShortTermLoudness = readInt16(chunk, kBextMaxShortTermLoudnessOffset, bigEndian);
    info.codingHistory = fixedFieldText(chunk.subspan(kBextCodingHistoryOffset));
    return info;
}

std::string LabelledValue::logText() const
{
    std::string text;
    text.append(" ").append(logLabel).append(": ").append(value);
    return text;
}

std::string LabelledValue::reportLine() const
{
    std::string text;
    text.append("[").append(reportLabel).append("]: ").append(value);
    return text;
}

std::vector<LabelledValue> bextFields(const BextInfo& info, double frameRate)
{
    return {
        {"Description", "Description", info.description},
        {"Originator", "Originator", info.originator},
        {"OriginatorReference", "OriginatorReference", info.originatorReference},
        {"OriginationDate", "OriginationDate", info.originationDate},
        {"OriginationTime", "OriginationTime", info.originationTime},
        {"TimeReference", "TimeReference",
         formatText("%llu (samples @ %.0fHz)", static_cast<unsigned long long>(info.timeReferenceSamples),
                    frameRate)},
        {"Version", "Version", formatText("%u", unsigned{info.version})},
        {"SMPTE_UMID[64]", "SMPTE_UMID", info.umidHex},
        {"LoudnessValue", "LoudnessValue", formatText("%i (LUFS x 100)", int{info.loudnessValue})},
        {"LoudnessRange", "LoudnessRange", formatText("%i (LU x 100)", int{info.loudnessRange})},
        {"MaxTruePeakLevel", "MaxTruePeakLevel", formatText("%i (dBTP x 100)", int{info.maxTruePeakLevel})},
        {"MaxMomentaryLoudness", "MaxMomentaryLoudness",
         formatText("%i (LUFS x 100)", int{info.maxMomentaryLoudness})},
        {"MaxShortTermLoudness", "MaxShortTermLoudness",
         formatText("%i (LUFS x 100)", int{info.maxShortTermLoudness})},
        {"CodingHistory", "CodingHistory", info.codingHistory},
    };
}

std::optional<std::string> ixmlText(std::span<const std::uint8_t> chunk)
{
    constexpr std::size_t kHeaderBytes = 8;
    if (chunk.size() < kHeaderBytes)
        return std::nullopt;
    return fixedFieldText(chunk.subspan(kHeaderBytes));
}

std::vector<std::string> vorbisCommentLines(const std::vector<std::string>& comments)
{
    std::vector<std::string> lines;
    lines.reserve(comments.size());
    for (const std::string& comment : comments) {
        if (!comment.empty())
            lines.push_back(sanitiseUtf8(comment));
    }
    return lines;
}

}  // namespace auralune::metrics

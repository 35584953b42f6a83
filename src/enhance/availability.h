#pragma once

#include "engine/catalogue.h"
#include "formats/file_formats.h"

#include <cstdint>

namespace auralune {

// Whether every routine an enhancement type needs has been written. Front
// ends refuse the other catalogue types ("not available yet") before a job
// is converted, so the dispatcher never meets them. False for any value
// outside the catalogue.
bool enhancementAvailable(EnhancementCode code);

// The available types as a mask, for filtering popups and listings.
EnhancementMask availableEnhancementsMask();

// Output formats whose writers exist: "Unchanged" and every format of the
// file format table with a writer (the WAV channel picks are WAV).
constexpr bool outputFormatAvailable(std::uint32_t tag)
{
    if (tag == 1)
        return true;
    for (const FileFormat& format : kFileFormats)
        if (format.writer && (static_cast<std::uint32_t>(format.fileType) == tag ||
                              (format.fileType == kFileWav && tag >= kFileWavFrontPair && tag <= kFileWavSurroundRight)))
            return true;
    return false;
}

}  // namespace auralune

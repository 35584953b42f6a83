#pragma once

#include "engine/catalogue.h"

#include <cstdint>

namespace auralune {

// Whether every routine an enhancement type needs has been written. Front
// ends refuse the other catalogue types ("not available yet") before a job
// is converted, so the dispatcher never meets them. False for any value
// outside the catalogue.
bool enhancementAvailable(EnhancementCode code);

// The available types as a mask, for filtering popups and listings.
EnhancementMask availableEnhancementsMask();

// Output formats whose writers exist: AIFF (4), AIFF-C (8) and FLAC (16)
// destinations are not written yet.
constexpr bool outputFormatAvailable(std::uint32_t tag)
{
    return tag != 4 && tag != 8 && tag != 16;
}

// Wow detection and correction in the phonograph chain has not been written
// yet: front ends refuse to turn "UseWowCorrection" on.
inline constexpr bool kWowCorrectionAvailable = false;

// R128 loudness measurement and adjustment of a conversion (and the
// broadcast-wave loudness metadata it feeds) have not been written yet.
inline constexpr bool kLoudnessAvailable = false;

}  // namespace auralune

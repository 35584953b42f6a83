#pragma once

#include "enhance/stage_support.h"

#include <array>

namespace auralune {

// The KESTRALIN cross-feed's high-pass h[n] = a·x[n] − a·x[n−1] + c·h[n−1],
// rows in the order of kStageRates. The poles c are a bilinear first-order
// high-pass at 530 Hz; the a values are the design's own, slightly below
// (1 + c)/2 (0.003 dB low in the pass band), and are used as they stand.
inline constexpr std::array<FirstOrderCoeffs, 4> kKestralinHighPass{{
    {0.9633010892879788, 0.9272017776140402},
    {0.9664567256528063, 0.9329230491842609},
    {0.9813193389946383, 0.9629391320753141},
    {0.9827453784941348, 0.965899606046072},
}};

// The same section for T-Sym: bilinear first-order high-pass at 822 Hz.
inline constexpr std::array<FirstOrderCoeffs, 4> kKestralinTSymHighPass{{
    {0.944589788684716, 0.8892438351211535},
    {0.9488456368556549, 0.8978001580638825},
    {0.9715299563053935, 0.9430923475375605},
    {0.973771191504174, 0.9475972145906227},
}};

// Cross-feed depth g: above the corner the side signal is scaled by 1 − 2g.
struct KestralinVariant {
    EnhancementCode code;
    std::string_view displayName;
    double depth;
    std::uint32_t stageChannels;   // 6: the front pair of a surround up-mix
};

inline constexpr std::array<KestralinVariant, 4> kKestralinVariants{{
    {0x2, "KESTRALIN", 0.16, 2},
    {0x8, "Bride of KESTRALIN", 0.12, 2},
    {0x400, "Lumora 40 Surround", 0.12, 6},
    {0x80000000, "Cinema Surround 4.0", 0.12, 6},
}};

inline constexpr EnhancementCode kKestralinTSymCode = 0x100000000;
inline constexpr double kKestralinTSymDepth = 0.06;

}  // namespace auralune

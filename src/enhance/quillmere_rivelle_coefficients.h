#pragma once

#include "enhance/stage_support.h"

#include <array>
#include <string_view>

namespace auralune {

// Quillmere's headphone cross-feed, rows in the order of kStageRates: the
// own channel's high-pass (bilinear first order at 530 Hz, the KESTRALIN
// section) and the opposite channel's low-pass y[n] = a·(x[n] + x[n−1]) +
// c·y[n−1] (bilinear first order at 1 kHz, 0.002 dB over the design).
struct QuillmereCoeffs {
    FirstOrderCoeffs highPass;
    FirstOrderCoeffs lowPass;
};

inline constexpr std::array<QuillmereCoeffs, 4> kQuillmereCrossFeed{{
    {{0.9633010892879788, 0.9272017776140402}, {0.06661340372007263, 0.8667884394996352}},
    {{0.9664567256528063, 0.9329230491842609}, {0.06152655044462871, 0.8769764629927569}},
    {{0.9813193389946383, 0.9629391320753141}, {0.03441182321438735, 0.931184116890369}},
    {{0.9827453784941348, 0.965899606046072}, {0.031706389159147565, 0.9366022079920614}},
}};

// Left out = 0.63·L + 0.32·HP(L) + 0.45·LP(R delayed by 0.4 ms), and the
// mirror for the right.
inline constexpr double kQuillmereDirectGain = 0.63;
inline constexpr double kQuillmereHighPassGain = 0.32;
inline constexpr double kQuillmereCrossGain = 0.45;
inline constexpr double kQuillmereCrossDelaySeconds = 0.0004;   // 18 frames at 44.1 kHz

// The reverberation's echo filter: high-pass then low-pass, first order.
// One set serves 44.1 and 48 kHz, the other 88.2 and 96 kHz: 180 Hz and
// 3 kHz at 48/96 kHz, 165 Hz and 2756 Hz at 44.1/88.2 kHz.
inline constexpr std::array<QuillmereCoeffs, 2> kQuillmereReverbEcho{{
    {{0.9883274, 0.97671134}, {0.1659107, 0.6681786}},
    {{0.9941298, 0.98828788}, {0.0896606, 0.82067879}},
}};
inline constexpr double kQuillmereReverbLeftDelaySeconds = 0.018;
inline constexpr double kQuillmereReverbRightDelaySeconds = 0.02;
inline constexpr double kQuillmereReverbGain = 0.4;

// Rivelle's side low-pass y[n] = a·(x[n] + x[n−1]) + c·y[n−1]: bilinear
// first order at 160 Hz, DC gain 2a/(1 − c) = 1.003 at 44.1 kHz.
inline constexpr std::array<FirstOrderCoeffs, 4> kRivelleSideLowPass{{
    {0.011303481165654728, 0.9774598014411536},
    {0.010413193155793463, 0.9792723507257841},
    {0.0056834951918209396, 0.9886663992930564},
    {0.005233450566265294, 0.989582475318754},
}};
// Low side frequencies gain 1 + 2.981 = 3.981 (+12 dB).
inline constexpr double kRivelleSideBoost = 2.981;

// Blend of the shuffled signal with the untouched one.
struct RivelleVariant {
    EnhancementCode code;
    std::string_view displayName;
    double processedGain;
    double directGain;
};

inline constexpr std::array<RivelleVariant, 3> kRivelleVariants{{
    {0x4, "KESTRALIN KS1", 0.4125, 0.5875},
    {0x10, "Rivelle", 1.0, 0.0},
    {0x20, "Tessalin", 0.4125, 0.5875},
}};

}  // namespace auralune

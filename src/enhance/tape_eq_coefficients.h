#pragma once

#include "enhance/stage_support.h"

#include <array>
#include <string_view>

namespace auralune {

// One tape EQ conversion per channel: s1 = S1(x), t = e·x + d·s1,
// s2 = S2(t), out = m·t + k·s2, with the first-order sections
// S1: y[n] = a·x[n] + b·x[n−1] + c·y[n−1] and S2: y[n] = f·t[n] + g·t[n−1] + h·y[n−1].
struct TapeEqCoeffs {
    double a, b, c;   // S1
    double d, e;
    double f, g, h;   // S2, always a high-pass
    double k, m;
};

// The two sections of a conversion at one rate: S1 (a, b, c) and S2 (f, g, h).
struct TapeEqSections {
    double a, b, c;
    double f, g, h;
};

struct TapeEqConversion {
    EnhancementCode code;
    std::string_view displayName;
    double d, e, k, m;
    std::array<TapeEqSections, 4> byRate;   // in the order of kStageRates

    constexpr TapeEqCoeffs at(std::size_t row) const
    {
        const TapeEqSections& s = byRate[row];
        return {s.a, s.b, s.c, d, e, s.f, s.g, s.h, k, m};
    }
};

// Bilinear sections with pre-warping (K = tan(π·corner/rate)), to 12
// decimal places. The time constants behind the corners: 50 µs is
// 3183 Hz, 35 µs 4547 Hz, 70 µs 2274 Hz, 3180 µs 50 Hz.
inline constexpr std::array<TapeEqConversion, 4> kTapeEqConversions{{
    // x + 2·(19.9 Hz low-pass): +9.5 dB below about 60 Hz (the 3180 µs bass
    // of NAB, held to a shelf); t − 0.3·(3183 Hz high-pass): 35 µs instead of 50 µs.
    {0x2000000000000, "Tape EQ A (15 ips CCIR > NAB)", 2.0, 1.0, -0.3, 1.0,
     {{
        {0.001415628884, 0.001415628884, 0.997168742232, 0.812533738387, -0.812533738387, 0.625067476773},
        {0.001300758514, 0.001300758514, 0.997398482971, 0.825495311060, -0.825495311060, 0.650990622119},
        {0.000708315442, 0.000708315442, 0.998583369115, 0.897776117364, -0.897776117364, 0.795552234729},
        {0.000650802250, 0.000650802250, 0.998698395500, 0.905352790757, -0.905352790757, 0.810705581515},
     }}},
    // 50 Hz high-pass (the 3180 µs bass undone); t + 0.428·(4547 Hz
    // high-pass): 50 µs instead of 35 µs.
    {0x4000000000000, "Tape EQ B (15 ips NAB > CCIR)", 1.0, 0.0, 0.428, 1.0,
     {{
        {0.996450730687, -0.996450730687, 0.992901461374, 0.748646273534, -0.748646273534, 0.497292547067},
        {0.996738170321, -0.996738170321, 0.993476340643, 0.765281306177, -0.765281306177, 0.530562612354},
        {0.998222216045, -0.998222216045, 0.996444432091, 0.859556570479, -0.859556570479, 0.719113140958},
        {0.998366425299, -0.998366425299, 0.996732850598, 0.869634590069, -0.869634590069, 0.739269180138},
     }}},
    // The bass shelf of A; t + 0.4·(3183 Hz high-pass): 70 µs instead of 50 µs.
    {0x8000000000000, "Tape EQ C (7.5 ips CCIR > NAB)", 2.0, 1.0, 0.4, 1.0,
     {{
        {0.001415628884, 0.001415628884, 0.997168742232, 0.812533738387, -0.812533738387, 0.625067476773},
        {0.001300758514, 0.001300758514, 0.997398482971, 0.825495311060, -0.825495311060, 0.650990622119},
        {0.000708315442, 0.000708315442, 0.998583369115, 0.897776117364, -0.897776117364, 0.795552234729},
        {0.000650802250, 0.000650802250, 0.998698395500, 0.905352790757, -0.905352790757, 0.810705581515},
     }}},
    // The 50 Hz high-pass of B; t − 0.286·(2274 Hz high-pass): 50 µs instead of 70 µs.
    {0x10000000000000, "Tape EQ D (7.5 ips NAB > CCIR)", 1.0, 0.0, -0.286, 1.0,
     {{
        {0.996450730687, -0.996450730687, 0.992901461374, 0.859529551983, -0.859529551983, 0.719059103967},
        {0.996738170321, -0.996738170321, 0.993476340643, 0.869609285825, -0.869609285825, 0.739218571649},
        {0.998222216045, -0.998222216045, 0.996444432091, 0.924919543485, -0.924919543485, 0.849839086970},
        {0.998366425299, -0.998366425299, 0.996732850598, 0.930618527541, -0.930618527541, 0.861237055082},
     }}},
}};

}  // namespace auralune

#pragma once

#include "dsp/filter_primitives.h"

#include <array>
#include <optional>

namespace auralune {

// The fixed filters of the surround derivation, one set for 44.1 and
// 48 kHz and one for their doubles.
struct LumoraFilters {
    // Centre high-pass y = a·x[n] − a·x[n−1] + c·y[n−1]: 2 kHz at 44.1 and 96 kHz.
    double centreA = 0, centreC = 0;
    // LFE low-pass: 2nd-order Butterworth, 40 Hz at 48 and 96 kHz (37 Hz at
    // 44.1 and 88.2 kHz); b2 = b0, feedback terms added.
    BiquadCoeffs lfe;
    // Surround low-pass y = a·(x[n] + x[n−1]) + c·y[n−1]: 5 kHz at 44.1 and 96 kHz.
    double surroundA = 0, surroundC = 0;
};

inline constexpr LumoraFilters kLumoraFiltersSingleRate{
    0.8745338513477726, 0.7490960131109649,
    {6.828590394e-06, 1.3657180788e-05, 6.828590394e-06, 1.99259411862793, -0.992621432989502},
    0.27116829175956925, 0.4576634164927145};
inline constexpr LumoraFilters kLumoraFiltersDoubleRate{
    0.9384734533422353, 0.8769764629982587,
    {1.710305414e-06, 3.420610827e-06, 1.710305414e-06, 1.996297044647, -0.996303885868655},
    0.1417090336088375, 0.7165898660956543};

constexpr std::optional<LumoraFilters> lumoraFilters(double rate)
{
    if (rate == 44100 || rate == 48000)
        return kLumoraFiltersSingleRate;
    if (rate == 88200 || rate == 96000)
        return kLumoraFiltersDoubleRate;
    return std::nullopt;
}

// Surround delays: 12 ms for Lumora, 20 ms for the cinema decode.
inline constexpr double kLumoraDelaySeconds = 0.012;
inline constexpr double kCinemaDelaySeconds = 0.02;

// −3 dB, the headphone fold-down of the five feeds to two.
inline constexpr double kFoldDownGain = 0.7079457843841379;

// The surround level of the loudspeaker variants follows the source's
// channel correlation (dB): 0.35 up to 3 dB, rising linearly to 1.0 at 6 dB.
constexpr double surroundLevelFromCorrelation(double cccDb)
{
    const double k = ((cccDb - 3.0) * 0.65) / 3.0 + 0.35;
    return k < 0.35 ? 0.35 : (k > 1.0 ? 1.0 : k);
}

}  // namespace auralune

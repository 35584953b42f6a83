#pragma once

#include <array>
#include <cstddef>
#include <optional>

namespace auralune {

// One second-order all-pass section of the quadrature network:
// y[n] = b0·x[n] + b1·x[n−1] + x[n−2] − b1·y[n−1] − b0·y[n−2]
// (the biquad with b2 = 1 and the feedback terms c1 = −b1, c2 = −b0 added).
struct AllPassCoeffs {
    double b0 = 0;
    double b1 = 0;
};

// The network at one rate: the quadrature path AP0 and the in-phase path
// AP1, whose output lags AP0's by 90° ± 13° from 200 Hz to 10 kHz.
struct QuadratureNetwork {
    AllPassCoeffs ap0;
    AllPassCoeffs ap1;
};

// The all-pass section whose two real poles are the bilinear images
// (2·fs − w)/(2·fs + w) of the analog poles −w1 and −w2 (rad/s) at `rate`.
constexpr AllPassCoeffs allPassFromAnalogPoles(double w1, double w2, double rate)
{
    const double p1 = (2 * rate - w1) / (2 * rate + w1);
    const double p2 = (2 * rate - w2) / (2 * rate + w2);
    return {p1 * p2, -(p1 + p2)};
}

// The analog poles (rad/s) of the 96 kHz AP0 section below, taken back
// through the bilinear transform: about 628 Hz and 14.4 kHz. The 88.2 kHz
// AP0 section is designed from them; with the given 88.2 kHz AP1 its phase
// difference stays within 88°-103° from 200 Hz to 10 kHz.
inline constexpr double kAp0PoleLowRadPerS = 3946.8197375216632;
inline constexpr double kAp0PoleHighRadPerS = 90604.92748535583;

// The stage rates with a network: 44.1 and 48 kHz and their doubles.
inline constexpr std::array<double, 4> kQuadratureRates{44100, 48000, 88200, 96000};

// AP0 and AP1 per rate, in the order of kQuadratureRates.
inline constexpr std::array<QuadratureNetwork, 4> kQuadratureNetworks{{
    {{-0.017839926949562, -0.89380015125956}, {0.697873257387445, -1.69356685937556}},
    {{0.022124612479127, -0.944320009145496}, {0.718939881911275, -1.71525949967588}},
    {allPassFromAnalogPoles(kAp0PoleLowRadPerS, kAp0PoleHighRadPerS, 88200),
     {0.836499088847183, -1.83533421906335}},
    {{0.344333742968044, -1.31850274705244}, {0.848774486170502, -1.84778462915723}},
}};

constexpr std::optional<QuadratureNetwork> quadratureNetwork(double rate)
{
    for (std::size_t i = 0; i < kQuadratureRates.size(); ++i)
        if (kQuadratureRates[i] == rate)
            return kQuadratureNetworks[i];
    return std::nullopt;
}

// Ambisonic UHJ decode gains: W and X/Y to the front pair (fw, fx) and to
// the rear pair (rw, rx); regime 1 also delays the rear pair by 12 ms.
struct UhjRegime {
    double fw = 0;
    double fx = 0;
    double rw = 0;
    double rx = 0;
    bool rearDelay = false;
};

// Regimes 1 to 5, in order.
inline constexpr std::array<UhjRegime, 5> kUhjRegimes{{
    {0.414, 0.293, 0.414, 0.293, true},
    {0.334, 0.333, 0.5, 0.25, false},
    {0.414, 0.293, 0.414, 0.293, false},
    {0.334, 0.333, 0.334, 0.333, false},
    {0.5, 0.25, 0.5, 0.25, false},
}};

}  // namespace auralune

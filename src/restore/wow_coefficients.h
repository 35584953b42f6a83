#pragma once

#include "dsp/filter_primitives.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace auralune::wow {

// The fixed filters of the wow detector. The coefficients do not depend on
// the frame rate: the corners given below hold at 44.1 kHz and scale with
// the rate. One set serves 33⅓ and 45 rpm, the other 78 rpm.
enum class SpeedColumn : std::size_t { Slow, Fast78 };

// The detector's filters for one speed column (b0, b1, b2, d1, d2 with the
// feedback terms added, as `biquad` takes them).
struct DetectorFilters {
    // Second-order high-pass, 5.5 kHz (33/45) or 2.3 kHz (78), four passes:
    // isolates the groove's top octave, whose level an off-centre record
    // swings between the channels once per revolution.
    BiquadCoeffs highBand;
    // First-order high-pass (b2 = d2 = 0), once each way.
    BiquadCoeffs highBandEdge;
    // Gain after the envelope follower: × 100 (33/45) or × 20 (78).
    double envelopeGain;
    // Second-order high-pass at the decimated rate, 0.07 Hz (33/45) or
    // 0.18 Hz (78): removes the steady left/right imbalance.
    BiquadCoeffs drift;
};

inline constexpr std::array<DetectorFilters, 2> kDetector{{
    {{0.569006947223909, -1.13801389444782, 0.569006947223909, 0.94276157849862, -0.333266210397016},
     {0.40054381631, -0.40054381631, 0, 0.19891236738, 0},
     100.0,
     {0.99964365346804, -1.99928730693608, 0.99964365346804, 1.99928717999156, -0.9992874338806}},
    {{0.793159098357017, -1.58631819671403, 0.793159098357017, 1.54307796944352, -0.629558423984544},
     {0.565826248794, -0.565826248794, 0, 0.131652497587, 0},
     20.0,
     {0.99911168411239, -1.99822336822478, 0.99911168411239, 1.99822257935761, -0.998224157091953}},
}};

inline constexpr const DetectorFilters& detectorFilters(SpeedColumn column)
{
    return kDetector[static_cast<std::size_t>(column)];
}

// Envelope follower after rectification: second-order low-pass of about
// 23 Hz, once each way.
inline constexpr BiquadCoeffs kEnvelope{2.67111726e-6, 5.34223452e-6, 2.67111726e-6, 1.99537130941332,
                                        -0.995381993882358};
// Second-order low-pass of about 1.15 Hz at the 48-fold decimated rate,
// four passes.
inline constexpr BiquadCoeffs kRevolutionLowPass{1.5335995576e-5, 3.0671991152e-5, 1.5335995576e-5,
                                                 1.98889124687981, -0.98895259086211};
// 33/45 only: second-order low-pass of about 0.45 Hz at the 1536-fold
// decimated rate, four passes.
inline constexpr BiquadCoeffs kSlowLowPass{0.001832574276561, 0.003665148553122, 0.001832574276561,
                                           1.88857143080641, -0.895901727912657};

// Gains of the chain: before rectification and after the left-minus-right.
inline constexpr double kHighBandGain = 4.0;
inline constexpr double kDifferenceGain = 4.0;

// Decimation factors: the control signal is formed at 1/48 of the frame
// rate, and for 33/45 rpm a further 1/32 (1/1536 in all).
inline constexpr std::uint32_t kFirstDecimation = 48;
inline constexpr std::uint32_t kSecondDecimation = 32;

// 63-tap symmetric low-pass FIRs, each summing to 1.0, given by taps 0-31
// (31 is the centre; tap k equals tap 62 − k).
inline constexpr std::size_t kFirTaps = 63;
using FirHalf = std::array<double, 32>;
using Fir = std::array<double, kFirTaps>;

constexpr Fir symmetricFir(const FirHalf& half)
{
    Fir taps{};
    for (std::size_t k = 0; k < half.size(); ++k)
        taps[k] = taps[kFirTaps - 1 - k] = half[k];
    return taps;
}

// Table A: anti-aliasing before the 48-fold decimation.
inline constexpr Fir kFirA = symmetricFir({
    0.006699365516731748, 0.007347107607759471, 0.008006363031916024, 0.008675168608114216,
    0.009351458797139346, 0.010033073381170298, 0.010717765966651159, 0.01140321329183338,
    0.012087025314391783, 0.012766756048431294, 0.013439915113952964, 0.014103979955499413,
    0.014756408680355994, 0.015394653460455553, 0.01601617443626003,  0.016618454055706326,
    0.017199011777372365, 0.017755419065279665, 0.01828531460483972,  0.01878641967824088,
    0.01925655365847393,  0.01969364962462191,  0.020095770188415327, 0.020461123799864585,
    0.020788082176540615, 0.02107520035238839,  0.02132124294536209,  0.021525226107056424,
    0.021686503928930984, 0.02180500932944109,  0.021882274776744166, 0.021932629440117923,
});

// Table B: anti-aliasing before the further 32-fold decimation (33/45).
inline constexpr Fir kFirB = symmetricFir({
    0.003544687396639519, 0.004294036996623897, 0.005075318578574627, 0.005886013301876119,
    0.006723320987313506, 0.0075841689201054975, 0.008465223159091602, 0.009362902378893893,
    0.010273394253024124, 0.01119267436591963,  0.012116527620658095, 0.013040572086523953,
    0.013960285206548946, 0.014871032259465448, 0.015768096943080546, 0.016646713916770896,
    0.01750210310963586,  0.018329505567927472, 0.019124220581103198, 0.019881643790954917,
    0.0205973059542171,   0.021266911998447314, 0.02188637998886283,  0.022451879620391958,
    0.022959869887179372, 0.023407135717077778, 0.023790823746636193, 0.024108478550946503,
    0.024358084454341615, 0.024538134161683673, 0.024647847878079394, 0.024689413242809127,
});

// Zero crossings per minute of the control signal (two per revolution) at
// 33⅓, 45 and 78 rpm; any rotational speed other than 1 or 2 counts as 78.
constexpr double crossingsPerMinute(int rotationalSpeed)
{
    return rotationalSpeed == 1 ? 66.66666666666667 : rotationalSpeed == 2 ? 90.0 : 156.0;
}

}  // namespace auralune::wow

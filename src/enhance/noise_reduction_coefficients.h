#pragma once

#include "dsp/filter_primitives.h"
#include "enhance/stage_support.h"

#include <array>

namespace auralune {

// Cassette decoder side-chain: bilinear first-order high-pass at 1500 Hz,
// h[n] = a·x[n] − a·x[n−1] + c·h[n−1], rows in the order of kStageRates.
inline constexpr std::array<FirstOrderCoeffs, 4> kCassetteSideChain{{
    {0.903125787382, 0.806251574764},
    {0.910339395414, 0.820678790829},
    {0.949235508164, 0.898471016327},
    {0.95317358451, 0.906347169019},
}};

// Cat 22 decoder side-chain bands, second-order sections with the feedback
// terms added (b2 = b0), rows in the order of kStageRates.
struct Cat22Bands {
    BiquadCoeffs band1HighPass;   // −3 dB at 81 Hz
    BiquadCoeffs band1LowPass;    // −3 dB at 3002 Hz (2996 Hz at 88.2/96 kHz)
    BiquadCoeffs band2HighPass;   // −3 dB at 3038 Hz
};

inline constexpr std::array<Cat22Bands, 4> kCat22SideChain{{
    {{0.991892227898314, -1.98378445579663, 0.991892227898314, 1.98372002308229, -0.983848888510962},
     {0.034784846557547, 0.069569693115095, 0.034784846557547, 1.40745715860903, -0.546596544839218},
     {0.736842990074009, -1.47368598014802, 0.736842990074009, 1.4042736459936, -0.54309831430243}},
    {{0.992548475142328, -1.98509695028466, 0.992548475142328, 1.98504252672996, -0.985151373839347},
     {0.029953618731641, 0.059907237463282, 0.029953618731641, 1.45419681112249, -0.574011286049052},
     {0.755442973389398, -1.5108859467788, 0.755442973389398, 1.45110603714963, -0.570665856407963}},
    {{0.995937700002019, -1.99187540000404, 0.995937700002019, 1.99185922639026, -0.991891573617815},
     {0.009891362752989, 0.019782725505978, 0.009891362752989, 1.69957498223399, -0.739140433245947},
     {0.858559037177629, -1.71711807435526, 0.858559037177629, 1.69736111780491, -0.736875030905607}},
    {{0.996267132785359, -1.99253426557072, 0.996267132785359, 1.99252060889376, -0.992547922247672},
     {0.008442538351666, 0.016885076703332, 0.008442538351666, 1.72374461211416, -0.757514765520822},
     {0.869260929706927, -1.73852185941385, 0.869260929706927, 1.72165722982882, -0.75538648899889}},
}};

// Unlimiting: bilinear first-order high-pass at 10 Hz, run twice.
inline constexpr std::array<FirstOrderCoeffs, 4> kUnlimitingHighPass{{
    {0.999288127716, 0.998576255432},
    {0.999345929525, 0.99869185905},
    {0.999643937168, 0.999287874335},
    {0.999672857811, 0.999345715621},
}};

// The side-chain limiter's gain recovers at 192 dB per second.
inline constexpr double kLimiterReleaseDbPerSecond = 192;
// The cassette threshold sits 20 dB under the programme's peak.
inline constexpr double kCassetteThresholdOfPeak = 0.1;
// How much of the limited side-chain the decoders take away.
inline constexpr double kCassetteSideChainDepth = 0.5;
inline constexpr double kCat22SideChainDepth = 0.7;
// The Cat 22 threshold sits this far under the recording's calibration tone.
inline constexpr double kCat22ThresholdBelowToneDb = 22;

}  // namespace auralune

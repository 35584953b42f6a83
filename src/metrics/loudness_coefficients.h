#pragma once

#include <array>

namespace auralune::metrics {

// K-weighting of ITU-R BS.1770: a high shelf (about +4 dB above 1.5 kHz)
// followed by the revised low-frequency B-curve high-pass (corner about
// 38 Hz), both second order, one row per rate. The feedback coefficients
// a1, a2 are subtracted:
//   y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2].
// The high-pass has b2 = b0.
struct KWeightingRow {
    double rateHz;
    double shelfB0, shelfB1, shelfB2, shelfA1, shelfA2;
    double highPassB0, highPassB1, highPassA1, highPassA2;
};

inline constexpr std::array<KWeightingRow, 6> kKWeighting{{
    {44100, 1.53089008076, -2.65098362328, 1.16903455137, -1.66362692727, 0.71256793612, 0.99460780944,
     -1.98921561888, -1.98920104169, 0.989230196067},
    {48000, 1.53517227892, -2.69170308202, 1.19835292436, -1.69063275542, 0.732454876675, 0.995044297018,
     -1.99008859404, -1.99007628402, 0.990100904053},
    {88200, 1.55755482397, -2.90565357037, 1.3613213054, -1.83090361659, 0.844126175598, 0.997298443217,
     -1.99459688643, -1.99459323229, 0.994600540577},
    {96000, 1.55975284829, -2.9267702383, 1.37825149335, -1.8445942458, 0.855828349134, 0.997517536087,
     -1.99503507217, -1.99503198703, 0.995038157317},
    {176400, 1.57114949691, -3.03658517577, 1.46887819508, -1.91532050113, 0.91876301735, 0.998647851924,
     -1.99729570385, -1.99729478908, 0.997296618619},
    {192000, 1.57226094819, -3.04732496754, 1.47797960019, -1.92219408244, 0.925109663278, 0.998757611594,
     -1.99751522319, -1.99751445094, 0.997515995433},
}};

// True-peak interpolation: a 63-tap symmetric low-pass h (h[62 - k] = h[k],
// a 64th tap of 0), of which these are h[0..31]. Each full set sums to 1;
// as a polyphase interpolator by U it is scaled by U. Factor 4 serves
// 44.1/48 kHz, factor 2 serves 88.2/96 kHz; 176.4/192 kHz are not
// oversampled.
inline constexpr int kTruePeakTaps = 64;
inline constexpr std::array<double, 32> kTruePeakHalfFactor4{
    -0.0001733045722, 0.0001257384121, 0.0007314837464, 0.001255029153,  0.00114012092,   6.090546667e-05,
    -0.001703117211,  -0.003211142397, -0.003278326778, -0.001226820811, 0.002448199203,  0.005984888236,
    0.007077931116,   0.004191384879,  -0.002214266965, -0.009346668811, -0.01309824233,  -0.01015988649,
    -0.0002464202749, 0.01286028132,   0.02236180658,   0.02150970025,   0.007464591324,  -0.01596389993,
    -0.03838445345,   -0.04622901425,  -0.02841485621,  0.01810098863,   0.08550087132,   0.1566465885,
    0.2107334016,     0.2309130195,
};
inline constexpr std::array<double, 32> kTruePeakHalfFactor2{
    0.0002116049965,  -0.0001427312505, -0.0001679404649, 3.168020301e-05,  -3.782753118e-05, 2.040206865e-05,
    0.0003827724304,  8.472032796e-05,  -0.0007414418215, -0.0003622786851, 0.0009169170838,  0.0006619268757,
    -0.0007378427295, -0.0006298644388, 0.0002036494258,  -0.0002478901679, 0.0003649705181,  0.002511863309,
    -0.0002197699283, -0.006534144128,  -0.001854645065,  0.01232476075,    0.00757056827,    -0.01941526108,
    -0.01941703461,   0.02687888731,    0.04220653546,    -0.033503578,     -0.09193851365,   0.03807902625,
    0.3133567045,     0.4602875476,
};

// Channel weights G: mono and stereo 1.0 each; 5.1 in the order L, R, C,
// LFE, Ls, Rs leaves the LFE out and raises the surrounds by 1.5 dB (1.41).
inline constexpr std::array<double, 1> kWeightsMono{1.0};
inline constexpr std::array<double, 2> kWeightsStereo{1.0, 1.0};
inline constexpr std::array<double, 6> kWeightsSurround{1.0, 1.0, 1.0, 0.0, 1.41, 1.41};

}  // namespace auralune::metrics

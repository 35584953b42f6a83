#pragma once

#include "dsp/filter_primitives.h"

#include <array>
#include <optional>

namespace auralune {

// The four stage rates (frames per second) that hum removal and Zephra have
// coefficients for: 44.1 and 48 kHz, and their doubles after a hi-res step
// or the halving of a 176.4/192 kHz source.
inline constexpr std::array<double, 4> kHumZephraRates{44100, 48000, 88200, 96000};

// Mains hum notches: the first five harmonics of 50 Hz, then of 60 Hz, each
// a bilinear-transform notch with Q = 30 (about 1.7 Hz wide at 50 Hz). Run
// forward and backward, each notch acts twice.
inline constexpr std::array<double, 10> kHumNotchHz{50, 100, 150, 200, 250, 60, 120, 180, 240, 300};
inline constexpr double kHumNotchQ = 30;

// Bass compensation after the notches: bilinear-transform low shelf,
// corner 160 Hz, +1.5 dB, Q 0.5 (b0, b1, b2, d1, d2 with the feedback
// terms added), in the order of kHumZephraRates. Twice over, about +3 dB at
// the lowest frequencies.
inline constexpr std::array<BiquadCoeffs, 4> kHumBassShelf{{
    {1.00194875794518, -1.9567599279397, 0.955365577637668, 1.95680389381256, -0.957270369709995},
    {1.00179191154953, -1.96024181430595, 0.958918695153463, 1.96027899068181, -0.960673430327128},
    {1.00097939994447, -1.97827428588954, 0.97743498778018, 1.97828539630539, -0.978403277308796},
    {1.00090020144335, -1.98003155129283, 0.97924971402281, 1.9800409378593, -0.980140528899684},
}};

// Zephra's side-signal low-pass l[n] = p·l[n−1] + g·(x[n] + x[n−1]):
// first order, corner 150 Hz, unity gain at DC (g = (1 − p) / 2), in the
// order of kHumZephraRates.
struct ZephraCoeffs {
    double p = 0;
    double g = 0;
};
inline constexpr std::array<ZephraCoeffs, 4> kZephraLowPass{{
    {0.978853778498, 0.010573110751},
    {0.98055531891, 0.009722340545},
    {0.989370998666, 0.005314500667},
    {0.990230400896, 0.004884799552},
}};

// Row of `rate` in the tables above; nothing for any other rate.
constexpr std::optional<std::size_t> humZephraRateIndex(double rate)
{
    for (std::size_t i = 0; i < kHumZephraRates.size(); ++i)
        if (kHumZephraRates[i] == rate)
            return i;
    return std::nullopt;
}

}  // namespace auralune

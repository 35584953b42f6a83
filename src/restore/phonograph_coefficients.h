#pragma once

#include "dsp/filter_primitives.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace auralune::phonograph {

// The four frame rates the phonograph filters are designed for. Every table
// below is indexed by it, in this order.
enum class Rate : std::uint8_t { Hz44100, Hz48000, Hz88200, Hz96000 };
inline constexpr std::size_t kRateCount = 4;

constexpr std::optional<Rate> rateFor(double frameRate)
{
    if (frameRate == 44100.0)
        return Rate::Hz44100;
    if (frameRate == 48000.0)
        return Rate::Hz48000;
    if (frameRate == 88200.0)
        return Rate::Hz88200;
    if (frameRate == 96000.0)
        return Rate::Hz96000;
    return std::nullopt;
}

constexpr double rateHz(Rate rate)
{
    constexpr std::array<double, kRateCount> hz{44100.0, 48000.0, 88200.0, 96000.0};
    return hz[static_cast<std::size_t>(rate)];
}

template <class T>
using PerRate = std::array<T, kRateCount>;

template <class T>
constexpr const T& at(const PerRate<T>& table, Rate rate)
{
    return table[static_cast<std::size_t>(rate)];
}

// ---------------------------------------------------------------------------
// Equalisation sections: u[n] = p·u[n−1] + a0·x[n] + a1·x[n−1], with
// a1 = a0 for a low-pass and a1 = −a0 for a high-pass.

struct FirstOrderSet {
    double a0;
    double p;
};

// Low-pass, time constant about 3183 µs (50 Hz): the RIAA bass turnover.
inline constexpr PerRate<FirstOrderSet> kLf3180{{{0.003644580972715117, 0.9929014613741289},
                                                 {0.0033807032879983566, 0.9934763406425917},
                                                 {0.0021207423648872694, 0.9964444320905285},
                                                 {0.0020105975352899177, 0.9967328505975043}}};
// Low-pass, about 9947 µs (16 Hz): the ceramic and displacement bass section.
inline constexpr PerRate<FirstOrderSet> kLf9947{{{0.00113850967, 0.997722980659},
                                                 {0.001046102458, 0.997907795085},
                                                 {0.000569578886, 0.998860842228},
                                                 {0.000523324811, 0.998953350378}}};
// Low-pass, about 50 µs: the CD de-emphasis shelf.
inline constexpr PerRate<FirstOrderSet> kLf50{{{0.185232675136, 0.629534649728},
                                               {0.172403953007, 0.655192093986},
                                               {0.100913558303, 0.798172883394},
                                               {0.09342550353, 0.813148992939}}};
// High-pass, about 3180 µs: strain-gauge and light-valve cartridges.
inline constexpr PerRate<FirstOrderSet> kHp3180{{{0.996447901334, 0.992895802667},
                                                 {0.996735569357, 0.993471138715},
                                                 {0.998220796346, 0.996441592691},
                                                 {0.998365120573, 0.996730241146}}};
// Low-pass, about 75 µs (2122 Hz): the RIAA treble roll-off.
inline constexpr PerRate<FirstOrderSet> kHf75{{{0.13220068756758432, 0.7356154851135513},
                                               {0.12265867024262914, 0.7547176722148248},
                                               {0.07040133570726408, 0.8592065554937017},
                                               {0.06504032456203668, 0.8699380911443787}}};
// Low-pass, about 50 µs (3183 Hz).
inline constexpr PerRate<FirstOrderSet> kHf50{{{0.18746633347527722, 0.6250674767732355},
                                               {0.17450492845883434, 0.6509906221192737},
                                               {0.10230040265860627, 0.7955522347288015},
                                               {0.09477552266461532, 0.810705581514596}}};
// Low-pass, about 100 µs (1592 Hz).
inline constexpr PerRate<FirstOrderSet> kHf100{{{0.10232932888245233, 0.7954940740503977},
                                                {0.09480240519258468, 0.8106513497853371},
                                                {0.053756457306385154, 0.8925661217272313},
                                                {0.049626603811118296, 0.9008782034159841}}};
// Low-pass, about 25 µs (6366 Hz).
inline constexpr PerRate<FirstOrderSet> kHf25{{{0.32767680970323665, 0.34464638059352876},
                                               {0.30679029118621093, 0.38641941762764537},
                                               {0.18746633347527722, 0.6250674767732355},
                                               {0.17450492845883434, 0.6509906221192737}}};
// High-pass, about 75 µs: the treble sections of the P curves.
inline constexpr PerRate<FirstOrderSet> kHp75{{{0.867807742557, 0.735615485114},
                                               {0.877358836107, 0.754717672215},
                                               {0.929603277747, 0.859206555494},
                                               {0.934969045572, 0.869938091144}}};

enum class SectionSet : std::uint8_t { Off, Lf3180, Lf9947, Lf50, Hp3180, Hf75, Hf50, Hf100, Hf25, Hp75 };

// One curve: y = d2·s + m2·HF(s) with s = d1·x + m1·LF(x). The mixes hold
// one value per rate.
struct CurveDesign {
    std::uint64_t code;   // enhancement type code
    SectionSet lf;
    PerRate<double> d1, m1;
    SectionSet hf;
    PerRate<double> d2, m2;
};

// The value at 44.1 and 48 kHz, then the one at 88.2 and 96 kHz.
constexpr PerRate<double> lowHigh(double low, double high) { return {low, low, high, high}; }
constexpr PerRate<double> all(double value) { return {value, value, value, value}; }

// The bass mix m1 of a curve on the LF-3180 shelf, given at 44.1 and
// 48 kHz, with the value at 88.2 and 96 kHz that keeps the curve's bass
// where it is: the stored sections have one pole (3183 µs) at every rate
// but not one DC gain, 2·a0/(1 − p) = 1.027 at 44.1 kHz against 1.193 at
// 88.2 kHz, so one mix for all rates would give 1.1 to 1.4 dB more bass at
// the doubled rates. The mix is scaled by the ratio of the DC gains.
constexpr double lf3180DcGain(Rate rate)
{
    const FirstOrderSet& s = at(kLf3180, rate);
    return 2.0 * s.a0 / (1.0 - s.p);
}
constexpr PerRate<double> sameBassAtEveryRate(double m1)
{
    return {m1, m1, m1 * lf3180DcGain(Rate::Hz44100) / lf3180DcGain(Rate::Hz88200),
            m1 * lf3180DcGain(Rate::Hz48000) / lf3180DcGain(Rate::Hz96000)};
}

// +35 dB: the bass lift of the ceramic and displacement curves.
inline constexpr double kPlus35dB = 56.23413251903491;

// Every curve of the chain; both CD-4 codes use the RIAA row.
inline constexpr std::array<CurveDesign, 18> kCurves{{
    {0x800, SectionSet::Lf3180, all(1.0), lowHigh(8.97, 7.55), SectionSet::Hf75, lowHigh(0.1, 0.05), lowHigh(0.9, 0.95)},
    {0x1000, SectionSet::Lf3180, all(1.0), lowHigh(6.34, 5.33), SectionSet::Hf75, lowHigh(0.1, 0.05), lowHigh(0.9, 0.95)},
    {0x2000, SectionSet::Lf3180, all(1.0), lowHigh(8.97, 7.55), SectionSet::Hf50, lowHigh(0.16, 0.08), lowHigh(0.84, 0.92)},
    {0x4000, SectionSet::Lf3180, all(1.0), lowHigh(8.97, 7.55), SectionSet::Hf100, lowHigh(0.08, 0.04), lowHigh(0.92, 0.96)},
    {0x8000, SectionSet::Lf3180, all(1.0), lowHigh(6.34, 5.33), SectionSet::Hf100, lowHigh(0.08, 0.04), lowHigh(0.92, 0.96)},
    {0x10000, SectionSet::Lf3180, all(1.0), lowHigh(6.0, 5.16), SectionSet::Hf50, lowHigh(0.16, 0.08), lowHigh(0.84, 0.92)},
    {0x20000, SectionSet::Lf3180, all(1.0), sameBassAtEveryRate(6.0), SectionSet::Hf25, lowHigh(0.27, 0.14), lowHigh(0.73, 0.86)},
    {0x20000000, SectionSet::Lf3180, all(1.0), lowHigh(8.97, 7.55), SectionSet::Hf75, all(1.0), all(0.0)},
    {0x40000, SectionSet::Off, all(1.0), all(0.0), SectionSet::Off, all(1.0), all(0.0)},
    {0x4000000000, SectionSet::Lf3180, all(1.0), sameBassAtEveryRate(5.0), SectionSet::Hf25, all(1.0), all(0.0)},
    {0x8000000000, SectionSet::Lf3180, all(1.0), sameBassAtEveryRate(5.0), SectionSet::Hf25, lowHigh(0.27, 0.14), lowHigh(0.73, 0.86)},
    {0x10000000000, SectionSet::Lf3180, all(1.0), sameBassAtEveryRate(5.0), SectionSet::Hf100, lowHigh(0.08, 0.04), lowHigh(0.92, 0.96)},
    {0x20000000000, SectionSet::Lf9947, all(0.25), all(kPlus35dB), SectionSet::Off, all(1.0), all(0.0)},
    {0x1000000000, SectionSet::Lf9947, all(0.0), all(kPlus35dB), SectionSet::Off, all(1.0), all(0.0)},
    {0x40000000000, SectionSet::Hp3180, all(0.0), all(1.0), SectionSet::Hp75, all(0.5), all(1.5)},
    {0x80000000000, SectionSet::Lf3180, all(1.0), sameBassAtEveryRate(2.84), SectionSet::Hp75, all(0.5), all(1.25)},
    {0x800000000000, SectionSet::Lf3180, all(1.0), sameBassAtEveryRate(7.4), SectionSet::Hp75, all(1.0), all(0.55)},
    {0x4000000, SectionSet::Lf50, {0.335, 0.325, 0.307, 0.307}, {0.665, 0.675, 0.693, 0.693}, SectionSet::Off, all(1.0),
     all(0.0)},
}};

// ---------------------------------------------------------------------------
// Second-order sections in the biquad form with added feedback
// (b0, b1, b2, d1, d2).

// Rumble high-pass, f0 = 19 Hz, Q = 0.8; run forward and backward.
inline constexpr PerRate<BiquadCoeffs> kRumble{{
    {0.998309130024653, -1.99661826004931, 0.998309130024653, 1.99661460220398, -0.996621917894634},
    {0.998446436238529, -1.99689287247706, 0.998446436238529, 1.99688978446003, -0.996895960494091},
    {0.999154307264975, -1.99830861452995, 0.999154307264975, 1.99830769929526, -0.998309529764634},
    {0.999223000562458, -1.99844600112492, 0.999223000562458, 1.99844522852081, -0.998446773729021},
}};

// Needle-scratch low-pass, f0 = 10 kHz, Q = 0.707.
inline constexpr PerRate<BiquadCoeffs> kNeedleScratch{{
    {0.251364366857874, 0.502728733715748, 0.251364366857874, 0.171230745208854, -0.17668821264035},
    {0.220181204525015, 0.440362409050029, 0.220181204525015, 0.307547509029395, -0.188272327129454},
    {0.083155899975269, 0.166311799950538, 0.083155899975269, 1.03512179187915, -0.36774539178023},
    {0.072227592596372, 0.144455185192744, 0.072227592596372, 1.1091783806868, -0.398088751072289},
}};

// Gradient needle-scratch low-pass, Q = 0.707, f0 = 8400, 8500, 8900 and
// 9000 Hz by rate.
inline constexpr PerRate<BiquadCoeffs> kGradientScratch{{
    {0.191355247177976, 0.382710494355952, 0.191355247177976, 0.4406140916992, -0.206035080411104},
    {0.170628996105448, 0.341257992210895, 0.170628996105448, 0.541264083244042, -0.223780067665832},
    {0.068482612423853, 0.136965224847705, 0.068482612423853, 1.13556880942401, -0.409499259119423},
    {0.060495930586556, 0.120991861173112, 0.060495930586556, 1.19386251080095, -0.435846233147175},
}};

// Exciter's forward high-pass, f0 = 2450 Hz, Q = 0.707.
inline constexpr PerRate<BiquadCoeffs> kExciterForward{{
    {0.780949289282331, -1.56189857856466, 0.780949289282331, 1.51333727103477, -0.610459886094555},
    {0.796856797717006, -1.59371359543401, 0.796856797717006, 1.55202192205648, -0.635405268811546},
    {0.883860228682238, -1.76772045736448, 0.883860228682238, 1.7541898543361, -0.781251060392853},
    {0.892775303278677, -1.78555060655735, 0.892775303278677, 1.77402336051358, -0.797077852601131},
}};

// Exciter's backward high-pass, f0 = 4200 Hz, Q = 0.707. The 88.2 kHz row
// is designHighPass(4200, 0.707, 88200) rounded to 15 significant digits.
inline constexpr PerRate<BiquadCoeffs> kExciterBackward{{
    {0.652980183039171, -1.30596036607834, 0.652980183039171, 1.18170209432552, -0.430218637831168},
    {0.676383974697379, -1.35276794939476, 0.676383974697379, 1.24516817555559, -0.460367723233928},
    {0.809121162818103, -1.61824232563621, 0.809121162818103, 1.581478690003, -0.655005961269412},
    {0.823200755792825, -1.64640151158565, 0.823200755792825, 1.61490333812079, -0.677899685050511},
}};

// DIZOR-OV low-pass l[n] = p·l[n−1] + g·(x[n] + x[n−1]), corner about
// 1 kHz (159 µs), unity gain at DC.
struct OnePoleLowPass {
    double p;
    double g;
};
inline constexpr PerRate<OnePoleLowPass> kDizorLowPass{{{0.8667884395, 0.06660578025},
                                                        {0.876976462993, 0.061511768504},
                                                        {0.93118411689, 0.034407941555},
                                                        {0.936602207992, 0.031698896004}}};

// ---------------------------------------------------------------------------
// RIAA recording characteristic, per channel:
//   x' = G·x; h[n] = b·h[n−1] + a·(x'[n] − x'[n−1]); s = d·x' + c·h;
//   k[n] = e·k[n−1] + g·(s[n] − s[n−1]); y = 0.1·s + 0.9·k.
struct AntiRiaaCoeffs {
    double G, a, b, d, c, g, e;
};
inline constexpr PerRate<AntiRiaaCoeffs> kAntiRiaa{{
    {10, 0.354504790357, -0.290990419286, 0.096, 0.904, 0.965592058445, 0.93118411689},
    {10, 0.40054381631, -0.19891236738, 0.096, 0.904, 0.968301103996, 0.936602207992},
    {20, 0.354504790357, -0.290990419286, 0.049, 0.951, 0.98250032773, 0.965000655461},
    {20, 0.40054381631, -0.19891236738, 0.049, 0.951, 0.983899544465, 0.967799088931},
}};

}  // namespace auralune::phonograph

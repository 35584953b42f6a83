#include "dsp/wind_up_kernels.h"

#include <algorithm>

namespace auralune {

namespace {

// Taps 0 to 15 of each kernel (tap 15 is the centre; taps 16 to 30 mirror
// 14 to 0). −6 dB points relative to the tripled rate in the comments.
using HalfKernel = std::array<double, kWindUpTaps / 2 + 1>;

// 44.1/48 kHz, speeds 3-5: −6 dB at 0.0635.
constexpr HalfKernel kBaseRateHalf{-0.008953345114526199, -0.017731788241382163, -0.02495831119627491,
                                   -0.029275113646764415, -0.0295140050031274,   -0.024854507823303847,
                                   -0.014949306208513952, -7.408e-17,            0.019228265807839543,
                                   0.04145750440594752,   0.06500918645069688,   0.08796673419497249,
                                   0.1083704089197731,    0.12442248822183287,   0.13467900152375276,
                                   0.13820557541815492};
// 44.1/48 kHz, speed 6: −6 dB at 0.12.
constexpr HalfKernel kBaseRateSpeed6Half{-0.012812695225711023, -0.012134138923570336, -0.004068885192626169,
                                         0.008826250005775516,  0.0203677825616332,    0.02318501632655073,
                                         0.012603577375957442,  -0.009740500987703467, -0.034610193593417216,
                                         -0.04755928896534657,  -0.034732110935633075, 0.010118120714993866,
                                         0.08076845776360451,   0.15878311971484085,   0.2196701145619877,
                                         0.2426707495973281};
// 88.2/96 kHz, speeds 3-5: −6 dB at 0.0275.
constexpr HalfKernel kDoubleRateHalf{0.0035054094338314067, 0.007369950240138274, 0.011526466148518714,
                                     0.015897943635324308,  0.02039936005136447,  0.02493979459655853,
                                     0.029424742942570175,  0.03375856942394515,  0.03784702585761923,
                                     0.04159976337977701,   0.04493276330723471,  0.0477706149629176,
                                     0.05004857260139214,   0.05171432990661689,  0.05272945881583481,
                                     0.05307046939271317};
// 88.2/96 kHz, speed 6: −6 dB at 0.0565.
constexpr HalfKernel kDoubleRateSpeed6Half{-0.016687982247368675, -0.02031879187455205, -0.02199134501197089,
                                           -0.021084298081081452, -0.017133967283288528, -0.009900642270414513,
                                           0.000581440660319751,  0.013977760352448252,  0.029656152159360304,
                                           0.04672093380895522,   0.06407753331860062,   0.08052287059011583,
                                           0.09485317051621066,   0.10597802945959568,   0.11302793036562471,
                                           0.11544241107489024};

constexpr WindUpKernel mirrored(const HalfKernel& half)
{
    WindUpKernel kernel{};
    for (std::size_t k = 0; k < half.size(); ++k)
        kernel[k] = kernel[kWindUpTaps - 1 - k] = half[k];
    return kernel;
}

}  // namespace

std::optional<WindUpKernel> windUpKernel(double rate, int captureSpeed)
{
    const bool speed6 = captureSpeed == 6;
    if (rate == 44100 || rate == 48000)
        return mirrored(speed6 ? kBaseRateSpeed6Half : kBaseRateHalf);
    if (rate == 88200 || rate == 96000)
        return mirrored(speed6 ? kDoubleRateSpeed6Half : kDoubleRateHalf);
    return std::nullopt;
}

void windUpResample(std::span<const double> in, std::uint64_t frames, std::uint32_t channels,
                    const WindUpKernel& kernel, std::uint32_t decimation, std::span<double> out,
                    Progress& progress)
{
    const std::uint64_t outFrames = windUpFrames(frames, decimation);
    if (outFrames == 0 || channels == 0)
        return;
    // The zero-stuffing gain of 3 goes into the taps.
    WindUpKernel taps{};
    for (std::size_t k = 0; k < kWindUpTaps; ++k)
        taps[k] = kernel[k] * kWindUpInterpolation;

    const double* x = in.data();
    double* y = out.data();
    progress.run(outFrames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            // Frame j = i·D of the filtered tripled-rate signal. Only the
            // taps k with j − k a multiple of 3 meet a source frame,
            // (j − k) / 3; the others meet stuffed zeros.
            const std::uint64_t j = i * decimation;
            const std::uint64_t lastTap = std::min<std::uint64_t>(j, kWindUpTaps - 1);
            for (std::uint32_t c = 0; c < channels; ++c) {
                double acc = 0;
                for (std::uint64_t k = j % kWindUpInterpolation; k <= lastTap; k += kWindUpInterpolation)
                    acc += taps[k] * x[(j - k) / kWindUpInterpolation * channels + c];
                y[i * channels + c] = acc;
            }
        }
    });
}

}  // namespace auralune

#include "enhance/noise_reduction_kernels.h"

#include "dsp/frame2.h"

#include <array>

namespace auralune {

namespace {

// One second-order section's state, feedback terms added.
struct BiquadState {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double step(const BiquadCoeffs& k, double x)
    {
        const double y = k.b0 * x + k.b1 * x1 + k.b2 * x2 + k.d1 * y1 + k.d2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

}  // namespace

double lanesPeak(const StereoLanes& lanes, Progress& progress)
{
    double peak = 0;
    const double* in = lanes.in.data() + lanes.first;
    progress.run(lanes.frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double* frame = in + n * lanes.inChannels;
            peak = std::max({peak, std::fabs(frame[0]), std::fabs(frame[1])});
        }
    });
    return peak;
}

void cassetteDecode(const StereoLanes& lanes, const FirstOrderCoeffs& sideChain, double threshold, double release,
                    Progress& progress)
{
    const double a = sideChain.a, c = sideChain.c;
    std::array<double, 2> x1{}, h1{};
    std::array<SideChainLimiter, 2> limiter{SideChainLimiter{threshold, release}, SideChainLimiter{threshold, release}};
    const double* in = lanes.in.data() + lanes.first;
    double* out = lanes.out.data() + lanes.first;
    progress.run(lanes.frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double* source = in + n * lanes.inChannels;
            double* target = out + n * lanes.outChannels;
            for (std::size_t ch = 0; ch < 2; ++ch) {
                const double x = source[ch];
                const double h = a * x - a * x1[ch] + c * h1[ch];
                x1[ch] = x;
                h1[ch] = h;
                target[ch] = x - limiter[ch].apply(h) * kCassetteSideChainDepth;
            }
        }
    });
}

void cat22Decode(const StereoLanes& lanes, const Cat22Bands& bands, double threshold, double release,
                 Progress& progress)
{
    std::array<BiquadState, 2> high1{}, low1{}, high2{};
    const SideChainLimiter fresh{threshold, release};
    std::array<SideChainLimiter, 2> limit1{fresh, fresh}, limit2{fresh, fresh};
    const double* in = lanes.in.data() + lanes.first;
    double* out = lanes.out.data() + lanes.first;
    progress.run(lanes.frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double* source = in + n * lanes.inChannels;
            double* target = out + n * lanes.outChannels;
            for (std::size_t ch = 0; ch < 2; ++ch) {
                const double x = source[ch];
                const double band1 = limit1[ch].apply(low1[ch].step(bands.band1LowPass, high1[ch].step(bands.band1HighPass, x)));
                const double band2 = limit2[ch].apply(high2[ch].step(bands.band2HighPass, x));
                target[ch] = x - kCat22SideChainDepth * (band1 + band2);
            }
        }
    });
}

void cascadedHighPass(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                      std::uint32_t channels, const FirstOrderCoeffs& section, Progress& progress)
{
    if (frames == 0 || channels == 0)
        return;
    if (channels == 2) {
        const Frame2 a = splat(section.a), c = splat(section.c);
        Frame2 x1{}, h1{}, y1{};
        progress.run(frames, 2, [&](std::uint64_t begin, std::uint64_t end) {
            for (std::uint64_t n = begin; n < end; ++n) {
                const Frame2 x = loadFrame(in.data() + n * 2);
                const Frame2 h = a * x - a * x1 + c * h1;
                const Frame2 y = a * h - a * h1 + c * y1;
                storeFrame(out.data() + n * 2, y);
                x1 = x;
                h1 = h;
                y1 = y;
            }
        });
        return;
    }
    for (std::uint32_t ch = 0; ch < channels; ++ch) {
        double x1 = 0, h1 = 0, y1 = 0;
        progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
            for (std::uint64_t n = begin; n < end; ++n) {
                const std::uint64_t at = n * channels + ch;
                const double x = in[at];
                const double h = section.a * x - section.a * x1 + section.c * h1;
                const double y = section.a * h - section.a * h1 + section.c * y1;
                out[at] = y;
                x1 = x;
                h1 = h;
                y1 = y;
            }
        });
    }
}

}  // namespace auralune

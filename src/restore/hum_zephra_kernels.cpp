#include "restore/hum_zephra_kernels.h"

#include "dsp/frame2.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace auralune {

namespace {

// One pass of the whole cascade over both channels, every section inline,
// in the frame order of D. Reads frame n at in + n × inStride and writes it
// at out + n × outStride.
template <Direction D>
void cascadePass(const double* in, std::uint32_t inStride, double* out, std::uint32_t outStride,
                 std::uint64_t frames, const HumCascade& cascade, Progress& progress)
{
    constexpr std::size_t kMax = HumCascade::kMaxSections;
    const std::size_t count = cascade.count;
    std::array<Frame2, kMax> b0{}, b1{}, b2{}, d1{}, d2{};
    for (std::size_t s = 0; s < count; ++s) {
        const BiquadCoeffs& k = cascade.sections[s];
        b0[s] = splat(k.b0);
        b1[s] = splat(k.b1);
        b2[s] = splat(k.b2);
        d1[s] = splat(k.d1);
        d2[s] = splat(k.d2);
    }
    std::array<Frame2, kMax> x1{}, x2{}, y1{}, y2{};
    progress.run(frames, 2, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t n = D == Direction::Forward ? i : frames - 1 - i;
            Frame2 v = loadFrame(in + n * inStride);
            for (std::size_t s = 0; s < count; ++s) {
                const Frame2 y = b0[s] * v + b1[s] * x1[s] + b2[s] * x2[s] + d1[s] * y1[s] + d2[s] * y2[s];
                x2[s] = x1[s];
                x1[s] = v;
                y2[s] = y1[s];
                y1[s] = y;
                v = y;
            }
            storeFrame(out + n * outStride, v);
        }
    });
}

}  // namespace

BiquadCoeffs humNotch(double f0Hz, double rate)
{
    const double w0 = 2 * std::numbers::pi * f0Hz / rate;
    const double alpha = std::sin(w0) / (2 * kHumNotchQ);
    const double b0 = 1 / (1 + alpha);
    const double b1 = -2 * std::cos(w0) / (1 + alpha);
    return {b0, b1, b0, -b1, -(1 - alpha) / (1 + alpha)};
}

std::optional<HumCascade> humCascade(double rate, bool bassCompensation)
{
    const std::optional<std::size_t> row = humZephraRateIndex(rate);
    if (!row)
        return std::nullopt;
    HumCascade cascade;
    for (double f0 : kHumNotchHz)
        cascade.sections[cascade.count++] = humNotch(f0, rate);
    if (bassCompensation)
        cascade.sections[cascade.count++] = kHumBassShelf[*row];
    return cascade;
}

void humRemoval(std::span<const double> in, std::uint32_t inChannels, std::span<double> out,
                std::uint32_t outChannels, std::uint64_t frames, const HumCascade& cascade, std::span<double> work,
                Progress& progress)
{
    if (frames == 0 || inChannels < 2 || outChannels < 2)
        return;
    cascadePass<Direction::Forward>(in.data(), inChannels, work.data(), 2, frames, cascade, progress);
    cascadePass<Direction::Reverse>(work.data(), 2, out.data(), outChannels, frames, cascade, progress);
}

void zephra(std::span<const double> in, std::span<double> out, std::uint64_t frames, const ZephraCoeffs& coeffs,
            std::span<double> work, Progress& progress)
{
    if (frames == 0)
        return;
    const Frame2 p = splat(coeffs.p);
    const Frame2 g = splat(coeffs.g);
    const double* x = in.data();
    double* w = work.data();

    Frame2 x1{}, l1{};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const Frame2 v = loadFrame(x + n * 2);
            const Frame2 l = p * l1 + g * (v + x1);
            storeFrame(w + n * 2, l);
            x1 = v;
            l1 = l;
        }
    });

    double* y = out.data();
    x1 = Frame2{};
    l1 = Frame2{};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t n = frames - 1 - i;
            const Frame2 v = loadFrame(w + n * 2);
            const Frame2 m = p * l1 + g * (v + x1);
            x1 = v;
            l1 = m;
            const double halfSide = 0.5 * (m[0] - m[1]);
            const Frame2 source = loadFrame(x + n * 2);
            storeFrame(y + n * 2, source + Frame2{-halfSide, halfSide});
        }
    });
}

}  // namespace auralune

#include "dsp/filter_primitives.h"

#include "dsp/frame2.h"

#include <algorithm>
#include <cstring>

namespace auralune {

namespace {

inline Frame2 swapLanes(Frame2 v) { return Frame2{v[1], v[0]}; }

// Frame index of the i-th step of a pass over `frames` frames.
template <Direction D>
inline std::uint64_t frameOf(std::uint64_t i, std::uint64_t frames)
{
    if constexpr (D == Direction::Forward)
        return i;
    else
        return frames - 1 - i;
}

template <Direction D>
void biquadStereo(const double* in, double* out, std::uint64_t frames, const BiquadCoeffs& k, Progress& progress)
{
    const Frame2 b0{k.b0, k.b0}, b1{k.b1, k.b1}, b2{k.b2, k.b2}, d1{k.d1, k.d1}, d2{k.d2, k.d2};
    Frame2 x1{}, x2{}, y1{}, y2{};
    progress.run(frames, 2, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t at = frameOf<D>(i, frames) * 2;
            const Frame2 x = loadFrame(in + at);
            const Frame2 y = b0 * x + b1 * x1 + b2 * x2 + d1 * y1 + d2 * y2;
            storeFrame(out + at, y);
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
        }
    });
}

template <Direction D>
void biquadChannel(const double* in, double* out, std::uint64_t frames, std::uint32_t stride, const BiquadCoeffs& k,
                   Progress& progress)
{
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t at = frameOf<D>(i, frames) * stride;
            const double x = in[at];
            const double y = k.b0 * x + k.b1 * x1 + k.b2 * x2 + k.d1 * y1 + k.d2 * y2;
            out[at] = y;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
        }
    });
}

template <Direction D>
void biquadAll(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
               const BiquadCoeffs& coeffs, Progress& progress)
{
    if (channels == 2) {
        biquadStereo<D>(in.data(), out.data(), frames, coeffs, progress);
        return;
    }
    for (std::uint32_t c = 0; c < channels; ++c)
        biquadChannel<D>(in.data() + c, out.data() + c, frames, channels, coeffs, progress);
}

template <Direction D>
void kestralinAll(const double* in, double* out, std::uint64_t frames, std::uint32_t inChannels,
                  std::uint32_t outChannels, const KestralinCoeffs& k, Progress& progress)
{
    double xL1 = 0, xR1 = 0, hL1 = 0, hR1 = 0;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t n = frameOf<D>(i, frames);
            const double left = in[n * inChannels];
            const double right = in[n * inChannels + 1];
            const double hL = k.a * left + k.b * xL1 + k.c * hL1;
            const double hR = k.a * right + k.b * xR1 + k.c * hR1;
            out[n * outChannels] = left + k.g * (hR - hL);
            out[n * outChannels + 1] = right + k.g * (hL - hR);
            xL1 = left;
            xR1 = right;
            hL1 = hL;
            hR1 = hR;
        }
    });
}

bool empty(std::uint64_t frames, std::uint32_t channels) { return frames == 0 || channels == 0; }

}  // namespace

void biquad(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
            const BiquadCoeffs& coeffs, Direction direction, Progress& progress)
{
    if (empty(frames, channels))
        return;
    if (direction == Direction::Forward)
        biquadAll<Direction::Forward>(in, out, frames, channels, coeffs, progress);
    else
        biquadAll<Direction::Reverse>(in, out, frames, channels, coeffs, progress);
}

void fir(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
         std::span<const double> taps, Progress& progress)
{
    if (empty(frames, channels))
        return;
    std::fill_n(out.data(), frames * channels, 0.0);
    const double* h = taps.data();
    const std::uint64_t tapCount = taps.size();
    if (channels == 2) {
        const double* x = in.data();
        progress.run(frames, 2, [&](std::uint64_t begin, std::uint64_t end) {
            for (std::uint64_t n = begin; n < end; ++n) {
                const std::uint64_t last = std::min(tapCount, n + 1);
                Frame2 acc{};
                for (std::uint64_t k = 0; k < last; ++k)
                    acc += Frame2{h[k], h[k]} * loadFrame(x + (n - k) * 2);
                storeFrame(out.data() + n * 2, acc);
            }
        });
        return;
    }
    for (std::uint32_t c = 0; c < channels; ++c) {
        const double* x = in.data() + c;
        progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
            for (std::uint64_t n = begin; n < end; ++n) {
                const std::uint64_t last = std::min(tapCount, n + 1);
                double acc = 0;
                for (std::uint64_t k = 0; k < last; ++k)
                    acc += h[k] * x[(n - k) * channels];
                out[n * channels + c] = acc;
            }
        });
    }
}

void gain(std::span<double> samples, std::uint64_t frames, std::uint32_t channels, double factor,
          Progress& progress)
{
    if (empty(frames, channels))
        return;
    double* s = samples.data();
    progress.run(frames * channels, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i)
            s[i] *= factor;
    });
}

void rectify(std::span<double> samples, std::uint64_t frames, std::uint32_t channels, Progress& progress)
{
    if (empty(frames, channels))
        return;
    double* s = samples.data();
    progress.run(frames * channels, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i)
            s[i] = s[i] < 0.0 ? -s[i] : s[i];
    });
}

void leftMinusRight(std::span<double> samples, std::uint64_t frames, std::uint32_t channels, Progress& progress)
{
    if (frames == 0 || channels < 2)
        return;
    double* s = samples.data();
    progress.run(frames, channels, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            double* frame = s + n * channels;
            const double difference = frame[0] - frame[1];
            std::fill_n(frame, channels, difference);
        }
    });
}

void kestralinCrossFeed(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                        std::uint32_t inChannels, std::uint32_t outChannels, const KestralinCoeffs& coeffs,
                        Direction direction, Progress& progress)
{
    if (frames == 0 || inChannels < 2 || outChannels < 2)
        return;
    if (direction == Direction::Forward)
        kestralinAll<Direction::Forward>(in.data(), out.data(), frames, inChannels, outChannels, coeffs, progress);
    else
        kestralinAll<Direction::Reverse>(in.data(), out.data(), frames, inChannels, outChannels, coeffs, progress);
}

void tsymWidthCompensation(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                           Progress& progress)
{
    if (frames == 0)
        return;
    // L + 0.15·(L − R) is 1.15·L − 0.15·R, written so that a pure mid
    // signal comes through bit for bit.
    const Frame2 width{0.15, 0.15};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const Frame2 v = loadFrame(in.data() + n * 2);
            storeFrame(out.data() + n * 2, v + width * (v - swapLanes(v)));
        }
    });
}

void copySamples(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
                 Progress& progress)
{
    if (empty(frames, channels))
        return;
    const bool same = in.data() == out.data();
    progress.run(frames * channels, 1, [&](std::uint64_t begin, std::uint64_t end) {
        if (!same)
            std::copy(in.data() + begin, in.data() + end, out.data() + begin);
    });
}

}  // namespace auralune

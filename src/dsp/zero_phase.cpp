#include "dsp/zero_phase.h"

#include "dsp/autoregressive.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace auralune {

namespace {

// The larger pole radius of 1 − d1·z⁻¹ − d2·z⁻² (our added-feedback form).
double poleRadius(const BiquadCoeffs& k)
{
    const double disc = k.d1 * k.d1 + 4.0 * k.d2;
    if (disc < 0.0)
        return std::sqrt(-k.d2);
    const double root = std::sqrt(disc);
    return std::max(std::fabs(0.5 * (k.d1 + root)), std::fabs(0.5 * (k.d1 - root)));
}

}  // namespace

StereoCascade::StereoCascade(std::span<const BiquadCoeffs> sections)
{
    count_ = std::min(sections.size(), kMaxSections);
    for (std::size_t s = 0; s < count_; ++s) {
        const BiquadCoeffs& k = sections[s];
        b0_[s] = splat(k.b0);
        b1_[s] = splat(k.b1);
        b2_[s] = splat(k.b2);
        d1_[s] = splat(k.d1);
        d2_[s] = splat(k.d2);
        const double denominator = 1.0 - k.d1 - k.d2;
        dcGain_[s] = denominator != 0.0 ? (k.b0 + k.b1 + k.b2) / denominator : 0.0;
        slowestPole_ = std::max(slowestPole_, poleRadius(k));
    }
}

void StereoCascade::settle(Frame2 level)
{
    for (std::size_t s = 0; s < count_; ++s) {
        const Frame2 out = level * dcGain_[s];
        x1_[s] = x2_[s] = level;
        y1_[s] = y2_[s] = out;
        level = out;
    }
}

std::uint64_t StereoCascade::settlingFrames() const
{
    if (slowestPole_ <= 0.0)
        return 1;
    // A pole on the unit circle never settles; no filter of the chain has
    // one, and none needs more than 2^22 frames (44 s at 96 kHz).
    constexpr std::uint64_t kLongest = std::uint64_t{1} << 22;
    if (slowestPole_ >= 1.0)
        return kLongest;
    // 80 dB: the radius raised to the frame count reaches 10^−4.
    const double frames = std::ceil(std::log(1e-4) / std::log(slowestPole_));
    return frames < static_cast<double>(kLongest) ? static_cast<std::uint64_t>(frames) : kLongest;
}

std::uint64_t primingFrames(const StereoCascade& cascade, std::uint64_t frames)
{
    return frames == 0 ? 0 : cascade.settlingFrames();
}

void StereoCascade::setSteadyTones(std::span<const double> cyclesPerFrame)
{
    toneCount_ = std::min(cyclesPerFrame.size(), kMaxSections);
    std::copy_n(cyclesPerFrame.begin(), toneCount_, tones_.begin());
}

std::uint64_t edgeModelFrames(std::span<const double> steadyTones, std::uint64_t frames)
{
    double spacing = 1.0;
    for (std::size_t i = 0; i < steadyTones.size(); ++i) {
        spacing = std::min(spacing, steadyTones[i]);
        for (std::size_t j = i + 1; j < steadyTones.size(); ++j)
            spacing = std::min(spacing, std::fabs(steadyTones[i] - steadyTones[j]));
    }
    const auto resolved = spacing > 0.0 ? static_cast<std::uint64_t>(std::ceil(4.0 / spacing)) : frames;
    return std::min(frames, std::max<std::uint64_t>(8192, resolved));
}

namespace {

constexpr std::uint32_t kEdgeModelOrder = 32;

// One channel of a stretch, in the order of `reversed` (the opening is
// taken backwards, so that its continuation lies before the first frame),
// split into a fitted steady part (a constant and the tones) and the rest.
// Writes the continuation of k = 1 … count frames to out[2(k − 1)].
void continueChannel(std::span<const double> stereo, std::size_t channel, bool reversed,
                     std::span<const double> tones, std::uint64_t count, double* out)
{
    const std::size_t frames = stereo.size() / 2;
    std::vector<double> x(frames);
    for (std::size_t n = 0; n < frames; ++n)
        x[n] = stereo[2 * (reversed ? frames - 1 - n : n) + channel];

    // Least squares over the basis 1, cos(2πfn), sin(2πfn) for each tone,
    // with n counted from the last sample of x (the edge). The basis is
    // stepped along by rotating one phasor per tone.
    const std::size_t size = 1 + 2 * tones.size();
    std::vector<std::complex<double>> phasor(tones.size()), step(tones.size());
    const auto startAt = [&](double n) {
        for (std::size_t t = 0; t < tones.size(); ++t) {
            phasor[t] = std::polar(1.0, 2.0 * std::numbers::pi * tones[t] * n);
            step[t] = std::polar(1.0, 2.0 * std::numbers::pi * tones[t]);
        }
    };
    const auto basisAndStep = [&](std::vector<double>& b) {
        b[0] = 1.0;
        for (std::size_t t = 0; t < tones.size(); ++t) {
            b[1 + 2 * t] = phasor[t].real();
            b[2 + 2 * t] = phasor[t].imag();
            phasor[t] *= step[t];
        }
    };
    std::vector<double> normal(size * size, 0.0), rhs(size, 0.0), b(size), coefficients(size, 0.0);
    startAt(-static_cast<double>(frames - 1));
    for (std::size_t n = 0; n < frames; ++n) {
        basisAndStep(b);
        for (std::size_t i = 0; i < size; ++i) {
            rhs[i] += b[i] * x[n];
            for (std::size_t j = 0; j <= i; ++j)
                normal[i * size + j] += b[i] * b[j];
        }
    }
    if (frames > size && solvePositiveDefinite(normal, rhs, size))
        coefficients = rhs;
    else
        coefficients[0] = frames > 0 ? x.back() : 0.0;
    const auto steadyAndStep = [&] {
        basisAndStep(b);
        double v = 0;
        for (std::size_t i = 0; i < size; ++i)
            v += coefficients[i] * b[i];
        return v;
    };
    double peak = 0;
    startAt(-static_cast<double>(frames - 1));
    for (std::size_t n = 0; n < frames; ++n) {
        x[n] -= steadyAndStep();
        peak = std::max(peak, std::fabs(x[n]));
    }

    // The rest runs on by its autoregressive model.
    const auto order = static_cast<std::uint32_t>(std::min<std::size_t>(kEdgeModelOrder, frames / 4));
    const std::vector<double> a = burgAr(x, order);
    std::vector<double> history(x.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(order, frames)), x.end());
    history.insert(history.begin(), order - history.size(), 0.0);
    history.resize(order + count);
    startAt(1.0);
    bool drifting = false;
    for (std::uint64_t k = 0; k < count; ++k) {
        double value = 0;
        if (!drifting) {
            const double* recent = history.data() + k + order;
            for (std::size_t j = 1; j <= order; ++j)
                value -= a[j] * recent[-static_cast<std::ptrdiff_t>(j)];
            // A model on the edge of stability may still drift in rounding:
            // far from the signal the rest then stays at zero.
            if (!(std::fabs(value) <= 4.0 * peak)) {
                drifting = true;
                value = 0;
            }
        }
        history[k + order] = value;
        out[2 * k] = value + steadyAndStep();
    }
}

}  // namespace

void predictEdges(std::span<const double> opening, std::span<const double> closing, std::uint64_t pad,
                  std::span<const double> steadyTones, std::span<double> before, std::span<double> after)
{
    for (std::size_t channel = 0; channel < 2; ++channel) {
        continueChannel(opening, channel, true, steadyTones, pad, before.data() + channel);
        continueChannel(closing, channel, false, steadyTones, pad, after.data() + channel);
    }
}

void zeroPhaseStereo(StereoCascade& cascade, const double* in, std::uint32_t inStride, double* work,
                     std::uint32_t workStride, double* out, std::uint32_t outStride, std::uint64_t frames,
                     std::uint64_t pad, std::span<double> edges, std::uint64_t unitsPerFrame, Progress& progress)
{
    zeroPhasePrimed(
        cascade, frames, pad, edges, [&](std::uint64_t n) { return loadFrame(in + n * inStride); },
        [&](std::uint64_t n, Frame2 v) { storeFrame(work + n * workStride, v); },
        [&](std::uint64_t n) { return loadFrame(work + n * workStride); },
        [&](std::uint64_t n, Frame2 v) { storeFrame(out + n * outStride, v); }, unitsPerFrame, progress);
}

}  // namespace auralune

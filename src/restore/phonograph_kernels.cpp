#include "restore/phonograph_kernels.h"

#include "dsp/zero_phase.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace auralune::phonograph {

namespace {

FirstOrderSection sectionFor(SectionSet set, Rate rate)
{
    const auto lowPass = [rate](const PerRate<FirstOrderSet>& table) {
        const FirstOrderSet& s = at(table, rate);
        return FirstOrderSection{s.a0, s.a0, s.p};
    };
    const auto highPass = [rate](const PerRate<FirstOrderSet>& table) {
        const FirstOrderSet& s = at(table, rate);
        return FirstOrderSection{s.a0, -s.a0, s.p};
    };
    switch (set) {
    case SectionSet::Off: return {};
    case SectionSet::Lf3180: return lowPass(kLf3180);
    case SectionSet::Lf9947: return lowPass(kLf9947);
    case SectionSet::Lf50: return lowPass(kLf50);
    case SectionSet::Hp3180: return highPass(kHp3180);
    case SectionSet::Hf75: return lowPass(kHf75);
    case SectionSet::Hf50: return lowPass(kHf50);
    case SectionSet::Hf100: return lowPass(kHf100);
    case SectionSet::Hf25: return lowPass(kHf25);
    case SectionSet::Hp75: return highPass(kHp75);
    }
    return {};
}

// The regime's combination of one equalised frame.
inline void combine(Regime regime, double& l, double& r)
{
    switch (regime) {
    case Regime::Stereo: break;
    case Regime::Mono: l = r = (l + r) * 0.5; break;
    case Regime::Blend: {
        const double left = 0.75 * l + 0.25 * r;
        r = 0.25 * l + 0.75 * r;
        l = left;
        break;
    }
    case Regime::Vertical: l = r = (l - r) * 0.5; break;
    }
}

// The state of the two equaliser sections of both channels, side by side
// in the lanes of a vector: each lane computes what one channel's scalar
// loop would.
struct EqualiserLanes {
    Frame2 x1{}, u1{}, s1{}, v1{};

    Frame2 step(const Equaliser& k, Frame2 x)
    {
        const Frame2 u = k.lf.p * u1 + k.lf.a0 * x + k.lf.a1 * x1;
        const Frame2 s = k.d1 * x + k.m1 * u;
        const Frame2 v = k.hf.p * v1 + k.hf.a0 * s + k.hf.a1 * s1;
        x1 = x;
        u1 = u;
        s1 = s;
        v1 = v;
        return k.d2 * s + k.m2 * v;
    }
};

template <class Lane>
struct StereoLanes {
    Lane left, right;
};

}  // namespace

std::uint64_t gainRanging(std::span<double> stereo, std::uint64_t frames, std::uint64_t chunkFrames,
                          double threshold, Progress& progress)
{
    const std::uint64_t chunk = std::max<std::uint64_t>(chunkFrames, 1);
    const std::uint64_t chunks = frames / chunk + (frames % chunk != 0 ? 1 : 0);
    std::uint64_t reduced = 0;
    progress.run(chunks, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t c = begin; c < end; ++c) {
            const std::uint64_t first = c * chunk * 2;
            const std::uint64_t last = std::min(frames, (c + 1) * chunk) * 2;
            const auto samples = stereo.subspan(first, last - first);
            const bool loud = std::any_of(samples.begin(), samples.end(),
                                          [threshold](double x) { return std::fabs(x) > threshold; });
            if (loud)
                continue;
            for (double& x : samples)
                x *= 0.1;
            ++reduced;
        }
    });
    return reduced;
}

void cartridgeBalance(std::span<double> stereo, std::uint64_t frames, double rmsRatio, Progress& progress)
{
    const double root = std::sqrt(rmsRatio);
    double* p = stereo.data();
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            p[2 * n] /= root;
            p[2 * n + 1] *= root;
        }
    });
}

void discEchoRemoval(std::span<double> stereo, std::uint64_t frames, double threshold, double recovery,
                     Progress& progress)
{
    double g[2] = {1.0, 1.0};
    double* p = stereo.data();
    progress.run(frames, 2, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            for (int c = 0; c < 2; ++c) {
                double& gc = g[c];
                double& x = p[2 * n + c];
                if (gc < 1.0)
                    gc *= recovery;
                const double magnitude = std::fabs(x);
                if (magnitude > threshold && gc > threshold / magnitude)
                    gc = threshold / magnitude;
                x -= 0.7 * (gc < 1.0 ? x * gc : x);
                gc = std::min(gc, 1.0);
            }
        }
    });
}

void lpDistortionCancel(std::span<double> stereo, std::uint64_t frames, double factor, double highClamp,
                        Progress& progress)
{
    if (frames == 0)
        return;
    double* p = stereo.data();
    // The square of the sum is never negative: left as it is, its mean would
    // put a DC offset of opposite signs on the two channels (0.3 of full
    // scale for a −6 dBFS tone with a 10 µm stylus).
    long double sumOfSquares = 0;
    for (std::uint64_t n = 0; n < frames; ++n) {
        const double sum = p[2 * n] + p[2 * n + 1];
        sumOfSquares += static_cast<long double>(sum) * sum;
    }
    const auto mean = static_cast<double>(sumOfSquares / static_cast<long double>(frames));
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double sum = p[2 * n] + p[2 * n + 1];
            const double d = (sum * sum - mean) * factor / highClamp;
            p[2 * n] += d;
            p[2 * n + 1] -= d;
        }
    });
}

Equaliser equaliserFor(std::uint64_t code, std::optional<Rate> rate)
{
    if (!rate)
        return {};
    for (const CurveDesign& curve : kCurves) {
        if (curve.code != code)
            continue;
        return Equaliser{sectionFor(curve.lf, *rate), at(curve.d1, *rate), at(curve.m1, *rate),
                         sectionFor(curve.hf, *rate), at(curve.d2, *rate), at(curve.m2, *rate)};
    }
    return {};
}

namespace {

// The equaliser and regime from the stereo source into the first two
// channels of the destination, compiled with and without equalisation so
// that the frame loop carries no test of its own.
template <bool Equalise>
void equaliseForward(const double* in, double* out, std::uint64_t outStride, std::uint64_t frames,
                     const Equaliser& k, Regime regime, Progress& progress)
{
    EqualiserLanes eq;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        EqualiserLanes local = eq;
        for (std::uint64_t n = begin; n < end; ++n) {
            double l = in[2 * n];
            double r = in[2 * n + 1];
            if constexpr (Equalise) {
                const Frame2 y = local.step(k, Frame2{l, r});
                l = y[0];
                r = y[1];
                combine(regime, l, r);
            }
            out[n * outStride] = l;
            out[n * outStride + 1] = r;
        }
        eq = local;
    });
}

}  // namespace

std::uint64_t rumbleTailSamples(const BiquadCoeffs& rumble, std::uint64_t frames)
{
    return zeroPhaseEdgeSamples(primingFrames(StereoCascade({&rumble, 1}), frames));
}

void equalise(std::span<const double> source, std::span<double> destination, std::uint32_t dstChannels,
              std::uint64_t frames, const Equaliser* equaliser, Regime regime, const BiquadCoeffs* rumble,
              std::span<double> rumbleTail, Progress& progress)
{
    double* dst = destination.data();
    const Equaliser k = equaliser != nullptr ? *equaliser : Equaliser{};
    const double* in = source.data();
    // With the rumble filter the progress counts its two passes; the
    // equaliser's pass is the cheaper one.
    Progress uncounted{};
    Progress& equaliserProgress = rumble != nullptr ? uncounted : progress;
    if (equaliser != nullptr)
        equaliseForward<true>(in, dst, dstChannels, frames, k, regime, equaliserProgress);
    else
        equaliseForward<false>(in, dst, dstChannels, frames, k, regime, equaliserProgress);
    if (rumble == nullptr || frames == 0)
        return;

    // The rumble high-pass, zero phase and primed at both ends, in place on
    // the destination's first two channels.
    StereoCascade filter({rumble, 1});
    const std::uint64_t pad = primingFrames(filter, frames);
    zeroPhasePrimed(
        filter, frames, pad, rumbleTail.first(zeroPhaseEdgeSamples(pad)), [&](std::uint64_t n) { return loadFrame(dst + n * dstChannels); },
        [&](std::uint64_t n, Frame2 v) { storeFrame(dst + n * dstChannels, v); },
        [&](std::uint64_t n) { return loadFrame(dst + n * dstChannels); },
        [&](std::uint64_t n, Frame2 v) { storeFrame(dst + n * dstChannels, v); }, 1, progress);
}

void antiRiaa(std::span<const double> source, std::span<double> destination, std::uint64_t frames,
              const AntiRiaaCoeffs& k, Progress& progress)
{
    struct Lane {
        double x1 = 0, h1 = 0, s1 = 0, k1 = 0;
        double step(const AntiRiaaCoeffs& c, double input)
        {
            const double x = c.G * input;
            const double h = c.b * h1 + c.a * (x - x1);
            const double s = c.d * x + c.c * h;
            const double kk = c.e * k1 + c.g * (s - s1);
            x1 = x;
            h1 = h;
            s1 = s;
            k1 = kk;
            return 0.1 * s + 0.9 * kk;
        }
    };
    const double* in = source.data();
    double* out = destination.data();
    StereoLanes<Lane> lanes;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        Lane l = lanes.left, r = lanes.right;
        for (std::uint64_t n = begin; n < end; ++n) {
            out[2 * n] = l.step(k, in[2 * n]);
            out[2 * n + 1] = r.step(k, in[2 * n + 1]);
        }
        lanes = {l, r};
    });
}

namespace {

struct Prewarped {
    double cosW0, alpha, norm;
};

Prewarped prewarp(double cornerHz, double q, double rateHz)
{
    const double w0 = 2.0 * std::numbers::pi * cornerHz / rateHz;
    const double alpha = std::sin(w0) / (2.0 * q);
    return {std::cos(w0), alpha, 1.0 + alpha};
}

}  // namespace

BiquadCoeffs designLowPass(double cornerHz, double q, double rateHz)
{
    const Prewarped w = prewarp(cornerHz, q, rateHz);
    const double b0 = (1.0 - w.cosW0) / 2.0 / w.norm;
    return {b0, 2.0 * b0, b0, 2.0 * w.cosW0 / w.norm, -(1.0 - w.alpha) / w.norm};
}

BiquadCoeffs designHighPass(double cornerHz, double q, double rateHz)
{
    const Prewarped w = prewarp(cornerHz, q, rateHz);
    const double b0 = (1.0 + w.cosW0) / 2.0 / w.norm;
    return {b0, -2.0 * b0, b0, 2.0 * w.cosW0 / w.norm, -(1.0 - w.alpha) / w.norm};
}

}  // namespace auralune::phonograph

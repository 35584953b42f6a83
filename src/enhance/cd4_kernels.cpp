#include "enhance/cd4_kernels.h"

#include "dsp/frame2.h"

#include <algorithm>
#include <cmath>

namespace auralune::cd4 {

namespace {

// One biquad over both walls of a stereo buffer, from `in` to `out` (which
// may be the same buffer), in the frame order of D.
template <Direction D>
void biquadPass(const double* in, double* out, std::uint64_t frames, const BiquadCoeffs& k, Progress& progress)
{
    const Frame2 b0 = splat(k.b0), b1 = splat(k.b1), b2 = splat(k.b2), d1 = splat(k.d1), d2 = splat(k.d2);
    Frame2 x1{}, x2{}, y1{}, y2{};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t n = D == Direction::Forward ? i : frames - 1 - i;
            const Frame2 x = loadFrame(in + 2 * n);
            const Frame2 y = b0 * x + b1 * x1 + b2 * x2 + d1 * y1 + d2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            storeFrame(out + 2 * n, y);
        }
    });
}

}  // namespace

void splitBaseband(std::span<double> input, std::span<double> sub, std::span<double> work, std::uint64_t frames,
                   Progress& progress)
{
    // The backward pass in place: each frame is read before it is written.
    biquadPass<Direction::Forward>(input.data(), work.data(), frames, kBasebandLowPass, progress);
    biquadPass<Direction::Reverse>(work.data(), work.data(), frames, kBasebandLowPass, progress);
    const Frame2 half = splat(0.5);
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const Frame2 b = loadFrame(&work[2 * n]);
            storeFrame(&sub[2 * n], loadFrame(&input[2 * n]) - b);
            input[2 * n] = (b[0] + b[1]) * half[0];
            input[2 * n + 1] = (b[0] - b[1]) * half[1];
        }
    });
}

double channelRms(std::span<const double> stereo, std::uint32_t channel, std::uint64_t frames)
{
    if (frames == 0)
        return 0;
    double sum = 0;
    for (std::uint64_t n = 0; n < frames; ++n)
        sum += stereo[2 * n + channel] * stereo[2 * n + channel];
    return std::sqrt(sum / static_cast<double>(frames));
}

void dizorCrosstalk(std::span<double> stereo, std::uint64_t frames, Progress& progress)
{
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double l = stereo[2 * n], r = stereo[2 * n + 1];
            stereo[2 * n] = l - kDizorCrosstalk * r;
            stereo[2 * n + 1] = r - kDizorCrosstalk * l;
        }
    });
}

std::uint64_t subcarrierAgc(std::span<double> stereo, std::uint32_t channel, std::uint64_t frames,
                            double threshold, Progress& progress)
{
    const std::uint64_t chunks = (frames + kAgcChunkFrames - 1) / kAgcChunkFrames;
    std::uint64_t limited = 0;
    double g = 1.0;
    progress.run(chunks, kAgcChunkFrames, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t chunk = begin; chunk < end; ++chunk) {
            const std::uint64_t first = chunk * kAgcChunkFrames;
            const std::uint64_t length = std::min(kAgcChunkFrames, frames - first);
            std::uint64_t loud = 0;
            double peak = 0;
            for (std::uint64_t n = first; n < first + length; ++n) {
                const double a = std::abs(stereo[2 * n + channel]);
                loud += a > threshold;
                peak = std::max(peak, a);
            }
            double candidate = g < 1.0 ? g * kAgcRecovery : g;
            if (2 * loud > length) {
                candidate = std::min(threshold / peak, candidate);
                ++limited;
            }
            if (candidate < 1.0)
                for (std::uint64_t n = first; n < first + length; ++n)
                    stereo[2 * n + channel] *= candidate;
            g = std::min(candidate, 1.0);
        }
    });
    return limited;
}

void discriminate(std::span<double> stereo, std::uint64_t frames, double fullScale, Progress& progress)
{
    // From the last frame to the first, so that the earlier frames each
    // output needs are still the inputs when it is written; frames before
    // the first count as zero.
    const Frame2 scale = splat(1.0 / fullScale);
    const auto at = [&](std::uint64_t n, std::uint64_t back) {
        return n >= back ? loadFrame(&stereo[2 * (n - back)]) : Frame2{};
    };
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t n = frames - 1 - i;
            const Frame2 d =
                loadFrame(&stereo[2 * n]) * (at(n, kDiscriminatorLongDelay) - at(n, kDiscriminatorShortDelay)) * scale;
            storeFrame(&stereo[2 * n], d);
        }
    });
}

void jvcPostFilter(std::span<double> stereo, std::span<double> work, std::uint64_t frames, Progress& progress)
{
    biquadPass<Direction::Forward>(stereo.data(), stereo.data(), frames, kJvcCut, progress);
    for (int twice = 0; twice < 2; ++twice) {
        biquadPass<Direction::Forward>(stereo.data(), work.data(), frames, kJvcBandPass, progress);
        biquadPass<Direction::Reverse>(work.data(), stereo.data(), frames, kJvcBandPass, progress);
    }
}

void highQualityPostFilter(std::span<double> stereo, std::uint64_t frames, Progress& progress)
{
    const Frame2 a = splat(kShelfA), c = splat(kShelfC);
    Frame2 x1{}, y1{};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const Frame2 x = loadFrame(&stereo[2 * n]);
            y1 = a * (x + x1) + c * y1;
            x1 = x;
            storeFrame(&stereo[2 * n], splat(kShelfDirect) * x + splat(kShelfLowPass) * y1);
        }
    });
}

double matchDemodulatedLevel(std::span<double> six, std::span<const double> sub, std::uint64_t frames,
                             Progress& progress)
{
    double baseband = 0, demodulated = 0;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            double* f = &six[6 * n];
            f[0] *= kBasebandGain;
            f[1] *= kBasebandGain;
            const double left = f[0] + f[1], right = f[0] - f[1];
            baseband += left * left + right * right;
            demodulated += sub[2 * n] * sub[2 * n] + sub[2 * n + 1] * sub[2 * n + 1];
        }
    });
    return demodulated > 0 ? std::sqrt(baseband / demodulated) : 1.0;
}

void outputMatrix(std::span<double> six, std::span<const double> sub, double subGain, bool rearDifference,
                  std::uint64_t frames, Progress& progress)
{
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            double* f = &six[6 * n];
            const std::uint64_t at = n + kDiscriminatorDelayFrames;
            const double uL = at < frames ? subGain * sub[2 * at] : 0.0;
            const double uR = at < frames ? subGain * sub[2 * at + 1] : 0.0;
            const double left = f[0] + f[1], right = f[0] - f[1];
            f[0] = 0.5 * (left + uL);
            f[1] = 0.5 * (right + uR);
            f[2] = f[3] = 0.0;
            f[4] = rearDifference ? uL : 0.5 * (left - uL);
            f[5] = rearDifference ? uR : 0.5 * (right - uR);
        }
    });
}

}  // namespace auralune::cd4

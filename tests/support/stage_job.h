#pragma once

#include "support/sample_job.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace auralune::test {

// A job whose enhancement stage 1 reads `input` (stereo, in audioBuf_0) and
// writes a zeroed audioBuf_1 of `outChannels` per frame, at `rate`.
struct StageJob : SampleJob {
    StageJob(EnhancementCode code, double rate, std::vector<double> input, std::uint32_t outChannels = 2,
             std::uint32_t bits = 24, std::vector<std::uint32_t> randomValues = {0x80000000u})
        : SampleJob(std::move(randomValues))
    {
        job.settings.filterType_1 = code;
        job.settings.filterType_2 = kEnhancementNone;
        job.dstFrameRate = rate;
        job.dstSampleBits = bits;
        job.srcChannels = 2;
        job.dstChannels_1 = job.dstChannels_2 = outChannels;
        job.dstFrames = static_cast<std::uint32_t>(input.size() / 2);
        job.audioBuf_0 = staged(input);
        job.audioBuf_1.assign(std::uint64_t{job.dstFrames} * outChannels, 0.0);
        job.error = 0x40;   // every routine clears it when it succeeds
        log.clear();
    }

    // Runs Enhancement 1 through the dispatcher and returns its output.
    std::vector<double> run()
    {
        job.StereoEnhancement(1);
        return plain(job.audioBuf_1);
    }
};

// Stereo frames of a sine with the given left and right amplitudes.
inline std::vector<double> stereoTone(std::uint64_t frames, double rate, double hz, double left, double right)
{
    std::vector<double> v(frames * 2);
    for (std::uint64_t n = 0; n < frames; ++n) {
        const double s = std::sin(2 * std::numbers::pi * hz * static_cast<double>(n) / rate);
        v[2 * n] = left * s;
        v[2 * n + 1] = right * s;
    }
    return v;
}

// A unit impulse at frame `at` in the left channel only.
inline std::vector<double> leftImpulse(std::uint64_t frames, std::uint64_t at, double height = 1.0)
{
    std::vector<double> v(frames * 2, 0.0);
    v[at * 2] = height;
    return v;
}

// Channel `channel` of interleaved frames.
inline std::vector<double> channelOf(const std::vector<double>& v, std::uint32_t channels, std::uint32_t channel)
{
    std::vector<double> out(v.size() / channels);
    for (std::size_t n = 0; n < out.size(); ++n)
        out[n] = v[n * channels + channel];
    return out;
}

// The frequency response at `hz` of an impulse response whose impulse
// stood at sample `origin`: Σ h[n]·e^(−jω(n − origin)).
inline std::complex<double> responseAt(const std::vector<double>& h, double hz, double rate, std::size_t origin = 0)
{
    const double w = 2 * std::numbers::pi * hz / rate;
    // A rotating phasor, renewed every 1024 samples to keep rounding away.
    const std::complex<double> step = std::polar(1.0, -w);
    std::complex<double> sum = 0, phasor;
    for (std::size_t n = 0; n < h.size(); ++n) {
        if (n % 1024 == 0)
            phasor = std::polar(1.0, -w * (static_cast<double>(n) - static_cast<double>(origin)));
        sum += h[n] * phasor;
        phasor *= step;
    }
    return sum;
}

// The bilinear first-order sections with pre-warping, at `hz`:
// high-pass (1 − z⁻¹)/(1 + K) ÷ (1 − p·z⁻¹), low-pass K(1 + z⁻¹)/(1 + K) ÷
// (1 − p·z⁻¹), with K = tan(π·corner/rate) and p = (1 − K)/(1 + K).
inline std::complex<double> bilinearFirstOrder(bool highPass, double cornerHz, double hz, double rate)
{
    const double k = std::tan(std::numbers::pi * cornerHz / rate);
    const double p = (1 - k) / (1 + k);
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / rate);
    const std::complex<double> num = highPass ? (1.0 - z1) / (1 + k) : k * (1.0 + z1) / (1 + k);
    return num / (1.0 - p * z1);
}

inline double dB(double ratio) { return 20 * std::log10(ratio); }

// RMS of one channel over frames [from, to).
inline double rmsOf(const std::vector<double>& v, std::uint32_t channels, std::uint32_t channel, std::size_t from,
                    std::size_t to)
{
    double sum = 0;
    for (std::size_t n = from; n < to; ++n)
        sum += v[n * channels + channel] * v[n * channels + channel];
    return std::sqrt(sum / static_cast<double>(to - from));
}

}  // namespace auralune::test

#pragma once

#include "engine/audio_file.h"
#include "support/sample_job.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

namespace auralune::test {

inline constexpr EnhancementCode kRiaaCode = 0x800;
inline constexpr EnhancementCode kFlatCode = 0x40000;
inline constexpr EnhancementCode kRumbleCode = 0x80000;
inline constexpr EnhancementCode kAntiRiaaCode = 0x2000000;
inline constexpr EnhancementCode kDeemphasisCode = 0x4000000;
inline constexpr EnhancementCode kCd4Code = 0x100000000000;

// A job set up for one stage-1 run of the phonograph chain with every
// option off, 24-bit scale.
struct PhonographJob : SampleJob {
    PhonographJob(EnhancementCode code, double rate, std::vector<double> stereo, std::uint32_t channels = 2)
    {
        SettingsSnapshot& s = job.settings;
        s.filterType_1 = code;
        s.useGainRanging = s.useCartridgeBalance = s.useDiscEchoRemoval = false;
        s.useDeroz2ResponseCorrection = s.useLpDistortionCancel = false;
        s.useZephra = s.useRumbleFilter = s.useHumFilter = s.useWowCorrection = false;
        s.phonographPopClick = 1;
        s.phonographScratch = 1;
        s.phonographRegime = 1;
        s.popClickCD4 = 1;
        s.useZephraCD4 = s.useRumbleFilterCD4 = s.useHumFilterCD4 = false;
        job.dstFrameRate = rate;
        job.dstSampleBits = 24;
        job.srcChannels = 2;
        job.dstChannels_1 = channels;
        job.dstFrames = static_cast<std::uint32_t>(stereo.size() / 2);
        job.audioBuf_0 = staged(stereo);
        job.audioBuf_1.assign(std::uint64_t{job.dstFrames} * channels, 0.0);
    }

    std::vector<double> run()
    {
        job.PhonographEQ(1);
        return plain(job.audioBuf_1);
    }
};

// Both channels of a stereo buffer: a unit impulse at `at`.
inline std::vector<double> stereoImpulse(std::size_t frames, std::size_t at)
{
    std::vector<double> v(frames * 2, 0.0);
    v[2 * at] = v[2 * at + 1] = 1.0;
    return v;
}

inline std::vector<double> stereoSine(std::size_t frames, double hz, double rate, double amplitude,
                                      double phase = 0.0)
{
    std::vector<double> v(frames * 2);
    for (std::size_t n = 0; n < frames; ++n)
        v[2 * n] = v[2 * n + 1] = amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(n) / rate + phase);
    return v;
}

// The response at `hz` of a filter whose impulse (at frame `at`) response
// is channel `channel` of an interleaved buffer.
inline std::complex<double> responseAt(const std::vector<double>& interleaved, std::size_t channels,
                                       std::size_t channel, std::size_t at, double hz, double rate)
{
    std::complex<double> sum = 0;
    const double w = 2 * std::numbers::pi * hz / rate;
    for (std::size_t n = 0; n * channels + channel < interleaved.size(); ++n) {
        const double k = static_cast<double>(n) - static_cast<double>(at);
        sum += interleaved[n * channels + channel] * std::polar(1.0, -w * k);
    }
    return sum;
}

inline double dB(std::complex<double> h) { return 20 * std::log10(std::abs(h)); }

// In-place radix-2 FFT; the size must be a power of two.
inline void fft(std::vector<std::complex<double>>& a)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Energy of a Hann-windowed signal in the third-octave band around `hz`.
inline double bandEnergy(const std::vector<std::complex<double>>& spectrum, double hz, double rate)
{
    const double n = static_cast<double>(spectrum.size());
    const auto lo = static_cast<std::size_t>(hz * std::pow(2.0, -1.0 / 6) / rate * n);
    const auto hi = static_cast<std::size_t>(hz * std::pow(2.0, 1.0 / 6) / rate * n);
    double sum = 0;
    for (std::size_t k = lo; k <= hi && k < spectrum.size() / 2; ++k)
        sum += std::norm(spectrum[k]);
    return sum;
}

inline std::vector<std::complex<double>> windowedSpectrum(const std::vector<double>& x)
{
    std::vector<std::complex<double>> a(x.size());
    const double n = static_cast<double>(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        a[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / n));
    fft(a);
    return a;
}

}  // namespace auralune::test

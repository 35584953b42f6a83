// The wide-band rate converters ("HiResFilter" 2), measured with sines:
// flat to 0.4535 of the lower rate, 100 dB of image and alias rejection from
// 0.5465 of it, and no delay.

#include "dsp/hires.h"
#include "support/sample_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace auralune {
namespace {

constexpr double kPi = std::numbers::pi;

std::vector<double> stereoTone(std::size_t frames, double cyclesPerFrame)
{
    std::vector<double> x(2 * frames);
    for (std::size_t n = 0; n < frames; ++n)
        x[2 * n] = x[2 * n + 1] = std::sin(2 * kPi * cyclesPerFrame * static_cast<double>(n));
    return x;
}

// Amplitude and phase of channel 0 at `cyclesPerFrame`, over the middle half
// (clear of the kernel's reach into the silence beyond the ends) under a
// four-term Blackman-Harris window, whose side lobes (−92 dB) keep one tone
// out of the measurement of another.
std::complex<double> component(const std::vector<double>& y, double cyclesPerFrame)
{
    const std::size_t frames = y.size() / 2;
    const std::size_t first = frames / 4, count = frames / 2;
    std::complex<double> sum = 0;
    double weights = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = 2 * kPi * static_cast<double>(i) / static_cast<double>(count - 1);
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        const std::size_t n = first + i;
        sum += w * y[2 * n] * std::polar(1.0, -2 * kPi * cyclesPerFrame * static_cast<double>(n));
        weights += w;
    }
    // A sine sin(wn) is (e^{jwn} − e^{−jwn}) / 2j: this picks −j/2 times its amplitude.
    return sum * std::complex<double>(0, 2) / weights;
}

double dB(double x) { return 20 * std::log10(x); }

// Frequencies as fractions of the lower rate; the tone lengths make whole
// numbers of cycles over the measured half.
TEST(HiResWide, InterpolationIsFlatRejectsImagesAndAddsNoDelay)
{
    const std::size_t frames = 8192;
    Progress progress;
    for (double f : {0.01, 0.1, 0.3, 0.4535}) {
        const std::vector<double> x = stereoTone(frames, f);
        std::vector<double> y(4 * frames);
        interpolateByTwo(x, y, 2, widePhases(), progress);
        const std::complex<double> wanted = component(y, f / 2);
        EXPECT_NEAR(dB(std::abs(wanted)), 0.0, 0.01) << f;
        EXPECT_NEAR(std::arg(wanted), 0.0, 1e-4) << f;   // in phase: no delay
        // The image at 1 − f of the lower rate.
        EXPECT_LT(dB(std::abs(component(y, (1 - f) / 2))), -100) << f;
    }
}

TEST(HiResWide, DecimationIsFlatRejectsAliasesAndAddsNoDelay)
{
    const std::size_t frames = 16384;   // at the higher rate
    Progress progress;
    for (double f : {0.01, 0.2, 0.4535}) {
        std::vector<double> x = stereoTone(frames, f / 2);
        std::vector<double> y(frames);
        decimateByTwoHalfBand(x, y, 2, wideHalfBand(), progress);
        const std::complex<double> kept = component(y, f);
        EXPECT_NEAR(dB(std::abs(kept)), 0.0, 0.01) << f;
        EXPECT_NEAR(std::arg(kept), 0.0, 1e-4) << f;
    }
    // Tones from 0.5465 of the lower rate up fold back at least 100 dB down.
    for (double f : {0.5465, 0.6, 0.8, 0.95}) {
        std::vector<double> x = stereoTone(frames, f / 2);
        std::vector<double> y(frames);
        decimateByTwoHalfBand(x, y, 2, wideHalfBand(), progress);
        EXPECT_LT(dB(std::abs(component(y, 1 - f))), -100) << f;
    }
}

// The half-band converters skip the zero taps: they give what the general
// ones give with the whole kernel, for any length and channel count,
// including the ends and (4171 frames) the seams between the decimator's
// chunks of 1024 output frames and a short last one.
TEST(HiResWide, HalfBandConvertersMatchTheGeneralOnes)
{
    const std::span<const double> kernel = wideKernel();
    for (std::uint32_t channels : {1u, 2u, 3u, 4u, 6u}) {
        for (std::size_t frames : {0u, 1u, 2u, 5u, 71u, 72u, 73u, 150u, 301u, 4171u}) {
            std::vector<double> x(frames * channels);
            for (std::size_t i = 0; i < x.size(); ++i)
                x[i] = std::sin(0.37 * static_cast<double>(i)) + 0.25 * std::cos(1.3 * static_cast<double>(i));
            Progress progress;
            std::vector<double> general(2 * x.size()), halfBand(2 * x.size());
            // The general loop on a copy of the phases with the zero taps
            // nudged, so that it does not take the half-band shortcut.
            InterpolationKernel nudged = widePhases();
            for (double& tap : nudged.phase[0])
                if (tap == 0.0)
                    tap = 1e-300;
            interpolateByTwo(x, general, channels, nudged, progress);
            interpolateByTwo(x, halfBand, channels, widePhases(), progress);
            for (std::size_t i = 0; i < general.size(); ++i)
                ASSERT_NEAR(halfBand[i], general[i], 1e-12) << channels << " channels, " << frames << " frames, " << i;

            std::vector<double> down(frames / 2 * channels), downHalfBand(down.size());
            decimateByTwo(x, down, channels, kernel, progress);
            decimateByTwoHalfBand(x, downHalfBand, channels, wideHalfBand(), progress);
            for (std::size_t i = 0; i < down.size(); ++i)
                ASSERT_NEAR(downHalfBand[i], down[i], 1e-12) << channels << " channels, " << frames << " frames, " << i;
        }
    }
}

// The job picks the kernels from the snapshot: a 20 kHz tone of a 44.1 kHz
// source comes out of the doubling at its own level with "Wide" and 70 dB
// down with the standard kernel.
TEST(HiResWide, DualUpSampleFollowsTheSetting)
{
    for (const int filter : {1, 2}) {
        test::SampleJob s;
        AudioFile& job = s.job;
        job.settings.hiResFilter = filter;
        job.upsampleType = kUpsampleDouble;
        job.srcChannels = 2;
        job.srcFrames = 8192;
        job.dstFrames = 2 * job.srcFrames;
        job.srcFrameRate = 44100;
        job.dstFrameRate = 88200;
        job.audioIn = test::staged(stereoTone(job.srcFrames, 20000.0 / 44100));
        job.audioBuf_0.assign(2 * std::size_t{job.dstFrames}, 0.0);
        job.DualUpSample();
        const double level = dB(std::abs(component(test::plain(job.audioBuf_0), 10000.0 / 44100)));
        if (filter == 2)
            EXPECT_NEAR(level, 0.0, 0.01);
        else
            EXPECT_LT(level, -60.0);
    }
}

}  // namespace
}  // namespace auralune

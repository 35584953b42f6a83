#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace auralune {
namespace {

using test::StageJob;

struct Routine {
    EnhancementCode code;
    const char* name;
    bool symmetric;   // swapping left and right swaps the output
    bool rateTable;   // coefficients only at the four stage rates
};

constexpr Routine kStereoRoutines[] = {
    {0x2, "KESTRALIN", true, true},
    {0x4, "KESTRALIN KS1", true, true},
    {0x8, "Bride of KESTRALIN", true, true},
    {0x10, "Rivelle", true, true},
    {0x20, "Tessalin", true, true},
    {0x40, "Quillmere", false, true},   // 18 ms left echo, 20 ms right
    {0x8000000, "Cassette Noise Reduction", true, true},
    {0x10000000, "Groove", true, false},
    {0x100000000, "KESTRALIN T-Sym", true, true},
    {0x200000000, "Unlimiting", true, true},
    {0x1000000000000, "Cat 22 Noise Reduction", true, true},
    {0x2000000000000, "Tape EQ A", true, true},
    {0x4000000000000, "Tape EQ B", true, true},
    {0x8000000000000, "Tape EQ C", true, true},
    {0x10000000000000, "Tape EQ D", true, true},
};

// Broadband programme: different white noise in each channel at −20 dBFS.
std::vector<double> programme(std::size_t frames)
{
    std::vector<double> v(2 * frames);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (double& x : v) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        x = (static_cast<double>(state >> 11) * 0x1p-53 - 0.5) * 1677721.6;
    }
    return v;
}

std::vector<double> swapped(std::vector<double> v)
{
    for (std::size_t i = 0; i + 1 < v.size(); i += 2)
        std::swap(v[i], v[i + 1]);
    return v;
}

// Correlation of output against input at `lag` frames, one channel.
double correlation(const std::vector<double>& in, const std::vector<double>& out, std::size_t channel, int lag)
{
    const std::size_t frames = in.size() / 2;
    double sum = 0;
    for (std::size_t n = 100; n + 100 < frames; ++n)
        sum += in[2 * n + channel] * out[2 * static_cast<std::size_t>(static_cast<std::ptrdiff_t>(n) + lag) + channel];
    return sum;
}

TEST(StereoEnhancements, NoTimeShiftNoPolarityChangeFullLengthAndMirrorSymmetry)
{
    for (double rate : {44100.0, 96000.0}) {
        const std::vector<double> in = programme(6000);
        for (const Routine& r : kStereoRoutines) {
            StageJob s(r.code, rate, in);
            s.job.settings.grooveNoise = -70.0;
            const std::vector<double> out = s.run();
            ASSERT_EQ(s.job.error, 0) << r.name;
            ASSERT_EQ(out.size(), in.size()) << r.name;
            EXPECT_NE(out[out.size() - 2], 0.0) << r.name;   // written to the last frame

            for (std::size_t channel : {0u, 1u}) {
                const double atZero = correlation(in, out, channel, 0);
                EXPECT_GT(atZero, 0) << r.name << " " << rate;
                for (int lag = -40; lag <= 40; ++lag) {
                    if (lag != 0) {
                        EXPECT_LT(std::fabs(correlation(in, out, channel, lag)), atZero)
                            << r.name << " " << rate << " lag " << lag;
                    }
                }
            }
            if (r.symmetric) {
                StageJob mirror(r.code, rate, swapped(in));
                mirror.job.settings.grooveNoise = -70.0;
                EXPECT_EQ(mirror.run(), swapped(out)) << r.name << " " << rate;
            }
        }
    }
}

TEST(StereoEnhancements, ARateWithoutCoefficientsFailsTheJobInsteadOfEndingTheProgram)
{
    for (const Routine& r : kStereoRoutines) {
        if (!r.rateTable)
            continue;
        StageJob s(r.code, 32000, programme(300));
        s.job.error = 0;
        s.run();
        EXPECT_EQ(s.job.error, kErrorFrameRate) << r.name;
        EXPECT_EQ(s.log.lines().back().rfind("<ERROR> ", 0), 0u) << r.name;
    }
}

}  // namespace
}  // namespace auralune

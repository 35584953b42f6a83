#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace auralune {
namespace {

using test::StageJob;

struct Routine {
    EnhancementCode code;
    const char* name;
    bool symmetric;       // swapping left and right swaps the output
    bool monoUnchanged;   // L = R comes out bit for bit
};

constexpr Routine kStereoRoutines[] = {
    {0x2, "KESTRALIN", true, true},
    {0x4, "KESTRALIN KS1", true, false},
    {0x8, "Bride of KESTRALIN", true, true},
    {0x10, "Rivelle", true, true},
    {0x20, "Tessalin", true, false},
    {0x40, "Quillmere", false, false},   // 18 ms left echo, 20 ms right
    {0x8000000, "Cassette Noise Reduction", true, false},
    {0x10000000, "Groove", true, false},
    {0x100000000, "KESTRALIN T-Sym", true, true},
    {0x200000000, "Unlimiting", true, false},
    {0x1000000000000, "Cat 22 Noise Reduction", true, false},
    {0x2000000000000, "Tape EQ A", true, false},
    {0x4000000000000, "Tape EQ B", true, false},
    {0x8000000000000, "Tape EQ C", true, false},
    {0x10000000000000, "Tape EQ D", true, false},
};

// White noise at −20 dBFS, different in each channel (or the same with `mono`).
std::vector<double> programme(std::size_t frames, bool mono = false)
{
    std::vector<double> v(2 * frames);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::size_t i = 0; i < v.size(); ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        v[i] = mono && i % 2 ? v[i - 1] : (static_cast<double>(state >> 11) * 0x1p-53 - 0.5) * 1677721.6;
    }
    return v;
}

std::vector<double> swapped(std::vector<double> v)
{
    for (std::size_t i = 0; i + 1 < v.size(); i += 2)
        std::swap(v[i], v[i + 1]);
    return v;
}

double correlation(const std::vector<double>& in, const std::vector<double>& out, std::size_t channel, int lag)
{
    double sum = 0;
    for (std::size_t n = 100; n + 100 < in.size() / 2; ++n)
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
            EXPECT_NE(out[out.size() - 2], 0.0) << r.name;   // written to the last frame
            for (std::size_t channel : {0u, 1u}) {
                const double atZero = correlation(in, out, channel, 0);
                EXPECT_GT(atZero, 0) << r.name << " " << rate;
                for (int lag = 1; lag <= 40; ++lag) {
                    EXPECT_LT(std::fabs(correlation(in, out, channel, lag)), atZero) << r.name << " " << lag;
                    EXPECT_LT(std::fabs(correlation(in, out, channel, -lag)), atZero) << r.name << " " << -lag;
                }
            }
            if (r.symmetric) {
                StageJob mirror(r.code, rate, swapped(in));
                mirror.job.settings.grooveNoise = -70.0;
                EXPECT_EQ(mirror.run(), swapped(out)) << r.name << " " << rate;
            }
            if (r.monoUnchanged) {
                StageJob mono(r.code, rate, programme(6000, true));
                EXPECT_EQ(mono.run(), programme(6000, true)) << r.name << " " << rate;
            }
        }
    }
}

TEST(StereoEnhancements, ARateWithoutCoefficientsFailsTheJobInsteadOfEndingTheProgram)
{
    for (const Routine& r : kStereoRoutines) {
        if (r.code == 0x10000000)   // Groove has no rate table
            continue;
        StageJob s(r.code, 32000, programme(300));
        s.job.error = 0;
        s.run();
        EXPECT_EQ(s.job.error, kErrorFrameRate) << r.name;
        // One error line: a failed routine ends its row (Quillmere's reverb does not run).
        const std::vector<std::string> lines = s.log.lines();
        const auto isError = [](const std::string& line) { return line.rfind("<ERROR> ", 0) == 0; };
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isError), 1) << r.name;
    }
}

TEST(StereoEnhancementsDeathTest, WrongCodesChannelsAndDepthsEndTheProgram)
{
    using A = AudioFile;
    struct Case {
        void (AudioFile::*routine)(std::uint32_t);
        EnhancementCode code;
        std::uint32_t outChannels;
        std::uint32_t bits;
        const char* message;
    };
    const Case cases[] = {
        {&A::Kestralin, 0x2, 6, 24, "The number of channels must be 2 in -\\[AudioFile Kestralin:\\]"},
        {&A::Kestralin, 0x400, 2, 24, "The number of channels must be 6 in -\\[AudioFile Kestralin:\\]"},
        {&A::Kestralin, 0x100000000, 2, 24, "Unknown enhancement type 4294967296 in -\\[AudioFile Kestralin:\\]"},
        {&A::KestralinTSym, 0x2, 2, 24, "Unknown enhancement type 2 in -\\[AudioFile KestralinTSym:\\]"},
        {&A::Quillmere, 0x40, 6, 24, "The number of channels must be 2 in -\\[AudioFile Quillmere:\\]"},
        {&A::QuillmereReverb, 0x40, 6, 24, "The number of channels must be 2 in -\\[AudioFile QuillmereReverb:\\]"},
        {&A::Rivelle, 0x40, 2, 24, "Unknown enhancement type 64 in -\\[AudioFile Rivelle:\\]"},
        {&A::TapeEQ, 0x2, 2, 24, "Filter type is unknown in -\\[AudioFile TapeEQ:\\]"},
        {&A::CassetteNoiseReduction, 0x8000000, 6, 24,
         "The number of channels must be 2 in -\\[AudioFile CassetteNoiseReduction:\\]"},
        {&A::CassetteNoiseReduction, 0x40000000, 2, 24,
         "The number of channels must be 6 in -\\[AudioFile CassetteNoiseReduction:\\]"},
        {&A::Cat22NoiseReduction, 0x8000000, 2, 24, "Filter type is unknown in -\\[AudioFile Cat22NoiseReduction:\\]"},
        {&A::Unlimiting, 0x2, 2, 24, "Unknown enhancement type 2 in -\\[AudioFile Unlimiting:\\]"},
        {&A::Groove24, 0x10000000, 2, 16, "Unexpected destination sample bits \\(16\\) in -\\[AudioFile Groove24:\\]"},
    };
    for (const Case& c : cases) {
        StageJob s(c.code, 44100, std::vector<double>(200, 0.0), c.outChannels, c.bits);
        EXPECT_DEATH((s.job.*c.routine)(1), c.message);
    }
}

}  // namespace
}  // namespace auralune

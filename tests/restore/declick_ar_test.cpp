// The interpolating declicker: its model fit and interpolation, and its
// results on a benchmark record against ffmpeg's adeclick run on the same
// samples in the same test.

#include "restore/declick_ar_kernels.h"
#include "restore/phonograph_test_support.h"
#include "support/click_record.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace auralune {
namespace {

using namespace test;

constexpr double kPi = std::numbers::pi;
constexpr double kFullScale = 8388608.0;

// An AR(2) resonance driven by white noise gives back its own coefficients.
TEST(ArDeclickModel, BurgFindsTheCoefficientsOfAnArProcess)
{
    const double r = 0.95, w = 2 * kPi * 0.05;
    const double a1 = -2 * r * std::cos(w), a2 = r * r;
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> x(20000);
    for (std::size_t n = 2; n < x.size(); ++n)
        x[n] = noise(random) - a1 * x[n - 1] - a2 * x[n - 2];
    const std::vector<double> a = burgAr(x, 4);
    EXPECT_DOUBLE_EQ(a[0], 1.0);
    EXPECT_NEAR(a[1], a1, 0.02);
    EXPECT_NEAR(a[2], a2, 0.02);
    EXPECT_NEAR(a[3], 0.0, 0.02);
    EXPECT_NEAR(a[4], 0.0, 0.02);
    // Silence has no model to fit.
    EXPECT_EQ(burgAr(std::vector<double>(100, 0.0), 4), (std::vector<double>{1, 0, 0, 0, 0}));
}

// 30-sample gaps in a two-tone signal are filled from their neighbourhood
// to within −80 dB.
TEST(ArDeclickModel, InterpolationRestoresAGap)
{
    std::vector<double> x(4000);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = std::sin(2 * kPi * 0.013 * static_cast<double>(n)) + 0.5 * std::sin(2 * kPi * 0.071 * static_cast<double>(n) + 1);
    const std::vector<double> clean = x;
    const std::vector<double> a = burgAr(x, 16);
    for (const std::size_t from : {std::size_t{2000}, std::size_t{3950}}) {
        std::vector<std::uint64_t> gap;
        for (std::size_t n = from; n < from + 30; ++n) {
            x[n] = 5.0;
            gap.push_back(n);
        }
        ASSERT_TRUE(arInterpolate(x, gap, a));
        double error = 0;
        for (std::size_t n = from; n < from + 30; ++n) {
            error = std::max(error, std::fabs(x[n] - clean[n]));
            x[n] = clean[n];
        }
        EXPECT_LT(error, 1e-4) << from;
    }
    EXPECT_EQ(x, clean);   // nothing outside the gaps moved
}

// Runs ffmpeg's adeclick (default settings) on a stereo record; empty when
// ffmpeg is missing or fails.
std::vector<double> adeclick(const std::vector<double>& stereo, double rate)
{
    TempDir dir;
    const auto input = dir.path() / "in.f64";
    const auto output = dir.path() / "out.f64";
    std::vector<double> scaled(stereo.size());
    for (std::size_t i = 0; i < stereo.size(); ++i)
        scaled[i] = stereo[i] / kFullScale;
    std::vector<std::uint8_t> bytes(scaled.size() * sizeof(double));
    std::memcpy(bytes.data(), scaled.data(), bytes.size());
    writeFile(input, bytes);
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -f f64le -ar " +
                                std::to_string(static_cast<int>(rate)) + " -ac 2 -i '" + input.string() +
                                "' -af adeclick -f f64le -y '" + output.string() + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    bytes = readFile(output);
    std::vector<double> out(bytes.size() / sizeof(double));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(double));
    if (out.size() != stereo.size())
        return {};
    for (double& v : out)
        v *= kFullScale;
    return out;
}

ClickScore declickedScore(const ClickRecord& record, DeclickSensitivity sensitivity)
{
    std::vector<double> out = record.clicked, work(2 * record.frames);
    Progress progress;
    arDeclick(out, record.frames, arDeclickParams(record.rate, sensitivity), work, progress);
    return scoreDeclicking(record, out);
}

// 200 clicks of 1–40 samples in three seconds of a piano-like recording:
// at least as many clicks repaired and as much click energy removed as
// adeclick, with less damage outside the clicks.
TEST(ArDeclick, BeatsAdeclickOnTheBenchmarkRecord)
{
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    for (const double rate : {44100.0, 96000.0}) {
        const ClickRecord record = makeClickRecord(rate, 3.0, 200, 17);
        const std::vector<double> reference = adeclick(record.clicked, rate);
        ASSERT_FALSE(reference.empty()) << "adeclick failed";
        const ClickScore theirs = scoreDeclicking(record, reference);
        const ClickScore ours = declickedScore(record, DeclickSensitivity::Normal);
        RecordProperty(rate == 44100.0 ? "clicks_44k" : "clicks_96k",
                       std::to_string(ours.repaired) + " vs " + std::to_string(theirs.repaired));
        EXPECT_GE(ours.repaired, theirs.repaired) << rate;
        EXPECT_GE(ours.removedShare, theirs.removedShare) << rate;
        EXPECT_LT(ours.damageDb, theirs.damageDb) << rate;
        std::printf("%.0f Hz: repaired %zu vs %zu, removed %.1f %% vs %.1f %%, damage %.1f dB vs %.1f dB\n", rate,
                    ours.repaired, theirs.repaired, 100 * ours.removedShare, 100 * theirs.removedShare, ours.damageDb,
                    theirs.damageDb);
    }
}

// The three sensitivities are ordered, and a clean recording passes
// untouched at the lowest.
TEST(ArDeclick, SensitivityStepsAreOrdered)
{
    const ClickRecord record = makeClickRecord(44100, 2.0, 100, 23);
    const ClickScore low = declickedScore(record, DeclickSensitivity::Low);
    const ClickScore normal = declickedScore(record, DeclickSensitivity::Normal);
    const ClickScore high = declickedScore(record, DeclickSensitivity::High);
    EXPECT_LE(low.repaired, normal.repaired);
    EXPECT_LE(normal.repaired, high.repaired);
    EXPECT_LT(low.repaired, high.repaired);
    EXPECT_LE(low.removedShare, high.removedShare);

    std::vector<double> clean = record.clean, work(2 * record.frames);
    Progress progress;
    const ArDeclickCount count =
        arDeclick(clean, record.frames, arDeclickParams(44100, DeclickSensitivity::Low), work, progress);
    EXPECT_EQ(count.runs, 0u);
    EXPECT_EQ(clean, record.clean);
}

// "PhonographPopClick" 4 runs the declicker in the chain, both channels,
// with the sensitivity of the snapshot.
TEST(ArDeclick, ChainRunsItForSetting4)
{
    const ClickRecord record = makeClickRecord(44100, 1.0, 40, 29);
    PhonographJob p(kFlatCode, 44100, record.clicked);
    p.job.settings.phonographPopClick = 4;
    p.job.settings.popClickSensitivity = 3;
    const ClickScore score = scoreDeclicking(record, p.run());
    EXPECT_GT(score.removedShare, 0.9);
    EXPECT_LT(score.damageDb, -30);
    EXPECT_TRUE(p.log.contains("<Info>  Pop-Click Removal (interpolated)"));
}

}  // namespace
}  // namespace auralune

#include "enhance/tape_eq_coefficients.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace auralune {
namespace {

using test::StageJob;

// A standard's recorded flux against frequency from its time constants:
// (1 + 1/(jωT2)) / (1 + 1/(jωT1)); no T2 for CCIR.
std::complex<double> flux(double t1Us, double t2Us, double hz)
{
    const std::complex<double> jw(0, 2 * std::numbers::pi * hz);
    std::complex<double> v = 1.0 / (1.0 + 1.0 / (jw * t1Us * 1e-6));
    if (t2Us > 0)
        v *= 1.0 + 1.0 / (jw * t2Us * 1e-6);
    return v;
}

struct Case {
    std::size_t conversion;
    double fromT1Us, fromT2Us;   // the equalisation the transfer has
    double toT1Us, toT2Us;       // the one it should have
    double lowestHz;             // where it meets the standards within 0.5 dB
    double nyquistGain, dcGain;
};

// A and C turn NAB's unbounded 6 dB/octave bass rise below 50 Hz into a
// +9.5 dB shelf, so they fall short of the curve below about 30 Hz.
constexpr Case kCases[] = {
    {0, 35, 0, 50, 3180, 31.5, 0.7, 3.0},
    {1, 50, 3180, 35, 0, 20, 1.428, 0.0},
    {2, 70, 0, 50, 3180, 31.5, 1.4, 3.0},
    {3, 50, 3180, 70, 0, 20, 0.714, 0.0},
};

TEST(TapeEQ, ResponsesFollowTheDifferenceOfTheStandardCurves)
{
    for (const Case& c : kCases) {
        const TapeEqConversion& conversion = kTapeEqConversions[c.conversion];
        for (double rate : kStageRates) {
            StageJob s(conversion.code, rate, test::leftImpulse(65536, 0));
            const std::vector<double>& out = s.run();
            ASSERT_EQ(s.job.error, 0);
            const std::vector<double> left = test::channelOf(out, 2, 0);
            EXPECT_EQ(test::channelOf(out, 2, 1), std::vector<double>(65536, 0.0));
            const auto reference = [&](double hz) {
                return test::dB(std::abs(flux(c.toT1Us, c.toT2Us, hz) / flux(c.fromT1Us, c.fromT2Us, hz)));
            };
            // The conversions hold the middle of the band; compare shapes from 1 kHz.
            const double offset = test::dB(std::abs(test::responseAt(left, 1000, rate))) - reference(1000);
            const double top = rate < 80000 ? 16000 : 20000;
            for (double hz = 20; hz <= top; hz *= std::pow(2.0, 1.0 / 3)) {
                const double deviation = test::dB(std::abs(test::responseAt(left, hz, rate))) - reference(hz) - offset;
                if (hz >= c.lowestHz) {
                    EXPECT_NEAR(deviation, 0, 0.5) << conversion.displayName << " at " << rate << ": " << hz << " Hz";
                } else {
                    // 1.65 dB short at 20 Hz, 0.87 dB at 25 Hz.
                    EXPECT_LT(deviation, -0.5) << conversion.displayName << " at " << rate << ": " << hz << " Hz";
                    EXPECT_GT(deviation, -1.8) << conversion.displayName << " at " << rate << ": " << hz << " Hz";
                }
            }
            EXPECT_NEAR(std::abs(test::responseAt(left, rate / 2, rate)), c.nyquistGain, 1e-9);
            EXPECT_NEAR(std::abs(test::responseAt(left, 0, rate)), c.dcGain, 1e-6);
        }
    }
}

TEST(TapeEQ, StoredSectionsAreTheBilinearDesignsOfTheirCorners)
{
    constexpr double kS1Hz[] = {19.9, 50, 19.9, 50};
    constexpr double kS2Hz[] = {3183, 4547, 3183, 2274};
    for (std::size_t i = 0; i < kTapeEqConversions.size(); ++i) {
        for (std::size_t row = 0; row < kStageRates.size(); ++row) {
            const TapeEqCoeffs& k = kTapeEqConversions[i].byRate[row];
            const double k1 = std::tan(std::numbers::pi * kS1Hz[i] / kStageRates[row]);
            const double k2 = std::tan(std::numbers::pi * kS2Hz[i] / kStageRates[row]);
            const bool lowPass = i % 2 == 0;
            EXPECT_NEAR(k.a, lowPass ? k1 / (1 + k1) : 1 / (1 + k1), 5e-13) << i << " " << row;
            EXPECT_NEAR(k.b, lowPass ? k.a : -k.a, 0) << i << " " << row;
            EXPECT_NEAR(k.c, (1 - k1) / (1 + k1), 5e-13) << i << " " << row;
            EXPECT_NEAR(k.f, 1 / (1 + k2), 5e-13) << i << " " << row;
            EXPECT_EQ(k.g, -k.f);
            EXPECT_NEAR(k.h, (1 - k2) / (1 + k2), 5e-13) << i << " " << row;
        }
    }
}

TEST(TapeEQDeathTest, OtherCodesAndChannelCountsEndTheProgram)
{
    StageJob s(0x2, 44100, std::vector<double>(200, 0.0));
    EXPECT_DEATH(s.job.TapeEQ(1), "Filter type is unknown in -\\[AudioFile TapeEQ:\\]");
    StageJob six(kTapeEqConversions[0].code, 44100, std::vector<double>(200, 0.0), 6);
    EXPECT_DEATH(six.job.TapeEQ(1), "The number of channels must be 2 in -\\[AudioFile TapeEQ:\\]");
}

}  // namespace
}  // namespace auralune

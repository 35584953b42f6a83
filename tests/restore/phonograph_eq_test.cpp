#include "enhance/availability.h"
#include "restore/phonograph_coefficients.h"
#include "restore/phonograph_kernels.h"
#include "restore/phonograph_test_support.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace auralune {
namespace {

using namespace test;

constexpr std::array<double, 4> kRates{44100.0, 48000.0, 88200.0, 96000.0};

// The analogue RIAA playback response from its three time constants.
double analogueRiaaDb(double hz)
{
    const std::complex<double> s(0, 2 * std::numbers::pi * hz);
    return dB((1.0 + s * 318e-6) / ((1.0 + s * 3180e-6) * (1.0 + s * 75e-6)));
}

std::vector<double> impulseResponse(EnhancementCode code, double rate, std::size_t frames = 1 << 15)
{
    PhonographJob p(code, rate, stereoImpulse(frames, 0));
    return p.run();
}

TEST(PhonographEQ, RiaaFollowsTheAnalogueCurveAtEveryRate)
{
    // The published figures of the 44.1 kHz design, absolute.
    const std::vector<double> h44 = impulseResponse(kRiaaCode, 44100);
    const std::array<std::pair<double, double>, 6> figures{
        {{20, 19.5}, {100, 13.4}, {1000, 0.14}, {5000, -8.1}, {10000, -14.0}, {20000, -19.8}}};
    for (const auto& [hz, gainDb] : figures)
        EXPECT_NEAR(dB(responseAt(h44, 2, 0, 0, hz, 44100)), gainDb, 0.1) << hz << " Hz";

    // Normalised at 1 kHz: within 0.25 dB of the analogue curve up to 5 kHz;
    // above, the bilinear warping of the 75 µs section and the treble shelf
    // (a zero at 7.5 µs, 3.75 µs at the high rates) allow 0.8 dB.
    for (double rate : kRates) {
        const std::vector<double> h = impulseResponse(kRiaaCode, rate);
        const double at1k = dB(responseAt(h, 2, 0, 0, 1000, rate));
        for (double hz = 20; hz <= 20000; hz *= 1.05) {
            const double deviation = dB(responseAt(h, 2, 0, 0, hz, rate)) - at1k - (analogueRiaaDb(hz) - analogueRiaaDb(1000));
            EXPECT_LT(std::fabs(deviation), hz <= 5000 ? 0.25 : 0.8) << rate << " Hz rate, " << hz << " Hz";
        }
        for (std::size_t i = 0; i < h.size(); i += 2)
            ASSERT_EQ(h[i], h[i + 1]) << "left and right filtered alike";
    }
}

bool soxAvailable() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

// sox's riaa is an independent approximation of the same curve: third-octave
// band energies of both outputs on one noise signal, normalised at 1 kHz,
// agree within 0.5 dB up to 4 kHz and 1.0 dB above. A wrong table row
// moves the bass or treble by more.
TEST(PhonographEQ, RiaaAgreesWithSox)
{
    if (!soxAvailable())
        GTEST_SKIP() << "sox not installed";
    TempDir dir;
    constexpr std::size_t n = 1 << 18;
    std::vector<double> noise(n);
    std::uint32_t state = 12345;
    for (double& v : noise) {
        state = state * 1664525u + 1013904223u;
        v = (static_cast<double>(state) / 4294967296.0 - 0.5) * 0.02;
    }
    const auto in = dir.path() / "in.f64";
    const auto out = dir.path() / "out.f64";
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(noise.data()), static_cast<std::streamsize>(n * sizeof(double)));
    }
    std::vector<double> stereo(2 * n);
    for (std::size_t i = 0; i < n; ++i)
        stereo[2 * i] = stereo[2 * i + 1] = noise[i];

    for (double rate : kRates) {
        const std::string command = "sox -D -t f64 -r " + std::to_string(static_cast<int>(rate)) + " -c 1 '" +
                                    in.string() + "' -t f64 '" + out.string() + "' riaa";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<double> soxOut(n);
        std::ifstream f(out, std::ios::binary);
        f.read(reinterpret_cast<char*>(soxOut.data()), static_cast<std::streamsize>(n * sizeof(double)));
        ASSERT_EQ(f.gcount(), static_cast<std::streamsize>(n * sizeof(double)));

        PhonographJob p(kRiaaCode, rate, stereo);
        const std::vector<double> result = p.run();
        std::vector<double> ours(n);
        for (std::size_t i = 0; i < n; ++i)
            ours[i] = result[2 * i];

        const auto theirs = windowedSpectrum(soxOut);
        const auto mine = windowedSpectrum(ours);
        const auto ratioDb = [&](double hz) {
            return 10 * std::log10(bandEnergy(mine, hz, rate) / bandEnergy(theirs, hz, rate));
        };
        const double at1k = ratioDb(1000);
        for (double hz = 25; hz <= 16200; hz *= std::pow(2.0, 1.0 / 3))
            EXPECT_LT(std::fabs(ratioDb(hz) - at1k), hz <= 4100 ? 0.5 : 1.0) << rate << " Hz rate, " << hz << " Hz";
    }
}

TEST(PhonographEQ, EveryCurveDescribesOneResponseAtEveryRate)
{
    // Every row is stable; from 30 Hz to 8 kHz 44.1 agrees with 48 kHz and
    // 88.2 with 96 kHz within 0.5 dB, the two pairs within 1.5 dB (the bass
    // section's gain differs at the high rates).
    for (const phonograph::CurveDesign& curve : phonograph::kCurves) {
        std::array<std::vector<double>, 4> h;
        for (std::size_t r = 0; r < kRates.size(); ++r) {
            h[r] = impulseResponse(curve.code, kRates[r], 1 << 14);
            double tail = 0;
            for (std::size_t i = h[r].size() - 2000; i < h[r].size(); ++i)
                tail = std::max(tail, std::fabs(h[r][i]));
            EXPECT_LT(tail, 1e-6) << std::hex << curve.code << std::dec << " at " << kRates[r];
        }
        for (double hz = 30; hz <= 8000; hz *= 1.5) {
            std::array<double, 4> gain;
            for (std::size_t r = 0; r < kRates.size(); ++r)
                gain[r] = dB(responseAt(h[r], 2, 0, 0, hz, kRates[r]));
            SCOPED_TRACE(testing::Message() << std::hex << curve.code << std::dec << ", " << hz << " Hz");
            EXPECT_NEAR(gain[0], gain[1], 0.5);
            EXPECT_NEAR(gain[2], gain[3], 0.5);
            EXPECT_NEAR(gain[1], gain[2], 1.5);
        }
    }
}

TEST(PhonographEQ, FlatCurveCopiesAndUnknownRatesGiveSilence)
{
    const std::vector<double> input = stereoSine(1000, 440, 44100, 1000, 0.3);
    PhonographJob flat(kFlatCode, 44100, input);
    EXPECT_EQ(flat.run(), input);
    EXPECT_EQ(flat.job.error, 0);

    PhonographJob odd(kRiaaCode, 32000, input);
    const std::vector<double> out = odd.run();
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](double v) { return v == 0.0; }));
}

TEST(PhonographEQ, CdDeemphasisFollowsTheFiftyFifteenMicrosecondShelf)
{
    for (double rate : kRates) {
        const std::vector<double> h = impulseResponse(kDeemphasisCode, rate, 4096);
        for (double hz = 20; hz <= 20000; hz *= 1.1) {
            const std::complex<double> s(0, 2 * std::numbers::pi * hz);
            const double analogue = dB((1.0 + s * 15e-6) / (1.0 + s * 50e-6));
            EXPECT_NEAR(dB(responseAt(h, 2, 0, 0, hz, rate)), analogue, 0.5) << rate << " Hz rate, " << hz << " Hz";
        }
    }
}

TEST(PhonographEQ, RumbleFilterAloneIsAZeroPhaseHighPass)
{
    for (double rate : kRates) {
        const std::size_t frames = 1 << 17;
        PhonographJob p(kRumbleCode, rate, stereoImpulse(frames, frames / 2));
        p.job.settings.phonographRegime = 4;   // not applied without equalisation
        const std::vector<double> h = p.run();
        EXPECT_NEAR(dB(responseAt(h, 2, 0, frames / 2, 20, rate)), -3.0, 0.5) << rate;
        EXPECT_NEAR(dB(responseAt(h, 2, 0, frames / 2, 17, rate)), -6.0, 0.7) << rate;
        EXPECT_NEAR(dB(responseAt(h, 2, 0, frames / 2, 1000, rate)), 0.0, 0.01) << rate;
        EXPECT_LT(dB(responseAt(h, 2, 1, frames / 2, 5, rate)), -40.0) << rate;
        for (double hz : {10.0, 20.0, 100.0, 1000.0})
            EXPECT_NEAR(std::arg(responseAt(h, 2, 0, frames / 2, hz, rate)), 0.0, 1e-6) << rate << ", " << hz;
    }
}

TEST(PhonographEQ, RegimesCombineTheEqualisedChannels)
{
    std::vector<double> input = stereoSine(3000, 1000, 48000, 5000);
    for (std::size_t i = 1; i < input.size(); i += 2)
        input[i] = 3000 * std::sin(0.04 * static_cast<double>(i) + 1);
    PhonographJob stereo(kRiaaCode, 48000, input);
    const std::vector<double> y = stereo.run();

    for (int regime : {2, 3, 4}) {
        PhonographJob p(kRiaaCode, 48000, input);
        p.job.settings.phonographRegime = regime;
        const std::vector<double> out = p.run();
        for (std::size_t n = 0; n < 3000; ++n) {
            const double l = y[2 * n], r = y[2 * n + 1];
            const double wantL = regime == 2 ? (l + r) * 0.5 : regime == 3 ? 0.75 * l + 0.25 * r : (l - r) * 0.5;
            const double wantR = regime == 2 ? (l + r) * 0.5 : regime == 3 ? 0.25 * l + 0.75 * r : (l - r) * 0.5;
            ASSERT_NEAR(out[2 * n], wantL, 1e-9) << regime << " frame " << n;
            ASSERT_NEAR(out[2 * n + 1], wantR, 1e-9) << regime << " frame " << n;
        }
    }
}

// A quiet passage with one sample just above −65 dBFS on the left, a loud
// stretch and a lingering tail, at 24-bit scale.
std::vector<double> orderProbe(std::size_t frames)
{
    std::vector<double> v(2 * frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n);
        const double level = n < 4410 ? 2000.0 : n < 8820 ? 2e6 : 3000.0;
        v[2 * n] = level * std::sin(0.05 * t);
        v[2 * n + 1] = 0.6 * level * std::sin(0.031 * t + 0.4);
    }
    v[2 * 100] = 4800;   // −65 dBFS is 4717 at 24 bits
    return v;
}

TEST(PhonographEQ, ChainRunsItsStagesInOrder)
{
    constexpr std::size_t frames = 13230;   // three 100 ms chunks at 44.1 kHz
    const std::vector<double> input = orderProbe(frames);
    PhonographJob p(kRiaaCode, 44100, input);
    SettingsSnapshot& s = p.job.settings;
    s.useGainRanging = s.useCartridgeBalance = s.useDiscEchoRemoval = s.useLpDistortionCancel = true;
    s.lpDistortionStylusRadius = 30;
    p.job.rmsRatio = 4.0;   // left ÷ 2, right × 2
    const std::vector<double> chain = p.run();

    // The same stages by hand, in the chain's order and swapped.
    const double fullScale = 8388608;
    const auto manual = [&](bool balanceFirst, bool lpAfterEq) {
        std::vector<double> x = input;
        Progress progress;
        if (balanceFirst)
            phonograph::cartridgeBalance(x, frames, 4.0, progress);
        phonograph::gainRanging(x, frames, 4410, fullScale * 0.0005623413251903491, progress);
        if (!balanceFirst)
            phonograph::cartridgeBalance(x, frames, 4.0, progress);
        phonograph::discEchoRemoval(x, frames, fullScale * 0.001, std::pow(10.0, 192.0 / 44100 / 20), progress);
        const double factor = 0.25 * (30 - 2.0) * 0.03;
        if (!lpAfterEq)
            phonograph::lpDistortionCancel(x, frames, factor, fullScale, progress);
        std::vector<double> y(2 * frames);
        const phonograph::Equaliser eq = phonograph::equaliserFor(kRiaaCode, phonograph::Rate::Hz44100);
        phonograph::equalise(x, y, 2, frames, &eq, phonograph::Regime::Stereo, nullptr, {}, progress);
        if (lpAfterEq)
            phonograph::lpDistortionCancel(y, frames, factor, fullScale, progress);
        return y;
    };
    const auto maxDifference = [](const std::vector<double>& a, const std::vector<double>& b) {
        double d = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            d = std::max(d, std::fabs(a[i] - b[i]));
        return d;
    };
    EXPECT_LT(maxDifference(chain, manual(false, false)), 1e-6);
    // The probe tells the orders apart.
    EXPECT_GT(maxDifference(chain, manual(true, false)), 100.0);
    EXPECT_GT(maxDifference(chain, manual(false, true)), 100.0);

    EXPECT_TRUE(p.log.contains("<Info>  Gain Ranging applied to 1 x 100mS chunks"));   // the last one
    EXPECT_TRUE(p.log.contains("<Info>  Cartridge Channel Balance: L/R RMS Ratio = 4.00000 (12.041 dBFS)"));
}

TEST(PhonographEQ, CallsPopClickZephraAndHumRemovalInTheirPlaces)
{
    // Pure side signal at 40 Hz: Zephra makes the low bass mono, so it is
    // gone when Zephra runs on the source before equalisation.
    std::vector<double> side = stereoSine(48000, 40, 48000, 1e5);
    for (std::size_t i = 1; i < side.size(); i += 2)
        side[i] = -side[i - 1];
    PhonographJob plain(kRiaaCode, 48000, side);
    const std::vector<double> before = plain.run();
    PhonographJob p(kRiaaCode, 48000, side);
    SettingsSnapshot& s = p.job.settings;
    s.phonographPopClick = 2;
    s.useZephra = s.useHumFilter = s.useLpDistortionCancel = true;
    const std::vector<double> after = p.run();
    const auto peak = [](const std::vector<double>& v) {
        double m = 0;
        for (std::size_t i = v.size() / 4; i < 3 * v.size() / 4; ++i)
            m = std::max(m, std::fabs(v[i]));
        return m;
    };
    EXPECT_LT(peak(after), 0.1 * peak(before));
    EXPECT_EQ(p.job.error, 0);

    const std::vector<std::string> lines = p.log.lines();
    const auto position = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    const auto popClick = position("<Info>  Pop-Click Removal");
    const auto lp = position("<Info>  LP Distortion Cancellation");
    const auto zephra = position("<Info>  Zephra");
    const auto curve = position("<Info>  Phonograph EQ A1 (RIAA)");
    const auto hum = position("<Info>  Hum Removal");
    ASSERT_LT(hum, static_cast<std::ptrdiff_t>(lines.size()));
    EXPECT_LT(popClick, lp);
    EXPECT_LT(lp, zephra);
    EXPECT_LT(zephra, curve);
    EXPECT_LT(curve, hum);
}

TEST(PhonographEQ, SilenceStaysSilenceThroughEveryStage)
{
    for (int scratch : {2, 3}) {
        for (double rate : kRates) {
            PhonographJob p(kRiaaCode, rate, std::vector<double>(2 * 9000, 0.0));
            SettingsSnapshot& s = p.job.settings;
            s.useGainRanging = s.useCartridgeBalance = s.useDiscEchoRemoval = true;
            s.useDeroz2ResponseCorrection = s.useLpDistortionCancel = s.useRumbleFilter = true;
            s.phonographScratch = scratch;
            s.phonographRegime = 3;
            p.job.rmsRatio = 1.3;
            const std::vector<double> out = p.run();
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](double v) { return v == 0.0; }));
            EXPECT_TRUE(std::all_of(p.job.audioBuf_0.begin(), p.job.audioBuf_0.end(), [](double v) { return v == 0.0; }));
        }
    }
}

TEST(PhonographEQ, LabelsTheCd4FrontPairAndTheDispatcher)
{
    PhonographJob riaa(kRiaaCode, 44100, stereoImpulse(500, 10));
    riaa.job.settings.useRumbleFilter = true;
    riaa.job.error = 5;
    riaa.run();
    EXPECT_EQ(riaa.job.tableText(TableText::State), "Phonograph EQ A1 (RIAA) + Veridane Rumble Filter...");
    EXPECT_EQ(riaa.job.tableText(TableText::Progress), "100%");
    EXPECT_EQ(riaa.job.error, 0);

    // CD-4: the RIAA curve with the CD-4 options into the front pair of six.
    PhonographJob cd4(kCd4Code, 44100, stereoImpulse(500, 10), 6);
    cd4.job.settings.useRumbleFilter = true;   // the phonograph option does not apply
    cd4.job.audioBuf_1.assign(500 * 6, 7.0);
    const std::vector<double> out = cd4.run();
    const std::vector<double> riaaOut = impulseResponse(kRiaaCode, 44100, 500);
    for (std::size_t n = 0; n < 500; ++n) {
        EXPECT_DOUBLE_EQ(out[6 * n], n >= 10 ? riaaOut[2 * (n - 10)] : 0.0);
        for (std::size_t c = 2; c < 6; ++c)
            ASSERT_EQ(out[6 * n + c], 7.0);
    }

    PhonographJob deemphasis(kDeemphasisCode, 48000, stereoImpulse(100, 0));
    deemphasis.job.settings.useRumbleFilter = true;   // no rumble filter for de-emphasis
    deemphasis.run();
    EXPECT_EQ(deemphasis.job.tableText(TableText::State), "CD De-emphasis...");

    // Through the dispatcher, where every curve is offered.
    for (const phonograph::CurveDesign& curve : phonograph::kCurves)
        EXPECT_TRUE(enhancementAvailable(curve.code)) << curve.code;
    EXPECT_TRUE(enhancementAvailable(kRumbleCode) && enhancementAvailable(kAntiRiaaCode));
    PhonographJob p(kRiaaCode, 44100, stereoImpulse(200, 0));
    p.job.StereoEnhancement(1);
    EXPECT_EQ(p.job.audioBuf_1, impulseResponse(kRiaaCode, 44100, 200));
}

TEST(PhonographAntiEQ, IsTheRecordingCurve)
{
    for (double rate : kRates) {
        PhonographJob anti(kAntiRiaaCode, rate, stereoImpulse(1 << 15, 0));
        anti.job.PhonographAntiEQ(1);
        const std::vector<double> recorded = test::plain(anti.job.audioBuf_1);
        if (rate == 44100) {
            const std::array<std::pair<double, double>, 4> figures{{{20, -19.7}, {1000, -0.65}, {10000, 12.8}, {20000, 19.7}}};
            for (const auto& [hz, gainDb] : figures)
                EXPECT_NEAR(dB(responseAt(recorded, 2, 1, 0, hz, rate)), gainDb, 0.1) << hz;
            EXPECT_EQ(anti.job.tableText(TableText::State), "Phonograph anti-EQ A1 (RIAA)...");
        }
        // Played back through A1 the record is flat within 0.9 dB up to
        // 2 kHz and 1.6 dB above (the tables are not exact inverses).
        PhonographJob play(kRiaaCode, rate, recorded);
        const std::vector<double> both = play.run();
        for (double hz = 20; hz <= 20000; hz *= 1.1)
            EXPECT_LT(std::fabs(dB(responseAt(both, 2, 0, 0, hz, rate))), hz <= 2000 ? 0.9 : 1.6)
                << rate << " Hz rate, " << hz << " Hz";
    }
}

TEST(PhonographEQDeathTest, InconsistentCallsEndTheProgram)
{
    PhonographJob p(kRiaaCode, 44100, stereoImpulse(10, 0));
    AudioFile& job = p.job;
    job.dstChannels_1 = 6;
    EXPECT_DEATH(job.PhonographEQ(1), "The number of channels must be 2 in -\\[AudioFile PhonographEQ:\\]");
    job.settings.filterType_1 = kCd4Code;
    job.dstChannels_1 = 2;
    EXPECT_DEATH(job.PhonographEQ(1), "The number of channels must be 6 in -\\[AudioFile PhonographEQ:\\]");
    job.settings.filterType_1 = 0x2;
    EXPECT_DEATH(job.PhonographEQ(1), "Filter type is unknown in -\\[AudioFile PhonographEQ:\\]");
    job.settings.filterType_1 = kRiaaCode;
    job.settings.phonographRegime = 5;
    EXPECT_DEATH(job.PhonographEQ(1), "Phonograph regime is unknown in -\\[AudioFile PhonographEQ:\\]");
    job.settings.phonographRegime = 1;

    EXPECT_DEATH(job.PhonographAntiEQ(1), "Filter type is unknown in -\\[AudioFile PhonographAntiEQ:\\]");
}

}  // namespace
}  // namespace auralune

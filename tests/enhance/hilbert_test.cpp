#include "enhance/hilbert_kernels.h"

#include "enhance/tone_level.h"
#include "support/stage_job.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace auralune {
namespace {

using test::toneDb;
using test::tonePhasor;
using Phasor = std::complex<double>;

constexpr double kPi = std::numbers::pi;
constexpr EnhancementCode kOrvantilLoudspeakers = 0x100000;
constexpr EnhancementCode kQs = 0x400000;
constexpr EnhancementCode kSq = 0x800000;
constexpr EnhancementCode kUhj = 0x1000000;
constexpr EnhancementCode kMatrixH = 0x400000000000;

// Output channels of the four loudspeaker feeds.
constexpr std::array<std::uint32_t, 4> kCornerChannels{0, 1, 4, 5};   // LF, RF, LB, RB
constexpr std::array<const char*, 4> kCornerNames{"LF", "RF", "LB", "RB"};

Phasor polarDeg(double magnitude, double degrees) { return std::polar(magnitude, degrees * kPi / 180); }

// The stage output of one decode through the dispatcher.
std::vector<double> decodeStage(EnhancementCode code, const std::vector<double>& stereo, double rate,
                                int uhjRegime = 3)
{
    test::StageJob s(code, rate, stereo, code == kOrvantilLoudspeakers ? 2 : 6);
    s.job.settings.ambisonicUhjRegime = uhjRegime;
    return s.run();
}

// A stereo record in which every tone i is Σ amplitude × sin(ωn + phase)
// with the left and right phasors of its row.
struct EncodedTone {
    double hz;
    Phasor left;
    Phasor right;
};

std::vector<double> encode(const std::vector<EncodedTone>& tones, std::uint64_t frames, double rate, double level)
{
    std::vector<double> v(frames * 2, 0.0);
    for (const EncodedTone& t : tones)
        for (std::uint64_t n = 0; n < frames; ++n) {
            const double w = 2 * kPi * t.hz * static_cast<double>(n) / rate;
            v[2 * n] += level * std::abs(t.left) * std::sin(w + std::arg(t.left));
            v[2 * n + 1] += level * std::abs(t.right) * std::sin(w + std::arg(t.right));
        }
    return v;
}

TEST(QuadratureNetwork, ApOneLagsApZeroByAQuarterCycleFrom200HzTo10kHzAtEveryRate)
{
    // The 88.2 kHz AP0 design, fed the poles of the 96 kHz row at 96 kHz,
    // gives that row back.
    const AllPassCoeffs redesigned = allPassFromAnalogPoles(kAp0PoleLowRadPerS, kAp0PoleHighRadPerS, 96000);
    EXPECT_NEAR(redesigned.b0, kQuadratureNetworks[3].ap0.b0, 1e-12);
    EXPECT_NEAR(redesigned.b1, kQuadratureNetworks[3].ap0.b1, 1e-12);

    // "Orvantil Loudspeakers" writes AP1 of the mono sum left and AP0 right.
    for (double rate : kQuadratureRates) {
        for (double hz = 200; hz <= 10001; hz *= std::pow(50.0, 1.0 / 12)) {
            const auto frames = static_cast<std::uint64_t>(rate * 0.25);
            const std::vector<double> out =
                decodeStage(kOrvantilLoudspeakers, encode({{hz, 1.0, 1.0}}, frames, rate, 1000), rate);
            const Phasor inPhase = tonePhasor(out, 2, 0, hz, rate, frames / 2, frames / 2);
            const Phasor quadrature = tonePhasor(out, 2, 1, hz, rate, frames / 2, frames / 2);
            const double lagDeg = std::arg(quadrature / inPhase) * 180 / kPi;
            EXPECT_NEAR(lagDeg, 90.0, 13.0) << rate << " Hz rate, " << hz << " Hz";
            // Both paths are all-passes.
            EXPECT_NEAR(std::abs(inPhase), 1000, 1) << rate << " Hz rate, " << hz << " Hz";
            EXPECT_NEAR(std::abs(quadrature), 1000, 1) << rate << " Hz rate, " << hz << " Hz";
        }
    }
}

// Separation of the matrix decoders against records encoded with each
// system's published equations (phase angles: positive leads). A corner's
// tone must come out loudest in its own channel, and the front pair must
// keep the separation that encoder and decoder allow together:
// - SQ: Lt = LF − j0.707·LB + 0.707·RB, Rt = RF − 0.707·LB + j0.707·RB. The
//   encoding keeps the fronts fully apart; the decoder's 0.1 blend of the
//   other front channel limits it to 19.1 dB.
// - QS: Lt = 0.924·LF + 0.383·RF + j0.924·LB + j0.383·RB,
//   Rt = 0.383·LF + 0.924·RF − j0.383·LB − j0.924·RB: 3 dB between
//   adjacent corners, diagonals fully apart.
// - Matrix H (the broadcast transfer characteristic): Lt = 0.940∠10°·LF +
//   0.342∠65°·RF + 0.940∠−25°·LB + 0.342∠−115°·RB, Rt = 0.342∠−65°·LF +
//   0.940∠−10°·RF + 0.342∠115°·LB + 0.940∠25°·RB: 3.4 dB at the front.
struct MatrixSystem {
    const char* name;
    EnhancementCode code;
    std::array<std::array<Phasor, 2>, 4> corners;   // Lt, Rt weight of LF, RF, LB, RB
    double minFrontSeparationDb;
};

const std::array<MatrixSystem, 3> kSystems{{
    {"SQ", kSq, {{{1.0, 0.0}, {0.0, 1.0}, {Phasor(0, -0.7071), -0.7071}, {0.7071, Phasor(0, 0.7071)}}}, 18.5},
    {"QS", kQs, {{{0.924, 0.383}, {0.383, 0.924}, {Phasor(0, 0.924), Phasor(0, -0.383)},
                  {Phasor(0, 0.383), Phasor(0, -0.924)}}}, 2.8},
    {"Matrix H", kMatrixH,
     {{{polarDeg(0.940, 10), polarDeg(0.342, -65)}, {polarDeg(0.342, 65), polarDeg(0.940, -10)},
       {polarDeg(0.940, -25), polarDeg(0.342, 115)}, {polarDeg(0.342, -115), polarDeg(0.940, 25)}}},
     3.0},
}};

TEST(MatrixDecoders, EachCornerComesOutLoudestInItsOwnChannel)
{
    // One tone per corner where the network is within 4° of quadrature.
    constexpr std::array<double, 4> kCornerHz{700, 1000, 1500, 2000};
    for (double rate : {48000.0, 96000.0}) {
        for (const MatrixSystem& system : kSystems) {
            std::vector<EncodedTone> tones;
            for (std::size_t c = 0; c < 4; ++c)
                tones.push_back({kCornerHz[c], system.corners[c][0], system.corners[c][1]});
            const auto frames = static_cast<std::uint64_t>(rate * 0.3);
            const std::vector<double> out = decodeStage(system.code, encode(tones, frames, rate, 4000), rate);

            // The separation matrix, reported: level of each corner's tone in
            // each feed, dB against the tone put in.
            std::array<std::array<double, 4>, 4> level{};
            std::string report = std::string(system.name) + " at " + std::to_string(int(rate)) + " Hz (dB):";
            for (std::size_t c = 0; c < 4; ++c) {
                report += std::string("\n  ") + kCornerNames[c] + " ->";
                for (std::size_t o = 0; o < 4; ++o) {
                    level[c][o] = toneDb(out, 6, kCornerChannels[o], kCornerHz[c], rate, frames / 3, frames * 2 / 3) -
                                  20 * std::log10(4000.0);
                    char cell[16];
                    std::snprintf(cell, sizeof cell, " %6.1f", level[c][o]);
                    report += cell;
                }
            }
            std::printf("%s\n", report.c_str());
            for (std::size_t c = 0; c < 4; ++c)
                for (std::size_t o = 0; o < 4; ++o)
                    EXPECT_TRUE(o == c || level[c][c] > level[c][o] + 0.3) << report;
            EXPECT_GE(level[0][0] - level[0][1], system.minFrontSeparationDb) << report;
            EXPECT_GE(level[1][1] - level[1][0], system.minFrontSeparationDb) << report;
            // Centre and LFE stay silent.
            for (std::uint64_t n = 0; n < frames; ++n)
                ASSERT_TRUE(out[n * 6 + 2] == 0.0 && out[n * 6 + 3] == 0.0);
        }
    }
}

// Two-channel UHJ of a source at azimuth θ (anticlockwise from the front)
// from B-format W = 1/√2, X = cos θ, Y = sin θ: S = 0.9396926·W +
// 0.1855740·X, D = j(−0.3420201·W + 0.5098604·X) + 0.6554516·Y,
// L = (S + D)/2, R = (S − D)/2.
EncodedTone uhjSource(double hz, double azimuthDeg)
{
    const double t = azimuthDeg * kPi / 180;
    const double w = 1 / std::sqrt(2.0), x = std::cos(t), y = std::sin(t);
    const Phasor s = 0.9396926 * w + 0.1855740 * x;
    const Phasor d = Phasor(0, 1) * (-0.3420201 * w + 0.5098604 * x) + 0.6554516 * y;
    return {hz, (s + d) / 2.0, (s - d) / 2.0};
}

TEST(MatrixDecoders, UhjLoudestFeedFollowsTheAzimuthInEveryRegime)
{
    constexpr double kRate = 48000;
    constexpr std::uint64_t kFrames = 14400;
    // Loudspeakers at 45° (LF), 315° (RF), 135° (LB) and 225° (RB).
    const std::array<std::pair<double, std::size_t>, 4> kSources{{{45, 0}, {315, 1}, {135, 2}, {225, 3}}};
    for (int regime = 1; regime <= 5; ++regime) {
        for (const auto& [azimuth, loudest] : kSources) {
            const std::vector<double> out =
                decodeStage(kUhj, encode({uhjSource(1000, azimuth)}, kFrames, kRate, 4000), kRate, regime);
            std::array<double, 4> level{};
            for (std::size_t o = 0; o < 4; ++o)
                level[o] = toneDb(out, 6, kCornerChannels[o], 1000, kRate, kFrames / 3, kFrames * 2 / 3);
            for (std::size_t o = 0; o < 4; ++o)
                EXPECT_TRUE(o == loudest || level[loudest] > level[o] + 1.0)
                    << "regime " << regime << ", azimuth " << azimuth;
        }
    }
}

TEST(MatrixDecoders, UhjRegimeOneDelaysTheRearPairByTwelveMilliseconds)
{
    // Regimes 1 and 3 share their gains; only 1 delays the rear pair.
    for (const auto& [rate, delay] : {std::pair{48000.0, 576u}, std::pair{44100.0, 529u}}) {
        const std::uint64_t frames = 2000;
        std::vector<double> in(frames * 2);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = std::sin(0.37 * static_cast<double>(i)) * 3000 + static_cast<double>(i % 7) * 100;
        const std::vector<double> delayed = decodeStage(kUhj, in, rate, 1);
        const std::vector<double> plain = decodeStage(kUhj, in, rate, 3);
        for (std::uint64_t n = 0; n < frames; ++n) {
            for (std::uint32_t c : {0u, 1u})
                ASSERT_EQ(delayed[n * 6 + c], plain[n * 6 + c]);
            for (std::uint32_t c : {4u, 5u})
                ASSERT_EQ(delayed[n * 6 + c], n < delay ? 0.0 : plain[(n - delay) * 6 + c]) << n;
        }
    }
}

TEST(MatrixDecoders, ChannelsTextFollowsTheChannelsWritten)
{
    for (const auto& [written, text] : {std::pair{6u, "2 > 4.0"}, std::pair{1u, "2 > 1"}, std::pair{2u, "--"}}) {
        test::StageJob s(kSq, 44100, std::vector<double>(200, 0.0), 6);
        s.job.dstChannelsData = written;
        s.run();
        EXPECT_EQ(s.job.tableText(TableText::Channels), text) << written;
    }
}

}  // namespace
}  // namespace auralune

#pragma once

#include "engine/sample_kernels.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Sample levels of a stage buffer: per-channel peak, RMS and crest factor,
// the mid and side signals of a stereo pair with the L/R ratio, Leq and the
// channel correlation figure, and the weighted level of a 5.1 layout.
//
// Levels are on the integer scale of the buffer: full scale is 2^(bits - 1).
// A level of nothing at all (the logarithm of 0) is kept as -infinity in the
// numbers; the texts show it as "silent" (see levelReportLines).
namespace auralune::metrics {

// 2^(bits - 1): 32768 for 16 bits, 8388608 for 24 bits.
double fullScale(std::uint32_t bits);

// The largest positive code F - 1 counts as F, so that a signal reaching
// positive full scale reads 0 dBFS like one reaching negative full scale.
double countedPeak(double peak, double fullScale);

// 20 log10(value / reference); -infinity for a value of 0.
double levelDb(double value, double reference);

// Raw sums of one pass over interleaved frames. Squares are added in double
// within blocks of 4096 frames and the block sums in long double, so the
// relative error stays near 4096 ulp whatever the length (a plain double
// sum of 10^9 squares can lose six digits of the RMS).
struct LevelSums {
    std::uint64_t frames = 0;
    std::vector<long double> sumSquares;   // per channel
    std::vector<double> peak;              // per channel, largest |x|
    // Stereo only: M = (L + R) / 2 and S = (L - R) / 2.
    long double midSumSquares = 0;
    long double sideSumSquares = 0;
    double midPeak = 0;
    double sidePeak = 0;
};

// One pass over `samples` (whole frames of `channels` samples; a partial
// frame at the end is ignored). Progress counts frames in runs of
// progress.step and stops at 100.
LevelSums scanLevels(std::span<const double> samples, std::uint32_t channels, Progress& progress);

struct SignalLevel {
    double peak = 0;      // after countedPeak
    double rms = 0;
    double peakDbfs = 0;  // 20 log10(peak / F)
    double crestDb = 0;   // 20 log10(peak / rms); meaningful only with rms > 0
};

struct StereoLevels {
    SignalLevel mid;
    SignalLevel side;
    double rmsRatio = 0;    // RMS L / RMS R; meaningful only with both RMS > 0
    double rmsRatioDb = 0;
    double leqDb = 0;       // 20 log10(RMS_M / F)
    double cccDb = 0;       // see channelCorrelationDb
};

struct SurroundLevels {
    double rms51 = 0;   // sqrt((Q_L + Q_R + Q_C + 1.41 (Q_Ls + Q_Rs)) / N), LFE left out
    double leq51Db = 0;
};

struct LevelMetrics {
    double fullScale = 0;
    std::vector<SignalLevel> channels;
    bool stereo = false;
    StereoLevels stereoLevels;
    bool surround = false;   // six channels: L, R, C, LFE, Ls, Rs
    SurroundLevels surroundLevels;
};

// 20 log10((RMS_M + 0.01 RMS_S) / (RMS_S + 0.01 RMS_M)): +40 dB for
// identical channels, -40 dB for opposite ones, 0 dB for uncorrelated ones
// of equal level. Silence (both 0) gives 0 dB, no evidence either way.
double channelCorrelationDb(double midRms, double sideRms);

// The figures of a scan at `bits` bits of full scale.
LevelMetrics levelMetrics(const LevelSums& sums, std::uint32_t bits);

// scanLevels and levelMetrics in one call.
LevelMetrics measureLevels(std::span<const double> samples, std::uint32_t channels, std::uint32_t bits,
                           Progress& progress);

// The report block, starting with "---- Veridane Metrics ----". A level of
// a zero quantity reads "silent" instead of a number of dB, and a crest
// factor of a silent channel "silent"; the L/R ratio of a pair with a
// silent channel reads "undefined (silent channel)".
std::vector<std::string> levelReportLines(const LevelMetrics& metrics);

// The detail lines logged with "<Info>  " (without the prefix), in the log's
// order: the 5.1 lines first, then the channels, then the stereo lines.
std::vector<std::string> levelLogLines(const LevelMetrics& metrics);

}  // namespace auralune::metrics

#include "metrics/level_metrics.h"

#include "dsp/frame2.h"
#include "engine/text_format.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace auralune::metrics {

namespace {

// Frames whose squares are summed in double before joining the long double
// totals.
constexpr std::uint64_t kBlockFrames = 4096;

// 5.1 weighting of the surround pair against the front channels.
constexpr double kSurroundWeight = 1.41;

// Mixed into the mid and side levels of the correlation figure so that it
// stays within +-40 dB when either signal vanishes.
constexpr double kCorrelationLeak = 0.01;

// Calls body(begin, end) over [0, frames) in runs of at most kBlockFrames
// frames that never cross a progress step, and advances the progress after
// each whole step (capped at 100).
template <class Body>
void forEachBlock(std::uint64_t frames, Progress& progress, Body&& body)
{
    const std::uint64_t step = std::max<std::uint64_t>(progress.step, 1);
    std::uint64_t begin = 0;
    while (begin < frames) {
        const std::uint64_t stepEnd = std::min(frames, begin + step);
        for (std::uint64_t blockBegin = begin; blockBegin < stepEnd; blockBegin += kBlockFrames)
            body(blockBegin, std::min(stepEnd, blockBegin + kBlockFrames));
        if (stepEnd - begin == step && progress.percent < 100)
            progress.advance();
        begin = stepEnd;
    }
}

// Stereo: L, R, M and S side by side, as two vectors (L, R) and (M, S);
// even and odd frames keep separate accumulators so that the additions and
// maxima do not wait on each other. All of them stay in registers, which
// the compiler would not manage with arrays. Each lane computes what a
// scalar loop over its signal would: q += v·v, p = max(p, |v|).
void scanStereo(const double* samples, std::uint64_t frames, LevelSums& sums, Progress& progress)
{
    struct Lanes {
        Frame2 squares{}, peak{};
        void add(Frame2 v)
        {
            squares += v * v;
            const Frame2 magnitude = v < 0.0 ? -v : v;
            peak = peak < magnitude ? magnitude : peak;
        }
    };
    // Per frame parity: (L, R) and (M, S).
    Lanes peaks[2][2];
    const auto add = [](const double* x, Lanes (&lanes)[2]) {
        const double l = x[0];
        const double r = x[1];
        lanes[0].add(Frame2{l, r});
        lanes[1].add(Frame2{(l + r) * 0.5, (l - r) * 0.5});
    };
    forEachBlock(frames, progress, [&](std::uint64_t begin, std::uint64_t end) {
        Lanes even[2] = {{{}, peaks[0][0].peak}, {{}, peaks[0][1].peak}};
        Lanes odd[2] = {{{}, peaks[1][0].peak}, {{}, peaks[1][1].peak}};
        const double* x = samples + 2 * begin;
        std::uint64_t f = begin;
        for (; f + 2 <= end; f += 2, x += 4) {
            add(x, even);
            add(x + 2, odd);
        }
        if (f < end)
            add(x, even);
        for (int k = 0; k < 2; ++k) {
            peaks[0][k].peak = even[k].peak;
            peaks[1][k].peak = odd[k].peak;
        }
        sums.sumSquares[0] += static_cast<long double>(even[0].squares[0]) + odd[0].squares[0];
        sums.sumSquares[1] += static_cast<long double>(even[0].squares[1]) + odd[0].squares[1];
        sums.midSumSquares += static_cast<long double>(even[1].squares[0]) + odd[1].squares[0];
        sums.sideSumSquares += static_cast<long double>(even[1].squares[1]) + odd[1].squares[1];
    });
    sums.peak[0] = std::max(peaks[0][0].peak[0], peaks[1][0].peak[0]);
    sums.peak[1] = std::max(peaks[0][0].peak[1], peaks[1][0].peak[1]);
    sums.midPeak = std::max(peaks[0][1].peak[0], peaks[1][1].peak[0]);
    sums.sidePeak = std::max(peaks[0][1].peak[1], peaks[1][1].peak[1]);
}

void scanChannels(const double* samples, std::uint32_t channels, std::uint64_t frames, LevelSums& sums,
                  Progress& progress)
{
    std::vector<double> blockSquares(channels);
    forEachBlock(frames, progress, [&](std::uint64_t begin, std::uint64_t end) {
        std::fill(blockSquares.begin(), blockSquares.end(), 0.0);
        const double* x = samples + begin * channels;
        for (std::uint64_t f = begin; f < end; ++f) {
            for (std::uint32_t c = 0; c < channels; ++c, ++x) {
                blockSquares[c] += *x * *x;
                sums.peak[c] = std::max(sums.peak[c], std::fabs(*x));
            }
        }
        for (std::uint32_t c = 0; c < channels; ++c)
            sums.sumSquares[c] += blockSquares[c];
    });
}

double rmsOf(long double sumSquares, std::uint64_t frames)
{
    if (frames == 0)
        return 0.0;
    return static_cast<double>(std::sqrt(sumSquares / static_cast<long double>(frames)));
}

SignalLevel signalLevel(double rawPeak, long double sumSquares, std::uint64_t frames, double full)
{
    SignalLevel level;
    level.peak = countedPeak(rawPeak, full);
    level.rms = rmsOf(sumSquares, frames);
    level.peakDbfs = levelDb(level.peak, full);
    level.crestDb = level.rms > 0 ? levelDb(level.peak, level.rms) : 0.0;
    return level;
}

// "%.3f" followed by the unit, or "silent" for the level of nothing.
std::string dbText(double db, const char* unit)
{
    if (std::isinf(db) && db < 0)
        return "silent";
    return formatText("%.3f %s", db, unit);
}

std::string crestText(const SignalLevel& level)
{
    return level.rms > 0 ? formatText("%.3f", level.crestDb) : "silent";
}

std::string channelLine(const char* label, std::size_t channel, const SignalLevel& level)
{
    return formatText("%s%zu: Peak = %.1f (%s), RMS = %.3f, Crest = %s", label, channel, level.peak,
                      dbText(level.peakDbfs, "dBFS").c_str(), level.rms, crestText(level).c_str());
}

std::string sumLine(const char* label, const SignalLevel& level)
{
    return formatText("%s: Peak = %.1f (%s), RMS = %.3f", label, level.peak, dbText(level.peakDbfs, "dBFS").c_str(),
                      level.rms);
}

std::string ratioLine(const LevelMetrics& metrics)
{
    if (!(metrics.channels[0].rms > 0 && metrics.channels[1].rms > 0))
        return "L/R RMS Ratio = undefined (silent channel)";
    return formatText("L/R RMS Ratio = %.5f (%.3f dBFS)", metrics.stereoLevels.rmsRatio,
                      metrics.stereoLevels.rmsRatioDb);
}

std::string correlationText(const LevelMetrics& metrics)
{
    const StereoLevels& s = metrics.stereoLevels;
    return s.mid.rms > 0 || s.side.rms > 0 ? formatText("%.3f dB", s.cccDb) : "silent";
}

}  // namespace

double fullScale(std::uint32_t bits)
{
    return std::ldexp(1.0, static_cast<int>(bits) - 1);
}

double countedPeak(double peak, double full)
{
    return peak == full - 1.0 ? full : peak;
}

double levelDb(double value, double reference)
{
    if (value == 0)
        return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(value / reference);
}

double channelCorrelationDb(double midRms, double sideRms)
{
    if (midRms == 0 && sideRms == 0)
        return 0.0;
    return 20.0 * std::log10((midRms + kCorrelationLeak * sideRms) / (sideRms + kCorrelationLeak * midRms));
}

LevelSums scanLevels(std::span<const double> samples, std::uint32_t channels, Progress& progress)
{
    LevelSums sums;
    if (channels == 0)
        return sums;
    sums.frames = samples.size() / channels;
    sums.sumSquares.assign(channels, 0.0L);
    sums.peak.assign(channels, 0.0);
    if (channels == 2)
        scanStereo(samples.data(), sums.frames, sums, progress);
    else
        scanChannels(samples.data(), channels, sums.frames, sums, progress);
    return sums;
}

LevelMetrics levelMetrics(const LevelSums& sums, std::uint32_t bits)
{
    LevelMetrics metrics;
    metrics.fullScale = fullScale(bits);
    const double full = metrics.fullScale;
    const std::uint64_t n = sums.frames;
    for (std::size_t c = 0; c < sums.sumSquares.size(); ++c)
        metrics.channels.push_back(signalLevel(sums.peak[c], sums.sumSquares[c], n, full));

    if (metrics.channels.size() == 2) {
        metrics.stereo = true;
        StereoLevels& s = metrics.stereoLevels;
        s.mid = signalLevel(sums.midPeak, sums.midSumSquares, n, full);
        s.side = signalLevel(sums.sidePeak, sums.sideSumSquares, n, full);
        const double left = metrics.channels[0].rms;
        const double right = metrics.channels[1].rms;
        s.rmsRatio = right > 0 ? left / right : 0.0;
        s.rmsRatioDb = left > 0 && right > 0 ? levelDb(s.rmsRatio, 1.0) : 0.0;
        s.leqDb = levelDb(s.mid.rms, full);
        s.cccDb = channelCorrelationDb(s.mid.rms, s.side.rms);
    }
    if (metrics.channels.size() == 6) {
        metrics.surround = true;
        const auto& q = sums.sumSquares;
        const long double weighted = q[0] + q[1] + q[2] + static_cast<long double>(kSurroundWeight) * (q[4] + q[5]);
        metrics.surroundLevels.rms51 = rmsOf(weighted, n);
        metrics.surroundLevels.leq51Db = levelDb(metrics.surroundLevels.rms51, full);
    }
    return metrics;
}

LevelMetrics measureLevels(std::span<const double> samples, std::uint32_t channels, std::uint32_t bits,
                           Progress& progress)
{
    return levelMetrics(scanLevels(samples, channels, progress), bits);
}

std::vector<std::string> levelReportLines(const LevelMetrics& metrics)
{
    std::vector<std::string> lines{"---- Veridane Metrics ----"};
    for (std::size_t c = 0; c < metrics.channels.size(); ++c)
        lines.push_back(channelLine("Ch ", c, metrics.channels[c]));
    if (metrics.stereo) {
        const StereoLevels& s = metrics.stereoLevels;
        lines.push_back(ratioLine(metrics));
        lines.push_back(sumLine("(L+R)/2", s.mid));
        lines.push_back(sumLine("(L-R)/2", s.side));
        lines.push_back("Equivalent Continuous Sound Level (Leq) = " + dbText(s.leqDb, "dB"));
        lines.push_back("Channel Correlation Coefficient (CCC) = " + correlationText(metrics));
    }
    if (metrics.surround) {
        lines.push_back(formatText("RMS 5.1 = %.3f", metrics.surroundLevels.rms51));
        lines.push_back("Equivalent Continuous Sound Level (Leq 5.1) = " + dbText(metrics.surroundLevels.leq51Db, "dB"));
    }
    return lines;
}

std::vector<std::string> levelLogLines(const LevelMetrics& metrics)
{
    std::vector<std::string> lines;
    if (metrics.surround) {
        lines.push_back(formatText("RMS 5.1 = %.3f", metrics.surroundLevels.rms51));
        lines.push_back("Equivalent Continuous Sound Level (Leq 5.1) = " + dbText(metrics.surroundLevels.leq51Db, "dB"));
    }
    for (std::size_t c = 0; c < metrics.channels.size(); ++c)
        lines.push_back(channelLine("Ch", c, metrics.channels[c]));
    if (metrics.stereo) {
        const StereoLevels& s = metrics.stereoLevels;
        lines.push_back(sumLine("(L+R)/2", s.mid));
        lines.push_back(sumLine("(L-R)/2", s.side));
        lines.push_back("Equivalent Continuous Sound Level (Leq) = " + dbText(s.leqDb, "dB"));
        lines.push_back("Channel correlation coefficient (CCC) = " + correlationText(metrics));
    }
    return lines;
}

}  // namespace auralune::metrics

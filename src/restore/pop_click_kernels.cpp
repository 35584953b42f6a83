#include "restore/pop_click_kernels.h"

#include "dsp/frame2.h"
#include "dsp/zero_phase.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace auralune {

namespace {

inline double ratioOfDb(double db) { return std::pow(10.0, db / 20.0); }

// The thresholds as ratios to the local RMS: comparing ratios is the same as
// comparing their dB values, without a logarithm per sample.
struct RatioThresholds {
    explicit RatioThresholds(const ClickThresholds& t)
        : level(ratioOfDb(t.levelDb)), side(ratioOfDb(t.sideThresholdDb)), useSide(t.useSide), repair(ratioOfDb(t.repairDb))
    {
    }
    double level, side;
    bool useSide;
    double repair;
};

inline bool isHit(const ClickLevel* levels, const ClickLevel* sideLevels, std::uint64_t at, const RatioThresholds& t)
{
    return levels[at] > t.level && (!t.useSide || sideLevels[at] > t.side);
}

// The levels of `count` frames from their mean squares: |x| / RMS per
// sample, and |side| / RMS per channel. Square roots and divisions are most
// of the work; vector lanes give exactly the scalar results (both are
// correctly rounded), and (R − L) is exactly −(L − R), so the side's
// magnitude is the same in either lane of a frame.
template <bool Side>
void levelsScalar(const double* x, const double* meanSquares, std::uint64_t count, ClickLevel* levels,
                  ClickLevel* sideLevels)
{
    for (std::uint64_t f = 0; f < count; ++f) {
        const double rms0 = std::sqrt(meanSquares[2 * f]);
        const double rms1 = std::sqrt(meanSquares[2 * f + 1]);
        levels[2 * f] = static_cast<ClickLevel>(std::fabs(x[2 * f]) / rms0);
        levels[2 * f + 1] = static_cast<ClickLevel>(std::fabs(x[2 * f + 1]) / rms1);
        if constexpr (Side) {
            const double side = std::fabs((x[2 * f] - x[2 * f + 1]) * 0.5);
            sideLevels[2 * f] = static_cast<ClickLevel>(side / rms0);
            sideLevels[2 * f + 1] = static_cast<ClickLevel>(side / rms1);
        }
    }
}

#if defined(__x86_64__)
template <bool Side>
std::uint64_t levelsSse2(const double* x, const double* meanSquares, std::uint64_t count, ClickLevel* levels,
                         ClickLevel* sideLevels)
{
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d half = _mm_set1_pd(0.5);
    for (std::uint64_t f = 0; f < count; ++f) {
        const __m128d v = _mm_loadu_pd(x + 2 * f);
        const __m128d rms = _mm_sqrt_pd(_mm_loadu_pd(meanSquares + 2 * f));
        _mm_storel_pi(reinterpret_cast<__m64*>(levels + 2 * f), _mm_cvtpd_ps(_mm_div_pd(_mm_andnot_pd(sign, v), rms)));
        if constexpr (Side) {
            const __m128d side = _mm_andnot_pd(sign, _mm_mul_pd(_mm_sub_pd(v, _mm_shuffle_pd(v, v, 1)), half));
            _mm_storel_pi(reinterpret_cast<__m64*>(sideLevels + 2 * f), _mm_cvtpd_ps(_mm_div_pd(side, rms)));
        }
    }
    return count;
}

template <bool Side>
[[gnu::target("avx2")]] std::uint64_t levelsAvx2(const double* x, const double* meanSquares, std::uint64_t count,
                                                ClickLevel* levels, ClickLevel* sideLevels)
{
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d half = _mm256_set1_pd(0.5);
    std::uint64_t f = 0;
    for (; f + 2 <= count; f += 2) {
        const __m256d v = _mm256_loadu_pd(x + 2 * f);
        const __m256d rms = _mm256_sqrt_pd(_mm256_loadu_pd(meanSquares + 2 * f));
        _mm_storeu_ps(levels + 2 * f, _mm256_cvtpd_ps(_mm256_div_pd(_mm256_andnot_pd(sign, v), rms)));
        if constexpr (Side) {
            const __m256d swapped = _mm256_permute_pd(v, 0b0101);
            const __m256d side = _mm256_andnot_pd(sign, _mm256_mul_pd(_mm256_sub_pd(v, swapped), half));
            _mm_storeu_ps(sideLevels + 2 * f, _mm256_cvtpd_ps(_mm256_div_pd(side, rms)));
        }
    }
    return f;
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

template <bool Side>
void levelsOfFrames(const double* x, const double* meanSquares, std::uint64_t count, ClickLevel* levels,
                    ClickLevel* sideLevels)
{
    std::uint64_t done = 0;
#if defined(__x86_64__)
    done = haveAvx2() ? levelsAvx2<Side>(x, meanSquares, count, levels, sideLevels)
                      : levelsSse2<Side>(x, meanSquares, count, levels, sideLevels);
#endif
    levelsScalar<Side>(x + 2 * done, meanSquares + 2 * done, count - done, levels + 2 * done,
                       Side ? sideLevels + 2 * done : nullptr);
}

template <bool Side>
void measureLevels(const double* x, std::uint64_t frames, std::uint64_t windowFrames, ClickLevel* levels,
                   ClickLevel* sideLevels, Progress& progress)
{
    Frame2 sum{};
    for (std::uint64_t j = 0; j < std::min(windowFrames, frames); ++j) {
        const Frame2 v = loadFrame(x + 2 * j);
        sum += v * v;
    }
    const std::uint64_t half = windowFrames / 2;
    const Frame2 width{static_cast<double>(windowFrames), static_cast<double>(windowFrames)};
    // The running sum goes frame by frame; the levels follow a block at a time.
    constexpr std::uint64_t kBlock = 256;
    std::array<double, 2 * kBlock> meanSquares;
    progress.run(frames, 3, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t block = begin; block < end; block += kBlock) {
            const std::uint64_t stop = std::min(end, block + kBlock);
            for (std::uint64_t i = block; i < stop; ++i) {
                // The frame taken in is i − W/2 + W: for an odd W it is one
                // past i + W/2, so the slide stops one frame earlier than for
                // an even W.
                if (i >= half && i - half + windowFrames < frames) {
                    const Frame2 in = loadFrame(x + 2 * (i - half + windowFrames));
                    const Frame2 out = loadFrame(x + 2 * (i - half));
                    sum += in * in;
                    sum -= out * out;
                }
                storeFrame(meanSquares.data() + 2 * (i - block), sum / width);
            }
            levelsOfFrames<Side>(x + 2 * block, meanSquares.data(), stop - block, levels + 2 * block,
                                 Side ? sideLevels + 2 * block : nullptr);
        }
    });
}

// Scales every sample of frames [from, to] of one channel standing above
// the local RMS to `repairRatio` times that RMS.
void repairRange(double* x, const ClickLevel* levels, std::uint64_t from, std::uint64_t to, double repairRatio)
{
    for (std::uint64_t k = from; k <= to; ++k) {
        const double level = levels[2 * k];
        if (level > 1.0)
            x[2 * k] *= repairRatio / level;
    }
}

// The band split at 2 kHz, Q 0.707, for the usual rates: low-pass b0, b1
// (b2 = b0), high-pass h0, h1 (h2 = h0), and the shared feedback r1, r2.
struct CrackleRow {
    double frameRate;
    double b0, b1, h0, h1, r1, r2;
};

constexpr std::array<CrackleRow, 4> kCrackleRows{{
    {44100.0, 0.016818728901948, 0.033637457803895, 0.817344877766205, -1.63468975553241, 1.60105229772851,
     -0.668327213336304},
    {48000.0, 0.014401103863659, 0.028802207727319, 0.8308786077344, -1.6617572154688, 1.63295500774148,
     -0.690559423196119},
    {88200.0, 0.004603935028493, 0.009207870056986, 0.904139743326319, -1.80827948665264, 1.79907161659565,
     -0.817487356709623},
    {96000.0, 0.003916076683699, 0.007832153367399, 0.911575034520807, -1.82315006904161, 1.81531791567421,
     -0.830982222409013},
}};

constexpr double kCrackleCornerHz = 2000.0;
constexpr double kCrackleQ = 0.707;

}  // namespace

ClickLengths clickLengths(double frameRate)
{
    const auto frames = [frameRate](double seconds) {
        const double value = frameRate * seconds;
        return value >= 1.0 ? static_cast<std::uint64_t>(value) : std::uint64_t{0};
    };
    return {frames(0.02), frames(0.00057), frames(0.00035)};
}

void measureClickLevels(std::span<const double> samples, std::uint64_t frames, std::uint64_t windowFrames,
                        std::span<ClickLevel> levels, std::span<ClickLevel> sideLevels, Progress& progress)
{
    if (frames == 0 || windowFrames == 0)
        return;
    if (sideLevels.empty())
        measureLevels<false>(samples.data(), frames, windowFrames, levels.data(), nullptr, progress);
    else
        measureLevels<true>(samples.data(), frames, windowFrames, levels.data(), sideLevels.data(), progress);
}

std::uint64_t countClickHits(std::span<const ClickLevel> levels, std::span<const ClickLevel> sideLevels,
                             std::uint64_t frames, std::uint32_t channel, const ClickThresholds& thresholds)
{
    const ClickLevel* level = levels.data() + channel;
    const ClickLevel* side = thresholds.useSide ? sideLevels.data() + channel : nullptr;
    const RatioThresholds ratios(thresholds);
    std::uint64_t count = 0;
    for (std::uint64_t i = 0; i < frames; ++i)
        count += isHit(level, side, 2 * i, ratios) ? 1 : 0;
    return count;
}

std::uint64_t repairClicks(std::span<double> samples, std::span<const ClickLevel> levels,
                           std::span<const ClickLevel> sideLevels, std::uint64_t frames, std::uint32_t channel,
                           const ClickLengths& lengths, const ClickThresholds& thresholds, Progress& progress)
{
    if (frames == 0)
        return 0;
    double* x = samples.data() + channel;
    const ClickLevel* level = levels.data() + channel;
    const ClickLevel* side = thresholds.useSide ? sideLevels.data() + channel : nullptr;
    const std::uint64_t margin = lengths.marginFrames;
    const RatioThresholds ratios(thresholds);

    bool inRun = false;
    std::uint64_t start = 0;       // first hit of the open run
    std::uint64_t last = 0;        // last frame at which the run went on
    std::uint64_t ahead = 0;       // first frame the look-ahead has not examined
    std::uint64_t latestHit = 0;   // latest hit the look-ahead has seen
    std::uint64_t resumeAt = 0;    // the scan skips the frames of a repair range
    bool repaired = false;
    std::uint64_t previousEnd = 0;
    std::uint64_t ranges = 0;

    const auto closeRun = [&] {
        std::uint64_t from = start > margin ? start - margin : 0;
        // A range never reaches back into the previous one: its samples are
        // already at the repair level and would be scaled down a second time.
        if (repaired)
            from = std::max(from, previousEnd + 1);
        const std::uint64_t to = frames - 1 - last > margin ? last + margin : frames - 1;
        repairRange(x, level, from, to, ratios.repair);
        repaired = true;
        previousEnd = to;
        resumeAt = to + 1;
        inRun = false;
        ++ranges;
    };

    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            if (i < resumeAt)
                continue;
            if (!inRun) {
                if (isHit(level, side, 2 * i, ratios)) {
                    inRun = true;
                    start = last = latestHit = i;
                    ahead = i + 1;
                }
                continue;
            }
            // Frames i … i + D − 1; past the end only the last frame counts.
            const std::uint64_t horizon = std::min(i + lengths.lookAheadFrames, frames);
            for (; ahead < horizon; ++ahead) {
                if (isHit(level, side, 2 * ahead, ratios))
                    latestHit = ahead;
            }
            if (latestHit >= i)
                last = i;
            else
                closeRun();
        }
    });
    if (inRun)
        closeRun();
    return ranges;
}

CrackleBands designCrackleBands(double frameRate)
{
    const double w0 = 2.0 * std::numbers::pi * kCrackleCornerHz / frameRate;
    const double cosW = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * kCrackleQ);
    const double a0 = 1.0 + alpha;
    const double r1 = 2.0 * cosW / a0;
    const double r2 = -(1.0 - alpha) / a0;
    const double b0 = (1.0 - cosW) / 2.0 / a0;
    const double h0 = (1.0 + cosW) / 2.0 / a0;
    return {{b0, 2.0 * b0, b0, r1, r2}, {h0, -2.0 * h0, h0, r1, r2}};
}

CrackleBands crackleBands(double frameRate)
{
    for (const CrackleRow& row : kCrackleRows) {
        if (row.frameRate == frameRate)
            return {{row.b0, row.b1, row.b0, row.r1, row.r2}, {row.h0, row.h1, row.h0, row.r1, row.r2}};
    }
    return designCrackleBands(frameRate);
}

std::uint64_t crackleTailSamples(const CrackleBands& bands, std::uint64_t frames)
{
    const StereoCascade low({&bands.lowPass, 1});
    const StereoCascade high({&bands.highPass, 1});
    return zeroPhaseEdgeSamples(std::max(primingFrames(low, frames), primingFrames(high, frames)));
}

namespace {

void zeroPhaseBand(const BiquadCoeffs& section, const double* in, double* out, std::uint64_t frames,
                   std::span<double> tail, Progress& progress)
{
    StereoCascade filter({&section, 1});
    const std::uint64_t pad = primingFrames(filter, frames);
    zeroPhaseStereo(filter, in, 2, out, 2, out, 2, frames, pad, tail.first(zeroPhaseEdgeSamples(pad)), 2, progress);
}

}  // namespace

void crackleLowBand(std::span<const double> samples, std::span<double> lowBand, std::uint64_t frames,
                    const CrackleBands& bands, std::span<double> tail, Progress& progress)
{
    zeroPhaseBand(bands.lowPass, samples.data(), lowBand.data(), frames, tail, progress);
}

void crackleRecombine(std::span<double> samples, std::span<const double> lowBand, std::uint64_t frames,
                      const CrackleBands& bands, std::span<double> tail, Progress& progress)
{
    zeroPhaseBand(bands.highPass, samples.data(), samples.data(), frames, tail, progress);
    double* x = samples.data();
    const double* low = lowBand.data();
    for (std::uint64_t i = 0; i < frames; ++i)
        storeFrame(x + 2 * i, loadFrame(x + 2 * i) + loadFrame(low + 2 * i));
}

}  // namespace auralune

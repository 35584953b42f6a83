#include "metrics/loudness.h"

#include "dsp/denormals.h"
#include "dsp/simd_lanes.h"
#include "metrics/loudness_coefficients.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <type_traits>
#include <vector>

namespace auralune::metrics {

namespace {

// Block loudness = -0.691 + 10 log10(weighted mean square): the offset
// makes a 997 Hz sine at full scale in one front channel read -3.01 LUFS.
constexpr double kLoudnessOffsetDb = -0.691;
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRelativeGateLu = 10.0;        // integrated loudness gate below the absolute-gated value
constexpr double kRangeRelativeGateLu = 20.0;   // loudness range gate below the absolute-gated value
constexpr double kRangeGateWithoutMomentaryLufs = -20.0;
constexpr std::uint64_t kMinShortTermBlocks = 100;
constexpr double kRangeLowQuantile = 0.05;    // positions in the descending list: the 95th percentile
constexpr double kRangeHighQuantile = 0.9;    // and the 10th

// Frames filtered between two looks at the block edges and the progress:
// the chunk and its per-channel copy stay in the first-level cache.
constexpr std::size_t kChunkFrames = 512;

double blockLoudness(double weightedMeanSquare)
{
    return kLoudnessOffsetDb + 10.0 * std::log10(weightedMeanSquare);
}

const KWeightingRow* kWeightingFor(double rateHz)
{
    for (const KWeightingRow& row : kKWeighting)
        if (row.rateHz == rateHz)
            return &row;
    return nullptr;
}

std::span<const double> channelWeights(std::uint32_t channels)
{
    switch (channels) {
    case 1:
        return kWeightsMono;
    case 2:
        return kWeightsStereo;
    case 6:
        return kWeightsSurround;
    default:
        return {};
    }
}

// Phase p of the interpolator by Factor: taps[p][j] = Factor x h[Factor x j + p]
// for j < 64 / Factor, applied to input frames n - j.
template <int Factor>
struct TruePeakPhases {
    static constexpr int kLength = kTruePeakTaps / Factor;
    double taps[Factor][kLength];
    // max over p of the sum of |taps[p][j]|: no output exceeds the largest
    // |input| in its window times this.
    double gainBound = 0;
};

template <int Factor>
TruePeakPhases<Factor> truePeakPhases()
{
    const std::array<double, 32>& half = Factor == 4 ? kTruePeakHalfFactor4 : kTruePeakHalfFactor2;
    double h[kTruePeakTaps];
    for (int k = 0; k < 32; ++k) {
        h[k] = half[static_cast<std::size_t>(k)];
        h[62 - k] = half[static_cast<std::size_t>(k)];
    }
    h[63] = 0;
    TruePeakPhases<Factor> phases{};
    for (int p = 0; p < Factor; ++p) {
        double sum = 0;
        for (int j = 0; j < phases.kLength; ++j) {
            phases.taps[p][j] = Factor * h[Factor * j + p];
            sum += std::fabs(phases.taps[p][j]);
        }
        phases.gainBound = std::max(phases.gainBound, sum);
    }
    // Room for the rounding of the sums, so that skipping is always safe.
    phases.gainBound *= 1 + 1e-12;
    return phases;
}

template <int Factor>
const TruePeakPhases<Factor>& phasesOf()
{
    static const TruePeakPhases<Factor> phases = truePeakPhases<Factor>();
    return phases;
}

// Direct-form-I state of the two K-weighting sections for one channel
// (V = double) or a pair of channels (V = Lanes2).
template <class V>
struct KState {
    V x1{}, x2{};   // input
    V s1{}, s2{};   // shelf output, the high-pass input
    V y1{}, y2{};   // high-pass output
};

template <class V>
[[gnu::always_inline]] inline V kWeight(const KWeightingRow& k, KState<V>& s, V x)
{
    // The terms that do not wait on the previous output go first, so that
    // each section's recursion is one multiply-subtract long.
    const V shelfPart = k.shelfB0 * x + k.shelfB1 * s.x1 + (k.shelfB2 * s.x2 - k.shelfA2 * s.s2);
    const V shelf = shelfPart - k.shelfA1 * s.s1;
    const V highPart = k.highPassB0 * (shelf + s.s2) + k.highPassB1 * s.s1 - k.highPassA2 * s.y2;
    const V y = highPart - k.highPassA1 * s.y1;
    s.x2 = s.x1;
    s.x1 = x;
    s.s2 = s.s1;
    s.s1 = shelf;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

// What the pass reads and where it leaves its sums.
struct PassInput {
    const double* samples = nullptr;
    std::uint64_t frames = 0;
    double scale = 1;   // 1 / full scale
    const KWeightingRow* kWeighting = nullptr;
    std::span<const double> weights;
    // Block edges, ascending and distinct; stretch i runs from cuts[i] to
    // cuts[i + 1]. Frames past the last edge are in no block.
    std::span<const std::uint64_t> cuts;
};

struct PassOutput {
    std::vector<double> stretchEnergy;   // weighted sum of squared K-weighted samples per stretch
    double peak = 0;                     // largest |interpolated sample|, integer scale
};

void advanceTo(Progress& progress, std::uint32_t percent)
{
    while (progress.percent < percent)
        progress.advance();
}

// One pass over the signal: chunk by chunk, each channel is K-weighted into
// the energy of its stretch and interpolated into the running true peak.
template <std::size_t Width, std::uint32_t Channels, int Factor>
[[gnu::always_inline]] inline void runPassBody(const PassInput& in, PassOutput& out, Progress& progress)
{
    using V = typename LanesOf<Width>::type;
    using KLanes = std::conditional_t<Channels == 1, double, Lanes2>;
    constexpr std::uint32_t kGroups = Channels == 1 ? 1 : Channels / 2;
    constexpr std::uint32_t kGroupWidth = Channels == 1 ? 1 : 2;
    constexpr int kHistory = Factor == 1 ? 0 : kTruePeakTaps / Factor - 1;
    constexpr std::size_t kScratch = kHistory + kChunkFrames;
    // Frames per interpolation step: eight vector sums in flight.
    constexpr std::size_t kVectors = Factor == 1 ? 1 : 8 / static_cast<std::size_t>(Factor);
    constexpr std::size_t kStepFrames = kVectors * Width;

    const TruePeakPhases<Factor == 1 ? 2 : Factor>& phases = phasesOf<Factor == 1 ? 2 : Factor>();
    const KWeightingRow& k = *in.kWeighting;
    KState<KLanes> state[kGroups];
    // Per channel: kHistory frames before the chunk (silence before the
    // first frame), then the chunk.
    std::vector<double> scratch(Factor == 1 ? 0 : std::size_t{Channels} * kScratch, 0.0);
    double peak = 0;

    const std::span<const std::uint64_t> cuts = in.cuts;
    std::size_t nextCut = cuts.empty() ? 0 : 1;   // cuts[0] is frame 0
    std::uint64_t begin = 0;
    while (begin < in.frames) {
        std::uint64_t end = std::min<std::uint64_t>(in.frames, begin + kChunkFrames);
        const bool inBlock = nextCut < cuts.size();
        if (inBlock)
            end = std::min(end, cuts[nextCut]);
        const auto n = static_cast<std::size_t>(end - begin);
        const double* x = in.samples + begin * Channels;

        // K-weighting, only where some block will read it.
        if (inBlock) {
            KLanes energy[kGroups] = {};
            for (std::size_t i = 0; i < n; ++i) {
                for (std::uint32_t g = 0; g < kGroups; ++g) {
                    KLanes v;
                    if constexpr (Channels == 1)
                        v = x[i];
                    else
                        std::memcpy(&v, x + i * Channels + g * kGroupWidth, sizeof v);
                    const KLanes y = kWeight(k, state[g], v * in.scale);
                    energy[g] += y * y;
                }
            }
            double weighted = 0;
            for (std::uint32_t g = 0; g < kGroups; ++g)
                for (std::uint32_t lane = 0; lane < kGroupWidth; ++lane) {
                    double e;
                    if constexpr (Channels == 1)
                        e = energy[g];
                    else
                        e = energy[g][lane];
                    weighted += in.weights[g * kGroupWidth + lane] * e;
                }
            out.stretchEnergy[nextCut - 1] += weighted;
            if (end == cuts[nextCut])
                ++nextCut;
        }

        // True peak.
        if constexpr (Factor == 1) {
            for (std::size_t i = 0; i < n * Channels; ++i)
                peak = std::max(peak, std::fabs(x[i]));
        } else {
            for (std::uint32_t c = 0; c < Channels; ++c) {
                double* s = scratch.data() + c * kScratch;
                double windowPeak = 0;
                for (int i = 0; i < kHistory; ++i)
                    windowPeak = std::max(windowPeak, std::fabs(s[i]));
                for (std::size_t i = 0; i < n; ++i) {
                    s[kHistory + i] = x[i * Channels + c];
                    windowPeak = std::max(windowPeak, std::fabs(s[kHistory + i]));
                }
                // Nothing in this window can beat the peak so far.
                if (windowPeak * phases.gainBound > peak) {
                    const double* now = s + kHistory;
                    V top{};
                    std::size_t i = 0;
                    for (; i + kStepFrames <= n; i += kStepFrames) {
                        V acc[Factor][kVectors];
#pragma GCC unroll 8
                        for (int p = 0; p < Factor; ++p)
#pragma GCC unroll 8
                            for (std::size_t v = 0; v < kVectors; ++v)
                                acc[p][v] = V{};
#pragma GCC unroll 32
                        for (int j = 0; j < phases.kLength; ++j) {
                            V frames[kVectors];
#pragma GCC unroll 8
                            for (std::size_t v = 0; v < kVectors; ++v)
                                std::memcpy(&frames[v], now + i + v * Width - j, sizeof frames[v]);
#pragma GCC unroll 8
                            for (int p = 0; p < Factor; ++p)
#pragma GCC unroll 8
                                for (std::size_t v = 0; v < kVectors; ++v)
                                    acc[p][v] += phases.taps[p][j] * frames[v];
                        }
#pragma GCC unroll 8
                        for (int p = 0; p < Factor; ++p)
#pragma GCC unroll 8
                            for (std::size_t v = 0; v < kVectors; ++v) {
                                const V magnitude = acc[p][v] > -acc[p][v] ? acc[p][v] : -acc[p][v];
                                top = top > magnitude ? top : magnitude;
                            }
                    }
                    for (std::size_t lane = 0; lane < Width; ++lane)
                        peak = std::max(peak, top[lane]);
                    for (; i < n; ++i)
                        for (int p = 0; p < Factor; ++p) {
                            double sum = 0;
                            for (int j = 0; j < phases.kLength; ++j)
                                sum += phases.taps[p][j] * now[static_cast<std::ptrdiff_t>(i) - j];
                            peak = std::max(peak, std::fabs(sum));
                        }
                }
                std::copy(s + n, s + n + kHistory, s);
            }
        }

        begin = end;
        advanceTo(progress, static_cast<std::uint32_t>(60 * begin / in.frames));
    }
    out.peak = peak;
}

// The pass built for the x86-64 baseline (SSE2, two doubles per register)
// and for AVX2 with FMA (four), picked once at run time. They differ only
// in rounding.
template <std::uint32_t Channels, int Factor>
void runPassBaseline(const PassInput& in, PassOutput& out, Progress& progress)
{
    runPassBody<2, Channels, Factor>(in, out, progress);
}

#if defined(__x86_64__)
template <std::uint32_t Channels, int Factor>
[[gnu::target("avx2,fma")]] void runPassAvx2(const PassInput& in, PassOutput& out, Progress& progress)
{
    runPassBody<4, Channels, Factor>(in, out, progress);
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have;
}
#endif

template <std::uint32_t Channels, int Factor>
void runPassFor(const PassInput& in, PassOutput& out, Progress& progress)
{
#if defined(__x86_64__)
    if (haveAvx2()) {
        runPassAvx2<Channels, Factor>(in, out, progress);
        return;
    }
#endif
    runPassBaseline<Channels, Factor>(in, out, progress);
}

template <std::uint32_t Channels>
void runPassForChannels(int factor, const PassInput& in, PassOutput& out, Progress& progress)
{
    switch (factor) {
    case 4:
        runPassFor<Channels, 4>(in, out, progress);
        break;
    case 2:
        runPassFor<Channels, 2>(in, out, progress);
        break;
    default:
        runPassFor<Channels, 1>(in, out, progress);
        break;
    }
}

void runPass(std::uint32_t channels, int factor, const PassInput& in, PassOutput& out, Progress& progress)
{
    switch (channels) {
    case 1:
        runPassForChannels<1>(factor, in, out, progress);
        break;
    case 2:
        runPassForChannels<2>(factor, in, out, progress);
        break;
    default:
        runPassForChannels<6>(factor, in, out, progress);
        break;
    }
}

// Block starts and lengths of both block kinds.
struct BlockLayout {
    std::uint64_t momentaryLength = 0;
    std::uint64_t momentaryCount = 0;
    std::uint64_t shortTermLength = 0;
    ShortTermLayout shortTerm;

    std::uint64_t momentaryStart(std::uint64_t b) const { return b * momentaryLength / 4; }
    std::uint64_t shortTermStart(std::uint64_t b) const { return b * shortTermLength / shortTerm.divisor; }
};

std::vector<std::uint64_t> blockEdges(const BlockLayout& layout)
{
    std::vector<std::uint64_t> cuts;
    cuts.reserve(2 * (layout.momentaryCount + layout.shortTerm.count));
    for (std::uint64_t b = 0; b < layout.momentaryCount; ++b) {
        cuts.push_back(layout.momentaryStart(b));
        cuts.push_back(layout.momentaryStart(b) + layout.momentaryLength);
    }
    for (std::uint64_t b = 0; b < layout.shortTerm.count; ++b) {
        cuts.push_back(layout.shortTermStart(b));
        cuts.push_back(layout.shortTermStart(b) + layout.shortTermLength);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return cuts;
}

// Weighted mean square of the block [start, start + length) from the
// energies of the stretches it covers.
struct BlockEnergies {
    std::span<const std::uint64_t> cuts;
    std::span<const double> stretchEnergy;

    double meanSquare(std::uint64_t start, std::uint64_t length) const
    {
        const auto first = std::lower_bound(cuts.begin(), cuts.end(), start) - cuts.begin();
        const auto last = std::lower_bound(cuts.begin(), cuts.end(), start + length) - cuts.begin();
        double sum = 0;
        for (auto i = first; i < last; ++i)
            sum += stretchEnergy[static_cast<std::size_t>(i)];
        return sum / static_cast<double>(length);
    }
};

// Gated mean of the block mean squares whose loudness passes `gate`, as a
// loudness; nullopt-like false when none passes.
bool gatedLoudness(std::span<const double> meanSquares, std::span<const double> loudness, double gate,
                   double& result)
{
    double sum = 0;
    std::uint64_t count = 0;
    for (std::size_t b = 0; b < loudness.size(); ++b)
        if (loudness[b] > kAbsoluteGateLufs && loudness[b] > gate) {
            sum += meanSquares[b];
            ++count;
        }
    if (count == 0)
        return false;
    result = blockLoudness(sum / static_cast<double>(count));
    return true;
}

void measureMomentary(const BlockLayout& layout, const BlockEnergies& energies, LoudnessMeasurement& m,
                      Progress& progress)
{
    const std::uint64_t count = layout.momentaryCount;
    std::vector<double> meanSquares(count);
    std::vector<double> loudness(count);
    double top = -HUGE_VAL;
    for (std::uint64_t b = 0; b < count; ++b) {
        meanSquares[b] = energies.meanSquare(layout.momentaryStart(b), layout.momentaryLength);
        loudness[b] = blockLoudness(meanSquares[b]);
        top = std::max(top, loudness[b]);
        advanceTo(progress, static_cast<std::uint32_t>(60 + 20 * (b + 1) / count));
    }
    m.momentaryMeasured = true;
    m.maxMomentaryLufs = std::max(top, kLoudnessFloorLufs);
    double absolute = 0;
    m.gateOpened = gatedLoudness(meanSquares, loudness, -HUGE_VAL, absolute);
    if (!m.gateOpened)
        return;
    m.absoluteGatedLufs = absolute;
    double integrated = 0;
    gatedLoudness(meanSquares, loudness, absolute - kRelativeGateLu, integrated);
    m.integratedLufs = integrated;
}

void measureShortTerm(const BlockLayout& layout, const BlockEnergies& energies, double rangeGate,
                      LoudnessMeasurement& m, Progress& progress)
{
    const std::uint64_t count = layout.shortTerm.count;
    std::vector<double> loudness(count);
    for (std::uint64_t b = 0; b < count; ++b) {
        loudness[b] = blockLoudness(energies.meanSquare(layout.shortTermStart(b), layout.shortTermLength));
        advanceTo(progress, static_cast<std::uint32_t>(80 + 20 * (b + 1) / count));
    }
    std::sort(loudness.begin(), loudness.end(), std::greater<>());
    m.shortTermMeasured = true;
    m.maxShortTermLufs = std::max(loudness.front(), kLoudnessFloorLufs);
    const auto gated = static_cast<std::size_t>(
        std::count_if(loudness.begin(), loudness.end(),
                      [&](double s) { return s > rangeGate && s > kAbsoluteGateLufs; }));
    if (gated < 2)
        return;
    // Linear interpolation between neighbours in the descending list;
    // both neighbours are gated blocks since the positions stay below P - 1.
    const auto quantile = [&](double position) {
        const auto whole = static_cast<std::size_t>(position);
        const double fraction = position - static_cast<double>(whole);
        if (fraction == 0)
            return loudness[whole];
        return (1 - fraction) * loudness[whole] + fraction * loudness[whole + 1];
    };
    const double last = static_cast<double>(gated - 1);
    m.rangeLu = quantile(last * kRangeLowQuantile) - quantile(last * kRangeHighQuantile);
}

}  // namespace

int truePeakOversampling(double rateHz)
{
    if (rateHz == 44100 || rateHz == 48000)
        return 4;
    if (rateHz == 88200 || rateHz == 96000)
        return 2;
    if (rateHz == 176400 || rateHz == 192000)
        return 1;
    return 0;
}

bool loudnessChannelsSupported(std::uint32_t channels)
{
    return !channelWeights(channels).empty();
}

std::uint64_t momentaryBlockCount(std::uint64_t frames, std::uint64_t rateHz)
{
    // D > 0.4 s, and floor(D / 0.1 s) - 3, exactly: 10 N > 4 R, floor(10 N / R) - 3.
    if (rateHz == 0 || 10 * frames <= 4 * rateHz)
        return 0;
    return 10 * frames / rateHz - 3;
}

ShortTermLayout shortTermLayout(std::uint64_t frames, std::uint64_t rateHz)
{
    // D > 3 s; with step 3 s / q the count is floor(N q / 3R) - q + 1.
    const std::uint64_t length = 3 * rateHz;
    if (rateHz == 0 || frames <= length)
        return {};
    ShortTermLayout layout{3, 0};
    for (;;) {
        layout.count = frames * layout.divisor / length - layout.divisor + 1;
        if (layout.count >= kMinShortTermBlocks)
            return layout;
        layout.divisor *= 2;
    }
}

LoudnessMeasurement measureLoudness(std::span<const double> samples, std::uint32_t channels, double rateHz,
                                    double fullScale, Progress& progress)
{
    const DenormalsFlushedToZero flushed;
    LoudnessMeasurement m;
    progress.start(0);
    const int factor = truePeakOversampling(rateHz);
    const KWeightingRow* kWeighting = kWeightingFor(rateHz);
    const std::span<const double> weights = channelWeights(channels);
    const std::uint64_t frames = weights.empty() ? 0 : samples.size() / channels;
    if (factor == 0 || kWeighting == nullptr || frames == 0) {
        advanceTo(progress, 100);
        return m;
    }

    const auto rate = static_cast<std::uint64_t>(rateHz);
    BlockLayout layout;
    layout.momentaryLength = 4 * rate / 10;
    layout.momentaryCount = momentaryBlockCount(frames, rate);
    layout.shortTermLength = 3 * rate;
    layout.shortTerm = shortTermLayout(frames, rate);
    const std::vector<std::uint64_t> cuts = blockEdges(layout);

    PassInput in{samples.data(), frames, 1.0 / fullScale, kWeighting, weights, cuts};
    PassOutput out;
    out.stretchEnergy.assign(cuts.empty() ? 0 : cuts.size() - 1, 0.0);
    runPass(channels, factor, in, out, progress);
    m.truePeakMeasured = true;
    m.truePeakDbtp = std::max(20 * std::log10(out.peak / fullScale), kLoudnessFloorLufs);

    const BlockEnergies energies{cuts, out.stretchEnergy};
    double rangeGate = kRangeGateWithoutMomentaryLufs;
    if (layout.momentaryCount > 0) {
        measureMomentary(layout, energies, m, progress);
        rangeGate = m.gateOpened ? m.absoluteGatedLufs - kRangeRelativeGateLu : -HUGE_VAL;
    }
    advanceTo(progress, 80);
    if (layout.shortTerm.count > 0)
        measureShortTerm(layout, energies, rangeGate, m, progress);
    advanceTo(progress, 100);
    return m;
}

}  // namespace auralune::metrics

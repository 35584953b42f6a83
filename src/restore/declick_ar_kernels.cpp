#include "restore/declick_ar_kernels.h"

#include "dsp/autoregressive.h"
#include "restore/pop_click_kernels.h"

#include <algorithm>
#include <cmath>

namespace auralune {

namespace {

// A repair range, both ends included.
struct Run {
    std::uint64_t from = 0;
    std::uint64_t to = 0;
};

// At most this many samples are interpolated together (runs closer than
// the model order are solved as one system).
constexpr std::uint64_t kMaxJointFrames = 1024;

// The errors of the AR model of each block against the block's robust
// error scale, min(|forward|, |backward|) ÷ scale, into `ratio`; the
// models into `models` (order + 1 per block).
void measureErrors(std::span<const double> x, const ArDeclickParams& params, std::span<double> ratio,
                   std::vector<double>& models, Progress& progress)
{
    const std::uint64_t n = x.size();
    const std::uint32_t p = params.order;
    const std::uint64_t block = params.blockFrames;
    const std::uint64_t blocks = (n + block - 1) / block;
    models.assign(blocks * (p + 1), 0.0);
    std::vector<double> f, b;
    std::uint64_t blockIndex = 0;
    progress.run(blocks, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (blockIndex = begin; blockIndex < end; ++blockIndex) {
            const std::uint64_t b0 = blockIndex * block;
            const std::uint64_t b1 = std::min(n, b0 + block);
            // The last block is fitted over a whole block length where the
            // signal has one.
            const std::uint64_t fitFrom = b1 >= block ? b1 - block : 0;
            const std::span<double> a(models.data() + blockIndex * (p + 1), p + 1);
            burgInto(x.subspan(fitFrom, b1 - fitFrom), p, f, b, a);

            // Forward errors first, for the block's scale: the mean square,
            // then twice again without what lies beyond three times its root.
            double meanSquare = 0;
            for (std::uint64_t i = b0; i < b1; ++i) {
                double e = 0;
                if (i >= p && i + p < n)
                    for (std::uint32_t k = 0; k <= p; ++k)
                        e += a[k] * x[i - k];
                ratio[i] = e;
                meanSquare += e * e;
            }
            meanSquare /= static_cast<double>(b1 - b0);
            for (int pass = 0; pass < 2; ++pass) {
                double sum = 0;
                std::uint64_t count = 0;
                for (std::uint64_t i = b0; i < b1; ++i) {
                    const double e2 = ratio[i] * ratio[i];
                    if (e2 <= 9.0 * meanSquare) {
                        sum += e2;
                        ++count;
                    }
                }
                if (count > 0)
                    meanSquare = sum / static_cast<double>(count);
            }
            const double scale = std::sqrt(meanSquare);
            for (std::uint64_t i = b0; i < b1; ++i) {
                if (!(scale > 0.0) || i < p || i + p >= n) {
                    ratio[i] = 0.0;
                    continue;
                }
                double e = 0;
                for (std::uint32_t k = 0; k <= p; ++k)
                    e += a[k] * x[i + k];
                ratio[i] = std::min(std::fabs(ratio[i]), std::fabs(e)) / scale;
            }
        }
    });
}

// The runs of hits: a hit within the look-ahead of the last one extends
// the run; each closed run is widened by the margin, clipped to the signal
// and to the frames after the previous range.
std::vector<Run> findRuns(std::span<const double> ratio, const ArDeclickParams& params)
{
    std::vector<Run> runs;
    const std::uint64_t n = ratio.size();
    bool open = false;
    std::uint64_t start = 0, last = 0;
    std::uint64_t resume = 0;   // frames before it belong to a closed run
    // A click's edges stand out less than its peak: the run reaches on over
    // the neighbouring frames above a lower threshold.
    const double edge = params.threshold * params.edgeRatio;
    const auto close = [&] {
        open = false;
        const std::uint64_t floor = runs.empty() ? 0 : runs.back().to + 1;
        while (start > floor && ratio[start - 1] > edge)
            --start;
        while (last + 1 < n && ratio[last + 1] > edge)
            ++last;
        resume = last + 1;
        if (last - start + 1 > params.maxRunFrames)
            return;
        std::uint64_t from = start > params.marginFrames ? start - params.marginFrames : 0;
        if (!runs.empty())
            from = std::max(from, runs.back().to + 1);
        const std::uint64_t to = std::min(n - 1, last + params.marginFrames);
        if (from <= to)
            runs.push_back({from, to});
    };
    for (std::uint64_t i = 0; i < n; ++i) {
        if (!(ratio[i] > params.threshold) || i < resume)
            continue;
        if (open && i - last <= params.lookAheadFrames) {
            last = i;
            continue;
        }
        if (open)
            close();
        open = true;
        start = last = i;
    }
    if (open)
        close();
    return runs;
}

}  // namespace

ArDeclickParams arDeclickParams(double frameRate, DeclickSensitivity sensitivity)
{
    ArDeclickParams params;
    params.order = frameRate > 48000.0 ? 32 : 16;
    params.blockFrames = std::max<std::uint64_t>(256, static_cast<std::uint64_t>(frameRate * 0.02));
    params.lookAheadFrames = clickLengths(frameRate).lookAheadFrames;
    params.marginFrames = 2;
    switch (sensitivity) {
    case DeclickSensitivity::Low: params.threshold = 8.0; break;
    case DeclickSensitivity::Normal: params.threshold = 5.5; break;
    case DeclickSensitivity::High: params.threshold = 4.0; break;
    }
    params.edgeRatio = 0.3;
    params.maxRunFrames = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(frameRate * 0.005));
    params.passes = 2;
    return params;
}

std::uint64_t arDeclickModels(std::uint64_t frames, const ArDeclickParams& params)
{
    return params.blockFrames == 0 ? 0 : (frames + params.blockFrames - 1) / params.blockFrames;
}

bool arInterpolate(std::span<double> x, std::span<const std::uint64_t> unknown, std::span<const double> a)
{
    const std::size_t m = unknown.size();
    if (m == 0 || a.empty())
        return true;
    const std::uint64_t p = a.size() - 1;
    const std::uint64_t n = x.size();
    const std::uint64_t lo = unknown.front();
    const std::uint64_t hi = unknown.back();
    std::vector<std::int64_t> index(hi - lo + 1, -1);
    for (std::size_t i = 0; i < m; ++i)
        index[unknown[i] - lo] = static_cast<std::int64_t>(i);

    std::vector<double> normal(m * m, 0.0), rhs(m, 0.0);
    std::vector<std::pair<std::size_t, double>> row;
    const std::uint64_t firstRow = std::max(lo, p);
    const std::uint64_t lastRow = std::min(hi + p, n - 1);
    for (std::uint64_t r = firstRow; r <= lastRow; ++r) {
        row.clear();
        double known = 0;
        for (std::uint64_t k = 0; k <= p; ++k) {
            const std::uint64_t t = r - k;
            const std::int64_t i = t >= lo && t <= hi ? index[t - lo] : -1;
            if (i >= 0)
                row.emplace_back(static_cast<std::size_t>(i), a[k]);
            else
                known += a[k] * x[t];
        }
        for (const auto& [i, gi] : row) {
            rhs[i] -= gi * known;
            for (const auto& [j, gj] : row)
                if (j <= i)
                    normal[i * m + j] += gi * gj;
        }
    }
    if (!solvePositiveDefinite(normal, rhs, m))
        return false;
    for (std::size_t i = 0; i < m; ++i)
        x[unknown[i]] = rhs[i];
    return true;
}

ArDeclickCount arDeclick(std::span<double> stereo, std::uint64_t frames, const ArDeclickParams& params,
                         std::span<double> work, Progress& progress)
{
    ArDeclickCount count;
    if (frames == 0 || params.order == 0 || params.blockFrames == 0)
        return count;
    const std::span<double> x = work.first(frames);
    const std::span<double> ratio = work.subspan(frames, frames);
    std::vector<double> models;
    std::vector<std::uint64_t> unknown;
    const std::uint32_t p = params.order;
    const std::uint64_t block = params.blockFrames;

    // Runs closer than the model order share their neighbourhood, so they
    // are solved together. Returns the runs and frames repaired.
    const auto interpolateRuns = [&](const std::vector<Run>& runs, ArDeclickCount* counted) {
        for (std::size_t r = 0; r < runs.size();) {
            unknown.clear();
            std::size_t next = r;
            while (next < runs.size()) {
                const Run& run = runs[next];
                if (next > r && (run.from - runs[next - 1].to - 1 >= p ||
                                 unknown.size() + (run.to - run.from + 1) > kMaxJointFrames))
                    break;
                for (std::uint64_t t = run.from; t <= run.to; ++t)
                    unknown.push_back(t);
                ++next;
            }
            const std::uint64_t middle = (runs[r].from + runs[next - 1].to) / 2;
            const std::span<const double> a(models.data() + (middle / block) * (p + 1), p + 1);
            if (unknown.size() <= kMaxJointFrames && arInterpolate(x, unknown, a) && counted) {
                counted->runs += next - r;
                counted->frames += unknown.size();
            }
            r = next;
        }
    };

    for (std::uint32_t channel = 0; channel < 2; ++channel) {
        for (std::uint64_t i = 0; i < frames; ++i)
            x[i] = stereo[2 * i + channel];
        // A large click disturbs the model of its block and hides its own
        // fainter edges: a second look at the repaired signal, with models
        // fitted afresh, finds what is left of it.
        for (std::uint32_t pass = 0; pass < params.passes; ++pass) {
            measureErrors(x, params, ratio, models, progress);
            interpolateRuns(findRuns(ratio, params), &count);
        }
        for (std::uint64_t i = 0; i < frames; ++i)
            stereo[2 * i + channel] = x[i];
    }
    return count;
}

}  // namespace auralune

#include "restore/wow_kernels.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace auralune::wow {

namespace {

std::uint64_t magnitude(std::int64_t e)
{
    return e < 0 ? 0 - static_cast<std::uint64_t>(e) : static_cast<std::uint64_t>(e);
}

}  // namespace

void shrinkTrack(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
                 std::uint32_t factor, Progress& progress)
{
    if (frames == 0 || channels == 0 || factor == 0)
        return;
    const std::uint64_t kept = frames / factor;
    for (std::uint32_t c = 0; c < channels; ++c)
        progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
            for (std::uint64_t j = begin; j < end; ++j)
                out[j * channels + c] = j < kept ? in[j * factor * channels + c] : 0.0;
        });
}

void stretchTrack(std::span<const double> in, std::span<double> out, std::uint64_t frames, std::uint32_t channels,
                  std::uint32_t factor, Progress& progress)
{
    if (frames == 0 || channels == 0 || factor == 0)
        return;
    for (std::uint32_t c = 0; c < channels; ++c)
        progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
            for (std::uint64_t i = begin; i < end; ++i)
                out[i * channels + c] = stretchedValue(in.data() + c, channels, i / factor, i % factor, frames, factor);
        });
}

void decimatingFir(std::span<const double> in, std::uint32_t inChannels, std::uint64_t frames,
                   std::span<const double> taps, std::uint32_t factor, std::span<double> out,
                   std::uint64_t unitsPerFrame, Progress& progress)
{
    if (frames == 0 || inChannels == 0 || factor == 0)
        return;
    const std::uint64_t kept = frames / factor;
    const double* h = taps.data();
    const double* x = in.data();
    progress.run(kept, unitsPerFrame * factor, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t j = begin; j < end; ++j) {
            const std::uint64_t n = j * factor;
            const std::uint64_t last = std::min<std::uint64_t>(taps.size(), n + 1);
            double acc = 0;
            for (std::uint64_t k = 0; k < last; ++k)
                acc += h[k] * x[(n - k) * inChannels];
            out[j] = acc;
        }
    });
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(kept, out.size())), out.end(), 0.0);
}

Crossings findCrossings(std::span<const double> points, std::uint64_t frames, std::uint32_t factor,
                        std::uint64_t unitsPerFrame, Progress& progress)
{
    Crossings found;
    if (frames == 0 || factor == 0 || points.empty())
        return found;
    const double* s = points.data();
    bool nonNegative = stretchedValue(s, 1, 0, 0, frames, factor) >= 0.0;
    progress.run(frames, unitsPerFrame, [&](std::uint64_t begin, std::uint64_t end) {
        std::uint64_t k = begin / factor;
        std::uint64_t m = begin % factor;
        for (std::uint64_t i = begin; i < end; ++i) {
            const double x = stretchedValue(s, 1, k, m, frames, factor);
            if (nonNegative ? x < 0.0 : x >= 0.0) {
                nonNegative = !nonNegative;
                found.position.push_back(i);
                found.value.push_back(x);
                found.isPositive.push_back(nonNegative);
            }
            if (++m == factor) {
                m = 0;
                ++k;
            }
        }
    });
    return found;
}

void markRoguePoints(Crossings& c)
{
    const std::size_t n = c.size();
    c.diff.assign(n, 0.0);
    c.diffPercent.assign(n, 0.0);
    c.rogue.assign(n, false);
    if (n < 2)
        return;
    const auto at = [&](std::size_t k) { return static_cast<double>(c.position[k]); };
    double sum = 0;
    for (std::size_t k = 0; k < n; ++k) {
        c.diff[k] = k == 0 ? 2 * (at(1) - at(0)) : k == n - 1 ? 2 * (at(k) - at(k - 1)) : at(k + 1) - at(k - 1);
        sum += c.diff[k];
    }
    const double mean = sum / static_cast<double>(n);
    for (std::size_t k = 0; k < n; ++k)
        c.diffPercent[k] = c.diff[k] / mean - 1;

    // At least 40 % short, between neighbours at least 15 % short.
    const auto isShort = [&](std::size_t k) { return c.diffPercent[k] < -0.15; };
    for (std::size_t k = 0; k < n; ++k) {
        const bool neighbours = k == 0 ? isShort(1) : k == n - 1 ? isShort(k - 1) : isShort(k - 1) && isShort(k + 1);
        c.rogue[k] = c.diffPercent[k] < -0.4 && neighbours;
    }
}

void pairRoguePoints(Crossings& c)
{
    const std::size_t n = c.size();
    if (n == 0)
        return;
    std::size_t k = 0;
    if (c.rogue[0])
        for (k = 1; k < n && c.rogue[k]; ++k) {
        }
    while (k < n) {
        if (c.rogue[k] && k != n - 1) {
            if (c.rogue[k + 1]) {
                k += 2;
                continue;
            }
            c.rogue[k] = false;
        }
        ++k;
    }
}

std::vector<std::size_t> removeRoguePoints(Crossings& c)
{
    std::vector<std::size_t> removed;
    for (std::size_t k = c.size(); k-- > 0;) {
        if (!c.rogue[k])
            continue;
        removed.push_back(k);
        const auto at = static_cast<std::ptrdiff_t>(k);
        c.position.erase(c.position.begin() + at);
        c.value.erase(c.value.begin() + at);
        c.isPositive.erase(c.isPositive.begin() + at);
        c.diff.erase(c.diff.begin() + at);
        c.diffPercent.erase(c.diffPercent.begin() + at);
        c.rogue.erase(c.rogue.begin() + at);
    }
    std::reverse(removed.begin(), removed.end());
    return removed;
}

Fit fitCrossingLines(const std::vector<std::uint64_t>& positions, std::uint64_t frames, double expectedSpacing)
{
    constexpr std::size_t kWindow = 20;
    constexpr std::size_t kHop = 10;
    Fit fit;
    const std::size_t count = positions.size();
    if (count < 2 || frames == 0)
        return fit;
    const double highest = static_cast<double>(frames - 1);
    for (std::size_t start = 0; start < count; start += kHop) {
        const std::size_t end = std::min(start + kWindow, count);
        // Only the last window can hold a single point, which the window
        // before has fitted already; a line through it has no slope.
        if (end - start < 2)
            break;
        double kMean = 0, pMean = 0;
        for (std::size_t k = start; k < end; ++k) {
            kMean += static_cast<double>(k);
            pMean += static_cast<double>(positions[k]);
        }
        kMean /= static_cast<double>(end - start);
        pMean /= static_cast<double>(end - start);
        double covariance = 0, variance = 0;
        for (std::size_t k = start; k < end; ++k) {
            const double dk = static_cast<double>(k) - kMean;
            covariance += dk * (static_cast<double>(positions[k]) - pMean);
            variance += dk * dk;
        }
        const double slope = covariance / variance;
        const double intercept = pMean - kMean * slope;
        if (!(slope > 0.9 * expectedSpacing && slope < expectedSpacing / 0.9)) {
            fit.fitted.clear();
            return fit;
        }
        for (std::size_t k = start; k < end; ++k) {
            const double position = std::clamp(slope * static_cast<double>(k) + intercept, 0.0, highest);
            if (k < fit.fitted.size()) {
                const double w = static_cast<double>(k - start) * 0.1;
                fit.fitted[k] = (1 - w) * fit.fitted[k] + w * position;
                if (w != 0)
                    fit.events.push_back({FitEvent::Blended, k, fit.fitted[k]});
            } else {
                fit.fitted.push_back(position);
                fit.events.push_back({FitEvent::Added, k, position});
            }
        }
    }
    fit.locked = true;
    return fit;
}

ControlSine::ControlSine(std::vector<double> fitted, std::vector<bool> isPositive, std::uint64_t frames)
    : isPositive_(std::move(isPositive)), frames_(frames)
{
    start_.reserve(fitted.size());
    for (double f : fitted)
        start_.push_back(static_cast<std::uint64_t>(f));
}

double ControlSine::next(std::uint64_t n)
{
    if (start_.size() < 2)
        return 0.0;
    const std::size_t last = start_.size() - 2;
    while (segment_ < last && start_[segment_ + 1] <= n)
        ++segment_;
    const double from = static_cast<double>(start_[segment_]);
    const double to = static_cast<double>(start_[segment_ + 1]);
    // Two crossings clamped onto one frame leave no interval to shape.
    if (!(to > from))
        return 0.0;
    const double v = std::sin((static_cast<double>(n) - from) * std::numbers::pi / (to - from));
    return isPositive_[segment_] ? -v : v;
}

void ControlSine::write(std::span<double> out, std::uint32_t channels)
{
    segment_ = 0;
    for (std::uint64_t n = 0; n < frames_; ++n)
        std::fill_n(out.data() + n * channels, channels, next(n));
}

CorrectionPlan planCorrection(std::uint64_t frames, const CorrectionSettings& s,
                              const std::function<double(std::uint64_t)>& control, Progress& progress)
{
    CorrectionPlan plan;
    const std::uint64_t b = s.blockFrames;
    if (frames == 0 || b == 0)
        return plan;
    const std::uint64_t blocks = (frames + b - 1) / b;
    const bool partialLast = frames % b != 0;
    const double blockFrames = static_cast<double>(b);
    const double blockCount = static_cast<double>(blocks);
    plan.extra.resize(blocks);
    progress.run(blocks, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t j = begin; j < end; ++j) {
            const double diameter =
                s.startDiameter - static_cast<double>(j) * (s.startDiameter - s.stopDiameter) / blockCount;
            const double v = ((blockFrames / s.scale) * s.tonearmSway / diameter) * control(j * b) * s.scale;
            if ((j == blocks - 1 && partialLast) || std::isnan(v))
                continue;
            const double rounded = std::trunc(v + std::copysign(0.49999999999999994, v));
            std::int64_t e = 0;
            if (rounded > blockFrames || rounded < -blockFrames) {
                e = rounded > 0 ? static_cast<std::int64_t>(b) : -static_cast<std::int64_t>(b);
                plan.clamped = true;
            } else {
                e = static_cast<std::int64_t>(rounded);
            }
            plan.extra[j] = e;
            plan.total += e;
        }
    });
    return plan;
}

Applied applyCorrection(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                        std::uint64_t blockFrames, const std::vector<std::int64_t>& extra, Progress& progress)
{
    Applied result;
    if (frames == 0 || blockFrames == 0)
        return result;
    // Only a plan whose blocks stay within their frames (as planCorrection
    // makes them) is applied; any other would write past the output.
    for (std::uint64_t j = 0; j < extra.size(); ++j) {
        const std::uint64_t start = j * blockFrames;
        const std::uint64_t held = start < frames ? std::min(blockFrames, frames - start) : 0;
        const std::uint64_t wanted = magnitude(extra[j]);
        if (wanted > (held == blockFrames ? held : 0)) {
            result = {0, false, 0, wanted};
            return result;
        }
    }
    const double* x = in.data();
    double* y = out.data();
    std::uint64_t written = 0;   // output frames so far: input position + offset
    const auto copy = [&](std::uint64_t from, std::uint64_t to) {
        std::copy(x + 2 * from, x + 2 * to, y + 2 * written);
        written += to - from;
    };
    progress.run(extra.size(), 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t j = begin; j < end; ++j) {
            const std::uint64_t start = j * blockFrames;
            const std::uint64_t stop = std::min(frames, start + blockFrames);
            const std::int64_t e = extra[j];
            if (e == 0) {
                copy(start, stop);
                continue;
            }
            const std::uint64_t marks = magnitude(e);
            const double spacing = static_cast<double>(blockFrames) / static_cast<double>(marks);
            std::uint64_t from = start;
            std::uint64_t placed = 0;
            for (std::uint64_t m = 0; m < marks; ++m) {
                const std::uint64_t at = start + static_cast<std::uint64_t>(static_cast<double>(m) * spacing);
                if (at < from || at >= stop)
                    continue;
                copy(from, at);
                if (e > 0) {
                    copy(at, at + 1);
                    copy(at, at + 1);
                }
                from = at + 1;
                ++placed;
            }
            copy(from, stop);
            if (placed != marks && result.marksMatch)
                result = {0, false, placed, marks};
        }
    });
    result.offset = static_cast<std::int64_t>(written) - static_cast<std::int64_t>(frames);
    return result;
}

}  // namespace auralune::wow

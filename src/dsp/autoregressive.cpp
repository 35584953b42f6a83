#include "dsp/autoregressive.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace auralune {

void burgSegments(std::span<const std::span<const double>> segments, std::uint32_t order, std::vector<double>& f,
                  std::vector<double>& b, std::span<double> a)
{
    std::fill(a.begin(), a.end(), 0.0);
    a[0] = 1.0;
    // The segments side by side in f and b; every sum runs inside each one.
    std::vector<std::pair<std::size_t, std::size_t>> bounds;   // first, size
    f.clear();
    double initial = 0;
    for (const std::span<const double> segment : segments) {
        if (segment.size() <= order + 1)
            continue;
        bounds.emplace_back(f.size(), segment.size());
        f.insert(f.end(), segment.begin(), segment.end());
        for (double v : segment)
            initial += v * v;
    }
    if (bounds.empty())
        return;
    b = f;
    for (std::uint32_t k = 0; k < order; ++k) {
        // The two error sums over the frames both errors exist at, taken
        // afresh each order: the usual running update of the denominator
        // loses its precision once the model explains a steady signal
        // almost entirely, and a reflection coefficient of 1 or more would
        // make the model unstable.
        double cross = 0, energy = 0;
        for (const auto& [first, size] : bounds) {
            const std::size_t span = size - 1 - k;
            const double* fk = f.data() + first + k + 1;
            const double* bp = b.data() + first;
            for (std::size_t i = 0; i < span; ++i) {
                cross += fk[i] * bp[i];
                energy += fk[i] * fk[i] + bp[i] * bp[i];
            }
        }
        if (!(energy > 1e-13 * initial))
            return;
        const double mu = -2.0 * cross / energy;
        if (!(std::fabs(mu) < 1.0))
            return;
        for (std::size_t i = 0; i <= (k + 1) / 2; ++i) {
            const double low = a[i] + mu * a[k + 1 - i];
            const double high = a[k + 1 - i] + mu * a[i];
            a[i] = low;
            a[k + 1 - i] = high;
        }
        for (const auto& [first, size] : bounds) {
            const std::size_t span = size - 1 - k;
            double* fw = f.data() + first + k + 1;
            double* bp = b.data() + first;
            for (std::size_t i = 0; i < span; ++i) {
                const double forward = fw[i] + mu * bp[i];
                const double backward = bp[i] + mu * fw[i];
                fw[i] = forward;
                bp[i] = backward;
            }
        }
    }
}

void burgInto(std::span<const double> x, std::uint32_t order, std::vector<double>& f, std::vector<double>& b,
              std::span<double> a)
{
    const std::span<const double> one[1] = {x};
    burgSegments(one, order, f, b, a);
}

bool solvePositiveDefinite(std::vector<double>& m, std::vector<double>& rhs, std::size_t size)
{
    for (std::size_t j = 0; j < size; ++j) {
        double diagonal = m[j * size + j];
        for (std::size_t k = 0; k < j; ++k)
            diagonal -= m[j * size + k] * m[j * size + k];
        if (!(diagonal > 1e-12 * std::fabs(m[j * size + j]) && diagonal > 0.0))
            return false;
        const double root = std::sqrt(diagonal);
        m[j * size + j] = root;
        for (std::size_t i = j + 1; i < size; ++i) {
            double v = m[i * size + j];
            for (std::size_t k = 0; k < j; ++k)
                v -= m[i * size + k] * m[j * size + k];
            m[i * size + j] = v / root;
        }
    }
    for (std::size_t i = 0; i < size; ++i) {
        double v = rhs[i];
        for (std::size_t k = 0; k < i; ++k)
            v -= m[i * size + k] * rhs[k];
        rhs[i] = v / m[i * size + i];
    }
    for (std::size_t i = size; i-- > 0;) {
        double v = rhs[i];
        for (std::size_t k = i + 1; k < size; ++k)
            v -= m[k * size + i] * rhs[k];
        rhs[i] = v / m[i * size + i];
    }
    return true;
}

std::vector<double> burgAr(std::span<const double> x, std::uint32_t order)
{
    std::vector<double> a(order + 1), f, b;
    burgInto(x, order, f, b, a);
    return a;
}

}  // namespace auralune

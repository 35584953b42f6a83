#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace auralune {

// Autoregressive (linear prediction) models by Burg's method: the
// prediction-error filter a (a[0] = 1, `order` + 1 entries) of `x`, so that
// Σ a[k]·x[n − k] is small; reversed, the same filter predicts backwards.
// Burg's recursion keeps every reflection coefficient below 1 in
// magnitude, so the model is stable: run freely it never grows without
// bound. Fewer samples than order + 2, or silence, give a = (1, 0, …).
std::vector<double> burgAr(std::span<const double> x, std::uint32_t order);

// The same with the caller's scratch (`f` and `b`, resized to x.size()) and
// the coefficients written into `a` (order + 1 entries).
void burgInto(std::span<const double> x, std::uint32_t order, std::vector<double>& f, std::vector<double>& b,
              std::span<double> a);

// One model for several stretches of one signal (the gaps between them
// left out): the error sums of every order run over each stretch alone.
// Stretches of order + 1 samples or fewer are ignored.
void burgSegments(std::span<const std::span<const double>> segments, std::uint32_t order, std::vector<double>& f,
                  std::vector<double>& b, std::span<double> a);

// Solves the symmetric positive definite system m·x = rhs (size × size,
// row-major, the lower triangle read) by Cholesky factorisation, leaving x
// in `rhs` and the factor in `m`; false (with both changed) when a pivot
// is not positive or falls below 10⁻¹² of its diagonal entry, i.e. the
// system is singular to working precision. Used for the normal equations
// of least-squares fits.
bool solvePositiveDefinite(std::vector<double>& m, std::vector<double>& rhs, std::size_t size);

}  // namespace auralune

#pragma once

#include <cstdint>

namespace auralune {

// Vector loops of the sample conversions and the clipping scan, built for
// the x86-64 baseline (SSE2) and for AVX2 and picked once at run time like
// the hi-res filters. Each does the leading part of a run that fits whole
// vectors and returns how many items it did; the scalar loop does the rest.
// Every operation is exact (integer moves, conversions of integers to
// double, comparisons, min and max), so the results are bit-identical to
// the scalar loops, including NaN and signed zero.

// The widest loops used: AVX2 where the processor has it (the default),
// the SSE2 baseline, or none (the scalar loops alone). For tests and
// benchmarks of every build; returns the previous limit.
enum class VectorLevel { Scalar, Baseline, Avx2 };
VectorLevel limitVectorLevel(VectorLevel level);

// Little-endian 16- or 24-bit samples to doubles.
std::uint64_t decodeLittleVector(const std::uint8_t* bytes, std::uint32_t bytesPerSample, double* out,
                                 std::uint64_t count);

// Doubles to little-endian 16- or 24-bit samples, floor(x + 0.5) kept within
// [low, high], a NaN giving `high`.
std::uint64_t encodeLittleVector(const double* in, std::uint32_t bytesPerSample, double high, double low,
                                 std::uint8_t* out, std::uint64_t count);

// Counts the samples above `high` or below `low` into `outOfRange` and
// raises `peak` to the largest absolute value; a NaN counts for neither.
std::uint64_t scanClippingVector(const double* samples, std::uint64_t count, double high, double low,
                                 std::uint64_t& outOfRange, double& peak);

}  // namespace auralune

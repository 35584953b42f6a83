#pragma once

#include <cstddef>

namespace auralune {

// Short vectors of doubles: two lanes for the x86-64 baseline (SSE2), four
// with AVX2. They live only in locals of always-inlined loops, built once
// per instruction set and picked at run time (a function taking or
// returning the four-lane type would change its calling convention with
// the instruction set).
typedef double Lanes2 __attribute__((vector_size(16)));
typedef double Lanes4 __attribute__((vector_size(32)));
template <std::size_t Width>
struct LanesOf;
template <>
struct LanesOf<2> {
    using type = Lanes2;
};
template <>
struct LanesOf<4> {
    using type = Lanes4;
};

}  // namespace auralune

#pragma once

#include <cstring>

namespace auralune {

// Left and right of one stereo frame as a two-lane vector (SSE2 on x86-64,
// NEON on AArch64). Each lane computes exactly what a scalar loop over that
// channel would, so filtering both channels side by side equals filtering
// them one after the other.
typedef double Frame2 __attribute__((vector_size(2 * sizeof(double))));

inline Frame2 loadFrame(const double* p)
{
    Frame2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storeFrame(double* p, Frame2 v) { std::memcpy(p, &v, sizeof v); }

inline Frame2 splat(double v) { return Frame2{v, v}; }

}  // namespace auralune

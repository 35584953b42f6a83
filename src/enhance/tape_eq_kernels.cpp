#include "enhance/tape_eq_kernels.h"

#include "dsp/frame2.h"

namespace auralune {

void tapeEq(std::span<const double> in, std::span<double> out, std::uint64_t frames, const TapeEqCoeffs& k,
            Progress& progress)
{
    const Frame2 a = splat(k.a), b = splat(k.b), c = splat(k.c), d = splat(k.d), e = splat(k.e);
    const Frame2 f = splat(k.f), g = splat(k.g), h = splat(k.h), gainK = splat(k.k), m = splat(k.m);
    Frame2 x1{}, s1Prev{}, t1{}, s2Prev{};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const Frame2 x = loadFrame(in.data() + n * 2);
            const Frame2 s1 = a * x + b * x1 + c * s1Prev;
            const Frame2 t = e * x + d * s1;
            const Frame2 s2 = f * t + g * t1 + h * s2Prev;
            storeFrame(out.data() + n * 2, m * t + gainK * s2);
            x1 = x;
            s1Prev = s1;
            t1 = t;
            s2Prev = s2;
        }
    });
}

}  // namespace auralune

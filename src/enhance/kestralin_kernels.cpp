#include "enhance/kestralin_kernels.h"

namespace auralune {

void kestralinReverseWidened(std::span<double> forward, std::span<double> twoPass, std::uint64_t frames,
                             const KestralinCoeffs& k, Progress& progress)
{
    // The same arithmetic, term for term, as the cross-feed and width
    // compensation primitives.
    constexpr double kWidth = 0.15;
    double xL1 = 0, xR1 = 0, hL1 = 0, hR1 = 0;
    double* io = forward.data();
    double* mid = twoPass.data();
    progress.run(frames, 2, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t at = (frames - 1 - i) * 2;
            const double left = io[at], right = io[at + 1];
            const double hL = k.a * left + k.b * xL1 + k.c * hL1;
            const double hR = k.a * right + k.b * xR1 + k.c * hR1;
            const double l = left + k.g * (hR - hL);
            const double r = right + k.g * (hL - hR);
            mid[at] = l;
            mid[at + 1] = r;
            io[at] = l + kWidth * (l - r);
            io[at + 1] = r + kWidth * (r - l);
            xL1 = left;
            xR1 = right;
            hL1 = hL;
            hR1 = hR;
        }
    });
}

}  // namespace auralune

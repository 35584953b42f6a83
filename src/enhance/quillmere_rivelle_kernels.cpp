#include "enhance/quillmere_rivelle_kernels.h"

#include "dsp/frame2.h"

namespace auralune {

namespace {

inline Frame2 swapLanes(Frame2 v) { return Frame2{v[1], v[0]}; }

}  // namespace

void quillmereCrossFeed(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                        const QuillmereCoeffs& k, std::uint64_t delayFrames, Progress& progress)
{
    const Frame2 ha = splat(k.highPass.a), hc = splat(k.highPass.c);
    const Frame2 la = splat(k.lowPass.a), lc = splat(k.lowPass.c);
    const Frame2 direct = splat(kQuillmereDirectGain), highGain = splat(kQuillmereHighPassGain);
    const Frame2 cross = splat(kQuillmereCrossGain);
    Frame2 x1{}, h1{}, d1{}, p{};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const Frame2 x = loadFrame(in.data() + n * 2);
            const Frame2 h = ha * x - ha * x1 + hc * h1;
            x1 = x;
            h1 = h;
            if (n >= delayFrames) {
                const Frame2 d = loadFrame(in.data() + (n - delayFrames) * 2);
                p = la * (d + d1) + lc * p;
                d1 = d;
            }
            // Each side takes the other side's delayed low-pass.
            storeFrame(out.data() + n * 2, direct * x + highGain * h + cross * swapLanes(p));
        }
    });
}

void quillmereReverb(std::span<double> buffer, std::uint64_t frames, const QuillmereCoeffs& echo,
                     std::uint64_t leftDelayFrames, std::uint64_t rightDelayFrames, std::span<double> ring,
                     Progress& progress)
{
    const std::uint64_t size = ring.size() / 2;
    const double ha = echo.highPass.a, hc = echo.highPass.c, la = echo.lowPass.a, lc = echo.lowPass.c;
    // Per side: the high-pass's last input and output, the low-pass's last
    // input and output (the echo).
    struct Chain {
        double x1 = 0, h1 = 0, e = 0;
        void step(double x, double ha, double hc, double la, double lc)
        {
            const double h = ha * x - ha * x1 + hc * h1;
            e = la * (h + h1) + lc * e;
            x1 = x;
            h1 = h;
        }
    } left, right;
    double* s = buffer.data();
    double* history = ring.data();
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const std::uint64_t slot = n % size;
            history[2 * slot] = s[2 * n];
            history[2 * slot + 1] = s[2 * n + 1];
            if (n >= leftDelayFrames)
                left.step(history[2 * ((n - leftDelayFrames) % size)], ha, hc, la, lc);
            if (n >= rightDelayFrames)
                right.step(history[2 * ((n - rightDelayFrames) % size) + 1], ha, hc, la, lc);
            s[2 * n] += kQuillmereReverbGain * left.e;
            s[2 * n + 1] += kQuillmereReverbGain * right.e;
            history[2 * slot] += kQuillmereReverbGain * right.e;
            history[2 * slot + 1] += kQuillmereReverbGain * left.e;
        }
    });
}

void rivelleShuffle(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                    const FirstOrderCoeffs& lp, double processedGain, double directGain, Progress& progress)
{
    double s1 = 0, q = 0;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double left = in[2 * n], right = in[2 * n + 1];
            const double mid = (left + right) * 0.5;
            const double side = (left - right) * 0.5;
            q = lp.a * (side + s1) + lp.c * q;
            s1 = side;
            const double shuffled = side + kRivelleSideBoost * q;
            out[2 * n] = processedGain * (mid + shuffled) + directGain * left;
            out[2 * n + 1] = processedGain * (mid - shuffled) + directGain * right;
        }
    });
}

}  // namespace auralune

#include "enhance/hilbert_kernels.h"

#include "dsp/frame2.h"

#include <algorithm>

namespace auralune {

namespace {

// One all-pass section over two lanes at once (x in lane 0, y in lane 1).
struct AllPass2 {
    explicit AllPass2(const AllPassCoeffs& k) : b0(splat(k.b0)), b1(splat(k.b1)) {}

    Frame2 operator()(Frame2 v)
    {
        const Frame2 y = b0 * v + b1 * x1 + x2 - b1 * y1 - b0 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        return y;
    }

    Frame2 b0, b1;
    Frame2 x1{}, x2{}, y1{}, y2{};
};

// The paths of one frame: AP0 and AP1 of x and of y.
struct Paths {
    double x0, x1, y0, y1;
};

template <MatrixCode Code>
void decode(const double* in, std::uint32_t inChannels, double* out, std::uint32_t outChannels,
            std::uint64_t frames, const MatrixDecodeParams& p, Progress& progress)
{
    AllPass2 ap0(p.network.ap0);
    AllPass2 ap1(p.network.ap1);
    const UhjRegime& g = p.uhj;
    const std::uint64_t delay = p.rearDelayFrames;
    if constexpr (Code == MatrixCode::Uhj) {
        // The delayed rear pair starts silent.
        for (std::uint64_t n = 0; n < std::min(delay, frames); ++n)
            out[n * 6 + 4] = out[n * 6 + 5] = 0.0;
    }

    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double l = in[n * inChannels];
            const double r = in[n * inChannels + 1];
            Frame2 v;
            if constexpr (Code == MatrixCode::OrvantilLoudspeakers || Code == MatrixCode::OrvantilHeadphones)
                v = splat((l + r) * 0.5);
            else if constexpr (Code == MatrixCode::Uhj)
                v = Frame2{l + r, l - r};
            else
                v = Frame2{l, r};
            const Frame2 q = ap0(v);
            const Frame2 i = ap1(v);
            const Paths s{q[0], i[0], q[1], i[1]};
            double* o = out + n * outChannels;

            if constexpr (Code == MatrixCode::OrvantilLoudspeakers) {
                o[0] = s.x1;
                o[1] = s.x0;
            } else if constexpr (Code == MatrixCode::OrvantilHeadphones) {
                o[0] = s.x1;
                o[1] = 0.66 * s.x0;
            } else if constexpr (Code == MatrixCode::Qs || Code == MatrixCode::MatrixH) {
                // Matrix H mixes quadrature into the right-hand input of the front pair.
                const double yFront = Code == MatrixCode::MatrixH ? 0.848 * s.y0 + 0.58 * s.y1 : s.y1;
                o[0] = 0.92 * s.x1 + 0.38 * yFront;
                o[1] = 0.38 * s.x1 + 0.92 * yFront;
                o[2] = o[3] = 0.0;
                o[4] = 0.38 * s.y0 - 0.92 * s.x0;
                o[5] = 0.92 * s.y0 - 0.38 * s.x0;
            } else if constexpr (Code == MatrixCode::Sq) {
                o[0] = 0.9 * s.x1 + 0.1 * s.y1;
                o[1] = 0.1 * s.x1 + 0.9 * s.y1;
                o[2] = o[3] = 0.0;
                o[4] = 0.2 * s.x1 + 0.5 * s.x0 - 0.2 * s.y0 - 0.5 * s.y1;
                o[5] = 0.5 * s.x1 + 0.2 * s.x0 - 0.5 * s.y0 - 0.2 * s.y1;
            } else {
                const double w = 0.982 * s.x1 + 0.164 * s.y0;
                const double x = 0.419 * s.x1 - 0.828 * s.y0;
                const double y = 0.385 * s.x0 + 0.762 * s.y1;
                o[0] = g.fw * w + g.fx * x + g.fx * y;
                o[1] = g.fw * w + g.fx * x - g.fx * y;
                o[2] = o[3] = 0.0;
                if (n + delay < frames) {
                    double* rear = out + (n + delay) * 6;
                    rear[4] = g.rw * w - g.rx * x + g.rx * y;
                    rear[5] = g.rw * w - g.rx * x - g.rx * y;
                }
            }
        }
    });
}

}  // namespace

void matrixDecode(std::span<const double> in, std::uint32_t inChannels, std::span<double> out,
                  std::uint32_t outChannels, std::uint64_t frames, const MatrixDecodeParams& params,
                  Progress& progress)
{
    switch (params.code) {
    case MatrixCode::OrvantilLoudspeakers:
        return decode<MatrixCode::OrvantilLoudspeakers>(in.data(), inChannels, out.data(), outChannels, frames,
                                                         params, progress);
    case MatrixCode::OrvantilHeadphones:
        return decode<MatrixCode::OrvantilHeadphones>(in.data(), inChannels, out.data(), outChannels, frames,
                                                       params, progress);
    case MatrixCode::Qs:
        return decode<MatrixCode::Qs>(in.data(), inChannels, out.data(), outChannels, frames, params, progress);
    case MatrixCode::Sq:
        return decode<MatrixCode::Sq>(in.data(), inChannels, out.data(), outChannels, frames, params, progress);
    case MatrixCode::MatrixH:
        return decode<MatrixCode::MatrixH>(in.data(), inChannels, out.data(), outChannels, frames, params,
                                           progress);
    case MatrixCode::Uhj:
        return decode<MatrixCode::Uhj>(in.data(), inChannels, out.data(), outChannels, frames, params, progress);
    }
}

}  // namespace auralune

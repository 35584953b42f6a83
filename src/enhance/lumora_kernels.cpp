#include "enhance/lumora_kernels.h"

namespace auralune {

void lumoraSurround(std::span<const double> in, std::uint32_t inChannels, std::span<double> out,
                    std::uint32_t outChannels, std::uint64_t frames, const LumoraParams& p, Progress& progress)
{
    const LumoraFilters& f = p.filters;
    const BiquadCoeffs& lfe = f.lfe;
    double centreX1 = 0, centreY1 = 0;
    double lfeX1 = 0, lfeX2 = 0, lfeY1 = 0, lfeY2 = 0;
    double sideX1 = 0, sideY1 = 0;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double l = in[n * inChannels], r = in[n * inChannels + 1];
            const double mid = (l + r) * 0.5;

            double centre = mid;
            if (p.centreHighPass) {
                centre = f.centreA * mid - f.centreA * centreX1 + f.centreC * centreY1;
                centreX1 = mid;
                centreY1 = centre;
            }
            centre *= p.centreGain;

            const double low = lfe.b0 * mid + lfe.b1 * lfeX1 + lfe.b2 * lfeX2 + lfe.d1 * lfeY1 + lfe.d2 * lfeY2;
            lfeX2 = lfeX1;
            lfeX1 = mid;
            lfeY2 = lfeY1;
            lfeY1 = low;
            const double lowFeed = p.lfeGain * low;

            double surround = 0.0;
            if (n >= p.delayFrames) {
                const std::uint64_t at = (n - p.delayFrames) * inChannels;
                const double side = (in[at] - in[at + 1]) * 0.5;
                sideY1 = f.surroundA * (side + sideX1) + f.surroundC * sideY1;
                sideX1 = side;
                surround = p.surroundLevel * sideY1;
            }

            double* o = out.data() + n * outChannels;
            const double lf = p.keepFront ? o[0] : p.frontGain * l;
            const double rf = p.keepFront ? o[1] : p.frontGain * r;
            if (p.headphones) {
                o[0] = kFoldDownGain * (surround + centre + lf + lowFeed);
                o[1] = kFoldDownGain * (-surround + rf + centre + lowFeed);
            } else {
                o[0] = lf;
                o[1] = rf;
                o[2] = centre;
                o[3] = lowFeed;
                o[4] = surround;
                o[5] = p.rightSign * surround;
            }
        }
    });
}

}  // namespace auralune

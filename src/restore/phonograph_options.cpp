#include "restore/phonograph_options.h"

#include "dsp/zero_phase.h"
#include "engine/audio_file.h"

#include <array>
#include <cmath>
#include <vector>

namespace auralune {

namespace phonograph {

namespace {

struct SectionState {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// Runs `count` cascaded sections over one sample.
inline double cascade(const BiquadCoeffs& k, SectionState* states, int count, double x)
{
    for (int i = 0; i < count; ++i) {
        SectionState& s = states[i];
        const double y = k.b0 * x + k.b1 * s.x1 + k.b2 * s.x2 + k.d1 * s.y1 + k.d2 * s.y2;
        s.x2 = s.x1;
        s.x1 = x;
        s.y2 = s.y1;
        s.y1 = y;
        x = y;
    }
    return x;
}

using Cascade = std::array<SectionState, kMaxCascade>;

}  // namespace

void dizorResponseCorrection(std::span<double> stereo, std::uint64_t frames, const OnePoleLowPass& lowPass,
                             Progress& progress)
{
    // The low-pass reads the input of the previous frame, which is kept
    // before the sample is corrected in place.
    double* p = stereo.data();
    double xl1 = 0, xr1 = 0, ll1 = 0, lr1 = 0;
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            const double xl = p[2 * n];
            const double xr = p[2 * n + 1];
            const double ll = lowPass.p * ll1 + lowPass.g * (xl + xl1);
            const double lr = lowPass.p * lr1 + lowPass.g * (xr + xr1);
            p[2 * n] = xl - 0.16 * ll;
            p[2 * n + 1] = xr - 0.16 * lr;
            xl1 = xl;
            xr1 = xr;
            ll1 = ll;
            lr1 = lr;
        }
    });
}

void zeroPhaseCascade(std::span<double> stereo, std::span<double> work, std::uint64_t frames,
                      const BiquadCoeffs& section, int sections, double scale, Progress& progress)
{
    const auto count = static_cast<std::size_t>(sections < 0 ? 0 : (sections > kMaxCascade ? kMaxCascade : sections));
    const std::array<BiquadCoeffs, kMaxCascade> copies{section, section, section, section};
    StereoCascade filter({copies.data(), count});
    // Primed at both ends; the stretches of a low-pass this wide are a few
    // dozen frames.
    const std::uint64_t pad = primingFrames(filter, frames);
    std::vector<double> edges(zeroPhaseEdgeSamples(pad));
    double* x = stereo.data();
    double* w = work.data();
    const Frame2 gain = splat(scale);
    zeroPhasePrimed(
        filter, frames, pad, edges, [&](std::uint64_t n) { return loadFrame(x + 2 * n); },
        [&](std::uint64_t n, Frame2 v) { storeFrame(w + 2 * n, v); }, [&](std::uint64_t n) { return loadFrame(w + 2 * n); },
        [&](std::uint64_t n, Frame2 v) { storeFrame(x + 2 * n, gain * v); }, 1, progress);
}

void exciter(std::span<double> stereo, std::span<double> work, std::uint64_t frames, const BiquadCoeffs& forward,
             const BiquadCoeffs& backward, Progress& progress)
{
    double* x = stereo.data();
    double* w = work.data();
    Cascade left{}, right{};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t n = begin; n < end; ++n) {
            w[2 * n] = std::fabs(cascade(forward, left.data(), 2, x[2 * n]));
            w[2 * n + 1] = std::fabs(cascade(forward, right.data(), 2, x[2 * n + 1]));
        }
    });
    left = {};
    right = {};
    progress.run(frames, 1, [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
            const std::uint64_t n = frames - 1 - i;
            x[2 * n] += 0.25 * cascade(backward, left.data(), 2, w[2 * n]);
            x[2 * n + 1] += 0.25 * cascade(backward, right.data(), 2, w[2 * n + 1]);
        }
    });
}

Progress startStage(AudioFile& job, const std::string& label, std::uint64_t units)
{
    job.setTableText(TableText::State, label);
    Progress progress{Progress::stepFor(units), 0, [&job](std::uint32_t percent) { job.updateProgressTableText(percent); }};
    progress.start(0);
    return progress;
}

}  // namespace phonograph

using phonograph::startStage;

void AudioFile::DizorResponseCorrection(std::span<double> source)
{
    platform.log.info(" DIZOR-OV Response Correction");
    Progress progress = startStage(*this, "DIZOR-OV Response Correction...", dstFrames);
    const auto rate = phonograph::rateFor(dstFrameRate);
    const phonograph::OnePoleLowPass lowPass = rate ? phonograph::at(phonograph::kDizorLowPass, *rate)
                                                    : phonograph::OnePoleLowPass{0, 0};
    phonograph::dizorResponseCorrection(source, dstFrames, lowPass, progress);
}

void AudioFile::NeedleScratchRemoval(std::span<double> source, std::span<double> work)
{
    platform.log.info(" Needle-Scratch Removal");
    Progress progress = startStage(*this, "Needle-Scratch Removal...", 2 * std::uint64_t{dstFrames});
    const auto rate = phonograph::rateFor(dstFrameRate);
    const BiquadCoeffs lowPass = rate ? phonograph::at(phonograph::kNeedleScratch, *rate) : BiquadCoeffs{};
    phonograph::zeroPhaseCascade(source, work, dstFrames, lowPass, 2, 1.0, progress);
}

void AudioFile::GradientNeedleScratchRemoval(std::span<double> source, std::span<double> work)
{
    platform.log.info(" Gradient Needle-Scratch Removal");
    Progress progress = startStage(*this, "Gradient Needle-Scratch Removal...", 2 * std::uint64_t{dstFrames});
    const auto rate = phonograph::rateFor(dstFrameRate);
    const BiquadCoeffs lowPass = rate ? phonograph::at(phonograph::kGradientScratch, *rate) : BiquadCoeffs{};
    // −3 dB: the passband level of the sixteenth-order zero-phase low-pass.
    phonograph::zeroPhaseCascade(source, work, dstFrames, lowPass, 4, 0.7079457843841379, progress);

    platform.log.info(" Exciter chain");
    progress = startStage(*this, "Exciter chain...", 2 * std::uint64_t{dstFrames});
    const BiquadCoeffs forward = rate ? phonograph::at(phonograph::kExciterForward, *rate) : BiquadCoeffs{};
    const BiquadCoeffs backward = rate ? phonograph::at(phonograph::kExciterBackward, *rate) : BiquadCoeffs{};
    phonograph::exciter(source, work, dstFrames, forward, backward, progress);
}

}  // namespace auralune

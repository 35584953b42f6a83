#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/text_format.h"
#include "restore/phonograph_options.h"
#include "restore/wow_coefficients.h"
#include "restore/wow_kernels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

namespace auralune {

namespace {

constexpr std::string_view kPhonographEQ = "-[AudioFile PhonographEQ:]";
constexpr std::string_view kControlSinWaveFit = "-[AudioFile ControlSinWaveFit::::]";

using wow::SpeedColumn;

// The control signal is kept at 1/48 of the frame rate, followed by this many
// points for the filters to ring out into: the slowest pole (the 0.07 Hz
// drift high-pass, radius 0.99964) decays by 10^-16 within about 100 000
// points, so the zero-phase passes see what they would over a full-length
// buffer of zeros.
constexpr std::uint64_t kRingOutPoints = std::uint64_t{1} << 18;

// Work units of the full-rate detector: thirteen stereo passes and the
// decimating FIR, two samples per frame each.
constexpr std::uint64_t kDetectorPasses = 14;

// Steps 1-6: the once-per-revolution swing of the groove's top octave
// between the channels, as left minus right of the two high-band envelopes,
// in `work` (stereo, both channels alike).
void highBandBalance(std::span<const double> source, std::span<double> work, std::uint64_t frames,
                     const wow::DetectorFilters& f, Progress& progress)
{
    biquad(source, work, frames, 2, f.highBand, Direction::Forward, progress);
    biquad(work, work, frames, 2, f.highBand, Direction::Forward, progress);
    biquad(work, work, frames, 2, f.highBand, Direction::Reverse, progress);
    biquad(work, work, frames, 2, f.highBand, Direction::Reverse, progress);
    biquad(work, work, frames, 2, f.highBandEdge, Direction::Forward, progress);
    biquad(work, work, frames, 2, f.highBandEdge, Direction::Reverse, progress);
    gain(work, frames, 2, wow::kHighBandGain, progress);
    rectify(work, frames, 2, progress);
    biquad(work, work, frames, 2, wow::kEnvelope, Direction::Forward, progress);
    biquad(work, work, frames, 2, wow::kEnvelope, Direction::Reverse, progress);
    gain(work, frames, 2, f.envelopeGain, progress);
    leftMinusRight(work, frames, 2, progress);
    gain(work, frames, 2, wow::kDifferenceGain, progress);
}

// Two passes forward, then two backward, in place on a mono signal.
void zeroPhaseTwice(std::span<double> x, const BiquadCoeffs& k, Progress& progress)
{
    for (const Direction d : {Direction::Forward, Direction::Forward, Direction::Reverse, Direction::Reverse})
        biquad(x, x, x.size(), 1, k, d, progress);
}

// Steps 9-11 at 1/48 of the rate: the revolution band of the balance.
// `slow` is a buffer as long as `points`, needed for 33/45 rpm only.
void revolutionBand(std::span<double> points, std::span<double> slow, SpeedColumn column,
                    const wow::DetectorFilters& f)
{
    // Small beside the full-rate chain: counted as none of its progress.
    Progress quiet{std::numeric_limits<std::uint64_t>::max(), 0, {}};
    zeroPhaseTwice(points, wow::kRevolutionLowPass, quiet);
    zeroPhaseTwice(points, f.drift, quiet);
    if (column == SpeedColumn::Fast78)
        return;
    wow::decimatingFir(points, 1, points.size(), wow::kFirB, wow::kSecondDecimation, slow, 1, quiet);
    zeroPhaseTwice(slow, wow::kSlowLowPass, quiet);
    wow::stretchTrack(slow, points, points.size(), 1, wow::kSecondDecimation, quiet);
}

}  // namespace

void AudioFile::WowCorrection(std::span<double> source)
{
    const std::uint64_t frames = dstFrames;
    const SpeedColumn column = settings.rotationalSpeedWow == 3 ? SpeedColumn::Fast78 : SpeedColumn::Slow;
    const wow::DetectorFilters& filters = wow::detectorFilters(column);

    // Detection: the full-rate chain into the control points at 1/48 of the
    // rate; only they outlive the full-length work buffer.
    const std::uint64_t pointCount = std::min(frames, frames / wow::kFirstDecimation + kRingOutPoints);
    SampleBuffer points;
    {
        Progress progress = phonograph::startStage(*this, "Wow Detection...", kDetectorPasses * 2 * frames);
        SampleBuffer work;
        if (!allocateWorkBuffer(work, 2 * frames) || !allocateWorkBuffer(points, pointCount))
            return;
        highBandBalance(source, work, frames, filters, progress);
        wow::decimatingFir(work, 2, frames, wow::kFirA, wow::kFirstDecimation, points, 2, progress);
    }
    SampleBuffer slow;
    if (column == SpeedColumn::Slow && !allocateWorkBuffer(slow, pointCount))
        return;
    revolutionBand(points, slow, column, filters);
    // A swing smaller than the control that a one-step imbalance of the two
    // high-band envelopes gives is rounding, not an off-centre groove
    // (channels alike at the source differ by about that after the stages
    // before): the control is taken as silent, so nothing locks onto it.
    const double floor = wow::kHighBandGain * filters.envelopeGain * wow::kDifferenceGain;
    if (std::ranges::none_of(points, [floor](double x) { return std::abs(x) >= floor; }))
        std::ranges::fill(points, 0.0);

    std::vector<double> fitted;
    std::vector<bool> isPositive;
    const bool locked = ControlSinWaveFit(points, frames, wow::kFirstDecimation, fitted, isPositive);
    SampleBuffer().swap(points);
    SampleBuffer().swap(slow);
    if (!locked)
        return;
    wow::ControlSine control(std::move(fitted), std::move(isPositive), frames);

    // Correction in 10 ms blocks. S cancels out of the frame count; it is
    // kept for the rounding of the product.
    const auto blockFrames = static_cast<std::uint64_t>(std::trunc(dstFrameRate * 0.01));
    if (blockFrames == 0)
        return;
    const std::uint64_t blocks = (frames + blockFrames - 1) / blockFrames;
    Progress progress = phonograph::startStage(*this, "Wow Correction...", 2 * blocks);
    const wow::CorrectionSettings correction{blockFrames, dstFrameRate >= 88200 ? 10.0 : 5.0,
                                             settings.tonearmSwayWow, settings.startDiameterWow,
                                             settings.stopDiameterWow};
    const wow::CorrectionPlan plan =
        wow::planCorrection(frames, correction, [&control](std::uint64_t n) { return control.next(n); }, progress);
    platform.log.info(formatText(" Extra frames to add for wow correction = %ld", static_cast<long>(plan.total)));
    if (plan.clamped)
        platform.log.warning(" Wow correction limited: a 10 ms block cannot gain or lose more frames than it holds");

    SampleBuffer output;
    if (!allocateWorkBuffer(output, 2 * (frames + static_cast<std::uint64_t>(std::max<std::int64_t>(0, plan.total)))))
        return;
    const wow::Applied applied = wow::applyCorrection(source, output, frames, blockFrames, plan.extra, progress);
    if (!applied.marksMatch)
        raiseAssertion(formatText("Wow array size (%lu) does not match stuff size (%lu) in %%s",
                                  static_cast<unsigned long>(applied.marked), static_cast<unsigned long>(applied.wanted)),
                       kPhonographEQ);
    if (applied.offset != plan.total)
        raiseAssertion(formatText("wowOffset (%ld) and wowOffsetTotal (%ld) are not equal in %%s",
                                  static_cast<long>(applied.offset), static_cast<long>(plan.total)),
                       kPhonographEQ);
    // The track keeps its length: frames gained at the end are cut, frames
    // lost leave silence.
    std::copy_n(output.begin(), 2 * frames, source.begin());
}

bool AudioFile::ControlSinWaveFit(std::span<const double> points, std::uint64_t frames, std::uint32_t factor,
                                  std::vector<double>& fitted, std::vector<bool>& isPositive)
{
    Progress progress = phonograph::startStage(*this, "Wow Detection Locking...", 2 * frames);
    wow::Crossings crossings = wow::findCrossings(points, frames, factor, 2, progress);
    for (std::size_t k = 0; k < crossings.size(); ++k)
        platform.log.info(formatText("Wow! zero origin change %-7lu: %-10lu: %f", static_cast<unsigned long>(k),
                                     static_cast<unsigned long>(crossings.position[k]), crossings.value[k]));
    const auto notFound = [this] {
        platform.log.warning("Cannot detect any Wow! to correct in " + std::string(kControlSinWaveFit));
        warning |= kWarningWowNotFound;
        return false;
    };
    // Fewer than two crossings give no interval to fit: a silent or mono
    // record, or one shorter than a revolution.
    if (crossings.size() < 2)
        return notFound();

    wow::markRoguePoints(crossings);
    for (std::size_t k = 0; k < crossings.size(); ++k)
        if (crossings.rogue[k])
            platform.log.info(formatText("Wow! removed rogue point %-7lu: %-4hhd: %f", static_cast<unsigned long>(k),
                                         static_cast<signed char>(1), crossings.diffPercent[k]));
    wow::pairRoguePoints(crossings);
    wow::removeRoguePoints(crossings);
    if (crossings.size() < 2)
        return notFound();

    const double expectedSpacing = dstFrameRate * 60 / wow::crossingsPerMinute(settings.rotationalSpeedWow);
    wow::Fit fit = wow::fitCrossingLines(crossings.position, frames, expectedSpacing);
    for (const wow::FitEvent& event : fit.events) {
        if (event.kind == wow::FitEvent::Blended)
            platform.log.info(formatText("Wow! zero origin change (mod) %-7lu: %-10f",
                                         static_cast<unsigned long>(event.index), event.position));
        else if (event.index < 11)
            platform.log.info(formatText("Wow! zero origin change (add) %-7lu: %-10f",
                                         static_cast<unsigned long>(event.index), event.position));
    }
    if (!fit.locked)
        return notFound();
    fitted = std::move(fit.fitted);
    isPositive = std::move(crossings.isPositive);
    return true;
}

}  // namespace auralune

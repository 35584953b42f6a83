#include "dsp/filter_primitives.h"
#include "engine/assertion.h"
#include "engine/audio_file.h"

#include <functional>
#include <string_view>

namespace auralune {

namespace {

// The callers size every buffer from the job's frame and channel counts; a
// buffer that cannot hold what a primitive is told to touch is a fault of
// the calling routine, and writing past it is never an option.
void requireSamples(std::span<const double> buffer, std::uint64_t frames, std::uint32_t channels,
                    std::string_view method)
{
    if (channels != 0 && frames > buffer.size() / channels)
        raiseAssertion("Buffer too small for its frames in %s", method);
}

// True when the two buffers share memory without being the same buffer.
bool partlyOverlap(std::span<const double> a, std::span<const double> b)
{
    if (a.empty() || b.empty() || a.data() == b.data())
        return false;
    const std::less<const double*> before;
    return before(a.data(), b.data() + b.size()) && before(b.data(), a.data() + a.size());
}

bool shareMemory(std::span<const double> a, std::span<const double> b)
{
    return !a.empty() && !b.empty() && (a.data() == b.data() || partlyOverlap(a, b));
}

// A primitive's progress: no report at the start, one per interval after.
Progress jobProgress(AudioFile& job, std::uint64_t interval, std::uint32_t start)
{
    return Progress{interval, start, [&job](std::uint32_t percent) { job.updateProgressTableText(percent); }};
}

}  // namespace

void AudioFile::BiQuadFilter(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                             std::uint32_t channels, double c0, double c1, double c2, double d1, double d2,
                             bool reverse, std::uint64_t progressInterval, std::uint32_t progressStart)
{
    constexpr std::string_view method = "-[AudioFile BiQuadFilter::::::::::::]";
    requireSamples(in, frames, channels, method);
    requireSamples(out, frames, channels, method);
    if (partlyOverlap(in, out))
        raiseAssertion("Overlapping buffers in %s", method);
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    biquad(in, out, frames, channels, BiquadCoeffs{c0, c1, c2, d1, d2},
           reverse ? Direction::Reverse : Direction::Forward, progress);
}

void AudioFile::FiniteImpulseResponse(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                                      std::uint32_t channels, std::span<const double> coefficients,
                                      std::uint64_t taps, std::uint64_t progressInterval,
                                      std::uint32_t progressStart)
{
    constexpr std::string_view method = "-[AudioFile FiniteImpulseResponse::::::::]";
    requireSamples(in, frames, channels, method);
    requireSamples(out, frames, channels, method);
    if (taps > coefficients.size())
        raiseAssertion("More taps than coefficients in %s", method);
    if (frames != 0 && channels != 0 && shareMemory(in, out))
        raiseAssertion("The output must be a separate buffer in %s", method);
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    fir(in, out, frames, channels, coefficients.first(taps), progress);
}

void AudioFile::GainAdjust(std::span<double> buffer, std::uint64_t frames, std::uint32_t channels, double gain,
                           std::uint64_t progressInterval, std::uint32_t progressStart)
{
    requireSamples(buffer, frames, channels, "-[AudioFile GainAdjust::::::]");
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    auralune::gain(buffer, frames, channels, gain, progress);
}

void AudioFile::Rectifier(std::span<double> buffer, std::uint64_t frames, std::uint32_t channels,
                          std::uint64_t progressInterval, std::uint32_t progressStart)
{
    requireSamples(buffer, frames, channels, "-[AudioFile Rectifier:::::]");
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    rectify(buffer, frames, channels, progress);
}

void AudioFile::ChannelLeftMinusRight(std::span<double> buffer, std::uint64_t frames, std::uint32_t channels,
                                      std::uint64_t progressInterval, std::uint32_t progressStart)
{
    constexpr std::string_view method = "-[AudioFile ChannelLeftMinusRight:::::]";
    // With one channel, "channel 1" would be the next frame's sample.
    if (channels == 1)
        raiseAssertion("The number of channels must be at least 2 in %s", method);
    requireSamples(buffer, frames, channels, method);
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    leftMinusRight(buffer, frames, channels, progress);
}

void AudioFile::KestralinFilter(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                                std::uint32_t inChannels, std::uint32_t outChannels, double a, double b, double c,
                                double g, bool reverse, std::uint64_t progressInterval,
                                std::uint32_t progressStart)
{
    constexpr std::string_view method = "-[AudioFile KestralinFilter::::::::::::]";
    if (frames == 0 || inChannels == 0 || outChannels == 0)
        return;
    if (inChannels < 2 || outChannels < 2)
        raiseAssertion("The number of channels must be at least 2 in %s", method);
    requireSamples(in, frames, inChannels, method);
    requireSamples(out, frames, outChannels, method);
    // In place works frame by frame only when both frames have one layout.
    if (partlyOverlap(in, out) || (in.data() == out.data() && inChannels != outChannels))
        raiseAssertion("Overlapping buffers in %s", method);
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    kestralinCrossFeed(in, out, frames, inChannels, outChannels, KestralinCoeffs{a, b, c, g},
                       reverse ? Direction::Reverse : Direction::Forward, progress);
}

void AudioFile::TsymWidthCompensationFilter(std::span<const double> in, std::span<double> out,
                                            std::uint64_t frames, std::uint32_t channels,
                                            std::uint64_t progressInterval, std::uint32_t progressStart)
{
    constexpr std::string_view method = "-[AudioFile TsymWidthCompensationFilter::::::]";
    if (channels != 2)
        raiseAssertion("The number of channels must be 2 in %s", method);
    requireSamples(in, frames, channels, method);
    requireSamples(out, frames, channels, method);
    if (partlyOverlap(in, out))
        raiseAssertion("Overlapping buffers in %s", method);
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    tsymWidthCompensation(in, out, frames, progress);
}

void AudioFile::CopyBuffer(std::span<const double> source, std::span<double> destination, std::uint64_t frames,
                           std::uint32_t channels, std::uint64_t progressInterval, std::uint32_t progressStart)
{
    constexpr std::string_view method = "-[AudioFile CopyBuffer::::::]";
    requireSamples(source, frames, channels, method);
    requireSamples(destination, frames, channels, method);
    if (partlyOverlap(source, destination))
        raiseAssertion("Overlapping buffers in %s", method);
    Progress progress = jobProgress(*this, progressInterval, progressStart);
    copySamples(source, destination, frames, channels, progress);
}

}  // namespace auralune

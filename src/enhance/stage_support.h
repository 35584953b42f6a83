#pragma once

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/sample_kernels.h"
#include "engine/text_format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>

namespace auralune {

// The four rates (frames per second) an enhancement stage runs at: 44.1 and
// 48 kHz, and their doubles after a hi-res step or the halving of a
// 176.4/192 kHz source. The coefficient tables of the two-channel
// enhancements have one row per rate in this order.
inline constexpr std::array<double, 4> kStageRates{44100, 48000, 88200, 96000};

// Row of `rate` in kStageRates, by exact equality; nothing for any other rate.
constexpr std::optional<std::size_t> stageRateRow(double rate)
{
    for (std::size_t i = 0; i < kStageRates.size(); ++i)
        if (kStageRates[i] == rate)
            return i;
    return std::nullopt;
}

// A first-order section from zero state, y[n] = a·x[n] ± a·x[n−1] + c·y[n−1]
// (minus for a high-pass, plus for a low-pass).
struct FirstOrderCoeffs {
    double a = 0;
    double c = 0;
};

[[noreturn]] inline void raiseUnknownEnhancementType(EnhancementCode code, std::string_view method)
{
    raiseAssertion(formatText("Unknown enhancement type %lu in %%s", static_cast<unsigned long>(code)), method);
}

inline void requireStageChannels(std::uint32_t channels, std::uint32_t expected, std::string_view method)
{
    if (channels != expected)
        raiseAssertion("The number of channels must be " + std::to_string(expected) + " in %s", method);
}

// The checks of a stage that reads and writes stereo frames: both channel
// counts 2 and both buffers large enough for dstFrames.
inline void requireStereoStage(const AudioFile& job, const AudioFile::StageIo& io, std::string_view method)
{
    requireStageChannels(io.outChannels, 2, method);
    requireStageChannels(io.inChannels, 2, method);
    job.requireStageFrames(io, method);
}

// The row of a table of variants (each with a `code`) for a type code;
// null when the table has none.
template <class Table>
constexpr const std::ranges::range_value_t<Table>* findVariant(const Table& table, EnhancementCode code)
{
    for (const auto& row : table)
        if (row.code == code)
            return &row;
    return nullptr;
}

// The rate row of the stage. The passes only ever run a stage at one of the
// four rates, but a rate without coefficients must not be filtered with
// made-up ones or end the program: it fails the job ("Unsupported frame
// rate.") with "Destination frame rate %f is unknown in %s" in the log.
inline std::optional<std::size_t> stageRateRowOrFail(AudioFile& job, std::string_view method)
{
    const std::optional<std::size_t> row = stageRateRow(job.dstFrameRate);
    if (!row) {
        job.platform.log.error(formatText("Destination frame rate %f is unknown in ", job.dstFrameRate) +
                               std::string(method));
        job.error |= kErrorFrameRate;
    }
    return row;
}

// Progress of a stage routine through the job's progress text, at 1 % of
// `units` per step.
inline Progress stageProgress(AudioFile& job, std::uint64_t units)
{
    return Progress{Progress::stepFor(units), 0,
                    [&job](std::uint32_t percent) { job.updateProgressTableText(percent); }};
}

}  // namespace auralune

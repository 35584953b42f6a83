#pragma once

#include "engine/job_types.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>

namespace auralune {

class RandomSource;

// Progress of a long loop, reported in whole percent: after every `step`
// work items the value goes up by one and is handed to `report` (the job's
// updateProgressTableText). A loop that continues another one starts from
// the value where that one stopped.
struct Progress {
    std::uint64_t step = 1;       // work items per report, at least 1
    std::uint32_t percent = 0;    // the value reported last
    std::function<void(std::uint32_t)> report;

    // 1 % of `items`: items / 100, or 1 for fewer than 100 items.
    static std::uint64_t stepFor(std::uint64_t items) { return items >= 100 ? items / 100 : 1; }

    void start(std::uint32_t value)
    {
        percent = value;
        if (report)
            report(percent);
    }
    void advance()
    {
        ++percent;
        if (report)
            report(percent);
    }

    // Work units left before the next advance; 0 until a run starts counting.
    std::uint64_t untilStep = 0;

    // Runs body(begin, end) over the items [0, items), where every item is
    // `unitsPerItem` work units (2 for a stereo frame counted in samples),
    // and advances once per `step` units. The count carries over from one
    // run to the next, so per-channel runs of one operation share it. The
    // body sees runs of about one step, so inner loops stay free of
    // progress bookkeeping.
    template <class Body>
    void run(std::uint64_t items, std::uint64_t unitsPerItem, Body&& body)
    {
        const std::uint64_t units = unitsPerItem == 0 ? 1 : unitsPerItem;
        const std::uint64_t whole = step == 0 ? 1 : step;
        if (untilStep == 0)
            untilStep = whole;
        std::uint64_t begin = 0;
        while (begin < items) {
            const std::uint64_t end = begin + std::min(items - begin, (untilStep - 1) / units + 1);
            body(begin, end);
            std::uint64_t done = (end - begin) * units;
            while (done >= untilStep) {
                done -= untilStep;
                untilStep = whole;
                advance();
            }
            untilStep -= done;
            begin = end;
        }
    }
};

// Largest positive and most negative code of a word of `bits` bits:
// 32767 and -32768 for 16 bits, 8388607 and -8388608 for 24 bits.
constexpr double highestCode(std::uint32_t bits) { return static_cast<double>((std::int64_t{1} << (bits - 1)) - 1); }
constexpr double lowestCode(std::uint32_t bits) { return -static_cast<double>(std::int64_t{1} << (bits - 1)); }

// Stored integer samples to doubles on the same integer scale. `bytes`
// holds out.size() samples of `bytesPerSample` (2 or 3) bytes each in the
// given order (kEndianBig or kEndianLittle); each is sign-extended.
// Progress counts samples. Returns false, touching nothing, for an
// unsupported width or order or a byte buffer too short for `out`.
bool integerToDouble(std::span<const std::uint8_t> bytes, std::uint32_t bytesPerSample, int order,
                     std::span<double> out, Progress& progress);

// Multiplies every sample by `factor` (256 to take 16-bit values to the
// 24-bit scale). Progress counts samples.
void scaleSamples(std::span<double> samples, double factor, Progress& progress);

// Adds the first difference of uniform noise: for each sample in order, a
// fresh r = u * 2^-32 - 0.5 from a 32-bit uniform u, plus r - r_prev. The
// previous value carries from one sample to the next whatever the channel,
// starting at 0. The result is triangular noise of +-1 unit peak with a
// spectrum rising with frequency. Progress counts samples.
void addDither(std::span<double> samples, RandomSource& random, Progress& progress);

// What the clipping scan finds.
struct ClipScan {
    std::uint64_t outOfRange = 0;   // samples above `high` or below `low`
    double peak = 0;                // largest absolute value
};

// Scans interleaved frames of `channels` samples. Progress counts frames.
ClipScan scanClipping(std::span<const double> samples, std::uint32_t channels, double high, double low,
                      Progress& progress);

struct ClipMeasure {
    double percent = 0;   // out-of-range samples, % of all samples
    double factor = 0;    // peak / high
    double dB = 0;        // 20 log10(factor)
};

// The clipping figures of a scan over `sampleCount` samples. An empty
// buffer has nothing out of range.
ClipMeasure measureClipping(const ClipScan& scan, std::uint64_t sampleCount, double high);

// Replaces samples above `high` by `high` and below `low` by `low`.
// Progress counts samples.
void clampSamples(std::span<double> samples, double high, double low, Progress& progress);

// Divides every sample by `factor`. Progress counts samples.
void attenuateSamples(std::span<double> samples, double factor, Progress& progress);

// The channels of the written file, picked out of a stage buffer.
struct ChannelSelection {
    std::uint32_t channels = 0;   // channels per frame of the stage buffer
    std::uint32_t start = 0;      // first channel written
    std::uint32_t count = 0;      // channels written
};

// Doubles to stored integers. Each value is rounded to the nearest integer
// with halves rounded upward (floor(x + 0.5): 2.5 gives 3, -2.5 gives -2)
// and written in `bytesPerSample` bytes (2, 3, or 4 for the 32-bit FLAC
// container) in the given order. Values are kept within the codes of
// `sampleBits` bits so that a stray value past full scale (or a NaN) can
// never wrap round to the opposite sign. `out` holds frames × count
// samples. Progress counts frames. Returns false, touching nothing, for an
// unsupported width or order, a bad selection or buffers of the wrong size.
bool doubleToInteger(std::span<const double> in, const ChannelSelection& selection, std::uint32_t sampleBits,
                     std::uint32_t bytesPerSample, int order, std::span<std::uint8_t> out, Progress& progress);

}  // namespace auralune

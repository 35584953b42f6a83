#pragma once

#include "engine/settings_snapshot.h"

#include <cstdint>

namespace auralune {

class AudioFile;

// What the rate stages do to the frames between the source and the
// enhancements.
enum class RatePlan { None, Double, Halve, HalveRestore };

// The shape of one processing pass: everything its peak memory depends on
// (wow correction and the loudness measurement add nothing measurable).
struct PassShape {
    std::uint64_t srcFrames = 0;
    std::uint32_t srcChannels = 2;
    std::uint32_t srcSampleBytes = 2;   // as held after reading: 2, 3 or 4
    RatePlan rate = RatePlan::None;
    std::uint32_t stage1Channels = 2;
    std::uint32_t stage2Channels = 2;
    std::uint32_t writtenChannels = 2;
    std::uint32_t dstSampleBytes = 2;   // 4 for FLAC (libFLAC takes 32-bit words)
    bool stage1PassesThrough = true;    // "None" or "Hi-Res" keeping the channels
    bool stage2PassesThrough = true;
    bool cd4 = false;                   // the CD-4 sub-carrier buffer
};

// The bytes a processing pass holds at its peak, an upper bound within
// about 25 % of the resident memory measured on whole conversions (the
// figures are in peak_estimate.cpp). The estimate scales with the frames,
// so a short file calibrates a long one.
std::uint64_t peakBytes(const PassShape& shape);

// The shape of the pass an analysed job will run with these settings (the
// destination rules of the pass, read before it starts).
PassShape passShape(const AudioFile& job, const SettingsSnapshot& settings);

// Hi-res processing: 24-bit output for every rate, and 44.1/48 kHz doubled.
// The groove model and the LP distortion canceller need the headroom of the
// doubled rate, so they bring it whatever the setting says.
bool hiResApplies(const SettingsSnapshot& settings);

}  // namespace auralune

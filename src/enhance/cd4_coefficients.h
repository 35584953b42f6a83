#pragma once

#include "dsp/filter_primitives.h"

#include <cstdint>

// The fixed filters and levels of CD-4 demodulation, all for 96 kHz
// (b0, b1, b2, d1, d2 with the feedback terms added).
namespace auralune::cd4 {

inline constexpr double kRate = 96000;

// Baseband low-pass: 2nd-order Butterworth, −3 dB at 15 kHz; run forward
// and backward it is a zero-phase 4th-order split from the 30 kHz carrier.
inline constexpr BiquadCoeffs kBasebandLowPass{0.139931461790277, 0.279862923580554, 0.139931461790277,
                                               0.699698900564656, -0.259424747725763};

// JVC post-discriminator cut: peaking cut of −12 dB at 700 Hz (−6 dB at
// 593 and 826 Hz), unity at DC and Nyquist.
inline constexpr BiquadCoeffs kJvcCut{0.988766595191601, -1.96792954862946, 0.981230107701185,
                                      1.96792954862946, -0.969996702892786};

// JVC band-pass: 0 dB at about 1 kHz, −3 dB at 194 Hz and 5135 Hz per pass;
// run forward and backward twice.
inline constexpr BiquadCoeffs kJvcBandPass{0.140530059044362, 0, -0.140530059044362, 1.71525949967588,
                                           -0.718939881911275};

// High-Quality post-discriminator shelf: y1 = a·(x[n] + x[n−1]) + c·y1[n−1]
// (first-order low-pass, 800 Hz), output 0.1·x + 0.9·y1: flat below a few
// hundred hertz, −20 dB at high frequencies.
inline constexpr double kShelfA = 0.025517716643;
inline constexpr double kShelfC = 0.948964566715;
inline constexpr double kShelfDirect = 0.1;
inline constexpr double kShelfLowPass = 0.9;

// No pilot ("No RADAR") at or below −30 dB of full scale.
inline constexpr double kPilotFloorDb = -30.0;
// Subcarrier AGC: chunks of 100 frames, limited when more than half their
// samples pass −26 dB of full scale; the gain recovers by 0.1 dB a chunk.
inline constexpr std::uint64_t kAgcChunkFrames = 100;
inline constexpr double kAgcThreshold = 0.05011872336272722;
inline constexpr double kAgcRecovery = 1.011645;
// +17 dB before the discriminator, +4 dB on the baseband before matching.
inline constexpr double kSubcarrierGain = 7.079457843841379;
inline constexpr double kBasebandGain = 1.5848931924611136;
// DIZOR-OV crosstalk: each wall loses 0.2 of the other.
inline constexpr double kDizorCrosstalk = 0.2;

// The discriminator compares each sample with the ones 7 and 9 frames
// before it (2.5 carrier cycles apart at 30 kHz, where its output is zero);
// the frequency it measures is that of about 4 frames earlier.
inline constexpr std::uint32_t kDiscriminatorShortDelay = 7;
inline constexpr std::uint32_t kDiscriminatorLongDelay = 9;
inline constexpr std::uint64_t kDiscriminatorDelayFrames = 4;

}  // namespace auralune::cd4

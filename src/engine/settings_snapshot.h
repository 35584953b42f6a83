#pragma once

#include "engine/catalogue.h"

#include <cstdint>
#include <string>

namespace auralune {

class PassLock;

// What a job may ask of the preferences controller: the suppression boxes of
// its two dialogs turn a setting off for every later file.
class SettingsControllerInterface {
public:
    virtual ~SettingsControllerInterface() = default;
    virtual void updateWarnPreprocess(bool warn) = 0;
    virtual void updateClipManagement(int tag) = 0;
};

// Every setting a pass depends on, in the order the controller hands them
// over. A pass copies the record into its job before doing anything else;
// the job never reads the controller's settings while it runs (the clipping
// method alone is read from the store when clipping management runs).
struct SettingsSnapshot {
    PassLock* passLock = nullptr;   // the analysis or processing lock; not kept by the job
    // Set by the processing lock's admission: the pass's estimated peak
    // alone exceeds the memory budget, so it runs alone (and its stage
    // buffers are the ones to keep out of memory).
    bool exceedsMemoryBudget = false;

    std::string destinationPath;
    bool destinationPathFollows = true;   // write next to the source
    std::string destinationFileSuffix;    // Enhancement 1 suffix + Enhancement 2 suffix
    EnhancementCode filterType_1 = kEnhancementNone;
    EnhancementCode filterType_2 = kEnhancementNone;
    int outputFormatType = 1;
    double clipThreshold = 2.0;           // dB

    bool grooveDistortionTapOff = false;
    double grooveDistortion = 2.0;
    double grooveNoise = -50.0;           // dBFS; -70 is off
    double dolbyTone = -18.0;             // dBFS
    int ambisonicUhjRegime = 1;

    const SystemFeatures* features = &SystemFeatures::shared();
    SettingsControllerInterface* settingsController = nullptr;
    const void* mainWindow = nullptr;

    int hiResType = 1;
    int hiResFilter = 1;                  // 1 the standard kernels, 2 the wide-band ones
    int ditherType = 1;

    int phonographRegime = 1;
    int captureSpeed = 1;
    bool useGainRanging = true;
    bool useCartridgeBalance = true;
    bool useDiscEchoRemoval = true;
    bool useDeroz2ResponseCorrection = false;
    int phonographPopClick = 2;           // 4: the interpolating declicker
    int popClickSensitivity = 2;          // its sensitivity: 1 low, 2 normal, 3 high
    bool useLpDistortionCancel = true;
    double lpDistortionStylusRadius = 10.0;   // micrometres
    int phonographScratch = 1;
    bool useZephra = true;
    bool useRumbleFilter = true;
    bool useHumFilter = false;
    bool useHumFilterBassCompensation = false;

    bool calculateSrcR128 = false;
    bool calculateDstR128 = false;
    bool dstBwfMetadata = false;
    bool adjustDstR128 = false;
    double adjustDstR128Level = -16.5;    // LUFS

    bool warnPreprocess = true;

    bool useCartridgeBalanceCD4 = true;
    bool useDeroz2CrosstalkCD4 = false;
    int popClickCD4 = 2;
    bool useZephraCD4 = true;
    bool useRumbleFilterCD4 = true;
    bool useHumFilterCD4 = false;
    bool useHumFilterBassCompensationCD4 = false;
    int outputCD4 = 1;

    bool useWowCorrection = false;
    int rotationalSpeedWow = 1;
    int pitchCorrectionWow = 1;       // stored and carried; no stage reads it
    double tonearmSwayWow = 1.0;      // mm
    double startDiameterWow = 300.0;  // mm, a 12-inch record's outer groove
    double stopDiameterWow = 120.0;   // mm, its run-out

    bool operator==(const SettingsSnapshot&) const = default;
};

}  // namespace auralune

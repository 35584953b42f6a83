#pragma once

#include "app/settings_model.h"
#include "platform/log.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace auralune {

// ---------------------------------------------------------------------------
// The value texts shown beside the preferences controls.

// "Off", "Low", "Normal", "High", "Max" for the integer part 0-4; nothing for
// any other value (the window treats that as a programming error,
// "Unexpected Groove stylus model distortion value in %s").
std::optional<std::string> customSetGrooveDistortionText(double value);
// "Off" at exactly -70.0 dBFS, else "%.1f dBFS".
std::string customSetGrooveNoiseText(double dBFS);
std::string customSetDolbyToneText(double dBFS);
// The adjust check box's title for the loudness target.
std::string customSetAdjustDstR128Text(double lufs);
// The LP distortion check box's title for the stylus radius.
std::string customSetLpDistortionCancelStylusRadius(double micrometres);

enum class WowSlider { TonearmSway, StartDiameter, StopDiameter };
// "%.1f mm" for the tonearm sway; "%.0f mm" for a diameter, marked with the
// record size at exactly 300, 250 and 175 mm.
std::string customSetWowSliderText(WowSlider slider, double value);

// The menu label of a tag of "HiResFilter" ("Standard", "Wide"),
// "PhonographPopClick" ("Off", "Pop-click", "Crackle", "Pop-click
// (interpolated)") or "PopClickSensitivity" ("Low", "Normal", "High");
// nothing for another key or a tag outside its menu.
std::optional<std::string_view> settingTagLabel(std::string_view key, std::uint64_t tag);

// The clip threshold field, "%.3f".
std::string clipThresholdText(double dB);

// What typing into the clip threshold field gives.
struct ClipThresholdEntry {
    bool accepted = false;     // false: nothing is posted
    double value = 0.0;        // the new threshold, or the previous one
    std::string fieldText;     // what the field shows afterwards
};
// Parses a plain decimal number ("en_US_POSIX": '.' as the separator, no
// grouping, no exponent) rounded to 3 fraction digits. Text that is no
// number, or a negative number, logs its warning and restores the previous
// value. Zero is accepted.
ClipThresholdEntry parseClipThreshold(std::string_view text, double previous, Log& log);

// ---------------------------------------------------------------------------
// Enabling rules between the preferences controls.

struct PreferencesState {
    bool calculateDstR128 = false;
    bool adjustDstR128 = false;
    bool useLpDistortionCancel = true;
    bool useHumRemoval = false;
    bool useHumRemovalCD4 = false;
    bool useWowCorrection = false;
    std::uint64_t pitchCorrectionWow = 1;
};

struct PreferencesEnabling {
    bool dstBwfMetadata;                  // needs destination loudness measurement
    bool adjustDstR128;                   // likewise
    bool adjustDstR128Level;              // needs measurement and adjustment
    bool lpDistortionStylusRadius;        // follows LP distortion cancellation
    bool useHumRemovalBassCompensation;   // follows hum removal
    bool useHumRemovalBassCompensationCD4;
    bool rotationalSpeedWow;              // follow wow correction
    bool pitchCorrectionWow;
    bool wowSliders;                      // tonearm sway and diameters: wow on, pitch correction 2
};

PreferencesEnabling preferencesEnabling(const PreferencesState& state);

// The stop diameter never exceeds the start diameter: moving the start below
// the stop pulls the stop down to it, moving the stop above the start pushes
// the start up to it.
struct WowDiameters {
    double start;
    double stop;
};
WowDiameters interlockWowDiameters(WowDiameters diameters, WowSlider moved);

// ---------------------------------------------------------------------------
// Change log lines, without the "<Info> " prefix.

// The line logged when a setting changes: "%@" takes the title (the control's
// title or the value as shown), "%ld", "%lu" and "%u" the tag, "%f" the real
// value. Nothing for a key that logs no line of its own, or for a clip
// management tag other than 1, 2, 4.
std::optional<std::string> settingChangedText(std::string_view key, std::string_view title, const SettingValue& value);

}  // namespace auralune

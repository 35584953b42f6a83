#pragma once

#include "engine/catalogue.h"
#include "engine/settings_snapshot.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace auralune {

// How a setting is kept in the defaults store. Every value is text: switches
// "YES"/"NO", tags "%lu", reals "%f"; the two remembered-choice arrays are
// lists of code texts.
enum class SettingType { Switch, Tag, Real, Path, Text, StringArray };

// What a stored value must satisfy beyond its form, so that no reader ever
// meets a value its consumers treat as impossible.
enum class ValueRule {
    None,
    ModeTag,              // 1 (the hidden entry, loaded as mode 64) or a catalogue mode
    EnhancementCode,      // a one-bit code of the catalogue
    EnhancementCodes,     // array whose entries are all enhancement codes
    OutputFormatTag,
    ClipManagementTag,    // 1 ask, 2 clamp, 4 attenuate
    PhonographRegime,     // 1-4
    AmbisonicUhjRegime,   // 1-5
    NonNegative,          // the clip threshold, dB
    GrooveDistortionStep, // 0 to below 5: the slider's five steps
    Positive,             // tonearm sway and groove diameters, mm (the wow correction divides by the diameters)
    AbsolutePath,         // or empty, which stands for the Music folder
    FileNameSuffix,       // no "/": a suffix must not leave the destination folder
    HiResFilterTag,       // 1 standard kernels, 2 wide-band kernels
    SensitivityStep,      // 1 low, 2 normal, 3 high
    ConversionCount,      // 1-64 processing passes at once
    MemoryBudgetMiB,      // 64 MiB to 16 TiB
};

// The preferences window's reset buttons; a key belongs to at most one.
enum ResetGroup : unsigned {
    kResetNone = 0,
    kResetSettings = 1,
    kResetPhonograph = 2,
    kResetWow = 4,
    kResetCD4 = 8,
};

using SnapshotMember = std::variant<std::monostate,
                                    bool SettingsSnapshot::*,
                                    int SettingsSnapshot::*,
                                    double SettingsSnapshot::*,
                                    EnhancementCode SettingsSnapshot::*,
                                    std::string SettingsSnapshot::*>;

// The notifications of the preferences window, one per setting or tab. The
// hi-res one is spelled with a lower-case "u" by both poster and observer.
inline constexpr std::string_view kSettingsUpdateWarnPreprocess = "SettingsUpdateWarnPreprocess";
inline constexpr std::string_view kSettingsUpdateClipManagement = "SettingsUpdateClipManagement";
inline constexpr std::string_view kSettingsUpdateClipThreshold = "SettingsUpdateClipThreshold";
inline constexpr std::string_view kSettingsUpdateDestinationTableText = "SettingsUpdateDestinationTableText";
inline constexpr std::string_view kSettingsUpdateGrooveDistortionTapOff = "SettingsUpdateGrooveDistortionTapOff";
inline constexpr std::string_view kSettingsUpdateGrooveDistortion = "SettingsUpdateGrooveDistortion";
inline constexpr std::string_view kSettingsUpdateGrooveNoise = "SettingsUpdateGrooveNoise";
inline constexpr std::string_view kSettingsUpdateDolbyTone = "SettingsUpdateDolbyTone";
inline constexpr std::string_view kSettingsUpdateHiResType = "SettingsupdateHiResType";
inline constexpr std::string_view kSettingsUpdateHiResFilter = "SettingsUpdateHiResFilter";
inline constexpr std::string_view kSettingsUpdateDitherType = "SettingsUpdateDitherType";
inline constexpr std::string_view kSettingsUpdateAmbisonicUhjRegime = "SettingsUpdateAmbisonicUhjRegime";
inline constexpr std::string_view kSettingsUpdatePhonographTab = "SettingsUpdatePhonographTab";
inline constexpr std::string_view kSettingsUpdateCD4Tab = "SettingsUpdateCD4Tab";
inline constexpr std::string_view kSettingsUpdateWowTab = "SettingsUpdateWowTab";
inline constexpr std::string_view kSettingsUpdateCalculateSrcR128 = "SettingsUpdateCalculateSrcR128";
inline constexpr std::string_view kSettingsUpdateCalculateDstR128 = "SettingsUpdateCalculateDstR128";
inline constexpr std::string_view kSettingsUpdateDstBwfMetadata = "SettingsUpdateDstBwfMetadata";
inline constexpr std::string_view kSettingsUpdateAdjustDstR128 = "SettingsUpdateAdjustDstR128";
inline constexpr std::string_view kSettingsUpdateAdjustDstR128Level = "SettingsUpdateAdjustDstR128Level";
inline constexpr std::string_view kSettingsUpdateSimultaneousConversions = "SettingsUpdateSimultaneousConversions";
inline constexpr std::string_view kSettingsUpdateMemoryBudget = "SettingsUpdateMemoryBudget";

inline constexpr std::array<std::string_view, 22> kSettingsNotificationNames{
    kSettingsUpdateWarnPreprocess, kSettingsUpdateClipManagement, kSettingsUpdateClipThreshold,
    kSettingsUpdateDestinationTableText, kSettingsUpdateGrooveDistortionTapOff,
    kSettingsUpdateGrooveDistortion, kSettingsUpdateGrooveNoise, kSettingsUpdateDolbyTone,
    kSettingsUpdateHiResType, kSettingsUpdateHiResFilter, kSettingsUpdateDitherType, kSettingsUpdateAmbisonicUhjRegime,
    kSettingsUpdatePhonographTab, kSettingsUpdateCD4Tab, kSettingsUpdateWowTab,
    kSettingsUpdateCalculateSrcR128, kSettingsUpdateCalculateDstR128, kSettingsUpdateDstBwfMetadata,
    kSettingsUpdateAdjustDstR128, kSettingsUpdateAdjustDstR128Level,
    kSettingsUpdateSimultaneousConversions, kSettingsUpdateMemoryBudget,
};

// One defaults key.
struct SettingDefinition {
    std::string_view key;
    SettingType type;
    // The registered default; for arrays the value of every entry. Empty for
    // "DestinationFolder", whose default is the platform's Music folder.
    std::string_view registeredDefault;
    std::size_t arrayLength;          // arrays: registered entry count; else 0
    ValueRule rule;
    std::string_view field;           // the job or controller field it feeds
    SnapshotMember member;            // the record member it is copied into, when direct
    std::string_view notification;    // the notification carrying it; empty: none
    std::string_view userInfoKey;     // its key in that notification's user info
    unsigned resetGroup;              // ResetGroup bits
    double resetValue;                // the value its reset button sets
};

// The remembered-choice arrays are extended with "1" to this length when
// loaded (15 are registered for the mode popup's 16 positions; 22 groups).
inline constexpr std::size_t kRememberedChoicesLength = 22;

// Every key, in registration order: the general keys, the 54 suffix keys in
// listing order, then the processing, phonograph, CD-4 and wow keys.
const std::vector<SettingDefinition>& settingDefinitions();
const SettingDefinition* findSetting(std::string_view key);
// The keys carried by a notification, in table order; empty for other names.
std::vector<const SettingDefinition*> settingsOfNotification(std::string_view name);
std::vector<const SettingDefinition*> settingsOfResetGroup(unsigned group);

// Named keys used across the app.
inline constexpr std::string_view kDestinationFolderKey = "DestinationFolder";
inline constexpr std::string_view kDestinationFolderOptionKey = "DestinationFolderOption";
inline constexpr std::string_view kModeKey = "Mode";
inline constexpr std::string_view kFilterType1Key = "FilterType_1";
inline constexpr std::string_view kFilterType2Key = "FilterType_2";
inline constexpr std::string_view kFilterTypeDefaults1Key = "FilterTypeDefaults_1";
inline constexpr std::string_view kFilterTypeDefaults2Key = "FilterTypeDefaults_2";
inline constexpr std::string_view kOutputFormatTypeKey = "OutputFormatType";
inline constexpr std::string_view kClipManagementKey = "ClipManagement";
inline constexpr std::string_view kClipThresholdKey = "ClipThreshold";
inline constexpr std::string_view kWarnPreprocessKey = "WarnPreprocess";
inline constexpr std::string_view kSimultaneousConversionsKey = "SimultaneousConversions";
inline constexpr std::string_view kMemoryBudgetKey = "MemoryBudget";

// The limits of the two batch keys, and their defaults, which depend on the
// machine (their registered default text is empty): the number of cores,
// and half of the physical memory in MiB.
inline constexpr std::uint64_t kMaxSimultaneousConversions = 64;
inline constexpr std::uint64_t kMinMemoryBudgetMiB = 64;
inline constexpr std::uint64_t kMaxMemoryBudgetMiB = std::uint64_t{1} << 24;   // 16 TiB
std::uint64_t defaultSimultaneousConversions();
std::uint64_t defaultMemoryBudgetMiB();

}  // namespace auralune

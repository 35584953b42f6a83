#include "app/settings_keys.h"

#include <algorithm>
#include <limits>
#include <thread>

#include <unistd.h>

namespace auralune {

namespace {

using S = SettingsSnapshot;
using T = SettingType;
using R = ValueRule;
constexpr double kNoReset = std::numeric_limits<double>::quiet_NaN();

// The general keys before the suffix keys.
const SettingDefinition kGeneralKeys[] = {
    {kDestinationFolderKey, T::Path, "", 0, R::AbsolutePath, "destinationPath", &S::destinationPath, "", "", kResetNone, kNoReset},
    {kDestinationFolderOptionKey, T::Tag, "1", 0, R::None, "destinationPathFollows", {}, "", "", kResetNone, kNoReset},
    {kModeKey, T::Tag, "1", 0, R::ModeTag, "modePopup", {}, "", "", kResetNone, kNoReset},
    {kFilterType1Key, T::Tag, "1", 0, R::EnhancementCode, "filterType_1", &S::filterType_1, "", "", kResetNone, kNoReset},
    {kFilterType2Key, T::Tag, "1", 0, R::EnhancementCode, "filterType_2", &S::filterType_2, "", "", kResetNone, kNoReset},
    {kFilterTypeDefaults1Key, T::StringArray, "1", 15, R::EnhancementCodes, "filterDefaults_1", {}, "", "", kResetNone, kNoReset},
    {kFilterTypeDefaults2Key, T::StringArray, "1", 22, R::EnhancementCodes, "filterDefaults_2", {}, "", "", kResetNone, kNoReset},
    {kOutputFormatTypeKey, T::Tag, "1", 0, R::OutputFormatTag, "outputFormatType", &S::outputFormatType, "", "", kResetNone, kNoReset},
    {"ShowFileExt", T::Switch, "NO", 0, R::None, "showFileExt", {}, kSettingsUpdateDestinationTableText, "showFileExt", kResetNone, kNoReset},
    {"ShowFullPath", T::Switch, "NO", 0, R::None, "showFullPath", {}, kSettingsUpdateDestinationTableText, "showFullPath", kResetNone, kNoReset},
};

// The processing, phonograph, CD-4 and wow keys after the suffix keys.
const SettingDefinition kProcessingKeys[] = {
    {kClipManagementKey, T::Tag, "1", 0, R::ClipManagementTag, "clipManagement", {}, kSettingsUpdateClipManagement, "clipManagement", kResetNone, kNoReset},
    {kClipThresholdKey, T::Real, "2.0", 0, R::NonNegative, "clipThreshold", &S::clipThreshold, kSettingsUpdateClipThreshold, "clipThreshold", kResetNone, kNoReset},
    {"GrooveDistortionTapOff", T::Switch, "NO", 0, R::None, "grooveDistortionTapOff", &S::grooveDistortionTapOff, kSettingsUpdateGrooveDistortionTapOff, "grooveDistortionTapOff", kResetSettings, 0},
    {"GrooveDistortion", T::Real, "2", 0, R::GrooveDistortionStep, "grooveDistortion", &S::grooveDistortion, kSettingsUpdateGrooveDistortion, "grooveDistortion", kResetSettings, 2.0},
    {"GrooveNoise", T::Real, "-50", 0, R::None, "grooveNoise", &S::grooveNoise, kSettingsUpdateGrooveNoise, "grooveNoise", kResetSettings, -50.0},
    {"DolbyTone", T::Real, "-18", 0, R::None, "dolbyTone", &S::dolbyTone, kSettingsUpdateDolbyTone, "dolbyTone", kResetSettings, -18.0},
    {"HiResType", T::Tag, "1", 0, R::None, "hiResType", &S::hiResType, kSettingsUpdateHiResType, "hiResType", kResetSettings, 1},
    {"HiResFilter", T::Tag, "1", 0, R::HiResFilterTag, "hiResFilter", &S::hiResFilter, kSettingsUpdateHiResFilter, "hiResFilter", kResetSettings, 1},
    {"DitherType", T::Tag, "1", 0, R::None, "ditherType", &S::ditherType, kSettingsUpdateDitherType, "ditherType", kResetSettings, 1},
    {"AmbisonicUhjRegime", T::Tag, "1", 0, R::AmbisonicUhjRegime, "ambisonicUhjRegime", &S::ambisonicUhjRegime, kSettingsUpdateAmbisonicUhjRegime, "ambisonicUhjRegime", kResetSettings, 1},
    {"CalculateSrcR128", T::Switch, "NO", 0, R::None, "calculateSrcR128", &S::calculateSrcR128, kSettingsUpdateCalculateSrcR128, "calculateSrcR128", kResetNone, kNoReset},
    {"CalculateDstR128", T::Switch, "NO", 0, R::None, "calculateDstR128", &S::calculateDstR128, kSettingsUpdateCalculateDstR128, "calculateDstR128", kResetNone, kNoReset},
    {"DstBwfMetadata", T::Switch, "NO", 0, R::None, "dstBwfMetadata", &S::dstBwfMetadata, kSettingsUpdateDstBwfMetadata, "dstBwfMetadata", kResetNone, kNoReset},
    {"AdjustDstR128", T::Switch, "NO", 0, R::None, "adjustDstR128", &S::adjustDstR128, kSettingsUpdateAdjustDstR128, "adjustDstR128", kResetNone, kNoReset},
    {"AdjustDstR128Level", T::Real, "-16.5", 0, R::None, "adjustDstR128Level", &S::adjustDstR128Level, kSettingsUpdateAdjustDstR128Level, "adjustDstR128Level", kResetNone, kNoReset},
    {kWarnPreprocessKey, T::Switch, "YES", 0, R::None, "warnPreprocess", &S::warnPreprocess, kSettingsUpdateWarnPreprocess, "warnPreprocess", kResetNone, kNoReset},

    {"PhonographRegime", T::Tag, "1", 0, R::PhonographRegime, "phonographRegime", &S::phonographRegime, kSettingsUpdatePhonographTab, "phonographRegime", kResetPhonograph, 1},
    {"CaptureSpeed", T::Tag, "1", 0, R::None, "captureSpeed", &S::captureSpeed, kSettingsUpdatePhonographTab, "captureSpeed", kResetPhonograph, 1},
    {"UseGainRanging", T::Switch, "YES", 0, R::None, "useGainRanging", &S::useGainRanging, kSettingsUpdatePhonographTab, "useGainRanging", kResetPhonograph, 1},
    {"UseCartridgeBalance", T::Switch, "YES", 0, R::None, "useCartridgeBalance", &S::useCartridgeBalance, kSettingsUpdatePhonographTab, "useCartridgeBalance", kResetPhonograph, 1},
    {"UseDiscEchoRemoval", T::Switch, "YES", 0, R::None, "useDiscEchoRemoval", &S::useDiscEchoRemoval, kSettingsUpdatePhonographTab, "useDiscEchoRemoval", kResetPhonograph, 1},
    {"UseDeroz2ResponseCorrection", T::Switch, "NO", 0, R::None, "useDeroz2ResponseCorrection", &S::useDeroz2ResponseCorrection, kSettingsUpdatePhonographTab, "useDeroz2ResponseCorrection", kResetPhonograph, 0},
    {"PhonographPopClick", T::Tag, "2", 0, R::None, "phonographPopClick", &S::phonographPopClick, kSettingsUpdatePhonographTab, "phonographPopClick", kResetPhonograph, 2},
    {"PopClickSensitivity", T::Tag, "2", 0, R::SensitivityStep, "popClickSensitivity", &S::popClickSensitivity, kSettingsUpdatePhonographTab, "popClickSensitivity", kResetPhonograph, 2},
    {"UseLpDistortionCancel", T::Switch, "YES", 0, R::None, "useLpDistortionCancel", &S::useLpDistortionCancel, kSettingsUpdatePhonographTab, "useLpDistortionCancel", kResetPhonograph, 1},
    {"LpDistortionStylusRadius", T::Real, "10", 0, R::None, "lpDistortionStylusRadius", &S::lpDistortionStylusRadius, kSettingsUpdatePhonographTab, "lpDistortionStylusRadius", kResetPhonograph, 10.0},
    {"PhonographScratch", T::Tag, "1", 0, R::None, "phonographScratch", &S::phonographScratch, kSettingsUpdatePhonographTab, "phonographScratch", kResetPhonograph, 1},
    {"UseZephra", T::Switch, "YES", 0, R::None, "useZephra", &S::useZephra, kSettingsUpdatePhonographTab, "useZephra", kResetPhonograph, 1},
    {"UseRumbleFilter", T::Switch, "YES", 0, R::None, "useRumbleFilter", &S::useRumbleFilter, kSettingsUpdatePhonographTab, "useRumbleFilter", kResetPhonograph, 1},
    {"UseHumRemoval", T::Switch, "NO", 0, R::None, "useHumFilter", &S::useHumFilter, kSettingsUpdatePhonographTab, "useHumRemoval", kResetPhonograph, 0},
    {"UseHumRemovalBassCompensation", T::Switch, "NO", 0, R::None, "useHumFilterBassCompensation", &S::useHumFilterBassCompensation, kSettingsUpdatePhonographTab, "useHumRemovalBassCompensation", kResetPhonograph, 0},

    {"UseCartridgeBalanceCD4", T::Switch, "YES", 0, R::None, "useCartridgeBalanceCD4", &S::useCartridgeBalanceCD4, kSettingsUpdateCD4Tab, "useCartridgeBalanceCD4", kResetCD4, 1},
    {"UseDeroz2CrosstalkCD4", T::Switch, "NO", 0, R::None, "useDeroz2CrosstalkCD4", &S::useDeroz2CrosstalkCD4, kSettingsUpdateCD4Tab, "useDeroz2CrosstalkCD4", kResetCD4, 0},
    {"PopClickCD4", T::Tag, "2", 0, R::None, "popClickCD4", &S::popClickCD4, kSettingsUpdateCD4Tab, "popClickCD4", kResetCD4, 2},
    {"UseZephraCD4", T::Switch, "YES", 0, R::None, "useZephraCD4", &S::useZephraCD4, kSettingsUpdateCD4Tab, "useZephraCD4", kResetCD4, 1},
    {"UseRumbleFilterCD4", T::Switch, "YES", 0, R::None, "useRumbleFilterCD4", &S::useRumbleFilterCD4, kSettingsUpdateCD4Tab, "useRumbleFilterCD4", kResetCD4, 1},
    {"UseHumRemovalCD4", T::Switch, "NO", 0, R::None, "useHumFilterCD4", &S::useHumFilterCD4, kSettingsUpdateCD4Tab, "useHumRemovalCD4", kResetCD4, 0},
    {"UseHumRemovalBassCompensationCD4", T::Switch, "NO", 0, R::None, "useHumFilterBassCompensationCD4", &S::useHumFilterBassCompensationCD4, kSettingsUpdateCD4Tab, "useHumRemovalBassCompensationCD4", kResetCD4, 0},
    {"OutputCD4", T::Tag, "1", 0, R::None, "outputCD4", &S::outputCD4, kSettingsUpdateCD4Tab, "outputCD4", kResetCD4, 1},

    // Groove diameters of a 12-inch record, as the wow reset sets them: the
    // correction divides by the diameter, and 1 mm would make every 10 ms
    // block gain or lose up to all its frames.
    {"UseWowCorrection", T::Switch, "NO", 0, R::None, "useWowCorrection", &S::useWowCorrection, kSettingsUpdateWowTab, "useWowCorrection", kResetWow, 0},
    {"RotationalSpeedWow", T::Tag, "1", 0, R::None, "rotationalSpeedWow", &S::rotationalSpeedWow, kSettingsUpdateWowTab, "rotationalSpeedWow", kResetWow, 1},
    {"PitchCorrectionWow", T::Tag, "1", 0, R::None, "pitchCorrectionWow", &S::pitchCorrectionWow, kSettingsUpdateWowTab, "pitchCorrectionWow", kResetWow, 1},
    {"TonearmSwayWow", T::Real, "1.0", 0, R::Positive, "tonearmSwayWow", &S::tonearmSwayWow, kSettingsUpdateWowTab, "tonearmSwayWow", kResetWow, 1.0},
    {"StartDiameterWow", T::Real, "300", 0, R::Positive, "startDiameterWow", &S::startDiameterWow, kSettingsUpdateWowTab, "startDiameterWow", kResetWow, 300.0},
    {"StopDiameterWow", T::Real, "120", 0, R::Positive, "stopDiameterWow", &S::stopDiameterWow, kSettingsUpdateWowTab, "stopDiameterWow", kResetWow, 120.0},

    // The batch: how many processing passes may run at once, and the memory
    // their estimated peaks must fit in together. Defaults of the machine.
    {kSimultaneousConversionsKey, T::Tag, "", 0, R::ConversionCount, "simultaneousConversions", {}, kSettingsUpdateSimultaneousConversions, "simultaneousConversions", kResetNone, kNoReset},
    {kMemoryBudgetKey, T::Tag, "", 0, R::MemoryBudgetMiB, "memoryBudget", {}, kSettingsUpdateMemoryBudget, "memoryBudget", kResetNone, kNoReset},
};

// Text behind the suffix rows, which the catalogue composes at run time.
struct SuffixTexts {
    std::string key;
    std::string defaultSuffix;
    std::string field;
};

const std::array<SuffixTexts, kEnhancementTypes.size()>& suffixTexts()
{
    static const auto texts = [] {
        std::array<SuffixTexts, kEnhancementTypes.size()> all;
        const auto& order = enhancementsInListingOrder();
        for (std::size_t i = 0; i < order.size(); ++i)
            all[i] = {order[i]->suffixKey(), order[i]->defaultSuffix(),
                      "fileSuffix" + std::string(order[i]->suffixCode)};
        return all;
    }();
    return texts;
}

}  // namespace

std::uint64_t defaultSimultaneousConversions()
{
    return std::clamp<std::uint64_t>(std::thread::hardware_concurrency(), 1, kMaxSimultaneousConversions);
}

std::uint64_t defaultMemoryBudgetMiB()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return kMinMemoryBudgetMiB;
    const std::uint64_t halfMiB =
        static_cast<std::uint64_t>(pages) / 2 * static_cast<std::uint64_t>(pageSize) / (1024 * 1024);
    return std::clamp(halfMiB, kMinMemoryBudgetMiB, kMaxMemoryBudgetMiB);
}

const std::vector<SettingDefinition>& settingDefinitions()
{
    static const std::vector<SettingDefinition> all = [] {
        std::vector<SettingDefinition> rows(std::begin(kGeneralKeys), std::end(kGeneralKeys));
        for (const SuffixTexts& suffix : suffixTexts())
            rows.push_back({suffix.key, T::Text, suffix.defaultSuffix, 0, R::FileNameSuffix, suffix.field, {},
                            "", "", kResetNone, kNoReset});
        rows.insert(rows.end(), std::begin(kProcessingKeys), std::end(kProcessingKeys));
        return rows;
    }();
    return all;
}

const SettingDefinition* findSetting(std::string_view key)
{
    const auto& all = settingDefinitions();
    auto it = std::find_if(all.begin(), all.end(), [&](const SettingDefinition& d) { return d.key == key; });
    return it == all.end() ? nullptr : &*it;
}

std::vector<const SettingDefinition*> settingsOfNotification(std::string_view name)
{
    std::vector<const SettingDefinition*> keys;
    if (name.empty())
        return keys;
    for (const SettingDefinition& d : settingDefinitions())
        if (d.notification == name)
            keys.push_back(&d);
    return keys;
}

std::vector<const SettingDefinition*> settingsOfResetGroup(unsigned group)
{
    std::vector<const SettingDefinition*> keys;
    for (const SettingDefinition& d : settingDefinitions())
        if ((d.resetGroup & group) != 0)
            keys.push_back(&d);
    return keys;
}

}  // namespace auralune

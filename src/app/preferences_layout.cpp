#include "app/preferences_layout.h"

#include "app/settings_help.h"
#include "engine/text_format.h"
#include "enhance/availability.h"

#include <algorithm>

namespace auralune {

namespace {

using Tab = PreferencesTab;
using K = ControlKind;

// Slider ranges: groove distortion in its five steps; surface noise from
// off (-70 dBFS) to -30 dBFS; the Cat 22 tone from -30 to 0 dBFS; loudness
// targets from -31 to -5 LUFS (EBU R128 -23, streaming -14 to -16); stylus
// tips from 2.5 um (fine line) to 25 um (78 rpm); tonearm sway up to 5 mm;
// groove diameters from 50 mm to a 12-inch record's 300 mm.
const PreferenceControl kControls[] = {
    {Tab::General, "ShowFileExt", K::Check, "showFileExt"},
    {Tab::General, "ShowFullPath", K::Check, "showFullPath"},
    {Tab::General, "WarnPreprocess", K::Check, "warnPreprocessButton"},
    {Tab::General, "ClipManagement", K::Radio, "clipManagementRadio"},
    {Tab::General, "ClipThreshold", K::Field, "ID_clip_threshold"},
    {Tab::General, "CalculateSrcR128", K::Check, "calculateSrcR128Button"},
    {Tab::General, "CalculateDstR128", K::Check, "calculateDstR128Button"},
    {Tab::General, "DstBwfMetadata", K::Check, "dstBwfMetadataButton"},
    {Tab::General, "AdjustDstR128", K::Check, "adjustDstR128Button"},
    {Tab::General, "AdjustDstR128Level", K::Slider, "adjustDstR128LevelSlider", -31.0, -5.0, 0.5, "AdjustDstR128"},
    {Tab::General, "SimultaneousConversions", K::Number, "simultaneousConversionsField", 1.0, 64.0, 1.0},
    {Tab::General, "MemoryBudget", K::Number, "memoryBudgetField", 64.0, 16777216.0, 64.0},

    {Tab::Settings, "HiResType", K::Popup, "hiResPopup"},
    {Tab::Settings, "HiResFilter", K::Popup, "hiResFilterPopup"},
    {Tab::Settings, "DitherType", K::Popup, "ditherPopup"},
    {Tab::Settings, "AmbisonicUhjRegime", K::Popup, "ambisonicUhjRegimePopup"},
    {Tab::Settings, "GrooveDistortionTapOff", K::Check, "grooveDistortionTapOffButton", 0, 0, 0, {}, true},
    {Tab::Settings, "GrooveDistortion", K::Slider, "grooveDistortionSlider", 0.0, 4.0, 1.0},
    {Tab::Settings, "GrooveNoise", K::Slider, "grooveNoiseSlider", -70.0, -30.0, 1.0},
    {Tab::Settings, "DolbyTone", K::Slider, "dolbyToneSlider", -30.0, 0.0, 0.5},

    {Tab::Phonograph, "PhonographRegime", K::Popup, "phonographRegimePopup"},
    {Tab::Phonograph, "CaptureSpeed", K::Popup, "captureSpeedPopup"},
    {Tab::Phonograph, "UseGainRanging", K::Check, "useGainRanging"},
    {Tab::Phonograph, "UseCartridgeBalance", K::Check, "useCartridgeBalance"},
    {Tab::Phonograph, "UseDiscEchoRemoval", K::Check, "useDiscEchoRemoval"},
    {Tab::Phonograph, "UseDeroz2ResponseCorrection", K::Check, "useDeroz2ResponseCorrection"},
    {Tab::Phonograph, "PhonographPopClick", K::Popup, "phonographPopClickPopup"},
    {Tab::Phonograph, "PopClickSensitivity", K::Popup, "popClickSensitivityPopup"},
    {Tab::Phonograph, "UseLpDistortionCancel", K::Check, "useLpDistortionCancel"},
    {Tab::Phonograph, "LpDistortionStylusRadius", K::Slider, "lpDistortionStylusRadiusSlider", 2.5, 25.0, 0.5, "UseLpDistortionCancel"},
    {Tab::Phonograph, "PhonographScratch", K::Popup, "phonographScratchPopup"},
    {Tab::Phonograph, "UseZephra", K::Check, "useZephra"},
    {Tab::Phonograph, "UseRumbleFilter", K::Check, "useRumbleFilter"},
    {Tab::Phonograph, "UseHumRemoval", K::Check, "useHumRemoval"},
    {Tab::Phonograph, "UseHumRemovalBassCompensation", K::Check, "useHumRemovalBassCompensation"},

    {Tab::Wow, "UseWowCorrection", K::Check, "useWowCorrection"},
    {Tab::Wow, "RotationalSpeedWow", K::Popup, "rotationalSpeedWowPopup"},
    {Tab::Wow, "PitchCorrectionWow", K::Popup, "pitchCorrectionWowPopup"},
    // No sway is no setting: a stored 0 falls back to the default 1.0 mm.
    {Tab::Wow, "TonearmSwayWow", K::Slider, "tonearmSwayWowSlider", 0.1, 5.0, 0.1},
    {Tab::Wow, "StartDiameterWow", K::Slider, "startDiameterWowSlider", 50.0, 300.0, 1.0},
    {Tab::Wow, "StopDiameterWow", K::Slider, "stopDiameterWowSlider", 50.0, 300.0, 1.0},

    {Tab::CD4, "UseCartridgeBalanceCD4", K::Check, "useCartridgeBalanceCD4"},
    {Tab::CD4, "UseDeroz2CrosstalkCD4", K::Check, "useDeroz2CrosstalkCD4"},
    {Tab::CD4, "PopClickCD4", K::Popup, "popClickCD4Popup"},
    {Tab::CD4, "UseZephraCD4", K::Check, "useZephraCD4"},
    {Tab::CD4, "UseRumbleFilterCD4", K::Check, "useRumbleFilterCD4"},
    {Tab::CD4, "UseHumRemovalCD4", K::Check, "useHumRemovalCD4"},
    {Tab::CD4, "UseHumRemovalBassCompensationCD4", K::Check, "useHumRemovalBassCompensationCD4"},
    {Tab::CD4, "OutputCD4", K::Popup, "outputCD4Popup"},
};

}  // namespace

std::span<const PreferenceControl> preferenceControls()
{
    return kControls;
}

const PreferenceControl* findPreferenceControl(std::string_view key)
{
    const auto it = std::find_if(std::begin(kControls), std::end(kControls),
                                 [&](const PreferenceControl& c) { return c.key == key; });
    return it == std::end(kControls) ? nullptr : &*it;
}

std::optional<std::string> preferenceValueText(std::string_view key, double value)
{
    if (key == "GrooveDistortion")
        return customSetGrooveDistortionText(value);
    if (key == "GrooveNoise")
        return customSetGrooveNoiseText(value);
    if (key == "DolbyTone")
        return customSetDolbyToneText(value);
    if (key == "AdjustDstR128Level")
        return customSetAdjustDstR128Text(value);
    if (key == "LpDistortionStylusRadius")
        return customSetLpDistortionCancelStylusRadius(value);
    if (key == "TonearmSwayWow")
        return customSetWowSliderText(WowSlider::TonearmSway, value);
    if (key == "StartDiameterWow")
        return customSetWowSliderText(WowSlider::StartDiameter, value);
    if (key == "StopDiameterWow")
        return customSetWowSliderText(WowSlider::StopDiameter, value);
    return std::nullopt;
}

bool preferenceControlEnabled(std::string_view key, const PreferencesState& state)
{
    const PreferencesEnabling rules = preferencesEnabling(state);
    const std::pair<std::string_view, bool> ruled[] = {
        {"DstBwfMetadata", rules.dstBwfMetadata},
        {"AdjustDstR128", rules.adjustDstR128},
        {"AdjustDstR128Level", rules.adjustDstR128Level},
        {"LpDistortionStylusRadius", rules.lpDistortionStylusRadius},
        {"UseHumRemovalBassCompensation", rules.useHumRemovalBassCompensation},
        {"UseHumRemovalBassCompensationCD4", rules.useHumRemovalBassCompensationCD4},
        {"RotationalSpeedWow", rules.rotationalSpeedWow},
        {"PitchCorrectionWow", rules.pitchCorrectionWow},
        {"TonearmSwayWow", rules.wowSliders},
        {"StartDiameterWow", rules.wowSliders},
        {"StopDiameterWow", rules.wowSliders},
    };
    for (const auto& [ruledKey, enabled] : ruled)
        if (ruledKey == key)
            return enabled;
    return true;
}

std::vector<std::string> featureListLines()
{
    const SystemFeatures& features = SystemFeatures::shared();
    std::vector<std::string> lines;
    lines.push_back("Source files: WAV, AIFF, AIFF-C and FLAC, stereo");
    std::string rates;
    for (std::size_t bit = 0; bit < kSourceFrameRates.size(); ++bit)
        if ((features.src_frame_rate_types() >> bit) & 1u)
            rates += (rates.empty() ? "" : ", ") + formatText("%g", kSourceFrameRates[bit] / 1000.0);
    lines.push_back("Sample rates: " + rates + " kHz");
    lines.push_back("Word lengths: 16 and 24 bits");
    lines.push_back("");
    lines.push_back("Enhancements:");
    for (const EnhancementType* type : enhancementsInListingOrder()) {
        if ((features.filter_types_1() & type->code()) == 0)
            continue;
        lines.push_back("  " + std::string(type->displayName) +
                        (enhancementAvailable(type->code()) ? "" : " (" + std::string(kNotAvailableYet) + ")"));
    }
    lines.push_back("");
    lines.push_back("Output formats:");
    for (const OutputFormat& format : kOutputFormats) {
        if ((features.output_format_types() & format.tag) == 0)
            continue;
        lines.push_back("  " + std::string(format.label) +
                        (outputFormatAvailable(format.tag) ? "" : " (" + std::string(kNotAvailableYet) + ")"));
    }
    return lines;
}

std::string supportMailUrl(std::string_view address, std::string_view product, std::string_view date)
{
    std::string url = "mailto:" + std::string(address) + "?Subject=" + std::string(product) + " support " +
                      std::string(date) + "&body=";
    std::string escaped;
    for (char c : url)
        escaped += c == ' ' ? std::string("%20") : std::string(1, c);
    return escaped;
}

}  // namespace auralune

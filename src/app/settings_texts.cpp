#include "app/settings_texts.h"

#include "engine/text_format.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

namespace auralune {

namespace {

// The line templates of the changes that log one.
constexpr std::array<std::pair<std::string_view, std::string_view>, 52> kChangeLines{{
    {"Mode", "Mode changed: %@ (%u)"},
    {"FilterType_1", "Enhancement 1 changed: %@ (%lu)"},
    {"FilterType_2", "Enhancement 2 changed: %@ (%lu)"},
    {"OutputFormatType", "Output format changed: %@ (%u)"},
    {"DestinationFolderOption", "Destination folder option changed: %@ (%u)"},
    {"DestinationFolder", "Destination path: %@"},
    {"WarnPreprocess", "Warning for preprocessed audio files changed to: %@"},
    {"ClipThreshold", "Clip threshold changed to %@dB"},
    {"GrooveDistortionTapOff", "Groove stylus model distortion tap off changed to %@"},
    {"GrooveDistortion", "Groove stylus model distortion changed to %f"},
    {"GrooveNoise", "Groove surface model noise changed to %f"},
    {"DolbyTone", "Cat 22 Dolby Tone Level changed to %f"},
    {"HiResType", "Hi-Res changed: %@ (%ld)"},
    {"HiResFilter", "Hi-Res filter changed: %@ (%ld)"},
    {"SimultaneousConversions", "Simultaneous conversions changed to %lu"},
    {"MemoryBudget", "Memory budget changed to %lu MiB"},
    {"DitherType", "Dither changed: %@ (%ld)"},
    {"AmbisonicUhjRegime", "Ambisonic UHJ regime changed: %@ (%ld)"},
    {"CalculateSrcR128", "Calculate R128 loudness metrics for source files changed: %@"},
    {"CalculateDstR128", "Calculate R128 loudness metrics for converted files changed: %@"},
    {"DstBwfMetadata", "Broadcast Wave Format (BWF) metadata changed: %@"},
    {"AdjustDstR128", "Adjust loudness of converted files changed: %@"},
    {"AdjustDstR128Level", "Adjust loudness of converted files changed to %f"},
    {"PhonographRegime", "Phonograph regime changed: %@ (%ld)"},
    {"CaptureSpeed", "Capture speed changed: %@ (%ld)"},
    {"UseGainRanging", "Gain ranging changed: %@"},
    {"UseCartridgeBalance", "Cartridge channel balance changed: %@"},
    {"UseDiscEchoRemoval", "Disc echo removal changed: %@"},
    {"UseDeroz2ResponseCorrection", "DIZOR-OV response correction changed: %@"},
    {"PhonographPopClick", "Phonograph pop-click setting changed: %@ (%ld)"},
    {"PopClickSensitivity", "Phonograph pop-click sensitivity changed: %@ (%ld)"},
    {"UseLpDistortionCancel", "LP distortion cancellation changed: %@"},
    {"LpDistortionStylusRadius", "LP distortion cancellation stylus radius changed: %@"},
    {"PhonographScratch", "Phonograph needle scratch setting changed: %@ (%ld)"},
    {"UseZephra", "Zephra changed: %@"},
    {"UseRumbleFilter", "Veridane Rumble filter changed: %@"},
    {"UseHumRemoval", "Hum removal changed: %@"},
    {"UseHumRemovalBassCompensation", "Hum removal bass compensation changed: %@"},
    {"UseWowCorrection", "Wow correction changed: %@"},
    {"RotationalSpeedWow", "Wow! rotational speed changed: %@ (%ld)"},
    {"PitchCorrectionWow", "Wow! pitch correction changed: %@ (%ld)"},
    {"TonearmSwayWow", "Wow! tonearm sway changed: %@"},
    {"StartDiameterWow", "Wow! start diameter changed: %@"},
    {"StopDiameterWow", "Wow! stop diameter changed: %@"},
    {"UseCartridgeBalanceCD4", "CD-4 quadraphonic cartridge channel balance changed: %@"},
    {"UseDeroz2CrosstalkCD4", "CD-4 quadraphonic DIZOR-OV crosstalk compensation changed: %@"},
    {"PopClickCD4", "CD-4 quadraphonic pop-click setting changed: %@ (%ld)"},
    {"UseZephraCD4", "CD-4 quadraphonic Zephra changed: %@"},
    {"UseRumbleFilterCD4", "CD-4 quadraphonic Veridane Rumble filter changed: %@"},
    {"UseHumRemovalCD4", "CD-4 quadraphonic hum removal changed: %@"},
    {"UseHumRemovalBassCompensationCD4", "CD-4 quadraphonic hum removal bass compensation changed: %@"},
    {"OutputCD4", "Use output setting changed: %@ (%ld)"},
}};

std::optional<std::string_view> clipManagementChangedText(std::uint64_t tag)
{
    switch (tag) {
    case 1: return "Clip management changed to see warning";
    case 2: return "Clip management changed to automatically clamp samples which clip";
    case 4: return "Clip management changed to attenuate entire audio files";
    default: return std::nullopt;
    }
}

std::string numberText(const SettingValue& value)
{
    if (const auto* tag = std::get_if<std::uint64_t>(&value))
        return std::to_string(*tag);
    if (const auto* on = std::get_if<bool>(&value))
        return *on ? "1" : "0";
    if (const auto* real = std::get_if<double>(&value))
        return formatText("%ld", static_cast<long>(*real));
    return "0";
}

std::string realValueText(const SettingValue& value)
{
    if (const auto* real = std::get_if<double>(&value))
        return formatText("%f", *real);
    if (const auto* tag = std::get_if<std::uint64_t>(&value))
        return formatText("%f", static_cast<double>(*tag));
    return formatText("%f", 0.0);
}

std::string fill(std::string_view pattern, std::string_view title, const SettingValue& value)
{
    std::string line;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("%@")) {
            line.append(title);
            i += 1;
        } else if (rest.starts_with("%ld") || rest.starts_with("%lu")) {
            line += numberText(value);
            i += 2;
        } else if (rest.starts_with("%u")) {
            line += numberText(value);
            i += 1;
        } else if (rest.starts_with("%f")) {
            line += realValueText(value);
            i += 1;
        } else {
            line.push_back(pattern[i]);
        }
    }
    return line;
}

}  // namespace

std::optional<std::string_view> settingTagLabel(std::string_view key, std::uint64_t tag)
{
    static constexpr std::array<std::string_view, 2> kHiResFilter{"Standard", "Wide"};
    static constexpr std::array<std::string_view, 4> kPopClick{"Off", "Pop-click", "Crackle", "Pop-click (interpolated)"};
    static constexpr std::array<std::string_view, 3> kSensitivity{"Low", "Normal", "High"};
    const auto pick = [tag](const auto& labels) -> std::optional<std::string_view> {
        if (tag >= 1 && tag <= labels.size())
            return labels[tag - 1];
        return std::nullopt;
    };
    if (key == "HiResFilter")
        return pick(kHiResFilter);
    if (key == "PhonographPopClick")
        return pick(kPopClick);
    if (key == "PopClickSensitivity")
        return pick(kSensitivity);
    return std::nullopt;
}

std::optional<std::string> customSetGrooveDistortionText(double value)
{
    static constexpr std::array<const char*, 5> kSteps{"Off", "Low", "Normal", "High", "Max"};
    if (!(value >= 0.0 && value < 5.0))
        return std::nullopt;
    return kSteps[static_cast<std::size_t>(value)];
}

std::string customSetGrooveNoiseText(double dBFS)
{
    if (dBFS == -70.0)
        return "Off";
    return formatText("%.1f dBFS", dBFS);
}

std::string customSetDolbyToneText(double dBFS)
{
    return formatText("%.1f dBFS", dBFS);
}

std::string customSetAdjustDstR128Text(double lufs)
{
    return formatText(" Adjust loudness of converted files to %.1f LUFS", lufs);
}

std::string customSetLpDistortionCancelStylusRadius(double micrometres)
{
    return formatText(" LP Distortion Cancellation: Stylus Radius %.1f \u00b5m", micrometres);
}

std::string customSetWowSliderText(WowSlider slider, double value)
{
    if (slider == WowSlider::TonearmSway)
        return formatText("%.1f mm", value);
    std::string text = formatText("%.0f mm", value);
    if (value == 300.0)
        text += " [12 inch]";
    else if (value == 250.0)
        text += " [10 inch]";
    else if (value == 175.0)
        text += " [7 inch]";
    return text;
}

std::string clipThresholdText(double dB)
{
    return formatText("%.3f", dB);
}

ClipThresholdEntry parseClipThreshold(std::string_view text, double previous, Log& log)
{
    std::string_view number = text;
    while (!number.empty() && std::isspace(static_cast<unsigned char>(number.front())))
        number.remove_prefix(1);
    while (!number.empty() && std::isspace(static_cast<unsigned char>(number.back())))
        number.remove_suffix(1);
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);

    // from_chars alone would take "inf", "nan" and hex digits; the field
    // takes digits with at most one decimal point.
    bool plain = !number.empty();
    std::size_t digits = 0;
    std::size_t points = 0;
    for (std::size_t i = 0; i < number.size() && plain; ++i) {
        const char c = number[i];
        if (std::isdigit(static_cast<unsigned char>(c)))
            ++digits;
        else if (c == '.')
            ++points;
        else if (!(c == '-' && i == 0))
            plain = false;
    }
    double value = 0.0;
    if (plain && digits > 0 && points <= 1) {
        auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                         std::chars_format::fixed);
        plain = ec == std::errc() && ptr == number.data() + number.size() && std::isfinite(value);
    } else {
        plain = false;
    }

    const std::string typed(text);
    if (!plain) {
        log.warning("Clip threshold " + typed + " is not a valid number, so reverting to previous value");
        return {false, previous, clipThresholdText(previous)};
    }
    if (value < 0.0) {
        log.warning("Clip threshold " + typed + " must be positive, so reverting to previous value");
        return {false, previous, clipThresholdText(previous)};
    }
    // Adding 0.0 turns a typed "-0" into 0, which shows as "0.000".
    value = std::round(value * 1000.0) / 1000.0 + 0.0;
    return {true, value, clipThresholdText(value)};
}

PreferencesEnabling preferencesEnabling(const PreferencesState& state)
{
    const bool wowSliders = state.useWowCorrection && state.pitchCorrectionWow == 2;
    return {
        state.calculateDstR128,
        state.calculateDstR128,
        state.calculateDstR128 && state.adjustDstR128,
        state.useLpDistortionCancel,
        state.useHumRemoval,
        state.useHumRemovalCD4,
        state.useWowCorrection,
        state.useWowCorrection,
        wowSliders,
    };
}

WowDiameters interlockWowDiameters(WowDiameters diameters, WowSlider moved)
{
    if (moved == WowSlider::StartDiameter && diameters.start < diameters.stop)
        diameters.stop = diameters.start;
    else if (moved == WowSlider::StopDiameter && diameters.stop > diameters.start)
        diameters.start = diameters.stop;
    return diameters;
}

std::optional<std::string> settingChangedText(std::string_view key, std::string_view title, const SettingValue& value)
{
    if (key == kClipManagementKey) {
        const auto* tag = std::get_if<std::uint64_t>(&value);
        if (!tag)
            return std::nullopt;
        if (auto line = clipManagementChangedText(*tag))
            return std::string(*line);
        return std::nullopt;
    }
    for (const auto& [lineKey, pattern] : kChangeLines)
        if (lineKey == key)
            return fill(pattern, title, value);
    return std::nullopt;
}

}  // namespace auralune

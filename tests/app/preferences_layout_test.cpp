// The preferences window's control list against the settings it shows:
// every setting the window posts has a control, every pop-up offers the
// registered default and the reset value, every slider reaches them.

#include "app/preferences_layout.h"
#include "app/settings_help.h"
#include "app/settings_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace auralune {
namespace {

bool onGrid(const PreferenceControl& row, double value)
{
    const double steps = (value - row.minimum) / row.step;
    return value >= row.minimum && value <= row.maximum && std::abs(steps - std::round(steps)) < 1e-9;
}

TEST(PreferencesLayout, EveryPostedSettingHasOneControl)
{
    std::set<std::string_view> shown;
    for (const PreferenceControl& row : preferenceControls()) {
        const SettingDefinition* setting = findSetting(row.key);
        ASSERT_NE(setting, nullptr) << row.key;
        EXPECT_FALSE(setting->notification.empty()) << row.key << " would never be stored";
        EXPECT_TRUE(shown.insert(row.key).second) << row.key << " has two controls";
        ASSERT_NE(findSettingHelp(row.key), nullptr) << row.key;
    }
    for (const SettingDefinition& setting : settingDefinitions()) {
        if (!setting.notification.empty()) {
            EXPECT_TRUE(shown.contains(setting.key)) << setting.key << " cannot be changed in the window";
        }
    }
}

// A pop-up without the stored value would show nothing selected, and one
// offering a value its key refuses would post a value the store rejects.
TEST(PreferencesLayout, ChoicesCoverDefaultsAndKeepTheKeysRules)
{
    for (const PreferenceControl& row : preferenceControls()) {
        if (row.kind != ControlKind::Popup && row.kind != ControlKind::Radio)
            continue;
        const SettingDefinition& setting = *findSetting(row.key);
        std::set<std::uint64_t> tags;
        for (const SettingChoice& choice : findSettingHelp(row.key)->choices) {
            tags.insert(choice.tag);
            EXPECT_TRUE(decodeSetting(setting, tagText(choice.tag))) << row.key << " " << choice.tag;
        }
        EXPECT_TRUE(tags.contains(std::get<std::uint64_t>(defaultSetting(setting, "/m")))) << row.key;
        if (setting.resetGroup != kResetNone) {
            EXPECT_TRUE(tags.contains(static_cast<std::uint64_t>(setting.resetValue))) << row.key;
        }
    }
}

TEST(PreferencesLayout, SlidersReachDefaultsAndResetValuesWithTexts)
{
    for (const PreferenceControl& row : preferenceControls()) {
        if (row.kind != ControlKind::Slider)
            continue;
        const SettingDefinition& setting = *findSetting(row.key);
        ASSERT_GT(row.step, 0.0) << row.key;
        // The wow diameters' registered 1 mm is no real groove; their reset
        // values are.
        if (setting.rule != ValueRule::Positive) {
            EXPECT_TRUE(onGrid(row, std::get<double>(defaultSetting(setting, "/m")))) << row.key;
        }
        if (setting.resetGroup != kResetNone) {
            EXPECT_TRUE(onGrid(row, setting.resetValue)) << row.key;
        }
        const int steps = static_cast<int>(std::lround((row.maximum - row.minimum) / row.step));
        for (int i = 0; i <= steps; ++i) {
            const double value = row.minimum + i * row.step;
            EXPECT_TRUE(preferenceValueText(row.key, value)) << row.key << " " << value;
            EXPECT_TRUE(decodeSetting(setting, realText(value))) << row.key << " " << value;
        }
    }
}

TEST(PreferencesLayout, EnablingFollowsTheRules)
{
    PreferencesState state;
    EXPECT_FALSE(preferenceControlEnabled("AdjustDstR128", state));
    state.calculateDstR128 = true;
    EXPECT_TRUE(preferenceControlEnabled("AdjustDstR128", state));
    EXPECT_FALSE(preferenceControlEnabled("AdjustDstR128Level", state));
    state.useWowCorrection = true;
    EXPECT_TRUE(preferenceControlEnabled("PitchCorrectionWow", state));
    EXPECT_FALSE(preferenceControlEnabled("StopDiameterWow", state));
    state.pitchCorrectionWow = 2;
    EXPECT_TRUE(preferenceControlEnabled("StopDiameterWow", state));
    EXPECT_TRUE(preferenceControlEnabled("UseZephra", state));
}

TEST(SettingsHelp, EveryKeyHasOneSentenceAndItsValues)
{
    for (const SettingDefinition& setting : settingDefinitions()) {
        const SettingHelp* help = findSettingHelp(setting.key);
        ASSERT_NE(help, nullptr) << setting.key;
        EXPECT_TRUE(help->sentence.ends_with('.')) << setting.key;
        EXPECT_EQ(help->sentence.find(". "), std::string_view::npos) << setting.key << ": more than one sentence";
        EXPECT_FALSE(settingAllowedValues(setting).empty()) << setting.key;
    }
    EXPECT_TRUE(settingHelpLine(*findSetting("ClipThreshold")).ends_with(" Values: a number of 0 or more."));
    EXPECT_TRUE(settingHelpLine(*findSetting("ClipManagement")).ends_with(
        "Values: 1 = Ask when clipping exceeds the threshold, 2 = Clamp the samples that clip, "
        "4 = Attenuate the whole file."));
    EXPECT_NE(settingHelpLine(*findSetting("FileSuffixKE")).find("\"KESTRALIN\""), std::string::npos);
}

TEST(SettingsHelp, SupportMailHasNoBlanks)
{
    EXPECT_EQ(supportMailUrl("help@example.org", "Auralune", "2026-12-07"),
              "mailto:help@example.org?Subject=Auralune%20support%202026-12-07&body=");
}

}  // namespace
}  // namespace auralune

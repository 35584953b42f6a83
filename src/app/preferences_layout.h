#pragma once

#include "app/settings_texts.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace auralune {

// The preferences window's tabs, in toolbar order.
enum class PreferencesTab { General, Settings, Phonograph, Wow, CD4, Features, About };

struct PreferencesTabInfo {
    PreferencesTab tab;
    std::string_view identifier;   // the toolbar item's identifier
    std::string_view title;        // the window title while the tab shows
};

inline constexpr std::array<PreferencesTabInfo, 7> kPreferencesTabs{{
    {PreferencesTab::General, "generalToolbarItem", "General"},
    {PreferencesTab::Settings, "settingsToolbarItem", "Settings"},
    {PreferencesTab::Phonograph, "phonographToolbarItem", "Phonograph EQ"},
    {PreferencesTab::Wow, "wowToolbarItem", "Wow!"},
    {PreferencesTab::CD4, "cd4ToolbarItem", "CD-4 Quadraphonic"},
    {PreferencesTab::Features, "featuresToolbarItem", "Features"},
    {PreferencesTab::About, "aboutToolbarItem", "About"},
}};

// How a setting is shown: switches as check boxes, tags as pop-ups (the
// clip management as radio buttons), reals as sliders, the clip threshold
// as a text field, counts as number boxes (minimum to maximum by step).
enum class ControlKind { Check, Popup, Radio, Slider, Field, Number };

// One control of the window, built from this row; its items, title and
// tooltip come from the setting's help (app/settings_help.h).
struct PreferenceControl {
    PreferencesTab tab;
    std::string_view key;
    ControlKind kind;
    std::string_view outlet;     // the control's object name
    double minimum = 0.0;        // sliders: range and step, in the key's unit
    double maximum = 0.0;
    double step = 0.0;
    // Sliders whose value text titles a check box (the loudness target and
    // the stylus radius) name that check box's key; else the text is shown
    // beside the slider.
    std::string_view titles = {};
    bool hidden = false;
};

// Every control in tab order; a new setting adds one row.
std::span<const PreferenceControl> preferenceControls();
const PreferenceControl* findPreferenceControl(std::string_view key);

// The value text of a slider (the groove, Dolby tone, loudness target,
// stylus radius and wow texts); nothing for a value the text does not
// cover (a groove distortion outside 0-4) or a key without one.
std::optional<std::string> preferenceValueText(std::string_view key, double value);

// Whether the enabling rules let a control be used with the values given.
bool preferenceControlEnabled(std::string_view key, const PreferencesState& state);

// The reset button of a tab: its object name and the group it applies.
struct PreferencesReset {
    PreferencesTab tab;
    std::string_view outlet;
    unsigned group;   // ResetGroup bits
};
inline constexpr std::array<PreferencesReset, 4> kPreferencesResets{{
    {PreferencesTab::Settings, "defaultSettingsButton", kResetSettings},
    {PreferencesTab::Phonograph, "defaultPhonographButton", kResetPhonograph},
    {PreferencesTab::Wow, "defaultWowButton", kResetWow},
    {PreferencesTab::CD4, "defaultCD4Button", kResetCD4},
}};

// The help button of each tab and the user guide page it opens
// ("docs/guide/<page>.md").
struct PreferencesHelp {
    PreferencesTab tab;
    std::string_view outlet;
    std::string_view page;
};
inline constexpr std::array<PreferencesHelp, 7> kPreferencesHelp{{
    {PreferencesTab::General, "preferencesGeneralHelpButton", "general"},
    {PreferencesTab::Settings, "preferencesSettingsHelpButton", "settings"},
    {PreferencesTab::Phonograph, "preferencesPhonoEqHelpButton", "phonograph-eq"},
    {PreferencesTab::Wow, "preferencesWowHelpButton", "wow"},
    {PreferencesTab::CD4, "preferencesCD4HelpButton", "cd4-quadraphonic"},
    {PreferencesTab::Features, "preferencesFeaturesHelpButton", "features"},
    {PreferencesTab::About, "preferencesAboutHelpButton", "about"},
}};

// The feature list: what the engine reads and writes and every enhancement,
// each marked when its processing has not been written yet.
std::vector<std::string> featureListLines();

// The support mail: "mailto:%@?Subject=%@&body=%@" with the address, a
// subject naming the product and the date, an empty body, and every blank
// replaced by "%20".
std::string supportMailUrl(std::string_view address, std::string_view product, std::string_view date);

}  // namespace auralune

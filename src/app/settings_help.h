#pragma once

#include "app/settings_keys.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace auralune {

// One item of a setting chosen by tag: its tag and the title shown in the
// preferences pop-up and in the CLI's listing.
struct SettingChoice {
    std::uint64_t tag;
    std::string_view title;
};

// What a setting does, in one plain sentence, shared by the preferences
// window's tooltips and `auralune-cli settings list`.
struct SettingHelp {
    std::string_view key;
    std::string_view title;      // the control's title
    std::string_view sentence;   // what it does to the sound or the queue
    std::span<const SettingChoice> choices;   // tag keys: the items; else empty
    // The enhancements (suffix codes, blank-separated) whose processing the
    // setting changes; empty: always available.
    std::string_view serves;
};

// The help of a key; suffix keys ("FileSuffixKE") have one made from their
// enhancement's name. Null for keys without help.
const SettingHelp* findSettingHelp(std::string_view key);

// The tooltip of a control whose processing has not been written.
inline constexpr std::string_view kNotAvailableYet = "not available yet";

// False while none of the processing a setting changes has been written.
bool settingAvailable(std::string_view key);

// The allowed values of a key as one short text: the choices with their
// tags ("1 = Stereo, 2 = Mono (L+R)"), or the form its rule takes.
std::string settingAllowedValues(const SettingDefinition& setting);

// "<sentence> Values: <allowed>." for the CLI's listing; the sentence
// alone when the key has no help.
std::string settingHelpLine(const SettingDefinition& setting);

}  // namespace auralune

#pragma once

#include "app/settings_keys.h"
#include "engine/settings_snapshot.h"
#include "platform/defaults_store.h"
#include "platform/log.h"
#include "platform/notification_center.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace auralune {

class PassLock;

// A setting in its key's type: switch, tag, real, text (path and suffix) or
// the list of a remembered-choice array.
using SettingValue = std::variant<bool, std::uint64_t, double, std::string, std::vector<std::string>>;

// The stored forms.
std::string switchText(bool on);          // "YES" or "NO"
std::string tagText(std::uint64_t tag);   // "%lu"
std::string realText(double value);       // "%f"

// The value in its key's type when the stored value has the key's form and
// keeps its rule; nothing otherwise.
std::optional<SettingValue> decodeSetting(const SettingDefinition& setting, const StoredValue& stored);
// The stored form of a value of the key's type.
StoredValue encodeSetting(const SettingDefinition& setting, const SettingValue& value);
// The registered default as a value. "DestinationFolder" has none of its
// own: its default is the Music folder the caller names.
SettingValue defaultSetting(const SettingDefinition& setting, const std::string& musicFolder);

// A value typed by a user for a key. More lenient than the stored form
// ("yes", "on" and "1" are switches, enhancement codes may be given by their
// suffix code, arrays as comma-separated entries); anything outside the
// key's rule is refused with the reason.
struct SettingInput {
    std::optional<StoredValue> value;   // in stored form
    std::string problem;                // why it was refused
};
SettingInput parseSettingInput(const SettingDefinition& setting, std::string_view text);
// What a key accepts, as the refusal above words it ("a number of 0 or more").
std::string settingExpectation(const SettingDefinition& setting);

// Registers the default of every key, in stored form.
void registerDefaults(DefaultsStore& store, const std::string& musicFolder);

// Writes the values of one or more reset buttons (ResetGroup bits), in
// stored form, as the preferences window's reset posts them.
void applyResetGroup(DefaultsStore& store, unsigned groups);

// What the main-window controller does on each settings notification:
// stores every value of the payload under its defaults key in stored form.
// Returns false for a name that is no settings notification. A value that is
// missing or unusable for its key is skipped with a warning.
bool storeSettingsNotification(const Notification& notification, DefaultsStore& store, Log& log);

// Reads the settings from the defaults store. A stored value that does not
// have its key's form, or lies outside its allowed set, is never passed on:
// one warning names the key and the registered default is used instead.
class SettingsModel {
public:
    SettingsModel(const DefaultsStore& store, Log& log, std::string musicFolder);

    SettingValue value(const SettingDefinition& setting) const;
    // Typed reads by key; a key of another type is a programming error.
    bool switchValue(std::string_view key) const;
    std::uint64_t tagValue(std::string_view key) const;
    double realValue(std::string_view key) const;
    std::string textValue(std::string_view key) const;
    std::vector<std::string> arrayValue(std::string_view key) const;

    // The mode as loaded: a value with no mode bit (the registered "1")
    // starts in mode 64.
    std::uint32_t mode() const;
    EnhancementCode filterType1() const;
    EnhancementCode filterType2() const;
    std::uint32_t outputFormatType() const;
    std::uint32_t clipManagement() const;
    // The folder converted files go to; an empty text means the Music folder.
    std::string destinationFolder() const;
    bool destinationPathFollows() const;
    std::string fileSuffix(EnhancementCode code) const;
    // The remembered choices, extended with "1" to 22 entries as loaded.
    std::vector<std::string> filterDefaults1() const;
    std::vector<std::string> filterDefaults2() const;

    // Every member of the record from the stored values; the pass lock, the
    // controller and the window are the caller's.
    SettingsSnapshot snapshot(PassLock* passLock = nullptr) const;

    const std::string& musicFolder() const { return musicFolder_; }

private:
    const SettingDefinition& definition(std::string_view key, SettingType type) const;

    const DefaultsStore& store_;
    Log& log_;
    std::string musicFolder_;
};

}  // namespace auralune

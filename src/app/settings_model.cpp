#include "app/settings_model.h"

#include "engine/assertion.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace auralune {

namespace {

// Tags other than enhancement codes land in 32-bit int fields of the record.
constexpr std::uint64_t kLargestTag = std::numeric_limits<std::int32_t>::max();

std::optional<std::uint64_t> parseTag(std::string_view text)
{
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<double> parseReal(std::string_view text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isEnhancementCode(std::uint64_t code)
{
    return findEnhancement(code) != nullptr;
}

bool tagKeepsRule(ValueRule rule, std::uint64_t tag)
{
    switch (rule) {
    case ValueRule::ModeTag:
        return tag == kModeHidden || findMode(static_cast<std::uint32_t>(tag)) != nullptr;
    case ValueRule::EnhancementCode:
        return isEnhancementCode(tag);
    case ValueRule::OutputFormatTag:
        return tag <= kLargestTag && findOutputFormat(static_cast<std::uint32_t>(tag)) != nullptr;
    case ValueRule::ClipManagementTag:
        return tag == 1 || tag == 2 || tag == 4;
    case ValueRule::PhonographRegime:
        return tag >= 1 && tag <= 4;
    case ValueRule::AmbisonicUhjRegime:
        return tag >= 1 && tag <= 5;
    case ValueRule::HiResFilterTag:
        return tag == 1 || tag == 2;
    case ValueRule::SensitivityStep:
        return tag >= 1 && tag <= 3;
    case ValueRule::ConversionCount:
        return tag >= 1 && tag <= kMaxSimultaneousConversions;
    case ValueRule::MemoryBudgetMiB:
        return tag >= kMinMemoryBudgetMiB && tag <= kMaxMemoryBudgetMiB;
    default:
        return tag <= kLargestTag;
    }
}

bool realKeepsRule(ValueRule rule, double value)
{
    switch (rule) {
    case ValueRule::NonNegative:
        return value >= 0.0;
    case ValueRule::GrooveDistortionStep:
        return value >= 0.0 && value < 5.0;
    case ValueRule::Positive:
        return value > 0.0;
    default:
        return true;
    }
}

bool textKeepsRule(ValueRule rule, const std::string& text)
{
    if (text.find('\0') != std::string::npos)
        return false;
    switch (rule) {
    case ValueRule::AbsolutePath:
        return text.empty() || text.front() == '/';
    case ValueRule::FileNameSuffix:
        return text.find('/') == std::string::npos;
    default:
        return true;
    }
}

std::string describeStored(const StoredValue& stored)
{
    if (const auto* text = std::get_if<std::string>(&stored))
        return "\"" + *text + "\"";
    return "a list of " + std::to_string(std::get<std::vector<std::string>>(stored).size()) + " entries";
}

std::string describeValue(const SettingValue& value)
{
    return std::visit([](const auto& v) -> std::string {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, bool>)
            return switchText(v);
        else if constexpr (std::is_same_v<V, std::uint64_t>)
            return tagText(v);
        else if constexpr (std::is_same_v<V, double>)
            return realText(v);
        else if constexpr (std::is_same_v<V, std::string>)
            return "\"" + v + "\"";
        else
            return "a list of " + std::to_string(v.size()) + " entries";
    }, value);
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return std::string(text);
}

// An enhancement given as its decimal code or its suffix code ("PA1").
std::optional<std::uint64_t> parseEnhancementInput(std::string_view text)
{
    if (auto code = parseTag(text))
        return code;
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const EnhancementType* type = findEnhancementBySuffixCode(upper))
        return type->code();
    return std::nullopt;
}

std::string expectation(const SettingDefinition& setting)
{
    switch (setting.rule) {
    case ValueRule::ModeTag: return "a mode tag (see 'catalogue')";
    case ValueRule::EnhancementCode: return "an enhancement code or suffix code (see 'catalogue')";
    case ValueRule::EnhancementCodes:
        return "a comma-separated list of " + std::to_string(setting.arrayLength) +
               (setting.arrayLength < kRememberedChoicesLength ? " to " + std::to_string(kRememberedChoicesLength) : std::string()) +
               " enhancement codes";
    case ValueRule::OutputFormatTag: return "an output format tag (see 'catalogue')";
    case ValueRule::ClipManagementTag: return "1 (ask), 2 (clamp) or 4 (attenuate)";
    case ValueRule::PhonographRegime: return "a regime from 1 to 4";
    case ValueRule::AmbisonicUhjRegime: return "a regime from 1 to 5";
    case ValueRule::NonNegative: return "a number of 0 or more";
    case ValueRule::GrooveDistortionStep: return "a number from 0 to below 5";
    case ValueRule::Positive: return "a number above 0";
    case ValueRule::AbsolutePath: return "an absolute path";
    case ValueRule::FileNameSuffix: return "a suffix without '/'";
    case ValueRule::HiResFilterTag: return "1 (Standard) or 2 (Wide)";
    case ValueRule::SensitivityStep: return "1 (low), 2 (normal) or 3 (high)";
    case ValueRule::ConversionCount: return "a whole number from 1 to 64";
    case ValueRule::MemoryBudgetMiB: return "a number of MiB from 64 to 16777216";
    case ValueRule::None: break;
    }
    switch (setting.type) {
    case SettingType::Switch: return "YES or NO";
    case SettingType::Tag: return "a whole number from 0 to " + std::to_string(kLargestTag);
    case SettingType::Real: return "a decimal number";
    default: return "text";
    }
}

// A notification value as a value of the key's type.
std::optional<SettingValue> fromNotificationValue(const SettingDefinition& setting, const NotificationValue& value)
{
    switch (setting.type) {
    case SettingType::Switch:
        if (const auto* s = std::get_if<std::string>(&value)) {
            if (*s == "YES" || *s == "1")
                return SettingValue(true);
            if (*s == "NO" || *s == "0")
                return SettingValue(false);
            return std::nullopt;
        }
        return std::visit([](const auto& v) -> std::optional<SettingValue> {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::string>)
                return std::nullopt;
            else
                return SettingValue(v != V{});
        }, value);
    case SettingType::Tag:
        if (const auto* u = std::get_if<std::uint64_t>(&value))
            return SettingValue(*u);
        if (const auto* i = std::get_if<std::int64_t>(&value); i && *i >= 0)
            return SettingValue(static_cast<std::uint64_t>(*i));
        if (const auto* s = std::get_if<std::string>(&value))
            if (auto tag = parseTag(*s))
                return SettingValue(*tag);
        return std::nullopt;
    case SettingType::Real:
        if (const auto* d = std::get_if<double>(&value); d && std::isfinite(*d))
            return SettingValue(*d);
        if (const auto* i = std::get_if<std::int64_t>(&value))
            return SettingValue(static_cast<double>(*i));
        if (const auto* u = std::get_if<std::uint64_t>(&value))
            return SettingValue(static_cast<double>(*u));
        if (const auto* s = std::get_if<std::string>(&value))
            if (auto real = parseReal(*s))
                return SettingValue(*real);
        return std::nullopt;
    default:
        if (const auto* s = std::get_if<std::string>(&value))
            return SettingValue(*s);
        return std::nullopt;
    }
}

}  // namespace

std::string switchText(bool on)
{
    return on ? "YES" : "NO";
}

std::string tagText(std::uint64_t tag)
{
    return std::to_string(tag);
}

std::string realText(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

std::optional<SettingValue> decodeSetting(const SettingDefinition& setting, const StoredValue& stored)
{
    if (setting.type == SettingType::StringArray) {
        const auto* list = std::get_if<std::vector<std::string>>(&stored);
        if (!list || list->size() < setting.arrayLength || list->size() > kRememberedChoicesLength)
            return std::nullopt;
        for (const std::string& entry : *list) {
            auto code = parseTag(entry);
            if (!code || !isEnhancementCode(*code))
                return std::nullopt;
        }
        return SettingValue(*list);
    }
    const auto* text = std::get_if<std::string>(&stored);
    if (!text)
        return std::nullopt;
    switch (setting.type) {
    case SettingType::Switch:
        if (*text == "YES")
            return SettingValue(true);
        if (*text == "NO")
            return SettingValue(false);
        return std::nullopt;
    case SettingType::Tag: {
        auto tag = parseTag(*text);
        if (!tag || !tagKeepsRule(setting.rule, *tag))
            return std::nullopt;
        return SettingValue(*tag);
    }
    case SettingType::Real: {
        auto real = parseReal(*text);
        if (!real || !realKeepsRule(setting.rule, *real))
            return std::nullopt;
        return SettingValue(*real);
    }
    default:
        if (!textKeepsRule(setting.rule, *text))
            return std::nullopt;
        return SettingValue(*text);
    }
}

StoredValue encodeSetting(const SettingDefinition& setting, const SettingValue& value)
{
    switch (setting.type) {
    case SettingType::Switch: return switchText(std::get<bool>(value));
    case SettingType::Tag: return tagText(std::get<std::uint64_t>(value));
    case SettingType::Real: return realText(std::get<double>(value));
    case SettingType::StringArray: return std::get<std::vector<std::string>>(value);
    default: return std::get<std::string>(value);
    }
}

SettingValue defaultSetting(const SettingDefinition& setting, const std::string& musicFolder)
{
    if (setting.key == kDestinationFolderKey)
        return SettingValue(musicFolder);
    if (setting.key == kSimultaneousConversionsKey)
        return SettingValue(defaultSimultaneousConversions());
    if (setting.key == kMemoryBudgetKey)
        return SettingValue(defaultMemoryBudgetMiB());
    if (setting.type == SettingType::StringArray)
        return SettingValue(std::vector<std::string>(setting.arrayLength, std::string(setting.registeredDefault)));
    auto value = decodeSetting(setting, std::string(setting.registeredDefault));
    if (!value)
        raiseAssertion("Unusable registered default in %s", "-[SettingsModel defaultSetting:]");
    return *value;
}

SettingInput parseSettingInput(const SettingDefinition& setting, std::string_view text)
{
    const std::string input = setting.type == SettingType::Path || setting.type == SettingType::Text
                                  ? std::string(text)
                                  : trimmed(text);
    std::optional<StoredValue> candidate;
    switch (setting.type) {
    case SettingType::Switch: {
        const std::string word = lowered(input);
        if (word == "yes" || word == "on" || word == "true" || word == "1")
            candidate = switchText(true);
        else if (word == "no" || word == "off" || word == "false" || word == "0")
            candidate = switchText(false);
        break;
    }
    case SettingType::Tag: {
        auto tag = setting.rule == ValueRule::EnhancementCode ? parseEnhancementInput(input) : parseTag(input);
        if (tag)
            candidate = tagText(*tag);
        break;
    }
    case SettingType::Real:
        if (auto real = parseReal(input))
            candidate = realText(*real);
        break;
    case SettingType::StringArray: {
        std::vector<std::string> entries;
        std::string_view rest = input;
        bool ok = !rest.empty();
        while (ok) {
            const auto comma = rest.find(',');
            auto code = parseEnhancementInput(trimmed(rest.substr(0, comma)));
            ok = code.has_value();
            if (ok)
                entries.push_back(tagText(*code));
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
        if (ok)
            candidate = entries;
        break;
    }
    default:
        candidate = input;
        break;
    }
    if (candidate && decodeSetting(setting, *candidate))
        return {candidate, {}};
    return {std::nullopt, "invalid value '" + std::string(text) + "' for " + std::string(setting.key) +
                              ": expected " + expectation(setting)};
}

std::string settingExpectation(const SettingDefinition& setting)
{
    return expectation(setting);
}

void registerDefaults(DefaultsStore& store, const std::string& musicFolder)
{
    // Registered in the table's own texts ("2.0", "-16.5"); values written
    // later take the "%f" form, which reads back as the same number.
    std::map<std::string, StoredValue> defaults;
    for (const SettingDefinition& setting : settingDefinitions()) {
        if (setting.type == SettingType::StringArray || setting.registeredDefault.empty())
            defaults.emplace(setting.key, encodeSetting(setting, defaultSetting(setting, musicFolder)));
        else
            defaults.emplace(setting.key, std::string(setting.registeredDefault));
    }
    store.registerDefaults(defaults);
}

void applyResetGroup(DefaultsStore& store, unsigned groups)
{
    for (const SettingDefinition* setting : settingsOfResetGroup(groups)) {
        SettingValue value;
        switch (setting->type) {
        case SettingType::Switch: value = setting->resetValue != 0.0; break;
        case SettingType::Tag: value = static_cast<std::uint64_t>(setting->resetValue); break;
        default: value = setting->resetValue; break;
        }
        const StoredValue stored = encodeSetting(*setting, value);
        store.setString(std::string(setting->key), std::get<std::string>(stored));
    }
}

bool storeSettingsNotification(const Notification& notification, DefaultsStore& store, Log& log)
{
    const auto settings = settingsOfNotification(notification.name);
    if (settings.empty())
        return false;
    for (const SettingDefinition* setting : settings) {
        auto it = notification.userInfo.find(std::string(setting->userInfoKey));
        std::optional<SettingValue> value;
        if (it != notification.userInfo.end())
            value = fromNotificationValue(*setting, it->second);
        std::optional<StoredValue> stored;
        if (value) {
            stored = encodeSetting(*setting, *value);
            if (!decodeSetting(*setting, *stored))
                stored.reset();
        }
        if (!stored) {
            log.warning(notification.name + " carries no usable \"" + std::string(setting->userInfoKey) +
                        "\", so \"" + std::string(setting->key) + "\" is left unchanged");
            continue;
        }
        if (const auto* text = std::get_if<std::string>(&*stored))
            store.setString(std::string(setting->key), *text);
    }
    return true;
}

SettingsModel::SettingsModel(const DefaultsStore& store, Log& log, std::string musicFolder)
    : store_(store), log_(log), musicFolder_(std::move(musicFolder))
{
}

SettingValue SettingsModel::value(const SettingDefinition& setting) const
{
    const std::string key(setting.key);
    const std::optional<StoredValue> stored = store_.stored(key);
    if (stored) {
        if (auto decoded = decodeSetting(setting, *stored))
            return *decoded;
    }
    SettingValue fallback = defaultSetting(setting, musicFolder_);
    if (stored)
        log_.warning("Setting \"" + key + "\" has the unusable stored value " + describeStored(*stored) +
                     ", so using the default " + describeValue(fallback));
    return fallback;
}

const SettingDefinition& SettingsModel::definition(std::string_view key, SettingType type) const
{
    const SettingDefinition* setting = findSetting(key);
    const bool textual = type == SettingType::Text || type == SettingType::Path;
    if (!setting || !(setting->type == type || (textual && (setting->type == SettingType::Text ||
                                                               setting->type == SettingType::Path))))
        raiseAssertion("Unexpected settings key in %s", "-[SettingsModel value:]");
    return *setting;
}

bool SettingsModel::switchValue(std::string_view key) const
{
    return std::get<bool>(value(definition(key, SettingType::Switch)));
}

std::uint64_t SettingsModel::tagValue(std::string_view key) const
{
    return std::get<std::uint64_t>(value(definition(key, SettingType::Tag)));
}

double SettingsModel::realValue(std::string_view key) const
{
    return std::get<double>(value(definition(key, SettingType::Real)));
}

std::string SettingsModel::textValue(std::string_view key) const
{
    return std::get<std::string>(value(definition(key, SettingType::Text)));
}

std::vector<std::string> SettingsModel::arrayValue(std::string_view key) const
{
    return std::get<std::vector<std::string>>(value(definition(key, SettingType::StringArray)));
}

std::uint32_t SettingsModel::mode() const
{
    const auto tag = static_cast<std::uint32_t>(tagValue(kModeKey));
    return (tag & SystemFeatures::shared().mode_types()) == 0 ? 64 : tag;
}

EnhancementCode SettingsModel::filterType1() const
{
    return tagValue(kFilterType1Key);
}

EnhancementCode SettingsModel::filterType2() const
{
    return tagValue(kFilterType2Key);
}

std::uint32_t SettingsModel::outputFormatType() const
{
    return static_cast<std::uint32_t>(tagValue(kOutputFormatTypeKey));
}

std::uint32_t SettingsModel::clipManagement() const
{
    return static_cast<std::uint32_t>(tagValue(kClipManagementKey));
}

std::string SettingsModel::destinationFolder() const
{
    std::string folder = textValue(kDestinationFolderKey);
    return folder.empty() ? musicFolder_ : folder;
}

bool SettingsModel::destinationPathFollows() const
{
    return tagValue(kDestinationFolderOptionKey) == kDestinationNextToSource;
}

std::string SettingsModel::fileSuffix(EnhancementCode code) const
{
    const EnhancementType* type = findEnhancement(code);
    if (!type)
        raiseAssertion("Unexpected filter in %s", "-[SettingsModel fileSuffix:]");
    return textValue(type->suffixKey());
}

std::vector<std::string> SettingsModel::filterDefaults1() const
{
    auto entries = arrayValue(kFilterTypeDefaults1Key);
    entries.resize(std::max(entries.size(), kRememberedChoicesLength), "1");
    return entries;
}

std::vector<std::string> SettingsModel::filterDefaults2() const
{
    auto entries = arrayValue(kFilterTypeDefaults2Key);
    entries.resize(std::max(entries.size(), kRememberedChoicesLength), "1");
    return entries;
}

SettingsSnapshot SettingsModel::snapshot(PassLock* passLock) const
{
    SettingsSnapshot record;
    record.passLock = passLock;
    for (const SettingDefinition& setting : settingDefinitions()) {
        if (std::holds_alternative<std::monostate>(setting.member) || setting.key == kDestinationFolderKey)
            continue;
        const SettingValue v = value(setting);
        std::visit([&](auto member) {
            using M = decltype(member);
            if constexpr (std::is_same_v<M, bool SettingsSnapshot::*>)
                record.*member = std::get<bool>(v);
            else if constexpr (std::is_same_v<M, int SettingsSnapshot::*>)
                record.*member = static_cast<int>(std::get<std::uint64_t>(v));
            else if constexpr (std::is_same_v<M, double SettingsSnapshot::*>)
                record.*member = std::get<double>(v);
            else if constexpr (std::is_same_v<M, EnhancementCode SettingsSnapshot::*>)
                record.*member = std::get<std::uint64_t>(v);
            else if constexpr (std::is_same_v<M, std::string SettingsSnapshot::*>)
                record.*member = std::get<std::string>(v);
        }, setting.member);
    }
    record.destinationPath = destinationFolder();
    record.destinationPathFollows = destinationPathFollows();
    record.destinationFileSuffix = fileSuffix(record.filterType_1);
    if (record.filterType_2 != kEnhancementNone)
        record.destinationFileSuffix += fileSuffix(record.filterType_2);
    return record;
}

}  // namespace auralune

#include "cli/commands.h"

#include "app/settings_help.h"
#include "app/settings_model.h"
#include "app/settings_texts.h"

#include <CLI/CLI.hpp>

#include <map>
#include <memory>
#include <string>

namespace auralune {

namespace {

const std::map<std::string, unsigned> kResetGroups{
    {"settings", kResetSettings},
    {"phonograph", kResetPhonograph},
    {"wow", kResetWow},
    {"cd4", kResetCD4},
};

std::string joined(const std::vector<std::string>& entries)
{
    std::string text;
    for (const std::string& entry : entries) {
        if (!text.empty())
            text += ',';
        text += entry;
    }
    return text;
}

std::string shown(const StoredValue& stored)
{
    if (const auto* text = std::get_if<std::string>(&stored))
        return *text;
    return joined(std::get<std::vector<std::string>>(stored));
}

// How a change is titled in its log line: the catalogue's label where the
// value is a catalogue tag, else the value as stored.
std::string changeTitle(const SettingDefinition& setting, const SettingValue& value, const std::string& stored)
{
    if (const auto* tag = std::get_if<std::uint64_t>(&value)) {
        if (setting.rule == ValueRule::EnhancementCode)
            return std::string(findEnhancement(*tag)->displayName);
        if (setting.rule == ValueRule::OutputFormatTag)
            return std::string(findOutputFormat(static_cast<std::uint32_t>(*tag))->label);
        if (setting.rule == ValueRule::ModeTag)
            if (const Mode* mode = findMode(static_cast<std::uint32_t>(*tag)))
                return std::string(mode->label);
        if (auto label = settingTagLabel(setting.key, *tag))
            return std::string(*label);
        if (setting.key == kDestinationFolderOptionKey)
            return *tag == kDestinationNextToSource ? std::string(kDestinationFolderOptions[0].label)
                                                    : std::string(kDestinationFolderOptions[1].label);
    }
    return stored;
}

void logChange(Log& log, const SettingDefinition& setting, const StoredValue& stored)
{
    auto value = decodeSetting(setting, stored);
    if (!value)
        return;
    if (auto text = settingChangedText(setting.key, changeTitle(setting, *value, shown(stored)), *value))
        log.info(*text);
}

const SettingDefinition* knownSetting(CommandContext& context, const std::string& key)
{
    const SettingDefinition* setting = findSetting(key);
    if (!setting)
        context.fail(kExitUsage, "unknown setting '" + key + "' (see 'settings list')");
    return setting;
}

// Fails the command when the store could not keep the change.
bool kept(CommandContext& context)
{
    if (const auto problem = context.services.defaults.writeProblem()) {
        context.fail(kExitFailure, *problem + "; nothing was stored");
        return false;
    }
    return true;
}

void listSettings(CommandContext& context)
{
    const DefaultsStore& store = context.services.defaults;
    for (const SettingDefinition& setting : settingDefinitions()) {
        const SettingValue byDefault = defaultSetting(setting, context.services.musicFolder);
        const auto stored = store.stored(std::string(setting.key));
        char mark = ' ';
        std::string note;
        std::string text = shown(encodeSetting(setting, byDefault));
        if (stored) {
            text = shown(*stored);
            const auto decoded = decodeSetting(setting, *stored);
            if (!decoded) {
                mark = '!';
                note = "  (unusable, so " + shown(encodeSetting(setting, byDefault)) + " is used)";
            } else if (*decoded != byDefault) {
                mark = '*';
            }
        }
        context.out << mark << ' ' << setting.key << std::string(setting.key.size() < 34 ? 34 - setting.key.size() : 1, ' ')
                    << text << note << '\n';
        context.out << "      " << settingHelpLine(setting) << '\n';
    }
    context.out << "\n* differs from the default, ! unusable stored value\n";
}

void getSetting(CommandContext& context, const std::string& key)
{
    const SettingDefinition* setting = knownSetting(context, key);
    if (!setting)
        return;
    SettingsModel model(context.services.defaults, context.services.log, context.services.musicFolder);
    context.out << shown(encodeSetting(*setting, model.value(*setting))) << '\n';
}

void setSetting(CommandContext& context, const std::string& key, const std::string& text)
{
    const SettingDefinition* setting = knownSetting(context, key);
    if (!setting)
        return;
    const SettingInput input = parseSettingInput(*setting, text);
    if (!input.value) {
        context.fail(kExitUsage, input.problem);
        return;
    }
    DefaultsStore& store = context.services.defaults;
    if (const auto* value = std::get_if<std::string>(&*input.value))
        store.setString(std::string(setting->key), *value);
    else
        store.setStringList(std::string(setting->key), std::get<std::vector<std::string>>(*input.value));
    if (kept(context))
        logChange(context.services.log, *setting, *input.value);
}

struct ResetRequest {
    std::string key;
    bool all = false;
    std::string group;
};

void resetSettings(CommandContext& context, const ResetRequest& request)
{
    const int chosen = (request.key.empty() ? 0 : 1) + (request.all ? 1 : 0) + (request.group.empty() ? 0 : 1);
    if (chosen != 1) {
        context.fail(kExitUsage, "settings reset takes exactly one of KEY, --all or --group");
        return;
    }
    DefaultsStore& store = context.services.defaults;
    if (!request.group.empty()) {
        const unsigned group = kResetGroups.at(request.group);
        applyResetGroup(store, group);
        if (!kept(context))
            return;
        for (const SettingDefinition* setting : settingsOfResetGroup(group))
            if (auto stored = store.stored(std::string(setting->key)))
                logChange(context.services.log, *setting, *stored);
        return;
    }
    if (request.all) {
        for (const SettingDefinition& setting : settingDefinitions())
            store.remove(std::string(setting.key));
        kept(context);
        return;
    }
    if (const SettingDefinition* setting = knownSetting(context, request.key)) {
        store.remove(std::string(setting->key));
        kept(context);
    }
}

}  // namespace

void addSettingsCommand(CLI::App& app, CommandContext& context)
{
    CLI::App* settings = app.add_subcommand("settings", "Show and change the stored settings");
    settings->require_subcommand(1);

    settings->add_subcommand("list", "Every setting with its value; '*' marks values that differ from the default. "
                                      "PitchCorrectionWow is stored and carried but no processing reads it")
        ->callback([&context] { listSettings(context); });

    auto getKey = std::make_shared<std::string>();
    CLI::App* get = settings->add_subcommand("get", "Print the value of one setting");
    get->add_option("KEY", *getKey, "Settings key, e.g. ClipThreshold")->required();
    get->callback([&context, getKey] { getSetting(context, *getKey); });

    // A value such as "-ke" looks like an option to the parser, so the
    // command takes unknown arguments and treats a single one as the value.
    auto setKey = std::make_shared<std::string>();
    auto setValue = std::make_shared<std::string>();
    CLI::App* set = settings->add_subcommand("set", "Store a value for one setting (checked against the key's form)");
    set->add_option("KEY", *setKey, "Settings key")->required();
    set->add_option("VALUE", *setValue, "New value; arrays as comma-separated entries");
    set->allow_extras();
    set->callback([&context, set, setKey, setValue] {
        std::vector<std::string> extras;
        for (const std::string& extra : set->remaining())
            if (extra != "--")
                extras.push_back(extra);
        const bool haveValue = set->count("VALUE") > 0;
        if (extras.size() + (haveValue ? 1 : 0) != 1) {
            context.fail(kExitUsage, "settings set takes KEY and exactly one VALUE");
            return;
        }
        setSetting(context, *setKey, haveValue ? *setValue : extras.front());
    });

    auto request = std::make_shared<ResetRequest>();
    CLI::App* reset = settings->add_subcommand("reset", "Return one setting, all of them or a preferences tab's group to its defaults");
    reset->add_option("KEY", request->key, "Settings key to return to its registered default");
    reset->add_flag("--all", request->all, "Return every setting to its registered default");
    reset->add_option("--group", request->group, "Apply a preferences tab's reset values")
        ->check(CLI::IsMember(kResetGroups));
    reset->callback([&context, request] { resetSettings(context, *request); });
}

}  // namespace auralune

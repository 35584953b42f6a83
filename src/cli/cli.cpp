#include "cli/cli.h"

#include "app/settings_model.h"
#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <optional>
#include <ostream>
#include <string_view>

namespace auralune {

int CommandContext::fail(int status, const std::string& message)
{
    err << "auralune-cli: " << message << '\n';
    exitCode = status;
    return status;
}

namespace {

std::size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::optional<std::string> nearestName(std::string_view typed, const std::vector<std::string>& names)
{
    std::optional<std::string> best;
    std::size_t bestDistance = 0;
    for (const std::string& name : names) {
        const std::size_t distance = editDistance(typed, name);
        if (!best || distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    // Close enough to be a slip: at most a third of the word, and not itself.
    if (!best || bestDistance == 0 || bestDistance > std::max<std::size_t>(1, typed.size() / 3))
        return std::nullopt;
    return best;
}

namespace {

// Names a command line can use at this command: its subcommands (with
// their aliases) and its options' long and short forms, and those of every
// command above it.
void collectNames(const CLI::App& app, std::vector<std::string>& commands, std::vector<std::string>& options)
{
    for (const CLI::App* sub : app.get_subcommands({})) {
        commands.push_back(sub->get_name());
        for (const std::string& alias : sub->get_aliases())
            commands.push_back(alias);
    }
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames())
            options.push_back("--" + name);
        for (const std::string& name : option->get_snames())
            options.push_back("-" + name);
    }
    if (const CLI::App* parent = app.get_parent())
        collectNames(*parent, commands, options);
}

// "did you mean" for the first argument the parser did not expect.
std::optional<std::string> suggestion(const CLI::App& app, const std::vector<std::string>& args,
                                      const std::string& message)
{
    // The deepest command the arguments reached.
    const CLI::App* command = &app;
    for (;;) {
        const auto used = command->get_subcommands();
        if (used.empty())
            break;
        command = used.front();
    }
    std::vector<std::string> commands, options;
    collectNames(*command, commands, options);
    // Without a subcommand the parser only says one is required: the first
    // word is the mistyped one.
    bool firstWord = command == &app;
    for (const std::string& arg : args) {
        const bool word = !arg.empty() && arg[0] != '-';
        const bool named = (firstWord && word) || (!arg.empty() && message.find(arg) != std::string::npos);
        firstWord = firstWord && !word;
        if (!named)
            continue;
        const std::string typed = arg.substr(0, arg.find('='));
        if (std::find(commands.begin(), commands.end(), typed) != commands.end() ||
            std::find(options.begin(), options.end(), typed) != options.end())
            continue;
        if (auto near = nearestName(typed, typed[0] == '-' ? options : commands))
            return "did you mean '" + *near + "'?";
    }
    return std::nullopt;
}

}  // namespace

bool wantsLogOnStandardError(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "-v" || arg == "--log")
            return true;
    }
    return false;
}

int runCli(const std::vector<std::string>& args, Services& services, std::ostream& out, std::ostream& err)
{
    registerDefaults(services.defaults, services.musicFolder);

    CLI::App app{"Restores and enhances audio files.", "auralune-cli"};
    app.set_version_flag("--version", std::string("auralune-cli ") + AURALUNE_VERSION);
    // Read by main() before the log is opened; declared here so it parses.
    bool logToStandardError = false;
    CommandContext context{services, out, err};
    app.add_flag("-v,--log", logToStandardError, "Also write the log to standard error");
    app.add_flag("-q,--quiet", context.quiet, "Print only failures and the results asked for");
    app.require_subcommand(1);

    addCatalogueCommand(app, context);
    addSettingsCommand(app, context);
    addAnalyseCommand(app, context);
    addConvertCommand(app, context);
    addLoudnessCommand(app, context);

    // The program's own flags may follow the subcommand too: they are moved
    // in front of it (up to a "--", after which everything is a value).
    std::vector<std::string> ordered;
    std::vector<std::string> others;
    bool literal = false;
    for (const std::string& arg : args) {
        literal = literal || arg == "--";
        const bool programFlag = arg == "-v" || arg == "--log" || arg == "-q" || arg == "--quiet";
        (programFlag && !literal ? ordered : others).push_back(arg);
    }
    ordered.insert(ordered.end(), others.begin(), others.end());
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(ordered.rbegin(), ordered.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e, out, err);
        return kExitSuccess;
    } catch (const CLI::CallForAllHelp& e) {
        app.exit(e, out, err);
        return kExitSuccess;
    } catch (const CLI::CallForVersion& e) {
        app.exit(e, out, err);
        return kExitSuccess;
    } catch (const CLI::ParseError& e) {
        app.exit(e, out, err);
        if (auto hint = suggestion(app, args, e.what()))
            err << "auralune-cli: " << *hint << '\n';
        return kExitUsage;
    } catch (const std::exception& e) {
        return context.fail(kExitFailure, e.what());
    }
    return context.exitCode;
}

}  // namespace auralune

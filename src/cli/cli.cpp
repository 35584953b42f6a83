#include "cli/cli.h"

#include "app/settings_model.h"
#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <ostream>

namespace auralune {

int CommandContext::fail(int status, const std::string& message)
{
    err << "auralune-cli: " << message << '\n';
    exitCode = status;
    return status;
}

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
    app.add_flag("-v,--log", logToStandardError, "Also write the log to standard error");
    app.require_subcommand(1);

    CommandContext context{services, out, err};
    addCatalogueCommand(app, context);
    addSettingsCommand(app, context);
    addAnalyseCommand(app, context);
    addConvertCommand(app, context);
    addLoudnessCommand(app, context);

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
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
        return kExitUsage;
    } catch (const std::exception& e) {
        return context.fail(kExitFailure, e.what());
    }
    return context.exitCode;
}

}  // namespace auralune

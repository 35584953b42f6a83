#pragma once

#include "cli/cli.h"

#include "platform/defaults_store.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

namespace auralune {

// Shared by the commands while one command line runs. A command's callback
// leaves its exit status here.
struct CommandContext {
    Services& services;
    std::ostream& out;
    std::ostream& err;
    int exitCode = kExitSuccess;
    // -q/--quiet: only failures and asked-for results are printed.
    bool quiet = false;

    // Prints "auralune-cli: <message>" to err and returns the status given.
    int fail(int status, const std::string& message);
};

// Each command module adds its subcommands to the application.
void addCatalogueCommand(CLI::App& app, CommandContext& context);
void addSettingsCommand(CLI::App& app, CommandContext& context);
void addAnalyseCommand(CLI::App& app, CommandContext& context);
void addConvertCommand(CLI::App& app, CommandContext& context);
void addLoudnessCommand(CLI::App& app, CommandContext& context);

}  // namespace auralune

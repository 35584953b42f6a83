#pragma once

#include "platform/defaults_store.h"
#include "platform/log.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace auralune {

// Exit statuses of auralune-cli.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;   // the work failed
inline constexpr int kExitUsage = 2;     // unknown command or option, bad value
inline constexpr int kExitInterrupted = 130;   // SIGINT or SIGTERM

// What the commands work with. main() builds the production services; tests
// pass their own.
struct Services {
    DefaultsStore& defaults;
    Log& log;
    std::string musicFolder;   // the default destination folder
    // Standard output is a terminal: progress is redrawn in place.
    bool liveProgress = false;
    // Where the dialogs of a pass ask their question when standard input
    // and standard error are terminals; null: they take their default answer.
    std::istream* terminalInput = nullptr;
};

// Runs one command line (the arguments after the program name). Results go
// to out, messages to err; returns the exit status. The defaults are
// registered before any command runs.
int runCli(const std::vector<std::string>& args, Services& services, std::ostream& out, std::ostream& err);

// The name nearest to a mistyped one, when it is close enough to be a slip
// (edit distance at most a third of the word); nothing otherwise.
std::optional<std::string> nearestName(std::string_view typed, const std::vector<std::string>& names);

// True when the arguments ask for the log on standard error ("--log", "-v").
bool wantsLogOnStandardError(const std::vector<std::string>& args);

}  // namespace auralune

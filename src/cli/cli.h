#pragma once

#include "platform/defaults_store.h"
#include "platform/log.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace auralune {

// Exit statuses of auralune-cli.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;   // the work failed
inline constexpr int kExitUsage = 2;     // unknown command or option, bad value

// What the commands work with. main() builds the production services; tests
// pass their own.
struct Services {
    DefaultsStore& defaults;
    Log& log;
    std::string musicFolder;   // the default destination folder
};

// Runs one command line (the arguments after the program name). Results go
// to out, messages to err; returns the exit status. The defaults are
// registered before any command runs.
int runCli(const std::vector<std::string>& args, Services& services, std::ostream& out, std::ostream& err);

// True when the arguments ask for the log on standard error ("--log", "-v").
bool wantsLogOnStandardError(const std::vector<std::string>& args);

}  // namespace auralune

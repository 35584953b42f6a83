#include "cli/cli.h"

#include "engine/assertion.h"
#include "platform/file_log.h"
#include "platform/qt/qt_defaults_store.h"
#include "platform/qt/standard_locations.h"

#include <cstdlib>
#include <iostream>
#include <memory>

#include <unistd.h>

int main(int argc, char** argv)
{
    using namespace auralune;
    const std::vector<std::string> args(argv + 1, argv + argc);

    FileLog log(FileLog::defaultPath(), wantsLogOnStandardError(args));
    setAssertionLog(&log);

    // AURALUNE_CONFIG_FILE names an INI file used instead of the user's
    // settings, so scripts and tests never touch them.
    std::unique_ptr<QtDefaultsStore> defaults;
    if (const char* file = std::getenv("AURALUNE_CONFIG_FILE"); file && *file)
        defaults = std::make_unique<QtDefaultsStore>(file);
    else
        defaults = std::make_unique<QtDefaultsStore>();

    Services services{*defaults, log, musicFolder()};
    services.liveProgress = ::isatty(STDOUT_FILENO) == 1;
    if (::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1)
        services.terminalInput = &std::cin;
    return runCli(args, services, std::cout, std::cerr);
}

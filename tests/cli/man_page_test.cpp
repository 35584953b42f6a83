#include "cli/cli.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace auralune {
namespace {

// What --help lists for a command line: its options, and its subcommands.
struct Help {
    std::set<std::string> options;
    std::vector<std::string> subcommands;
};

Help helpOf(std::vector<std::string> command)
{
    CapturingLog log;
    MemoryDefaultsStore store;
    Services services{store, log, "/home/listener/Music"};
    std::ostringstream out, err;
    command.push_back("--help");
    EXPECT_EQ(runCli(command, services, out, err), kExitSuccess) << err.str();

    Help help;
    std::istringstream lines(out.str());
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != ' ') {
            section = line;
            continue;
        }
        // The names, up to the description after a wide gap.
        const std::string names = line.substr(0, line.find("   ", 2));
        if (section == "Options:") {
            // Words such as "-1", "--output-dir", split at blanks and commas.
            std::string word;
            for (const char c : names + " ") {
                if (c != ' ' && c != ',') {
                    word += c;
                    continue;
                }
                if (word.size() > 1 && word[0] == '-' && word.find_first_of(":{") == std::string::npos)
                    help.options.insert(word);
                word.clear();
            }
        } else if (section == "Subcommands:" && names.size() > 2) {
            help.subcommands.push_back(names.substr(2, names.find_first_of(", ", 2) - 2));
        }
    }
    return help;
}

// Every option that --help lists, of every command, is in the man page.
TEST(ManPage, DocumentsEveryOptionOfEveryCommand)
{
    std::ifstream file(std::string(AURALUNE_TEST_DATA) + "/../../docs/auralune-cli.1");
    ASSERT_TRUE(file) << "docs/auralune-cli.1";
    std::string page{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    // troff writes a minus as "\-".
    for (std::size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at))
        page.erase(at, 1);

    std::vector<std::vector<std::string>> pending{{}};
    std::size_t commands = 0;
    while (!pending.empty()) {
        const std::vector<std::string> command = pending.back();
        pending.pop_back();
        ++commands;
        const Help help = helpOf(command);
        std::string shown = "auralune-cli";
        for (const std::string& word : command)
            shown += " " + word;
        for (const std::string& option : help.options)
            EXPECT_NE(page.find(option), std::string::npos) << shown << ": " << option;
        for (const std::string& sub : help.subcommands) {
            EXPECT_NE(page.find(sub), std::string::npos) << shown << ": " << sub;
            std::vector<std::string> next = command;
            next.push_back(sub);
            pending.push_back(next);
        }
    }
    EXPECT_GE(commands, 9u);   // the program, catalogue, settings and its four, analyse, convert
}

}  // namespace
}  // namespace auralune

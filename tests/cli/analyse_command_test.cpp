#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace auralune {
namespace {

class AnalyseCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::system("command -v sox >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "sox is not installed";
        dir = std::filesystem::temp_directory_path() / ("auralune-analyse-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string make(const std::string& name, const std::string& soxFormat)
    {
        const auto path = (dir / name).string();
        const std::string command = "sox -n " + soxFormat + " '" + path + "' synth 1.5 sine 440 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    int run(std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        return runCli(args, services, out, err);
    }

    std::filesystem::path dir;
    CapturingLog log;
    MemoryDefaultsStore store;
    Services services{store, log, "/home/listener/Music"};
    std::ostringstream out, err;
};

TEST_F(AnalyseCommand, PrintsTheRowOfEachFileAndFailsWhenOneFails)
{
    const auto good = make("take one.wav", "-r 96000 -b 24 -c 2");
    EXPECT_EQ(run({"analyse", good}), kExitSuccess);
    EXPECT_EQ(out.str(), "take one\n"
                         "  Type:      WAV audio\n"
                         "  State:     Ready to convert.\n"
                         "  Duration:  00:01\n"
                         "  Rate:      96000\n"
                         "  Channels:  2\n"
                         "  Bits:      24\n");

    const auto mono = make("mono.wav", "-r 44100 -b 16 -c 1");
    EXPECT_EQ(run({"analyse", good, mono}), kExitFailure);
    EXPECT_NE(out.str().find("mono\n  Type:      WAV audio\n  State:     Unsupported number of channels.\n"),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(log.contains("<ERROR> Channels must be 2"));
}

TEST_F(AnalyseCommand, MetricsPrintTheSourceReport)
{
    const auto good = make("a.wav", "-r 44100 -b 16 -c 2");
    EXPECT_EQ(run({"analyse", "--metrics", good}), kExitSuccess);
    EXPECT_NE(out.str().find("File Name = " + good + "\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Frames = 66150\n"), std::string::npos) << out.str();
}

TEST_F(AnalyseCommand, NeedsAtLeastOneFile)
{
    EXPECT_EQ(run({"analyse"}), kExitUsage);
}

}  // namespace
}  // namespace auralune

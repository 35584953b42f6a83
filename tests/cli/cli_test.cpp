#include "cli/cli.h"
#include "engine/catalogue.h"
#include "engine/text_format.h"
#include "enhance/availability.h"

#include "app/settings_keys.h"
#include "enhance/availability.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace auralune {
namespace {

class CliTest : public ::testing::Test {
protected:
    int run(std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        return runCli(args, services, out, err);
    }

    // The line of `settings list` for a key.
    std::string listed(const std::string& key)
    {
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);)
            if (line.size() > 2 && line.substr(2, key.size() + 1) == key + " ")
                return line;
        return {};
    }

    CapturingLog log;
    MemoryDefaultsStore store;
    Services services{store, log, "/home/listener/Music"};
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(CliTest, HelpAndVersion)
{
    EXPECT_EQ(run({"--help"}), kExitSuccess);
    EXPECT_NE(out.str().find("Usage:"), std::string::npos);
    EXPECT_NE(out.str().find("settings"), std::string::npos);
    EXPECT_EQ(run({"settings", "set", "--help"}), kExitSuccess);
    EXPECT_NE(out.str().find("KEY"), std::string::npos);
    EXPECT_EQ(run({"--version"}), kExitSuccess);
    EXPECT_EQ(out.str(), std::string("auralune-cli ") + AURALUNE_VERSION + "\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CliTest, BadUsageExitsWithTwo)
{
    const std::vector<std::vector<std::string>> lines{
        {}, {"bogus"}, {"analyse"}, {"settings"}, {"settings", "get", "NoSuchKey"}, {"settings", "set", "ClipThreshold", "1", "2"},
        {"settings", "reset", "Mode", "--all"}, {"settings", "reset", "--group", "tape"},
    };
    for (const auto& args : lines) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_EQ(run(args), kExitUsage) << joined;
        EXPECT_FALSE(err.str().empty()) << joined;
        EXPECT_EQ(out.str(), "") << joined;
    }
    EXPECT_TRUE(store.storedKeys().empty());
}

TEST_F(CliTest, CatalogueListsEveryChoice)
{
    ASSERT_EQ(run({"catalogue"}), kExitSuccess);
    const std::string text = out.str();
    EXPECT_EQ(run({"list"}), kExitSuccess);
    EXPECT_EQ(out.str(), text);
    EXPECT_NE(text.find(" 0x2                1     6     16  FileSuffixKE     -ke      KESTRALIN\n"), std::string::npos);
    EXPECT_NE(text.find("   2048  Digital Recovery\n"), std::string::npos);
    EXPECT_NE(text.find("     32  WAV L+R (six-channel results only)\n"), std::string::npos);
    std::size_t suffixKeys = 0;
    for (std::size_t at = text.find(" FileSuffix"); at != std::string::npos; at = text.find(" FileSuffix", at + 1))
        ++suffixKeys;
    EXPECT_EQ(suffixKeys, 54u);
}

TEST_F(CliTest, SetStoresTheStoredFormAndLogsTheChange)
{
    EXPECT_EQ(run({"settings", "set", "ClipThreshold", "3"}), kExitSuccess);
    EXPECT_EQ(store.stored("ClipThreshold"), StoredValue("3.000000"));
    EXPECT_TRUE(log.contains("<Info> Clip threshold changed to 3.000000dB"));
    EXPECT_EQ(run({"settings", "get", "ClipThreshold"}), kExitSuccess);
    EXPECT_EQ(out.str(), "3.000000\n");

    // Suffixes start with "-": taken as the value with or without "--".
    EXPECT_EQ(run({"settings", "set", "FileSuffixKE", "-wide"}), kExitSuccess);
    EXPECT_EQ(store.stored("FileSuffixKE"), StoredValue("-wide"));
    EXPECT_EQ(run({"settings", "set", "FileSuffixKE", "--", "-w"}), kExitSuccess);
    EXPECT_EQ(store.stored("FileSuffixKE"), StoredValue("-w"));

    EXPECT_EQ(run({"settings", "set", "FilterType_1", "ke"}), kExitSuccess);
    EXPECT_TRUE(log.contains("<Info> Enhancement 1 changed: KESTRALIN (2)"));
    EXPECT_EQ(run({"settings", "set", "UseZephra", "off"}), kExitSuccess);
    EXPECT_EQ(store.stored("UseZephra"), StoredValue("NO"));
}

TEST_F(CliTest, SetRefusesValuesOutsideTheKeysForm)
{
    store.setString("ClipManagement", "2");
    EXPECT_EQ(run({"settings", "set", "ClipManagement", "3"}), kExitUsage);
    EXPECT_EQ(err.str(), "auralune-cli: invalid value '3' for ClipManagement: expected 1 (ask), 2 (clamp) or 4 (attenuate)\n");
    EXPECT_EQ(store.stored("ClipManagement"), StoredValue("2"));

    EXPECT_EQ(run({"settings", "set", "FileSuffixKE", "-a/b"}), kExitUsage);
    EXPECT_NE(err.str().find("without '/'"), std::string::npos);
    EXPECT_EQ(run({"settings", "set", "WarnPreprocess", "perhaps"}), kExitUsage);
    EXPECT_FALSE(store.stored("FileSuffixKE"));
    EXPECT_FALSE(store.stored("WarnPreprocess"));
}

TEST_F(CliTest, ListMarksChangedAndUnusableValues)
{
    store.setString("GrooveNoise", "-60.000000");
    store.setString("ClipThreshold", "2.000000");   // the default "2.0" by value
    store.setString("Mode", "abc");
    ASSERT_EQ(run({"settings", "list"}), kExitSuccess);
    EXPECT_EQ(listed("GrooveNoise"), "* GrooveNoise                       -60.000000");
    EXPECT_EQ(listed("ClipThreshold"), "  ClipThreshold                     2.000000");
    EXPECT_EQ(listed("Mode"), "! Mode                              abc  (unusable, so 1 is used)");
    EXPECT_EQ(listed("DestinationFolder"), "  DestinationFolder                 /home/listener/Music");

    log.clear();
    EXPECT_EQ(run({"settings", "get", "Mode"}), kExitSuccess);
    EXPECT_EQ(out.str(), "1\n");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "<WARNING> Setting \"Mode\" has the unusable stored value \"abc\", so using the default 1");
}

// Each key's line is followed by its help: one sentence and the allowed
// values, marked when its processing is not written yet.
TEST_F(CliTest, ListExplainsEveryKey)
{
    ASSERT_EQ(run({"settings", "list"}), kExitSuccess);
    std::istringstream lines(out.str());
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);)
        all.push_back(line);
    std::size_t explained = 0;
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        if (all[i].size() < 3 || all[i][2] == ' ')
            continue;
        EXPECT_TRUE(all[i + 1].starts_with("      ")) << all[i];
        EXPECT_NE(all[i + 1].find("Values: "), std::string::npos) << all[i];
        ++explained;
    }
    EXPECT_EQ(explained, settingDefinitions().size());
    const std::string regime = all[std::find(all.begin(), all.end(), listed("PhonographRegime")) - all.begin() + 1];
    EXPECT_NE(regime.find("Values: 1 = Stereo, 2 = Mono (L+R)"), std::string::npos) << regime;
    const std::string wow = all[std::find(all.begin(), all.end(), listed("UseWowCorrection")) - all.begin() + 1];
    EXPECT_FALSE(wow.ends_with("(not available yet)")) << wow;
}

TEST_F(CliTest, ResetByKeyGroupOrAll)
{
    store.setString("GrooveNoise", "-60.000000");
    store.setString("DolbyTone", "-10.000000");
    store.setString("UnrelatedKey", "kept");
    EXPECT_EQ(run({"settings", "reset", "GrooveNoise"}), kExitSuccess);
    EXPECT_FALSE(store.stored("GrooveNoise"));
    EXPECT_EQ(store.stored("DolbyTone"), StoredValue("-10.000000"));

    EXPECT_EQ(run({"settings", "reset", "--group", "wow"}), kExitSuccess);
    EXPECT_EQ(store.stored("StartDiameterWow"), StoredValue("300.000000"));
    EXPECT_TRUE(log.contains("<Info> Wow! stop diameter changed: 120.000000"));
    EXPECT_EQ(run({"settings", "reset", "--group", "settings"}), kExitSuccess);
    EXPECT_EQ(store.stored("DolbyTone"), StoredValue("-18.000000"));

    EXPECT_EQ(run({"settings", "reset", "--all"}), kExitSuccess);
    EXPECT_EQ(store.storedKeys(), std::vector<std::string>{"UnrelatedKey"});
}

// The built program, with its settings and log in a scratch folder.
class CliProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::path(::testing::TempDir()) /
              ("auralune-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    static std::string slurp(const std::filesystem::path& file)
    {
        std::ifstream in(file);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    int run(const std::string& args)
    {
        const std::string command = "AURALUNE_CONFIG_FILE='" + (dir / "settings.ini").string() + "' XDG_STATE_HOME='" +
                                    (dir / "state").string() + "' '" + AURALUNE_CLI_PATH + "' " + args + " >'" +
                                    (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
        const int status = std::system(command.c_str());
        out = slurp(dir / "out");
        err = slurp(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path dir;
    std::string out;
    std::string err;
};

TEST_F(CliProcessTest, SettingsPersistInTheConfigFile)
{
    ASSERT_EQ(run("settings set FileSuffixKE -- -zz"), kExitSuccess) << err;
    ASSERT_EQ(run("settings set FilterTypeDefaults_2 " + std::string("1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,2048")),
              kExitSuccess) << err;
    EXPECT_EQ(run("settings get FileSuffixKE"), kExitSuccess);
    EXPECT_EQ(out, "-zz\n");
    EXPECT_EQ(run("settings get FilterTypeDefaults_2"), kExitSuccess);
    EXPECT_EQ(out, "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,2048\n");
    EXPECT_EQ(err, "");
    EXPECT_NE(slurp(dir / "settings.ini").find("FileSuffixKE=-zz"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir / "state" / "auralune" / "auralune.log"));
}

TEST_F(CliProcessTest, BadValueAndLogOnStandardError)
{
    EXPECT_EQ(run("settings set ClipManagement 9"), kExitUsage);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("invalid value '9' for ClipManagement"), std::string::npos);

    std::ofstream(dir / "settings.ini") << "[General]\nClipManagement=9\n";
    EXPECT_EQ(run("-v settings get ClipManagement"), kExitSuccess);
    EXPECT_EQ(out, "1\n");
    EXPECT_NE(err.find("<WARNING> Setting \"ClipManagement\" has the unusable stored value \"9\""), std::string::npos);
    EXPECT_EQ(run("settings get ClipManagement"), kExitSuccess);
    EXPECT_EQ(err, "");
}

TEST_F(CliProcessTest, UnwritableSettingsFileIsReportedAndNothingIsStored)
{
    // A settings file inside a regular file cannot be written, even by root.
    std::ofstream(dir / "plain") << "x";
    const std::string config = (dir / "plain" / "settings.ini").string();
    const std::string command = "AURALUNE_CONFIG_FILE='" + config + "' XDG_STATE_HOME='" + (dir / "state").string() +
                                "' '" + AURALUNE_CLI_PATH + "' settings set ClipThreshold 3 2>'" + (dir / "err").string() +
                                "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitFailure);
    EXPECT_NE(slurp(dir / "err").find("auralune-cli: cannot write the settings file " + config +
                                      "; nothing was stored"),
              std::string::npos)
        << slurp(dir / "err");
}

TEST_F(CliProcessTest, ProgramOptionsGoBeforeOrAfterTheSubcommand)
{
    for (const char* args : {"-v settings get ClipManagement", "settings get ClipManagement --log",
                             "settings get -v ClipManagement"}) {
        SCOPED_TRACE(args);
        std::ofstream(dir / "settings.ini") << "[General]\nClipManagement=9\n";
        EXPECT_EQ(run(args), kExitSuccess) << err;
        EXPECT_EQ(out, "1\n");
        EXPECT_NE(err.find("<WARNING> Setting \"ClipManagement\" has the unusable stored value"), std::string::npos);
    }
}

TEST_F(CliTest, MistypedCommandsAndOptionsGetASuggestion)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"conver", "a.wav"}, "did you mean 'convert'?"},
        {{"analyze2", "a.wav"}, "did you mean 'analyze'?"},
        {{"setings", "list"}, "did you mean 'settings'?"},
        {{"convert", "--formt", "wav", "a.wav"}, "did you mean '--format'?"},
        {{"convert", "--repeatabel", "a.wav"}, "did you mean '--repeatable'?"},
        {{"analyse", "--jsn", "a.wav"}, "did you mean '--json'?"},
        {{"--quite", "catalogue"}, "did you mean '--quiet'?"},
    };
    for (const auto& [args, hint] : cases) {
        SCOPED_TRACE(hint);
        EXPECT_EQ(run(args), kExitUsage);
        EXPECT_NE(err.str().find("auralune-cli: " + hint + "\n"), std::string::npos) << err.str();
    }
    EXPECT_EQ(run({"zzzzzzzz"}), kExitUsage);
    EXPECT_EQ(err.str().find("did you mean"), std::string::npos) << err.str();
    EXPECT_EQ(nearestName("convret", {"convert", "catalogue"}), "convert");
    EXPECT_EQ(nearestName("x", {"convert"}), std::nullopt);
}

TEST_F(CliTest, CatalogueMarksWhatThisBuildLacks)
{
    ASSERT_EQ(run({"catalogue"}), kExitSuccess);
    const std::string text = out.str();
    for (const OutputFormat& format : kOutputFormats) {
        const std::string line = formatText("  %c %5u  %s", outputFormatAvailable(format.tag) ? ' ' : '-', format.tag,
                                            std::string(format.label).c_str());
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    for (const EnhancementType& type : kEnhancementTypes) {
        const std::string line = formatText("  %c 0x%-14llx", enhancementAvailable(type.code()) ? ' ' : '-',
                                            static_cast<unsigned long long>(type.code()));
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace auralune

#include "cli/cli.h"

#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace auralune {
namespace {

// Files made by sox, measured through the command line with in-memory settings.
class LoudnessCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::system("command -v sox >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "sox is not installed";
    }
    std::string make(const std::string& name, const std::string& effect)
    {
        const auto path = (dir.path() / name).string();
        EXPECT_EQ(std::system(("sox -n -r 48000 -b 16 -c 2 '" + path + "' " + effect + " 2>/dev/null").c_str()), 0);
        return path;
    }
    int run(const std::vector<std::string>& args) { return runCli(args, services, out, err); }

    test::TempDir dir;
    CapturingLog log;
    MemoryDefaultsStore store;
    Services services{store, log, "/home/listener/Music"};
    std::ostringstream out, err;
};

std::string jsonLine(const std::string& file, const std::string& values, const std::string& error = "null")
{
    return "{\"file\":\"" + file + "\"," + values + ",\"error\":" + error + "}\n";
}

// One object per file and line: the floor for silence, null for what a
// file is too short for or could not be read; a failed file gives status 1.
TEST_F(LoudnessCommand, JsonHasTheFloorForSilenceAndNullForWhatWasNotMeasured)
{
    const std::string silence = make("silence.wav", "trim 0 4");
    const std::string missing = (dir.path() / "missing.wav").string();
    EXPECT_EQ(run({"loudness", "--json", silence, missing}), kExitFailure);
    EXPECT_EQ(out.str(), jsonLine(silence, "\"integratedLufs\":-70,\"loudnessRangeLu\":0,\"truePeakDbtp\":-70,"
                                           "\"maxMomentaryLufs\":-70,\"maxShortTermLufs\":-70") +
                             jsonLine(missing,
                                      "\"integratedLufs\":null,\"loudnessRangeLu\":null,\"truePeakDbtp\":null,"
                                      "\"maxMomentaryLufs\":null,\"maxShortTermLufs\":null",
                                      "\"Cannot open file.\""));

    const std::string shortTone = make("short.wav", "synth 0.3 sine 440 gain -6");
    out.str("");
    EXPECT_EQ(run({"loudness", shortTone}), kExitSuccess);
    EXPECT_EQ(out.str().substr(out.str().find("  Max short-term:")), "  Max short-term: not measured (track too short)\n");
}

// The loudness settings given to a conversion with --set reach the written
// file, and the loudness command reads the adjusted level back.
TEST_F(LoudnessCommand, ConversionSettingsAdjustAndWriteTheMeasuredValueIntoBext)
{
    const std::string tone = make("take.wav", "synth 4 sine 997 gain -20");
    ASSERT_EQ(run({"convert", "--next-to-source", "--set", "CalculateDstR128=YES", "--set", "DstBwfMetadata=YES",
                   "--set", "AdjustDstR128=YES", "--set", "AdjustDstR128Level=-18", tone}),
              kExitSuccess)
        << err.str();
    EXPECT_NE(out.str().find("Loudness adjusted to -18.0 LUFS. "), std::string::npos) << out.str();
    const std::vector<std::uint8_t> image = test::readFile(dir.path() / "take-no.wav");
    const auto bext = std::string(image.begin(), image.end()).find("bext");
    ASSERT_NE(bext, std::string::npos);
    EXPECT_EQ(static_cast<std::int16_t>(bytes::readU16LE(image, bext + 420).value_or(0)), -1800);
    out.str("");
    ASSERT_EQ(run({"loudness", (dir.path() / "take-no.wav").string()}), kExitSuccess);
    EXPECT_NE(out.str().find("  Integrated:     -18.0 LUFS\n"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace auralune

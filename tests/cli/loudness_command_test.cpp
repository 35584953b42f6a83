#include "cli/cli.h"

#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace auralune {
namespace {

// Files made by sox, measured through the command line with in-memory
// settings.
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
        const std::string command = "sox -n -r 48000 -b 16 -c 2 '" + path + "' " + effect + " 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    int run(std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        args.insert(args.begin(), "loudness");
        return runCli(args, services, out, err);
    }

    test::TempDir dir;
    CapturingLog log;
    MemoryDefaultsStore store;
    Services services{store, log, "/home/listener/Music"};
    std::ostringstream out, err;
};

// ffmpeg's ebur128 summary figure after `label` (one decimal), or NaN.
double ffmpegFigure(const std::string& path, const std::string& label)
{
    std::string text;
    const std::string command = "ffmpeg -hide_banner -nostats -i '" + path + "' -af ebur128=peak=true -f null - 2>&1";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
            text.append(chunk, n);
        ::pclose(pipe);
    }
    const auto summary = text.rfind("Summary:");
    const auto at = summary == std::string::npos ? summary : text.find(label, summary);
    return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + label.size()));
}

TEST_F(LoudnessCommand, PrintsTheFiveValuesAndAgreesWithFfmpeg)
{
    const std::string tone = make("tone.wav", "synth 5 sine 997 gain -12");
    ASSERT_EQ(run({tone}), kExitSuccess) << err.str();
    std::istringstream lines(out.str());
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, tone);
    std::getline(lines, line);
    ASSERT_EQ(line.substr(0, 18), "  Integrated:     ");
    const double integrated = std::stod(line.substr(18));
    EXPECT_EQ(line.substr(line.size() - 5), " LUFS");
    for (const char* label : {"  Range:          ", "  True peak:      ", "  Max momentary:  ", "  Max short-term: "}) {
        std::getline(lines, line);
        EXPECT_EQ(line.substr(0, 18), label);
    }
    EXPECT_EQ(err.str(), "");
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    EXPECT_NEAR(integrated, ffmpegFigure(tone, "I:"), 0.15);
}

// One object per file and line: numbers as numbers, null for what a file
// is too short for or could not be read; a failed file makes the status 1.
TEST_F(LoudnessCommand, JsonHasNullForWhatCouldNotBeMeasured)
{
    const std::string shortTone = make("short.wav", "synth 0.3 sine 440 gain -6");
    const std::string missing = (dir.path() / "missing.wav").string();
    EXPECT_EQ(run({"--json", shortTone, missing}), kExitFailure);
    std::istringstream lines(out.str());
    std::string first, second, third;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, third));

    const std::string shortPrefix = "{\"file\":\"" + shortTone +
                                    "\",\"integratedLufs\":null,\"loudnessRangeLu\":null,\"truePeakDbtp\":-";
    EXPECT_EQ(first.substr(0, shortPrefix.size()), shortPrefix) << first;
    EXPECT_NE(first.find(",\"maxMomentaryLufs\":null,\"maxShortTermLufs\":null,\"error\":null}"), std::string::npos)
        << first;
    EXPECT_EQ(second, "{\"file\":\"" + missing +
                          "\",\"integratedLufs\":null,\"loudnessRangeLu\":null,\"truePeakDbtp\":null,"
                          "\"maxMomentaryLufs\":null,\"maxShortTermLufs\":null,\"error\":\"Cannot open file.\"}");
}

// Silence is measured: the floor, never -inf or nan.
TEST_F(LoudnessCommand, SilenceReadsTheFloor)
{
    const std::string silence = make("silence.wav", "trim 0 4");
    ASSERT_EQ(run({"--json", silence}), kExitSuccess) << err.str();
    EXPECT_EQ(out.str(), "{\"file\":\"" + silence +
                             "\",\"integratedLufs\":-70,\"loudnessRangeLu\":0,\"truePeakDbtp\":-70,"
                             "\"maxMomentaryLufs\":-70,\"maxShortTermLufs\":-70,\"error\":null}\n");
}

// The loudness settings given to a conversion with --set reach the
// written file: a bext chunk whose LoudnessValue is the measured one.
TEST_F(LoudnessCommand, ConversionSettingsWriteTheMeasuredValueIntoBext)
{
    const std::string tone = make("take.wav", "synth 4 sine 997 gain -20");
    ASSERT_EQ(runCli({"convert", "--next-to-source", "--set", "CalculateDstR128=YES", "--set", "DstBwfMetadata=YES",
                      "--set", "AdjustDstR128=YES", "--set", "AdjustDstR128Level=-18", tone},
                     services, out, err),
              kExitSuccess)
        << err.str();
    const std::vector<std::uint8_t> image = test::readFile(dir.path() / "take-no.wav");
    const std::string text(image.begin(), image.end());
    const auto bext = text.find("bext");
    ASSERT_NE(bext, std::string::npos);
    const auto value = static_cast<std::int16_t>(bytes::readU16LE(image, bext + 420).value_or(0));
    EXPECT_EQ(value, -1800);
    EXPECT_NE(out.str().find("Loudness adjusted to -18.0 LUFS. "), std::string::npos) << out.str();
    ASSERT_EQ(run({(dir.path() / "take-no.wav").string()}), kExitSuccess);
    EXPECT_NE(out.str().find("  Integrated:     -18.0 LUFS\n"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace auralune

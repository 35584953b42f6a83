#include "cli/cli.h"
#include "cli/console_services.h"
#include "engine/catalogue.h"
#include "enhance/availability.h"
#include "formats/processing_mark.h"

#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace auralune {
namespace {

// Files made by sox in a folder of the test's own, run through the command
// line with in-memory settings.
class CliCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::system("command -v sox >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "sox is not installed";
    }

    std::string make(const std::string& name, const std::string& soxFormat = "-r 44100 -b 16 -c 2",
                     const std::string& effect = "synth 0.5 sine 440 gain -3")
    {
        const auto path = (dir.path() / name).string();
        const std::string command = "sox -n " + soxFormat + " '" + path + "' " + effect + " 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    int cli(const std::vector<std::string>& args)
    {
        out.str("");
        err.str("");
        return runCli(args, services, out, err);
    }

    test::TempDir dir;
    CapturingLog log;
    MemoryDefaultsStore store;
    Services services{store, log, "/home/listener/Music"};
    std::ostringstream out, err;
};

using AnalyseCommand = CliCommand;

TEST_F(AnalyseCommand, PrintsTheRowOfEachFileAndFailsWhenOneFails)
{
    const auto good = make("take one.wav", "-r 96000 -b 24 -c 2", "synth 1.5 sine 440");
    EXPECT_EQ(cli({"analyse", good}), kExitSuccess);
    EXPECT_EQ(out.str(), "take one\n"
                         "  Type:      WAV audio\n"
                         "  State:     Ready to convert.\n"
                         "  Duration:  00:01\n"
                         "  Rate:      96000\n"
                         "  Channels:  2\n"
                         "  Bits:      24\n");

    const auto mono = make("mono.wav", "-r 44100 -b 16 -c 1");
    EXPECT_EQ(cli({"analyse", "--metrics", good, mono}), kExitFailure);
    EXPECT_NE(out.str().find("mono\n  Type:      WAV audio\n  State:     Unsupported number of channels.\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("File Name = " + good + "\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Frames = 144000\n"), std::string::npos) << out.str();
}

// The sample bytes of the data chunk that our writer put in `image`;
// empty when it has none.
std::vector<std::uint8_t> dataChunk(const std::vector<std::uint8_t>& image)
{
    for (std::size_t at = 12; at + 8 <= image.size();) {
        const std::size_t size =
            image[at + 4] | image[at + 5] << 8 | image[at + 6] << 16 | std::size_t{image[at + 7]} << 24;
        const auto start = image.begin() + static_cast<std::ptrdiff_t>(at);
        if (std::equal(start, start + 4, "data") && at + 8 + size <= image.size())
            return {start + 8, start + 8 + static_cast<std::ptrdiff_t>(size)};
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<std::uint8_t> sampleData(const std::filesystem::path& path) { return dataChunk(test::readFile(path)); }

class ConvertCommand : public CliCommand {
protected:
    int run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "convert");
        return cli(args);
    }
};

TEST_F(ConvertCommand, BadUsageExitsWithTwoAndSaysWhy)
{
    const std::string source = make("a.wav");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{}, "files is required"},
        {{"-1", "Nonesuch", source}, "unknown enhancement 'Nonesuch'"},
        {{"-1", "Hi-Res", "-2", "Hi-Res", source}, "Hi-Res is not supported downstream of Hi-Res"},
        {{"--format", "mp3", source}, "unknown output format 'mp3'"},
        {{"--format", "wav-lr", source}, "WAV L+R is not supported with this enhancement"},
        {{"--output-dir", (dir.path() / "missing").string(), source}, "does not exist"},
        {{"--output-dir", dir.path().string(), "--next-to-source", source}, "excludes"},
        {{"--set", "NoSuchKey=1", source}, "unknown setting 'NoSuchKey'"},
        {{"--set", "ClipThreshold", source}, "--set takes KEY=VALUE"},
        {{"--set", "FileSuffixNO=a/b", source}, "invalid value 'a/b' for FileSuffixNO"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), kExitUsage) << c.message;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    }
    // Types whose processing is not written yet, as either enhancement.
    for (const EnhancementType& type : kEnhancementTypes) {
        if (enhancementAvailable(type.code()))
            continue;
        const std::string message = "\"" + std::string(type.displayName) + "\" is not available yet";
        EXPECT_EQ(run({"-1", std::string(type.suffixCode), source}), kExitUsage) << type.displayName;
        EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
        EXPECT_EQ(run({"-1", "None", "-2", std::to_string(type.code()), source}), kExitUsage);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_TRUE(store.storedKeys().empty());
}

TEST_F(ConvertCommand, ConvertsNextToTheSourceAndReports)
{
    const std::string source = make("song.wav");
    EXPECT_EQ(run({source, "--next-to-source", "--metrics"}), kExitSuccess) << err.str();
    const auto destination = dir.path() / "song-no.wav";
    ASSERT_TRUE(std::filesystem::exists(destination)) << out.str();
    EXPECT_NE(out.str().find("song: Complete."), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("-> " + destination.string() + "\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("1 converted, 0 failed, 0 with warnings\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("==== CONVERTED AUDIO FILE 1 ===="), std::string::npos) << out.str();

    // A second run numbers the new file instead of replacing the first.
    EXPECT_EQ(run({source}), kExitSuccess) << err.str();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
    EXPECT_TRUE(store.storedKeys().empty());
}

TEST_F(ConvertCommand, EveryFormatWordWritesItsTypeAndUnchangedKeepsTheSources)
{
    const std::string source = make("song.wav");
    struct Case {
        std::vector<std::string> args;
        std::string written;   // in the folder
        std::string_view magic;
    };
    const Case cases[] = {
        {{"--format", "flac", source}, "song-no.flac", "fLaC"},
        {{"--format", "AIFF", source}, "song-no.aif", "FORM"},
        {{"--format", "aifc", source}, "song-no.aiff", "FORM"},
        {{(dir.path() / "song-no.flac").string()}, "song-no-no.flac", "fLaC"},
        {{"--format", "wav", (dir.path() / "song-no.aif").string()}, "song-no-no.wav", "RIFF"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(run(c.args), kExitSuccess) << c.written << "\n" << err.str() << out.str();
        const auto image = test::readFile(dir.path() / c.written);
        EXPECT_TRUE(bytes::hasFourCC(image, 0, c.magic)) << c.written;
    }
    EXPECT_EQ(cli({"analyse", (dir.path() / "song-no.flac").string()}), kExitSuccess);
    EXPECT_NE(out.str().find("  Type:      FLAC audio\n  State:     Ready to convert.\n"), std::string::npos)
        << out.str();
}

TEST_F(ConvertCommand, RunSettingsAndFolderStayOutOfTheUsersStore)
{
    const std::string source = make("take.wav");
    std::filesystem::create_directory(dir.path() / "out");
    EXPECT_EQ(run({"--output-dir", (dir.path() / "out").string(), "--set", "FileSuffixHR=-double", "-1", "hr",
                   source}),
              kExitSuccess)
        << err.str();
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out" / "take-double.wav")) << out.str();
    EXPECT_TRUE(store.storedKeys().empty());
}

TEST_F(ConvertCommand, FailedFilesGiveExitOneAndTheOthersStillConvert)
{
    const std::string good = make("good.wav");
    const std::string mono = make("mono.wav", "-r 44100 -b 16 -c 1");
    EXPECT_EQ(run({mono, good, (dir.path() / "notes.txt").string()}), kExitFailure);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "good-no.wav"));
    EXPECT_NE(out.str().find("mono: Unsupported number of channels.\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("1 converted, 2 failed"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("cannot convert '" + (dir.path() / "notes.txt").string() + "'"), std::string::npos);
}

// The mark's date text in a written file.
std::string markDate(const std::vector<std::uint8_t>& file)
{
    const std::string text(file.begin(), file.end());
    const auto at = text.find("KEST");
    return at == std::string::npos ? std::string() : text.substr(at + 8 + 16 + 16, 25);
}

TEST_F(ConvertCommand, RepeatableRunsGiveIdenticalFiles)
{
    // 24 to 16 bits dithers, so the noise source decides the samples; the
    // mark's date comes from the source's modification time, or from
    // SOURCE_DATE_EPOCH when set, never from the clock.
    const std::string source = make("hot.wav", "-r 44100 -b 24 -c 2");
    const std::time_t modified = 1262304000;   // 2010-01-01 00:00:00 UTC
    std::filesystem::last_write_time(source, std::filesystem::file_time_type::clock::from_sys(
                                                 std::chrono::system_clock::from_time_t(modified)));
    ASSERT_EQ(::unsetenv("SOURCE_DATE_EPOCH"), 0);
    ASSERT_EQ(run({"--repeatable", "--format", "wav", source}), kExitSuccess) << err.str();
    ASSERT_EQ(run({"--repeatable", "--format", "wav", source}), kExitSuccess) << err.str();
    ASSERT_EQ(::setenv("SOURCE_DATE_EPOCH", "1000000000", 1), 0);
    ASSERT_EQ(run({"--repeatable", "--format", "wav", source}), kExitSuccess) << err.str();
    ::unsetenv("SOURCE_DATE_EPOCH");
    const auto first = test::readFile(dir.path() / "hot-no.wav");
    const auto second = test::readFile(dir.path() / "hot-no-1.wav");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    EXPECT_EQ(markDate(first), markDateText(modified));
    EXPECT_EQ(markDate(test::readFile(dir.path() / "hot-no-2.wav")), markDateText(1000000000));
}

TEST_F(ConvertCommand, FailureLinesNameTheCauseAndThePath)
{
    const std::string source = make("take1.wav");
    const std::string missing = (dir.path() / "gone" / "out").string();
    EXPECT_EQ(run({"--set", "DestinationFolderOption=2", "--set", "DestinationFolder=" + missing, source}),
              kExitFailure);
    EXPECT_NE(out.str().find("take1: Cannot save file. (No such file or directory: " + missing + ")\n"),
              std::string::npos)
        << out.str();
    // No sample was read: the folder is checked first.
    EXPECT_FALSE(log.contains("<Info>  Reading audio data"));

    const std::string fifo = (dir.path() / "pipe.wav").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(run({"--quiet", fifo, source, "--next-to-source"}), kExitFailure);
    EXPECT_EQ(out.str(), "pipe: Cannot open file. (Not a regular file: " + fifo + ")\n");
}

TEST_F(ConvertCommand, EnhancementsByNameCodeOrUniquePrefix)
{
    const std::string source = make("e.wav");
    for (const char* name : {"hi-res", "HR", "137438953472", "hi-r"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run({"-1", name, "--next-to-source", source}), kExitSuccess) << err.str();
        EXPECT_NE(out.str().find("-> " + (dir.path() / "e-hr").string()), std::string::npos) << out.str();
    }
    EXPECT_EQ(run({"-1", "phonograph eq a", source}), kExitUsage);
    EXPECT_NE(err.str().find("enhancement 'phonograph eq a' is ambiguous: Phonograph EQ A1 (RIAA), Phonograph EQ A2 "
                             "(Decca LP), Phonograph EQ A3 (TELDEC/AES)\n"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(run({"-1", "hi-rse", source}), kExitUsage);
    EXPECT_NE(err.str().find("did you mean 'hi-res'?"), std::string::npos) << err.str();
}

// One JSON object per file on standard output, checked by Python's parser
// where it is installed.
TEST_F(ConvertCommand, JsonObjectsForScripts)
{
    const std::string good = make("good.wav");
    const std::string mono = make("mono.wav", "-r 44100 -b 16 -c 1");
    const std::string notes = (dir.path() / "notes.txt").string();
    EXPECT_EQ(run({"--json", "--next-to-source", good, mono, notes}), kExitFailure);
    std::istringstream lines(out.str());
    std::vector<std::string> objects;
    for (std::string line; std::getline(lines, line);)
        objects.push_back(line);
    ASSERT_EQ(objects.size(), 3u) << out.str();
    // Refused by its extension before any pass: reported first.
    EXPECT_EQ(objects[0], R"({"path":")" + notes + R"(","state":"refused","ok":false,"errors":[{"code":16,"text":)"
                              R"("Invalid file type.","cause":"not a WAV, AIFF, AIFF-C or FLAC file"}],"destination":null})");
    objects.erase(objects.begin());
    const std::string destination = (dir.path() / "good-no.wav").string();
    EXPECT_NE(objects[0].find(R"("state":"converted","ok":true,"stateText":"Complete.")"), std::string::npos);
    EXPECT_NE(objects[0].find(R"("frameRate":44100,"channels":2,"bits":16,"frames":22050,"seconds":0.5)"),
              std::string::npos)
        << objects[0];
    EXPECT_NE(objects[0].find("\"destination\":\"" + destination + "\""), std::string::npos) << objects[0];
    EXPECT_NE(objects[0].find(R"("metrics":{"clipPercent":0,)"), std::string::npos) << objects[0];
    EXPECT_NE(objects[1].find(R"("ok":false)"), std::string::npos) << objects[1];
    EXPECT_NE(objects[1].find(R"("errors":[{"code":128,"text":"Unsupported number of channels."}])"),
              std::string::npos)
        << objects[1];
    EXPECT_NE(objects[1].find(R"("destination":null)"), std::string::npos) << objects[1];
    // Progress and the summary stay on standard error.
    EXPECT_NE(err.str().find("1 converted, 2 failed"), std::string::npos) << err.str();

    EXPECT_EQ(cli({"analyse", "--json", good}), kExitSuccess);
    EXPECT_EQ(out.str().find(R"({"path":")" + good + R"(","state":"analysed","ok":true,"stateText":"Ready to convert.")"),
              0u)
        << out.str();

    if (std::system("command -v python3 >/dev/null 2>&1") != 0)
        return;
    const auto file = dir.path() / "out.json";
    std::ofstream(file) << objects[0] << '\n' << objects[1] << '\n';
    const std::string check = "python3 -c 'import json,sys\nfor l in open(sys.argv[1]): json.loads(l)' '" +
                              file.string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << out.str();
}

TEST_F(ConvertCommand, RepeatableRunsGiveTheSameGrooveSurfaceNoise)
{
    const std::string source = make("clean.wav");
    ASSERT_EQ(run({"--repeatable", "-1", "Groove", source}), kExitSuccess) << err.str();
    ASSERT_EQ(run({"--repeatable", "-1", "Groove", source}), kExitSuccess) << err.str();
    ASSERT_EQ(run({"-1", "Groove", source}), kExitSuccess) << err.str();
    const std::vector<std::uint8_t> first = sampleData(dir.path() / "clean-gr.wav");
    ASSERT_GT(first.size(), 100000u);
    EXPECT_EQ(first, sampleData(dir.path() / "clean-gr-1.wav"));
    EXPECT_NE(first, sampleData(dir.path() / "clean-gr-2.wav"));
}

// The audio of each file as ffmpeg decodes it to 16-bit samples, all in
// one run of ffmpeg; empty when it fails.
std::vector<std::vector<std::uint8_t>> decodeWithFfmpeg(const std::vector<std::filesystem::path>& files)
{
    std::string command = "ffmpeg -v error -y";
    for (const auto& file : files)
        command += " -i '" + file.string() + "'";
    for (std::size_t i = 0; i < files.size(); ++i)
        command += " -map " + std::to_string(i) + ":a -f s16le -acodec pcm_s16le '" + files[i].string() + ".raw'";
    std::vector<std::vector<std::uint8_t>> decoded;
    if (std::system(command.c_str()) != 0)
        return decoded;
    for (const auto& file : files)
        decoded.push_back(test::readFile(file.string() + ".raw"));
    return decoded;
}

TEST_F(ConvertCommand, SixChannelResultsAndTheirChannelsReadBackInFfmpeg)
{
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    if (!enhancementAvailable(0x800000))
        GTEST_SKIP() << "SQ Quadraphonic is not available";
    constexpr std::size_t kFrames = 9600;
    const std::string source = make("quad.wav", "-r 48000 -b 16 -c 2", "synth 0.2 sine 1000 sine 700 gain -6");

    // The whole result and each pair and single channel of it, 16-bit at
    // the source's rate (no hi-res step, no dither).
    struct Written {
        const char* format;
        std::uint32_t first;
        std::uint32_t count;
    };
    const Written parts[] = {{"wav", 0, 6},     {"wav-lr", 0, 2}, {"wav-clfe", 2, 2}, {"wav-slsr", 4, 2},
                          {"wav-l", 0, 1},   {"wav-r", 1, 1},  {"wav-c", 2, 1},    {"wav-lfe", 3, 1},
                          {"wav-sl", 4, 1},  {"wav-sr", 5, 1}};
    std::vector<std::filesystem::path> files;
    for (const Written& part : parts) {
        ASSERT_EQ(run({"-1", "SQ Quadraphonic", "--set", "HiResType=2", "--set", "DitherType=2", "--output-dir",
                       dir.path().string(), "--format", part.format, source}),
                  kExitSuccess)
            << part.format << ": " << err.str();
        files.push_back(dir.path() / (files.empty() ? std::string("quad-sq.wav")
                                                    : "quad-sq-" + std::to_string(files.size()) + ".wav"));
    }
    const std::vector<std::uint8_t> written = dataChunk(test::readFile(files[0]));
    ASSERT_EQ(written.size(), 6 * 2 * kFrames);
    const std::vector<std::vector<std::uint8_t>> decoded = decodeWithFfmpeg(files);
    ASSERT_EQ(decoded.size(), files.size());

    // ffmpeg finds the channels and samples we wrote; the frame count
    // fixes the channel count it read.
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Written& part = parts[i];
        std::vector<std::uint8_t> expected;
        for (std::size_t frame = 0; frame < kFrames; ++frame) {
            const auto at = written.begin() + static_cast<std::ptrdiff_t>((frame * 6 + part.first) * 2);
            expected.insert(expected.end(), at, at + 2 * part.count);
        }
        EXPECT_EQ(decoded[i].size(), expected.size()) << part.format;
        EXPECT_TRUE(decoded[i] == expected) << part.format;
    }
}

// Standard input that raises a signal when it is read: the user presses
// Ctrl-C at a question.
class InterruptingInput final : public std::streambuf {
protected:
    int_type underflow() override
    {
        std::raise(SIGINT);
        return traits_type::eof();
    }
};

TEST_F(ConvertCommand, ConvertedBeforeAsksOnTheTerminalAndRemembersTheAnswer)
{
    const std::string source = make("old.wav");
    ASSERT_EQ(run({"-1", "hr", source}), kExitSuccess) << err.str();
    const std::string converted = (dir.path() / "old-hr.wav").string();

    // "y" to the suppression question: the warning is off from now on.
    std::istringstream typed("y\n");
    services.terminalInput = &typed;
    EXPECT_EQ(run({converted}), kExitSuccess) << err.str();
    EXPECT_NE(err.str().find("has already been processed with Hi-Res"), std::string::npos) << err.str();
    EXPECT_EQ(store.string("WarnPreprocess"), "NO");

    store.remove("WarnPreprocess");
    InterruptingInput interrupting;
    std::istream ctrlC(&interrupting);
    services.terminalInput = &ctrlC;
    EXPECT_EQ(run({converted, source}), kExitInterrupted) << err.str();
    EXPECT_NE(out.str().find("0 converted, 0 failed, 0 with warnings, 2 not started\n"), std::string::npos)
        << out.str();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "old-hr-no-1.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "old-no.wav"));
}

TEST_F(ConvertCommand, ClippingQuestionOnTheTerminalCanBeAnsweredForGood)
{
    const EnhancementCode riaa = findEnhancementBySuffixCode("PA1")->code();
    if (!enhancementAvailable(riaa))
        GTEST_SKIP() << "Phonograph EQ A1 is not available";
    // The bass boost of the curve drives a 100 Hz tone 3 dB below full scale
    // far past full scale.
    const std::string source = make("loud.wav", "-r 44100 -b 16 -c 2", "synth 0.5 sine 100 gain -3");
    std::istringstream typed("2\ny\n");
    services.terminalInput = &typed;
    EXPECT_EQ(run({"-1", "pa1", source}), kExitSuccess) << err.str();
    EXPECT_NE(err.str().find("  1) Attenuate (default)\n  2) Clamp\n"), std::string::npos) << err.str();
    EXPECT_EQ(store.string("ClipManagement"), "2");
    EXPECT_NE(out.str().find("1 converted, 0 failed, 1 with warnings"), std::string::npos) << out.str();
}

TEST_F(ConvertCommand, WowCorrectionRunsAndReportsARecordWithoutWow)
{
    // A steady tone alike in both channels has no left/right swing to lock
    // onto: the file converts unchanged in speed, with the warning.
    const std::string source = make("steady.wav", "-r 44100 -b 16 -c 2", "synth 3 sine 3150 gain -6");
    EXPECT_EQ(run({"--set", "UseWowCorrection=YES", "-1", "pa1", "--next-to-source", source}), kExitSuccess)
        << err.str();
    EXPECT_NE(out.str().find("Failed to detect Wow!"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("1 converted, 0 failed, 1 with warnings"), std::string::npos) << out.str();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    EXPECT_EQ(cli({"settings", "set", "UseWowCorrection", "yes"}), kExitSuccess) << err.str();
    EXPECT_EQ(store.string("UseWowCorrection"), "YES");
}

TEST(ConsoleAlerts, TheUserAnswersOnATerminalAndTheDefaultButtonWithoutOne)
{
    std::ostringstream err;
    CapturingLog log;
    Alert alert;
    alert.message = "Warning";
    alert.informativeText = "Clips.";
    alert.buttons = {"Attenuate", "Clamp"};
    alert.suppressionTitle = "Always do this from now on";

    AlertAnswer answer = ConsoleAlertPresenter(err, log).run(alert);
    EXPECT_EQ(answer.button, 0);
    EXPECT_FALSE(answer.suppressed);
    EXPECT_EQ(err.str(), "Warning: Clips. (answered: Attenuate)\n");
    EXPECT_TRUE(log.contains("<Info> Dialog answered with its default button \"Attenuate\": Clips."));

    std::istringstream typed("7\nx\n2\ny\n");
    answer = ConsoleAlertPresenter(err, log, &typed).run(alert);
    EXPECT_EQ(answer.button, 1);
    EXPECT_TRUE(answer.suppressed);
    EXPECT_NE(err.str().find("  2) Clamp\n"), std::string::npos);
    EXPECT_NE(err.str().find("Always do this from now on? [y/N]: "), std::string::npos);

    std::istringstream enter("\n\n");
    answer = ConsoleAlertPresenter(err, log, &enter).run(alert);
    EXPECT_EQ(answer.button, 0);
    EXPECT_FALSE(answer.suppressed);
}

// The options answer both questions for every file and read nothing from
// the terminal.
TEST_F(ConvertCommand, OptionsAnswerTheQuestionsWithoutAsking)
{
    const std::string source = make("old.wav");
    ASSERT_EQ(run({"-1", "hr", source}), kExitSuccess) << err.str();
    const std::string converted = (dir.path() / "old-hr.wav").string();
    std::istringstream unread("2\ny\n");
    services.terminalInput = &unread;

    out.str("");
    EXPECT_EQ(run({"--converted-before", "skip", converted, source}), kExitSuccess) << err.str();
    EXPECT_NE(out.str().find("old-hr: skipped, converted before\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("1 converted, 0 failed, 0 with warnings, 1 skipped as converted before\n"),
              std::string::npos) << out.str();
    EXPECT_EQ(err.str().find("processed with"), std::string::npos) << err.str();

    out.str("");
    EXPECT_EQ(run({"--converted-before", "convert", converted}), kExitSuccess) << err.str();
    EXPECT_NE(out.str().find("1 converted, 0 failed"), std::string::npos) << out.str();

    const EnhancementCode riaa = findEnhancementBySuffixCode("PA1")->code();
    if (!enhancementAvailable(riaa))
        GTEST_SKIP() << "Phonograph EQ A1 is not available";
    const std::string loud = make("loud.wav", "-r 44100 -b 16 -c 2", "synth 0.5 sine 100 gain -3");
    EXPECT_EQ(run({"-1", "pa1", "--on-clipping", "clamp", loud}), kExitSuccess) << err.str();
    EXPECT_EQ(err.str().find("Attenuate"), std::string::npos) << err.str();
    EXPECT_EQ(unread.tellg(), 0) << "the terminal was read";
    EXPECT_FALSE(store.stored("ClipManagement"));
    EXPECT_EQ(run({"--on-clipping", "maybe", loud}), kExitUsage);
}

// Forty files converted four at a time, twice into one folder: every
// destination exists once per run under its own name (the second run's
// numbered), holds its own source's samples, and no temporary file is left.
TEST_F(ConvertCommand, ConcurrentRunsIntoOneFolderLoseNothing)
{
    constexpr int kFiles = 40;
    constexpr std::uint32_t kFrames = 8820;   // 0.2 s at 44.1 kHz
    const auto sources = dir.path() / "in";
    const auto folder = dir.path() / "out";
    std::filesystem::create_directories(sources);
    std::filesystem::create_directories(folder);
    std::vector<std::string> args{"-j", "4", "--output-dir", folder.string(), "--set", "HiResType=2",
                                  "--set", "DitherType=2"};
    std::vector<std::vector<std::uint8_t>> samples;
    for (int file = 0; file < kFiles; ++file) {
        // Each file its own ramp, so a mix-up between files shows.
        std::vector<std::uint8_t> data;
        for (std::uint32_t frame = 0; frame < kFrames; ++frame)
            for (int channel = 0; channel < 2; ++channel) {
                const auto value = static_cast<std::int16_t>((file * 811 + frame * 7 + channel * 3) % 20000 - 10000);
                data.push_back(static_cast<std::uint8_t>(value & 0xFF));
                data.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
            }
        const auto path = sources / ("f" + std::to_string(100 + file) + ".wav");
        test::writeFile(path, test::RiffBuilder().fmt(2, 44100, 16).chunk("data", data).image());
        samples.push_back(std::move(data));
        args.push_back(path.string());
    }
    EXPECT_EQ(run({"-j", "65", args.back()}), kExitUsage);

    for (const std::string suffix : {"-no", "-no-1"}) {
        SCOPED_TRACE(suffix);
        ASSERT_EQ(run(args), kExitSuccess) << err.str();
        EXPECT_NE(out.str().find(std::to_string(kFiles) + " converted, 0 failed, 0 with warnings\n"),
                  std::string::npos)
            << out.str();
        std::size_t at = 0;
        for (int file = 0; file < kFiles; ++file) {
            const std::string name = "f" + std::to_string(100 + file);
            const auto written = folder / (name + suffix + ".wav");
            EXPECT_EQ(sampleData(written), samples[static_cast<std::size_t>(file)]) << written;
            // One line per file, in the order given.
            const std::size_t line = out.str().find(name + ": Complete. -> " + written.string() + "\n");
            EXPECT_NE(line, std::string::npos) << name;
            EXPECT_GE(line, at) << name;
            at = line;
        }
    }
    std::size_t written = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".auralune-")) << entry.path();
        ++written;
    }
    EXPECT_EQ(written, 2u * kFiles);
}

}  // namespace
}  // namespace auralune

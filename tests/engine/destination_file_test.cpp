#include "engine/destination_file.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>

namespace auralune {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

constexpr EnhancementCode kLumora51 = kEnhancementTypes[8].code();
constexpr EnhancementCode kQs = kEnhancementTypes[22].code();
constexpr EnhancementCode kKestralin = kEnhancementTypes[1].code();

std::set<std::string> entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(DestinationType, MapsEveryOutputFormat)
{
    EXPECT_EQ(destinationType(2, kFileWav, "Wav", 2, 2), (DestinationType{kFileWav, "wav", 2, 2}));
    EXPECT_EQ(destinationType(4, kFileWav, "wav", 2, 2), (DestinationType{kFileAiff, "aif", 1, 1}));
    EXPECT_EQ(destinationType(16, kFileWav, "wav", 2, 2), (DestinationType{kFileFlac, "flac", 2, 2}));
    for (int tag : {32, 8192})
        EXPECT_EQ(destinationType(tag, kFileAifc, "aifc", 1, 1), (DestinationType{tag, "wav", 2, 2})) << tag;
    // "Unchanged" keeps the source's type, its extension as written and its byte orders.
    EXPECT_EQ(destinationType(1, kFileAifc, "AIFC", 1, 2), (DestinationType{kFileAifc, "AIFC", 1, 2}));
    for (int tag : {0, 3, 64 + 32, 16384})
        EXPECT_FALSE(destinationType(tag, kFileWav, "wav", 2, 2)) << tag;

    for (int type : {2, 4, 8, 16, 32, 8192})
        EXPECT_TRUE(canWriteFileType(type)) << type;
    for (int type : {0, 1, 3})
        EXPECT_FALSE(canWriteFileType(type)) << type;
}

TEST(OutputChannels, PicksOneChannelOrAPairOutOfSix)
{
    // Enhancement 1 six-channel: both stages have six.
    EXPECT_EQ(outputChannels(kLumora51, kEnhancementNone, 2, kFileWav), (OutputChannels{6, 6, 6, 0}));
    const std::pair<int, OutputChannels> picks[] = {
        {kFileWavFrontPair, {6, 6, 2, 0}}, {kFileWavCentreLfe, {6, 6, 2, 2}}, {kFileWavSurroundPair, {6, 6, 2, 4}},
        {kFileWavLeft, {6, 6, 1, 0}},      {kFileWavLfe, {6, 6, 1, 3}},       {kFileWavSurroundRight, {6, 6, 1, 5}},
    };
    for (const auto& [type, expected] : picks)
        EXPECT_EQ(outputChannels(kQs, kKestralin, 2, type), expected) << type;

    // Enhancement 2 six-channel: only the second stage widens.
    EXPECT_EQ(outputChannels(kKestralin, kLumora51, 2, kFileWavCentreLfe), (OutputChannels{2, 6, 2, 2}));
    // Stereo results are written whole, whatever the type asks.
    EXPECT_EQ(outputChannels(kKestralin, kEnhancementNone, 2, kFileWavLfe), (OutputChannels{2, 2, 2, 0}));
}

TEST(DestinationName, NumbersAfterTheSuffix)
{
    const DestinationName name{"/music/out", "Song", "-ke", "wav"};
    EXPECT_EQ(name.candidate(0), "/music/out/Song-ke.wav");
    EXPECT_EQ(name.candidate(12), "/music/out/Song-ke-12.wav");

    std::set<std::string> taken{"/music/out/Song-ke.wav", "/music/out/Song-ke-1.wav"};
    const auto exists = [&](const std::string& path) { return taken.count(path) != 0; };
    EXPECT_EQ(firstFreeName(name, exists).path, "/music/out/Song-ke-2.wav");
    EXPECT_EQ(firstFreeName(name, exists).number, 2u);
    taken.clear();
    EXPECT_EQ(firstFreeName(name, exists).number, 0u);
}

// Both ways of writing: an unnamed file linked into place, and the hidden
// temporary file renamed without replacing, for file systems without
// unnamed files.
class WriteNewFile : public ::testing::TestWithParam<bool> {
protected:
    NewFileOptions options(NewFileOptions o = {}) const
    {
        o.unnamedFile = GetParam();
        return o;
    }
    void SetUp() override { savedMask_ = ::umask(022); }
    void TearDown() override { ::umask(savedMask_); }
    TempDir dir;

private:
    mode_t savedMask_ = 0;
};

TEST_P(WriteNewFile, NeverReplacesAFileThatAppearsBeforeNaming)
{
    const DestinationName name{dir.path().string(), "Song", "-ke", "wav"};
    const std::vector<std::uint8_t> image{1, 2, 3, 4, 5};
    const std::vector<std::uint8_t> intruder{9, 9};

    NewFileResult first = writeNewFile(name, 0, image, options());
    ASSERT_TRUE(first.written) << first.errorText;
    EXPECT_EQ(first.name.path, name.candidate(0));
    EXPECT_EQ(test::readFile(first.name.path), image);
    // A new file's mode follows the creation mask (022 here).
    EXPECT_EQ(fs::status(first.name.path).permissions(), fs::perms(0644));

    // Another program takes the next name between the check and the write.
    std::vector<std::string> tried;
    NewFileOptions racing;
    racing.beforeNaming = [&](const std::string& candidate) {
        if (tried.empty())
            test::writeFile(candidate, intruder);
        tried.push_back(candidate);
    };
    const NewFileResult second = writeNewFile(name, 1, image, options(racing));
    ASSERT_TRUE(second.written) << second.errorText;
    EXPECT_EQ(tried, (std::vector<std::string>{name.candidate(1), name.candidate(2)}));
    EXPECT_EQ(second.name.number, 2u);
    EXPECT_EQ(test::readFile(name.candidate(1)), intruder);
    EXPECT_EQ(test::readFile(name.candidate(2)), image);
    EXPECT_EQ(test::readFile(name.candidate(0)), image);
    EXPECT_EQ(entries(dir.path()).size(), 3u) << "no temporary file left";

    // A dangling symbolic link holds its name too.
    fs::create_symlink(dir.path() / "nowhere", name.candidate(3));
    EXPECT_TRUE(pathExists(name.candidate(3)));
    EXPECT_EQ(firstFreeName(name, pathExists).number, 4u);
    ASSERT_TRUE(writeNewFile(name, 3, image, options()).written);
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
    EXPECT_EQ(test::readFile(name.candidate(4)), image);
}

TEST_P(WriteNewFile, FailuresLeaveNothingBehind)
{
    const std::vector<std::uint8_t> image(1000, 7);

    const NewFileResult missing =
        writeNewFile({(dir.path() / "absent").string(), "a", "", "wav"}, 0, image, options());
    EXPECT_FALSE(missing.written);
    EXPECT_EQ(missing.errorText, "No such file or directory");

    // The data is written before the name is refused.
    const NewFileResult tooLong =
        writeNewFile({dir.path().string(), std::string(300, 'x'), "", "wav"}, 0, image, options());
    EXPECT_FALSE(tooLong.written);
    EXPECT_EQ(tooLong.errorText, "File name too long");
    EXPECT_TRUE(entries(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(UnnamedOrHidden, WriteNewFile, ::testing::Bool());

}  // namespace
}  // namespace auralune

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

// File systems that refuse one way of writing or another, acted out over
// the real calls.
struct Refusals {
    const char* name;
    bool unnamedFile = true;   // the option
    bool noTmpFile = false;    // O_TMPFILE: EOPNOTSUPP
    bool noProc = false;       // naming through /proc/self/fd: ENOENT
    bool fuse = false;         // no-replace rename: EINVAL, hard links: EPERM
    const char* way;           // the way that must end up writing
};

class RefusingFileSystem final : public NewFileSystem {
public:
    explicit RefusingFileSystem(const Refusals& refusals) : r_(refusals) {}
    int openUnnamed(const std::string& folder) override
    {
        return r_.noTmpFile || r_.fuse ? -EOPNOTSUPP : NewFileSystem::openUnnamed(folder);
    }
    int linkUnnamed(int fd, const std::string& path) override
    {
        if (r_.noProc)
            return -ENOENT;
        used = "unnamed";
        return NewFileSystem::linkUnnamed(fd, path);
    }
    int renameNoReplace(const std::string& from, const std::string& to) override
    {
        if (r_.fuse)
            return -EINVAL;
        used = "temporary";
        return NewFileSystem::renameNoReplace(from, to);
    }
    int link(const std::string& from, const std::string& to) override
    {
        if (r_.fuse)
            return -EPERM;
        return NewFileSystem::link(from, to);
    }
    int createExclusive(const std::string& path) override
    {
        if (path.find("/.auralune-") == std::string::npos)
            used = "in place";
        return NewFileSystem::createExclusive(path);
    }
    int writeAll(int fd, std::span<const std::uint8_t> bytes) override
    {
        return failWrites ? -ENOSPC : NewFileSystem::writeAll(fd, bytes);
    }
    std::string used;
    bool failWrites = false;

private:
    Refusals r_;
};

class WriteNewFile : public ::testing::TestWithParam<Refusals> {
protected:
    NewFileOptions options(NewFileOptions o = {})
    {
        o.unnamedFile = GetParam().unnamedFile;
        o.fileSystem = &system;
        return o;
    }
    void SetUp() override { savedMask_ = ::umask(022); }
    void TearDown() override { ::umask(savedMask_); }
    TempDir dir;
    RefusingFileSystem system{GetParam()};

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
    EXPECT_EQ(system.used, GetParam().way);
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
    // (A way refused after trying a name tries it again with the next way.)
    EXPECT_EQ(std::set<std::string>(tried.begin(), tried.end()),
              (std::set<std::string>{name.candidate(1), name.candidate(2)}));
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
    EXPECT_EQ(missing.errorPath, (dir.path() / "absent").string());

    // The data is written before the name is refused.
    const NewFileResult tooLong =
        writeNewFile({dir.path().string(), std::string(300, 'x'), "", "wav"}, 0, image, options());
    EXPECT_FALSE(tooLong.written);
    EXPECT_EQ(tooLong.errorText, "File name too long");
    EXPECT_TRUE(entries(dir.path()).empty());

    // A full disk: whatever way was taken, no partial file stays.
    system.failWrites = true;
    const NewFileResult full = writeNewFile({dir.path().string(), "full", "", "wav"}, 0, image, options());
    EXPECT_FALSE(full.written);
    EXPECT_EQ(full.errorText, "No space left on device");
    EXPECT_TRUE(entries(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    FileSystems, WriteNewFile,
    ::testing::Values(Refusals{"unnamed", true, false, false, false, "unnamed"},
                      Refusals{"hidden", false, false, false, false, "temporary"},
                      Refusals{"noTmpFile", true, true, false, false, "temporary"},
                      Refusals{"noProc", true, false, true, false, "temporary"},
                      Refusals{"fuse", true, false, false, true, "in place"}),
    [](const ::testing::TestParamInfo<Refusals>& param) { return std::string(param.param.name); });

// A killed run leaves its hidden temporary file; a later run recognises the
// files of processes that have ended on this host and removes them.
TEST(TemporaryFiles, StaleOnesOfEndedProcessesAreRemoved)
{
    TempDir dir;
    const std::string prefix = temporaryFilePrefix();
    const std::string host = prefix.substr(0, prefix.rfind('-', prefix.size() - 2) + 1);
    // No process has a number this high (Linux allows at most 2^22).
    const std::string ended = host + "2147483000-a1B2c3";
    const std::string running = prefix + "x9Y8z7";
    const std::string otherHost = ".auralune-elsewhere-2147483000-a1B2c3";
    const std::string older = ".auralune-a1B2c3";
    for (const std::string& name : {ended, running, otherHost, older})
        test::writeFile(dir.path() / name, {1, 2, 3});

    EXPECT_TRUE(isStaleTemporaryFile(ended));
    EXPECT_FALSE(isStaleTemporaryFile(running));
    EXPECT_EQ(removeStaleTemporaryFiles(dir.path().string()), 1u);
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{running, otherHost, older}));
}

}  // namespace
}  // namespace auralune

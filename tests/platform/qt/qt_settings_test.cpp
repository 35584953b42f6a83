#include "app/settings_model.h"
#include "platform/qt/qt_defaults_store.h"
#include "platform/qt/standard_locations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace auralune {
namespace {

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::path(::testing::TempDir()) / name)
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(QtSettings, ArraysAndSuffixesSurviveTheIniFile)
{
    ScratchFolder scratch("auralune-qt-settings");
    const std::string ini = (scratch.path() / "settings.ini").string();
    std::vector<std::string> remembered(22, "1");
    remembered[5] = "4096";
    {
        QtDefaultsStore store(ini);
        store.setStringList("FilterTypeDefaults_1", remembered);
        store.setString("FileSuffixKE", "-a,b");   // a comma must not turn it into a list
        store.setString("ClipThreshold", realText(0.25));
    }
    QtDefaultsStore reopened(ini);
    CapturingLog log;
    SettingsModel model(reopened, log, "/music");
    EXPECT_EQ(model.filterDefaults1(), remembered);
    EXPECT_EQ(model.fileSuffix(2), "-a,b");
    EXPECT_EQ(model.realValue("ClipThreshold"), 0.25);
    EXPECT_TRUE(log.lines().empty());
}

TEST(QtSettings, MusicFolderFollowsTheUserDirectories)
{
    ScratchFolder scratch("auralune-qt-music");
    std::ofstream(scratch.path() / "user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n";
    ScopedEnv home("HOME", scratch.path().string());
    ScopedEnv config("XDG_CONFIG_HOME", scratch.path().string());
    EXPECT_EQ(musicFolder(), (scratch.path() / "Tunes").string());
}

}  // namespace
}  // namespace auralune

#include "app/settings_model.h"

#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

namespace auralune {
namespace {

constexpr const char* kMusic = "/home/listener/Music";

class SettingsModelTest : public ::testing::Test {
protected:
    SettingsModelTest() { registerDefaults(store, kMusic); }

    // The only log line, which must be one warning naming the key.
    void expectOneWarningAbout(const std::string& key)
    {
        const auto lines = log.lines();
        ASSERT_EQ(lines.size(), 1u) << key;
        EXPECT_TRUE(lines[0].starts_with("<WARNING> ")) << lines[0];
        EXPECT_NE(lines[0].find("\"" + key + "\""), std::string::npos) << lines[0];
        log.clear();
    }

    CapturingLog log;
    MemoryDefaultsStore store;
    SettingsModel model{store, log, kMusic};
};

TEST_F(SettingsModelTest, FreshStoreAnswersTheRegisteredForms)
{
    EXPECT_EQ(store.string("ClipThreshold"), "2.0");
    EXPECT_EQ(store.string("AdjustDstR128Level"), "-16.5");
    EXPECT_EQ(store.string("FileSuffixKE"), "-ke");
    EXPECT_EQ(store.string("FileSuffixCD4HQ"), "-cd4hq");
    EXPECT_EQ(store.string("WarnPreprocess"), "YES");
    EXPECT_EQ(store.string("DestinationFolder"), kMusic);
    EXPECT_EQ(store.stringList("FilterTypeDefaults_1")->size(), 15u);
    EXPECT_EQ(store.stringList("FilterTypeDefaults_2")->size(), 22u);
    EXPECT_TRUE(store.storedKeys().empty());

    EXPECT_EQ(model.realValue("ClipThreshold"), 2.0);
    // A 12-inch record's groove diameters and a 1 mm sway: about 0.3 % to
    // 0.8 % speed correction at the control's peak.
    EXPECT_EQ(model.realValue("TonearmSwayWow"), 1.0);
    EXPECT_EQ(model.realValue("StartDiameterWow"), 300.0);
    EXPECT_EQ(model.realValue("StopDiameterWow"), 120.0);
    EXPECT_EQ(model.mode(), 64u);   // the registered "1" has no mode bit
    EXPECT_EQ(model.filterDefaults1(), std::vector<std::string>(22, "1"));
    // The batch defaults come from the machine: at least one pass, and at
    // least 64 MiB, never more than the memory there is.
    EXPECT_GE(model.tagValue("SimultaneousConversions"), 1u);
    const std::uint64_t budgetMiB = model.tagValue("MemoryBudget");
    EXPECT_GE(budgetMiB, 64u);
    EXPECT_LE(budgetMiB * 1024 * 1024, static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) *
                                           static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(SettingsModelTest, WrittenRealsReadBackAsTheSameNumber)
{
    store.setString("ClipThreshold", realText(2.0));
    EXPECT_EQ(store.string("ClipThreshold"), "2.000000");
    EXPECT_EQ(model.realValue("ClipThreshold"), 2.0);
    EXPECT_EQ(decodeSetting(*findSetting("ClipThreshold"), std::string("2.0")),
              decodeSetting(*findSetting("ClipThreshold"), std::string("2.000000")));
}

TEST_F(SettingsModelTest, CorruptedValuesFallBackWithOneWarning)
{
    struct Case {
        const char* key;
        StoredValue stored;
        std::function<void()> check;
    };
    const std::vector<Case> cases{
        {"ClipManagement", std::string("3"), [&] { EXPECT_EQ(model.clipManagement(), 1u); }},
        {"Mode", std::string("0"), [&] { EXPECT_EQ(model.mode(), 64u); }},
        {"Mode", std::string("4096x"), [&] { EXPECT_EQ(model.mode(), 64u); }},
        {"ClipThreshold", std::string("-1"), [&] { EXPECT_EQ(model.realValue("ClipThreshold"), 2.0); }},
        {"ClipThreshold", std::string("1e999"), [&] { EXPECT_EQ(model.realValue("ClipThreshold"), 2.0); }},
        {"GrooveNoise", std::string("loud"), [&] { EXPECT_EQ(model.realValue("GrooveNoise"), -50.0); }},
        {"UseZephra", std::string("yes"), [&] { EXPECT_TRUE(model.switchValue("UseZephra")); }},
        {"FilterType_1", std::string("3"), [&] { EXPECT_EQ(model.filterType1(), kEnhancementNone); }},
        {"FilterType_2", std::string("18014398509481984"), [&] { EXPECT_EQ(model.filterType2(), kEnhancementNone); }},
        {"OutputFormatType", std::string("16384"), [&] { EXPECT_EQ(model.outputFormatType(), 1u); }},
        {"HiResType", std::string("4294967296"), [&] { EXPECT_EQ(model.tagValue("HiResType"), 1u); }},
        {"CaptureSpeed", std::string("-2"), [&] { EXPECT_EQ(model.tagValue("CaptureSpeed"), 1u); }},
        {"StartDiameterWow", std::string("0"), [&] { EXPECT_EQ(model.realValue("StartDiameterWow"), 300.0); }},
        {"StopDiameterWow", std::string("-120"), [&] { EXPECT_EQ(model.realValue("StopDiameterWow"), 120.0); }},
        {"TonearmSwayWow", std::string("0"), [&] { EXPECT_EQ(model.realValue("TonearmSwayWow"), 1.0); }},
        {"TonearmSwayWow", std::string("nan"), [&] { EXPECT_EQ(model.realValue("TonearmSwayWow"), 1.0); }},
        {"FileSuffixKE", std::string("/../../etc"), [&] { EXPECT_EQ(model.fileSuffix(2), "-ke"); }},
        {"DestinationFolder", std::string("relative/out"), [&] { EXPECT_EQ(model.destinationFolder(), kMusic); }},
        {"ShowFullPath", std::vector<std::string>{"YES"}, [&] { EXPECT_FALSE(model.switchValue("ShowFullPath")); }},
        {"FilterTypeDefaults_1", std::vector<std::string>(14, "1"),
         [&] { EXPECT_EQ(model.filterDefaults1(), std::vector<std::string>(22, "1")); }},
        {"FilterTypeDefaults_2", std::vector<std::string>(23, "1"),
         [&] { EXPECT_EQ(model.filterDefaults2(), std::vector<std::string>(22, "1")); }},
        {"FilterTypeDefaults_1", std::vector<std::string>(15, "3"),
         [&] { EXPECT_EQ(model.filterDefaults1(), std::vector<std::string>(22, "1")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + (std::holds_alternative<std::string>(c.stored)
                                                        ? std::get<std::string>(c.stored)
                                                        : "list"));
        if (const auto* text = std::get_if<std::string>(&c.stored))
            store.setString(c.key, *text);
        else
            store.setStringList(c.key, std::get<std::vector<std::string>>(c.stored));
        log.clear();
        c.check();
        expectOneWarningAbout(c.key);
        store.remove(c.key);
    }
}

TEST_F(SettingsModelTest, ValidStoredValuesAreTakenSilently)
{
    store.setString("Mode", "1");   // the hidden entry: loaded as mode 64, no warning
    EXPECT_EQ(model.mode(), 64u);
    store.setString("Mode", "16384");
    EXPECT_EQ(model.mode(), 16384u);
    store.setString("ClipThreshold", "0");   // the lower edge
    EXPECT_EQ(model.realValue("ClipThreshold"), 0.0);
    store.setString("DestinationFolder", "");
    EXPECT_EQ(model.destinationFolder(), kMusic);
    // The window extends the array to 22 entries and stores it back.
    std::vector<std::string> remembered(22, "1");
    remembered[14] = "4096";
    store.setStringList("FilterTypeDefaults_1", remembered);
    EXPECT_EQ(model.filterDefaults1(), remembered);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(SettingsModelTest, SnapshotCopiesEveryStoredSetting)
{
    const std::vector<std::pair<const char*, const char*>> values{
        {"DestinationFolder", "/srv/out"}, {"DestinationFolderOption", "2"}, {"FilterType_1", "2048"} /* "Phonograph EQ A1 (RIAA)" */,
        {"FilterType_2", "2"}, {"OutputFormatType", "16"}, {"FileSuffixPA1", "-riaa"}, {"FileSuffixKE", "_k"},
        {"ClipThreshold", "0.5"}, {"GrooveDistortionTapOff", "YES"}, {"GrooveDistortion", "4.000000"},
        {"GrooveNoise", "-70"}, {"DolbyTone", "-14"}, {"AmbisonicUhjRegime", "3"}, {"HiResType", "2"},
        {"HiResFilter", "2"}, {"PopClickSensitivity", "1"}, {"DitherType", "2"}, {"PhonographRegime", "4"}, {"CaptureSpeed", "3"}, {"UseGainRanging", "NO"},
        {"UseCartridgeBalance", "NO"}, {"UseDiscEchoRemoval", "NO"}, {"UseDeroz2ResponseCorrection", "YES"},
        {"PhonographPopClick", "3"}, {"UseLpDistortionCancel", "NO"}, {"LpDistortionStylusRadius", "7.5"},
        {"PhonographScratch", "2"}, {"UseZephra", "NO"}, {"UseRumbleFilter", "NO"}, {"UseHumRemoval", "YES"},
        {"UseHumRemovalBassCompensation", "YES"}, {"CalculateSrcR128", "YES"}, {"CalculateDstR128", "YES"},
        {"DstBwfMetadata", "YES"}, {"AdjustDstR128", "YES"}, {"AdjustDstR128Level", "-23"},
        {"WarnPreprocess", "NO"}, {"UseCartridgeBalanceCD4", "NO"}, {"UseDeroz2CrosstalkCD4", "YES"},
        {"PopClickCD4", "1"}, {"UseZephraCD4", "NO"}, {"UseRumbleFilterCD4", "NO"}, {"UseHumRemovalCD4", "YES"},
        {"UseHumRemovalBassCompensationCD4", "YES"}, {"OutputCD4", "2"}, {"UseWowCorrection", "YES"},
        {"RotationalSpeedWow", "3"}, {"PitchCorrectionWow", "2"}, {"TonearmSwayWow", "0.25"},
        {"StartDiameterWow", "300"}, {"StopDiameterWow", "120"},
    };
    for (const auto& [key, value] : values)
        store.setString(key, value);

    SettingsSnapshot expected;
    expected.destinationPath = "/srv/out"; expected.destinationPathFollows = false;
    expected.destinationFileSuffix = "-riaa_k"; expected.filterType_1 = kEnhancementTypes[11].code();
    expected.filterType_2 = 2; expected.outputFormatType = 16; expected.clipThreshold = 0.5;
    expected.grooveDistortionTapOff = true; expected.grooveDistortion = 4.0; expected.grooveNoise = -70.0;
    expected.dolbyTone = -14.0; expected.ambisonicUhjRegime = 3; expected.hiResType = 2; expected.ditherType = 2;
    expected.hiResFilter = 2; expected.popClickSensitivity = 1;
    expected.phonographRegime = 4; expected.captureSpeed = 3; expected.useGainRanging = false;
    expected.useCartridgeBalance = false; expected.useDiscEchoRemoval = false;
    expected.useDeroz2ResponseCorrection = true; expected.phonographPopClick = 3;
    expected.useLpDistortionCancel = false; expected.lpDistortionStylusRadius = 7.5; expected.phonographScratch = 2;
    expected.useZephra = false; expected.useRumbleFilter = false; expected.useHumFilter = true;
    expected.useHumFilterBassCompensation = true; expected.calculateSrcR128 = true;
    expected.calculateDstR128 = true; expected.dstBwfMetadata = true; expected.adjustDstR128 = true;
    expected.adjustDstR128Level = -23.0; expected.warnPreprocess = false; expected.useCartridgeBalanceCD4 = false;
    expected.useDeroz2CrosstalkCD4 = true; expected.popClickCD4 = 1; expected.useZephraCD4 = false;
    expected.useRumbleFilterCD4 = false; expected.useHumFilterCD4 = true;
    expected.useHumFilterBassCompensationCD4 = true; expected.outputCD4 = 2; expected.useWowCorrection = true;
    expected.rotationalSpeedWow = 3; expected.pitchCorrectionWow = 2; expected.tonearmSwayWow = 0.25;
    expected.startDiameterWow = 300.0; expected.stopDiameterWow = 120.0;

    EXPECT_TRUE(model.snapshot() == expected);
    EXPECT_TRUE(log.lines().empty());

    // A fresh store gives the record's own defaults, suffix "-no" for "None".
    MemoryDefaultsStore fresh;
    SettingsSnapshot defaults;
    defaults.destinationPath = kMusic;
    defaults.destinationFileSuffix = "-no";
    EXPECT_TRUE(SettingsModel(fresh, log, kMusic).snapshot() == defaults);
}

TEST_F(SettingsModelTest, SuffixOfEnhancement2OnlyWhenItIsNotNone)
{
    store.setString("FilterType_1", std::to_string(kEnhancementTypes[11].code()));
    EXPECT_EQ(model.snapshot().destinationFileSuffix, "-pa1");
    store.setString("FilterType_2", "2");
    EXPECT_EQ(model.snapshot().destinationFileSuffix, "-pa1-ke");
    store.setString("FileSuffixPA1", "");
    EXPECT_EQ(model.snapshot().destinationFileSuffix, "-ke");
    // The same type twice: its one suffix twice.
    store.setString("FilterType_1", "2");
    EXPECT_EQ(model.snapshot().destinationFileSuffix, "-ke-ke");
}

TEST_F(SettingsModelTest, NotificationsAreStoredInStoredForm)
{
    UserInfo phono{
        {"phonographRegime", std::uint64_t{2}}, {"captureSpeed", std::uint64_t{4}},
        {"useGainRanging", false}, {"useCartridgeBalance", true}, {"useDiscEchoRemoval", std::int64_t{0}},
        {"useDeroz2ResponseCorrection", std::int64_t{1}}, {"phonographPopClick", std::uint64_t{3}},
        {"useLpDistortionCancel", true}, {"lpDistortionStylusRadius", 12.5}, {"phonographScratch", std::uint64_t{1}},
        {"useZephra", true}, {"useRumbleFilter", false}, {"useHumRemoval", true},
        {"useHumRemovalBassCompensation", false}, {"popClickSensitivity", std::uint64_t{3}},
    };
    ASSERT_TRUE(storeSettingsNotification({"SettingsUpdatePhonographTab", nullptr, phono}, store, log));
    EXPECT_EQ(store.stored("PhonographRegime"), StoredValue("2"));
    EXPECT_EQ(store.stored("UseGainRanging"), StoredValue("NO"));
    EXPECT_EQ(store.stored("UseDeroz2ResponseCorrection"), StoredValue("YES"));
    EXPECT_EQ(store.stored("LpDistortionStylusRadius"), StoredValue("12.500000"));
    EXPECT_EQ(store.stored("PopClickSensitivity"), StoredValue("3"));
    EXPECT_EQ(store.storedKeys().size(), 15u);

    // The clip method arrives as "%lu" text, the display options as integers.
    ASSERT_TRUE(storeSettingsNotification({"SettingsUpdateClipManagement", nullptr, {{"clipManagement", std::string("4")}}}, store, log));
    EXPECT_EQ(store.stored("ClipManagement"), StoredValue("4"));
    ASSERT_TRUE(storeSettingsNotification({"SettingsUpdateDestinationTableText", nullptr,
                                           {{"showFileExt", std::int64_t{1}}, {"showFullPath", std::int64_t{0}}}}, store, log));
    EXPECT_EQ(store.stored("ShowFileExt"), StoredValue("YES"));
    EXPECT_EQ(store.stored("ShowFullPath"), StoredValue("NO"));
    ASSERT_TRUE(storeSettingsNotification({"SettingsupdateHiResType", nullptr, {{"hiResType", std::uint64_t{2}}}}, store, log));
    EXPECT_EQ(store.stored("HiResType"), StoredValue("2"));
    EXPECT_TRUE(log.lines().empty());

    EXPECT_FALSE(storeSettingsNotification({"SettingsUpdateHiResType", nullptr, {{"hiResType", std::uint64_t{1}}}}, store, log));
    EXPECT_FALSE(storeSettingsNotification({"AudioFileRefreshViewMsg", nullptr, {}}, store, log));

    // A value outside the key's set, or a missing one, is not stored.
    ASSERT_TRUE(storeSettingsNotification({"SettingsUpdateClipManagement", nullptr, {{"clipManagement", std::string("7")}}}, store, log));
    EXPECT_EQ(store.stored("ClipManagement"), StoredValue("4"));
    expectOneWarningAbout("ClipManagement");
    ASSERT_TRUE(storeSettingsNotification({"SettingsUpdateGrooveNoise", nullptr, {}}, store, log));
    EXPECT_FALSE(store.stored("GrooveNoise"));
    expectOneWarningAbout("GrooveNoise");
}

TEST_F(SettingsModelTest, ResetGroupWritesTheButtonsValues)
{
    store.setString("ClipThreshold", "5.000000");
    store.setString("GrooveNoise", "-60.000000");
    store.setString("CalculateSrcR128", "YES");
    applyResetGroup(store, kResetSettings);
    EXPECT_EQ(store.stored("GrooveNoise"), StoredValue("-50.000000"));
    EXPECT_EQ(store.stored("HiResType"), StoredValue("1"));
    EXPECT_EQ(store.stored("GrooveDistortionTapOff"), StoredValue("NO"));
    EXPECT_EQ(store.stored("ClipThreshold"), StoredValue("5.000000"));
    EXPECT_EQ(store.stored("CalculateSrcR128"), StoredValue("YES"));

    applyResetGroup(store, kResetWow);
    EXPECT_EQ(model.realValue("StartDiameterWow"), 300.0);
    EXPECT_EQ(model.realValue("StopDiameterWow"), 120.0);
    EXPECT_EQ(store.stored("UseWowCorrection"), StoredValue("NO"));
}

TEST(SettingInput, UserTextIsNormalisedOrRefused)
{
    auto parse = [](const char* key, const char* text) { return parseSettingInput(*findSetting(key), text); };
    EXPECT_EQ(parse("UseZephra", "on").value, StoredValue("YES"));
    EXPECT_EQ(parse("GrooveNoise", "-60").value, StoredValue("-60.000000"));
    EXPECT_EQ(parse("FilterType_1", "pa1").value, StoredValue("2048"));
    EXPECT_EQ(parse("SimultaneousConversions", "64").value, StoredValue("64"));
    EXPECT_EQ(parse("MemoryBudget", "64").value, StoredValue("64"));
    std::vector<std::string> remembered(21, "1");
    remembered.push_back("2");
    EXPECT_EQ(parse("FilterTypeDefaults_2", "1, 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,KE").value,
              StoredValue(remembered));

    for (auto [key, text] : std::vector<std::pair<const char*, const char*>>{
             {"UseZephra", "maybe"}, {"ClipThreshold", "-0.5"}, {"Mode", "6"}, {"FilterType_1", "XX"},
             {"FileSuffixKE", "a/b"}, {"DestinationFolder", "Music"}, {"FilterTypeDefaults_2", "1,1"},
             {"DitherType", ""}, {"SimultaneousConversions", "0"}, {"SimultaneousConversions", "65"},
             {"MemoryBudget", "63"}}) {
        const SettingInput input = parse(key, text);
        EXPECT_FALSE(input.value) << key << " " << text;
        EXPECT_NE(input.problem.find(key), std::string::npos) << input.problem;
    }
}

}  // namespace
}  // namespace auralune

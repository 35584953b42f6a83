#include "app/settings_keys.h"
#include "app/settings_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace auralune {
namespace {

TEST(SettingsKeys, SuffixKeysFollowTheGeneralKeysInRegistrationOrder)
{
    static constexpr const char* kCodes[] = {
        "NO", "KE", "KS1", "BK", "QM", "RV", "TL", "KET", "LM51", "LM50", "LM40", "LM20", "OL", "OH",
        "QS", "SQ", "MH", "CD4", "CD4HQ", "UHJ", "PA1", "PA2", "PA3", "PB1", "PB2", "PC", "PD", "PE",
        "PF", "PG", "PH", "PJ", "PK", "PP1", "PP2", "PP3", "PS", "PZ1", "CD", "TA", "TB", "TC", "TD",
        "RF", "ZP", "CNR", "C22", "CS51", "CS40", "GR", "HUM", "HUMB", "HR", "UNL"};
    const auto& all = settingDefinitions();
    ASSERT_EQ(all[9].key, "ShowFullPath");
    for (std::size_t i = 0; i < std::size(kCodes); ++i) {
        const SettingDefinition& row = all[10 + i];
        EXPECT_EQ(row.key, "FileSuffix" + std::string(kCodes[i]));
        EXPECT_EQ(row.type, SettingType::Text);
    }
    EXPECT_EQ(all[10 + std::size(kCodes)].key, "ClipManagement");
    EXPECT_EQ(all.back().key, "StopDiameterWow");
    EXPECT_EQ(all.size(), 10u + 54u + 15u + 14u + 8u + 6u);
}

TEST(SettingsKeys, KeysAreUniqueAndEveryRegisteredDefaultIsUsable)
{
    std::set<std::string_view> keys;
    for (const SettingDefinition& row : settingDefinitions()) {
        SCOPED_TRACE(std::string(row.key));
        EXPECT_TRUE(keys.insert(row.key).second);
        // A default that fails its own rule would make the fallback fail.
        const StoredValue stored = encodeSetting(row, defaultSetting(row, "/music"));
        EXPECT_TRUE(decodeSetting(row, stored).has_value());
        if (row.type != SettingType::StringArray && row.key != kDestinationFolderKey) {
            EXPECT_TRUE(decodeSetting(row, std::string(row.registeredDefault)).has_value());
        }
    }
}

TEST(SettingsKeys, NotificationTableMatchesTheKeys)
{
    for (std::string_view name : kSettingsNotificationNames)
        EXPECT_FALSE(settingsOfNotification(name).empty()) << name;
    EXPECT_EQ(kSettingsUpdateHiResType, "SettingsupdateHiResType");
    EXPECT_TRUE(settingsOfNotification("SettingsUpdateHiResType").empty());
    EXPECT_EQ(settingsOfNotification(kSettingsUpdatePhonographTab).size(), 14u);
    EXPECT_EQ(settingsOfNotification(kSettingsUpdateCD4Tab).size(), 8u);
    EXPECT_EQ(settingsOfNotification(kSettingsUpdateWowTab).size(), 6u);
    EXPECT_EQ(settingsOfNotification(kSettingsUpdateDestinationTableText).size(), 2u);

    // User-info keys are the defaults keys with a lower-case first letter.
    for (const SettingDefinition& row : settingDefinitions()) {
        if (row.notification.empty())
            continue;
        std::string expected(row.key);
        expected[0] = static_cast<char>(std::tolower(expected[0]));
        EXPECT_EQ(row.userInfoKey, expected);
        EXPECT_NE(std::find(kSettingsNotificationNames.begin(), kSettingsNotificationNames.end(), row.notification),
                  kSettingsNotificationNames.end());
    }
}

TEST(SettingsKeys, ResetGroupsHoldTheirButtonsValues)
{
    auto keysOf = [](unsigned group) {
        std::vector<std::string_view> keys;
        for (const SettingDefinition* row : settingsOfResetGroup(group))
            keys.push_back(row->key);
        return keys;
    };
    EXPECT_EQ(keysOf(kResetSettings),
              (std::vector<std::string_view>{"GrooveDistortionTapOff", "GrooveDistortion", "GrooveNoise", "DolbyTone",
                                             "HiResType", "DitherType", "AmbisonicUhjRegime"}));
    EXPECT_EQ(keysOf(kResetPhonograph).size(), 14u);
    EXPECT_EQ(keysOf(kResetCD4).size(), 8u);
    EXPECT_EQ(keysOf(kResetWow).size(), 6u);
    EXPECT_EQ(findSetting("StartDiameterWow")->resetValue, 300.0);
    EXPECT_EQ(findSetting("StopDiameterWow")->resetValue, 120.0);
    EXPECT_EQ(findSetting("LpDistortionStylusRadius")->resetValue, 10.0);
    EXPECT_EQ(findSetting("ClipThreshold")->resetGroup, kResetNone);
    EXPECT_EQ(findSetting("CalculateDstR128")->resetGroup, kResetNone);
}

}  // namespace
}  // namespace auralune

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
    const auto& all = settingDefinitions();
    ASSERT_EQ(all.size(), 10u + 54u + 16u + 15u + 8u + 6u + 2u);
    EXPECT_EQ(all[9].key, "ShowFullPath");
    EXPECT_EQ(all[10].key, "FileSuffixNO");
    EXPECT_EQ(all[10 + 53].key, "FileSuffixUNL");
    for (std::size_t i = 10; i < 64; ++i)
        EXPECT_EQ(all[i].type, SettingType::Text) << all[i].key;
    EXPECT_EQ(all[64].key, "ClipManagement");
    EXPECT_EQ(all.back().key, "MemoryBudget");
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
        if (row.type != SettingType::StringArray && !row.registeredDefault.empty()) {
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

}  // namespace
}  // namespace auralune

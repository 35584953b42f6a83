#include "app/destination_naming.h"

#include <gtest/gtest.h>

namespace auralune {
namespace {

constexpr EnhancementCode kKestralin = 2;
constexpr EnhancementCode kPhonographA1 = EnhancementCode{1} << 11;

class DestinationNamingTest : public ::testing::Test {
protected:
    DestinationNamingTest() { registerDefaults(store, "/music"); }

    std::string conversionSuffix() { return SettingsModel(store, log, "/music").snapshot().destinationFileSuffix; }

    MemoryDefaultsStore store;
    CapturingLog log;
    DestinationNaming naming{store, log, "/music"};
};

TEST_F(DestinationNamingTest, FieldsShowTheStoredSuffixOfEachEnhancement)
{
    naming.setEnhancements(kPhonographA1, kKestralin);
    EXPECT_EQ(naming.fieldText(1), "-pa1");
    EXPECT_EQ(naming.fieldText(2), "-ke");
    EXPECT_DEATH(naming.fieldText(3), "Unexpected paramter in");
}

TEST_F(DestinationNamingTest, ConversionSuffixFollowsTheEditedFields)
{
    store.setString("FilterType_1", std::to_string(kPhonographA1));
    EXPECT_EQ(conversionSuffix(), "-pa1");   // Enhancement 2 "None" adds nothing

    store.setString("FilterType_2", std::to_string(kKestralin));
    naming.setEnhancements(kPhonographA1, kKestralin);
    ASSERT_TRUE(naming.updateFileSuffix(2, "_wide"));
    EXPECT_EQ(store.string("FileSuffixKE"), "_wide");
    EXPECT_EQ(conversionSuffix(), "-pa1_wide");

    ASSERT_TRUE(naming.updateFileSuffix(1, ""));
    EXPECT_EQ(conversionSuffix(), "_wide");
}

TEST_F(DestinationNamingTest, SuffixWithSlashIsRefusedAndTheStoredOneRestored)
{
    naming.setEnhancements(kPhonographA1, kKestralin);
    EXPECT_FALSE(naming.updateFileSuffix(1, "-pa1/"));
    EXPECT_EQ(naming.fieldText(1), "-pa1");
    EXPECT_FALSE(store.stored("FileSuffixPA1"));
    EXPECT_FALSE(isUsableFileSuffix("../x"));
    EXPECT_TRUE(isUsableFileSuffix("-x.y"));
}

TEST_F(DestinationNamingTest, SameEnhancementTwiceKeepsBothFieldsEqual)
{
    naming.setEnhancements(kEnhancementNone, kEnhancementNone);
    ASSERT_TRUE(naming.updateFileSuffix(1, "-plain"));
    EXPECT_EQ(naming.fieldText(2), "-plain");
    EXPECT_EQ(store.string("FileSuffixNO"), "-plain");
}

TEST_F(DestinationNamingTest, FolderOptionAndChosenFolderAreStoredAndLogged)
{
    EXPECT_TRUE(naming.destinationPathFollows());
    naming.updateDestinationFolderOption(kDestinationFolder, true);
    naming.selectDestinationFolder("/srv/out");
    EXPECT_FALSE(naming.destinationPathFollows());
    EXPECT_EQ(naming.destinationFolder(), "/srv/out");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "<Info> Destination folder option changed: Destination folder (2)",
                               "<Info> Destination path: /srv/out"}));
    naming.updateDestinationFolderOption(kDestinationNextToSource, false);
    EXPECT_TRUE(naming.destinationPathFollows());
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST(SourceNameText, ExtensionAndPathOptions)
{
    EXPECT_EQ(sourceNameText("/a/b/Take 1.wav", false, false), "Take 1");
    EXPECT_EQ(sourceNameText("/a/b/Take 1.wav", true, true), "/a/b/Take 1.wav");
}

}  // namespace
}  // namespace auralune

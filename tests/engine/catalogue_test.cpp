#include "engine/catalogue.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>

namespace auralune {
namespace {

TEST(Catalogue, EveryTypeHasOneGroupExactlyOneModeAndDistinctNames)
{
    std::set<std::string_view> names, codes;
    std::set<int> markBits;
    for (const auto& type : kEnhancementTypes) {
        EXPECT_GE(type.group, 0);
        EXPECT_LT(type.group, kEnhancementGroupCount);
        if (type.bit == 0) {
            EXPECT_EQ(type.mode, 0u) << "None belongs to every mode";
        } else {
            EXPECT_NE(findMode(type.mode), nullptr) << type.displayName;
            int admitting = 0;
            for (const auto& mode : kModes)
                admitting += (enhancementsOfMode(mode.tag) & type.code()) != 0;
            EXPECT_EQ(admitting, 1) << type.displayName;
            EXPECT_EQ(enhancementsOfMode(type.mode) & type.code(), type.code());
        }
        EXPECT_TRUE(names.insert(type.displayName).second) << type.displayName;
        EXPECT_TRUE(codes.insert(type.suffixCode).second) << type.suffixCode;
        EXPECT_TRUE(markBits.insert(type.markBit).second) << type.displayName;
    }
    EXPECT_EQ(markBits.size(), 54u);
    EXPECT_EQ(*markBits.rbegin(), 53);
}

TEST(Catalogue, GroupsAndModesOfSpotChecks)
{
    EXPECT_EQ(enhancementGroup(findEnhancementByName("Phonograph EQ P3 (Virtual MM RIAA preamp)")->code()), 1);
    EXPECT_EQ(enhancementGroup(findEnhancementByName("Phonograph EQ E (500-Flat)")->code()), 3);
    EXPECT_EQ(enhancementsOfMode(2048),
              kEnhancementNone | findEnhancementByName("Hi-Res")->code() | findEnhancementByName("Unlimiting")->code());
    EXPECT_EQ(std::popcount(enhancementsOfMode(4)), 14);   // None + 13 curves
    EXPECT_FALSE(enhancementGroup(0).has_value());
    EXPECT_FALSE(enhancementGroup(3).has_value());            // two bits
    EXPECT_FALSE(enhancementGroup(std::uint64_t{1} << 54).has_value());
}

TEST(Catalogue, SuffixKeysAndDefaults)
{
    EXPECT_EQ(findEnhancementByName("KESTRALIN")->suffixKey(), "FileSuffixKE");
    EXPECT_EQ(findEnhancementBySuffixCode("CD4HQ")->defaultSuffix(), "-cd4hq");
    EXPECT_EQ(findEnhancementBySuffixCode("NO")->displayName, "None");
}

TEST(Catalogue, ListingOrderPutsTSymAfterTessalin)
{
    const auto& order = enhancementsInListingOrder();
    std::vector<std::string_view> codes;
    for (const auto* type : order)
        codes.push_back(type->suffixCode);
    ASSERT_EQ(codes.size(), 54u);
    EXPECT_EQ(codes.front(), "NO");
    EXPECT_EQ(codes[6], "TL");
    EXPECT_EQ(codes[7], "KET");
    EXPECT_EQ(codes.back(), "UNL");
}

TEST(Catalogue, EnhancementPopupHoldsEveryTypeOnceIn75Positions)
{
    std::set<int> positions{0};
    std::set<int> marks;
    for (const auto& section : kEnhancementPopupSections) {
        EXPECT_TRUE(marks.insert(section.markPosition).second);
        EXPECT_TRUE(positions.insert(section.markPosition).second);
        for (int i = 0; i < section.count; ++i) {
            const int bit = section.bits[static_cast<std::size_t>(i)];
            EXPECT_EQ(enhancementPopupPosition(kEnhancementTypes[static_cast<std::size_t>(bit)].code()),
                      section.markPosition + 1 + i);
            EXPECT_TRUE(positions.insert(section.markPosition + 1 + i).second);
        }
    }
    EXPECT_EQ(positions.size(), static_cast<std::size_t>(kEnhancementPopupPositions));
    EXPECT_EQ(*positions.rbegin(), kEnhancementPopupPositions - 1);
    EXPECT_EQ(enhancementPopupPosition(findEnhancementByName("Phonograph EQ S (Displacement)")->code()), 21);
    EXPECT_EQ(enhancementPopupPosition(findEnhancementByName("Orvantil Headphones")->code()), 74);
}

TEST(Catalogue, ModesAndOutputFormatsCoverTheFeatureMasks)
{
    const auto& features = SystemFeatures::shared();
    std::uint32_t modes = 0;
    std::set<int> modePositions;
    for (const auto& mode : kModes) {
        modes |= mode.tag;
        modePositions.insert(mode.position);
    }
    EXPECT_EQ(modes, features.mode_types());
    EXPECT_EQ(modePositions.size(), 14u);

    std::uint32_t formats = 0;
    for (const auto& format : kOutputFormats) {
        formats |= format.tag;
        EXPECT_EQ(format.needsSixChannels, format.tag >= 32);
    }
    EXPECT_EQ(formats, features.output_format_types());
    EXPECT_EQ(features.defaultHiResTag(), 1u);
}

}  // namespace
}  // namespace auralune

#include "app/selection_rules.h"

#include "app/settings_model.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace auralune {
namespace {

EnhancementCode code(std::string_view name)
{
    const EnhancementType* type = findEnhancementByName(name);
    EXPECT_NE(type, nullptr) << name;
    return type ? type->code() : 0;
}

bool mentions(const SelectionMessages& messages, bool warning, const std::string& text)
{
    return std::any_of(messages.begin(), messages.end(),
                       [&](const SelectionMessage& m) { return m.warning == warning && m.text == text; });
}

int warnings(const SelectionMessages& messages)
{
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [](auto& m) { return m.warning; }));
}

TEST(AdmissionTable, EveryMemberIsOfferedAsEnhancement2AndNoneIsAlwaysAdmitted)
{
    EnhancementMask offered = kEnhancementNone;
    for (const PopupSection& section : kEnhancementPopupSections)
        if (section.offeredAsEnhancement2)
            for (int i = 0; i < section.count; ++i)
                offered |= EnhancementCode{1} << section.bits[static_cast<std::size_t>(i)];
    EnhancementMask used = 0;
    for (const EnhancementType& type : kEnhancementTypes) {
        const EnhancementMask admitted = admittedEnhancement2(type.code());
        EXPECT_TRUE(admitted & kEnhancementNone) << type.displayName;
        EXPECT_EQ(admitted & ~offered, 0u) << type.displayName;
        used |= admitted;
    }
    // Every section shown in the Enhancement 2 popup is reachable.
    EXPECT_EQ(used, offered);
}

TEST(AdmissionTable, SpotChecksByName)
{
    EXPECT_EQ(admittedEnhancement2(code("None")), kEnhancementNone);
    EXPECT_EQ(admittedEnhancement2(code("High-Quality CD-4 Quadraphonic")), kEnhancementNone);
    EXPECT_EQ(admittedEnhancement2(code("Phonograph EQ S (Displacement)")), 0x4001C0C007CFu);
    EXPECT_EQ(admittedEnhancement2(code("Unlimiting")), 0x1100007CFu);
    EXPECT_EQ(admittedEnhancement2(code("Orvantil Headphones")), kEnhancementNone | code("Groove"));
    EXPECT_TRUE(isAdmittedEnhancement2(code("Hi-Res"), code("Unlimiting")));
    EXPECT_FALSE(isAdmittedEnhancement2(code("Unlimiting"), code("Unlimiting")));
    EXPECT_FALSE(isAdmittedEnhancement2(code("Hi-Res"), code("Hi-Res")));
}

TEST(AdmissionTable, UnknownEnhancement1IsAnAssertion)
{
    EXPECT_DEATH(admittedEnhancement2(EnhancementCode{1} << 60), "Unexpected paramter in");
    EXPECT_DEATH(admittedEnhancement1(3), "Unexpected paramter in");
}

TEST(OutputFormats, ChannelSplittingOnlyWithSixChannels)
{
    EXPECT_EQ(offeredOutputFormats(code("None"), code("KESTRALIN")), (std::vector<std::uint32_t>{1, 2, 4, 8, 16}));
    EXPECT_EQ(offeredOutputFormats(code("Phonograph EQ A1 (RIAA)"), code("Lumora 51 Surround")).size(), 14u);
    EXPECT_FALSE(isOutputFormatOffered(32, code("Hi-Res"), code("None")));
    EXPECT_FALSE(isOutputFormatOffered(3, code("QS Quadraphonic"), code("None")));
}

TEST(Selection, FirstStartGivesNoneEverywhereInModeHeadphones)
{
    MemoryDefaultsStore store;
    CapturingLog log;
    registerDefaults(store, "/music");
    Selection selection = loadSelection(SettingsModel(store, log, "/music"));
    EXPECT_EQ(selection.mode, 64u);
    const SelectionMessages messages = validateSelection(selection);
    EXPECT_EQ(warnings(messages), 0);
    EXPECT_EQ(selection.filterType1, kEnhancementNone);
    EXPECT_EQ(selection.filterType2, kEnhancementNone);
    EXPECT_EQ(selection.outputFormatType, 1u);
}

TEST(Selection, Enhancement2IsRememberedPerGroup)
{
    Selection selection;
    updateMode(selection, 16384);
    updateFilter1(selection, code("Tape EQ A (15 ips CCIR > NAB)"));
    updateFilter2(selection, code("KESTRALIN"));
    EXPECT_EQ(selection.filterDefaults2[21], std::to_string(code("KESTRALIN")));

    updateMode(selection, 2048);
    const SelectionMessages messages = updateFilter1(selection, code("Hi-Res"));
    EXPECT_EQ(selection.filterType2, kEnhancementNone);   // group 14 remembers "None"
    EXPECT_TRUE(mentions(messages, false, "Enhancement 1 changed: Hi-Res (137438953472)"));
    EXPECT_TRUE(mentions(messages, false, "Enhancement 2 changed: None (1)"));

    updateMode(selection, 16384);
    updateFilter1(selection, code("Tape EQ B (15 ips NAB > CCIR)"));
    EXPECT_EQ(selection.filterType2, code("KESTRALIN"));   // the same group 21
}

TEST(Selection, InvalidChoicesAreCorrectedWithOneWarningEach)
{
    Selection selection;
    updateMode(selection, 2);
    updateFilter1(selection, code("Phonograph EQ A1 (RIAA)"));
    updateFilter2(selection, code("Lumora 51 Surround"));
    updateOutputFormatType(selection, 32);

    SelectionMessages messages = updateFilter2(selection, code("None"));
    EXPECT_EQ(selection.outputFormatType, 1u);
    EXPECT_TRUE(mentions(messages, true, "WAV L+R is not supported with this enhancement. Changing to Unchanged"));
    EXPECT_TRUE(mentions(messages, false, "Output format changed: Unchanged (1)"));
    EXPECT_EQ(warnings(messages), 1);

    // A remembered Enhancement 2 that the new Enhancement 1 does not admit.
    selection.filterDefaults2[19] = std::to_string(code("KESTRALIN"));
    updateMode(selection, 8192);
    messages = updateFilter1(selection, code("Groove"));
    EXPECT_TRUE(mentions(messages, true, "KESTRALIN is not supported downstream of Groove"));
    EXPECT_EQ(selection.filterType2, kEnhancementNone);
    EXPECT_EQ(selection.filterDefaults2[19], "1");

    // A stored Enhancement 1 of another mode.
    selection.filterDefaults1[9] = std::to_string(code("Hi-Res"));
    messages = updateMode(selection, 128);
    EXPECT_TRUE(mentions(messages, true, "Hi-Res is not supported with mode Surround"));
    EXPECT_EQ(selection.filterType1, kEnhancementNone);
}

TEST(Selection, StoredChoicesRoundTrip)
{
    MemoryDefaultsStore store;
    CapturingLog log;
    registerDefaults(store, "/music");
    Selection selection;
    updateMode(selection, 4096);
    updateFilter1(selection, code("Zephra"));
    updateFilter2(selection, code("Groove"));
    storeSelection(selection, store);
    Selection loaded = loadSelection(SettingsModel(store, log, "/music"));
    EXPECT_EQ(loaded, selection);
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace auralune

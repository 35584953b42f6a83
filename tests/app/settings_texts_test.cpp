#include "app/settings_texts.h"

#include <gtest/gtest.h>

namespace auralune {
namespace {

TEST(SettingsTexts, SliderTexts)
{
    EXPECT_EQ(customSetGrooveDistortionText(0.0), "Off");
    EXPECT_EQ(customSetGrooveDistortionText(2.0), "Normal");
    EXPECT_EQ(customSetGrooveDistortionText(4.99), "Max");
    EXPECT_FALSE(customSetGrooveDistortionText(5.0));
    EXPECT_FALSE(customSetGrooveDistortionText(-0.5));

    EXPECT_EQ(customSetGrooveNoiseText(-70.0), "Off");
    EXPECT_EQ(customSetGrooveNoiseText(-69.96), "-70.0 dBFS");   // shown like -70 but not off
    EXPECT_EQ(customSetGrooveNoiseText(-50.0), "-50.0 dBFS");
    EXPECT_EQ(customSetAdjustDstR128Text(-16.5), " Adjust loudness of converted files to -16.5 LUFS");
    EXPECT_EQ(customSetLpDistortionCancelStylusRadius(10.0), " LP Distortion Cancellation: Stylus Radius 10.0 \u00b5m");

    EXPECT_EQ(customSetWowSliderText(WowSlider::TonearmSway, 1.25), "1.2 mm");
    EXPECT_EQ(customSetWowSliderText(WowSlider::StartDiameter, 300.0), "300 mm [12 inch]");
    EXPECT_EQ(customSetWowSliderText(WowSlider::StartDiameter, 251.0), "251 mm");
    EXPECT_EQ(customSetWowSliderText(WowSlider::StopDiameter, 175.0), "175 mm [7 inch]");
    EXPECT_EQ(customSetWowSliderText(WowSlider::StopDiameter, 174.6), "175 mm");
    EXPECT_EQ(clipThresholdText(2.0), "2.000");
}

TEST(SettingsTexts, ClipThresholdEntry)
{
    CapturingLog log;
    auto entry = parseClipThreshold("abc", 2.0, log);
    EXPECT_FALSE(entry.accepted);
    EXPECT_EQ(entry.value, 2.0);
    EXPECT_EQ(entry.fieldText, "2.000");
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "<WARNING> Clip threshold abc is not a valid number, so reverting to previous value"});
    log.clear();

    EXPECT_EQ(parseClipThreshold("-1", 1.5, log).fieldText, "1.500");
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "<WARNING> Clip threshold -1 must be positive, so reverting to previous value"});
    log.clear();

    entry = parseClipThreshold("0", 1.5, log);
    EXPECT_TRUE(entry.accepted);
    EXPECT_EQ(entry.value, 0.0);
    EXPECT_EQ(parseClipThreshold("-0", 1.5, log).fieldText, "0.000");
    EXPECT_EQ(parseClipThreshold("1.23456", 1.5, log).value, 1.235);
    EXPECT_EQ(parseClipThreshold(".5", 1.5, log).value, 0.5);
    EXPECT_TRUE(log.lines().empty());

    for (const char* text : {"", ".", "1e3", "1,5", "inf", "0x10", "2-", "-0.0001"}) {
        log.clear();
        entry = parseClipThreshold(text, 1.5, log);
        EXPECT_FALSE(entry.accepted) << text;
        EXPECT_EQ(log.lines().size(), 1u) << text;
    }
}

TEST(SettingsTexts, EnablingRules)
{
    PreferencesState state;
    auto enabled = preferencesEnabling(state);
    EXPECT_FALSE(enabled.dstBwfMetadata);
    EXPECT_FALSE(enabled.adjustDstR128);
    EXPECT_FALSE(enabled.adjustDstR128Level);
    EXPECT_FALSE(enabled.rotationalSpeedWow);

    state.adjustDstR128 = true;
    EXPECT_FALSE(preferencesEnabling(state).adjustDstR128Level);
    state.calculateDstR128 = true;
    enabled = preferencesEnabling(state);
    EXPECT_TRUE(enabled.dstBwfMetadata && enabled.adjustDstR128 && enabled.adjustDstR128Level);
    state.adjustDstR128 = false;
    EXPECT_FALSE(preferencesEnabling(state).adjustDstR128Level);

    state.useWowCorrection = true;
    enabled = preferencesEnabling(state);
    EXPECT_TRUE(enabled.rotationalSpeedWow && enabled.pitchCorrectionWow);
    EXPECT_FALSE(enabled.wowSliders);   // pitch correction 1
    state.pitchCorrectionWow = 2;
    EXPECT_TRUE(preferencesEnabling(state).wowSliders);
    state.useWowCorrection = false;
    EXPECT_FALSE(preferencesEnabling(state).wowSliders);

    state.useLpDistortionCancel = false;
    state.useHumRemovalCD4 = true;
    enabled = preferencesEnabling(state);
    EXPECT_FALSE(enabled.lpDistortionStylusRadius);
    EXPECT_FALSE(enabled.useHumRemovalBassCompensation);
    EXPECT_TRUE(enabled.useHumRemovalBassCompensationCD4);
}

TEST(SettingsTexts, WowDiameterInterlock)
{
    auto moved = interlockWowDiameters({150.0, 200.0}, WowSlider::StartDiameter);
    EXPECT_EQ(moved.start, 150.0);
    EXPECT_EQ(moved.stop, 150.0);
    moved = interlockWowDiameters({300.0, 120.0}, WowSlider::StartDiameter);
    EXPECT_EQ(moved.start, 300.0);
    EXPECT_EQ(moved.stop, 120.0);
}

TEST(SettingsTexts, ChangeLines)
{
    EXPECT_EQ(settingChangedText("ClipManagement", "", SettingValue(std::uint64_t{2})),
              "Clip management changed to automatically clamp samples which clip");
    EXPECT_FALSE(settingChangedText("ClipManagement", "", SettingValue(std::uint64_t{3})));
    EXPECT_EQ(settingChangedText("ClipThreshold", "1.500", SettingValue(1.5)), "Clip threshold changed to 1.500dB");
    EXPECT_EQ(settingChangedText("HiResType", "Enabled", SettingValue(std::uint64_t{1})), "Hi-Res changed: Enabled (1)");
    EXPECT_EQ(settingChangedText("FilterType_1", "KESTRALIN", SettingValue(std::uint64_t{2})),
              "Enhancement 1 changed: KESTRALIN (2)");
    EXPECT_FALSE(settingChangedText("ShowFileExt", "YES", SettingValue(true)));
}

}  // namespace
}  // namespace auralune

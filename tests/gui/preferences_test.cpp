// The preferences window: what each control posts and stores, the clip
// threshold field, the enabling rules, the wow interlock, the reset buttons
// and when a change reaches a conversion.

#include "gui_fixture.h"

#include "app/settings_help.h"
#include "gui/settings_controller.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <set>

using namespace auralune;
using namespace auralune::test;

namespace {

// Every settings notification posted, by name, in order.
struct PostedNames {
    explicit PostedNames(NotificationCenter& center)
    {
        for (std::string_view name : kSettingsNotificationNames)
            center.observe(std::string(name), [this](const Notification& n) { names.push_back(n.name); });
    }
    std::vector<std::string> names;
};

std::string stored(GuiPlatform& p, const char* key)
{
    const auto value = p.defaults.stored(key);
    return value ? std::get<std::string>(*value) : std::string("<none>");
}

QCheckBox* check(SettingsController& window, std::string_view key)
{
    return qobject_cast<QCheckBox*>(window.control(key));
}

QSlider* slider(SettingsController& window, std::string_view key)
{
    return qobject_cast<QSlider*>(window.control(key));
}

// Moves a slider as the keyboard does (one change, not dragged).
void slide(SettingsController& window, std::string_view key, double value)
{
    const PreferenceControl* row = findPreferenceControl(key);
    slider(window, key)->setValue(static_cast<int>(std::lround((value - row->minimum) / row->step)));
}

void typeClipThreshold(SettingsController& window, const QString& text)
{
    auto* field = qobject_cast<QLineEdit*>(window.control("ClipThreshold"));
    field->setText(text);
    emit field->editingFinished();
}

}  // namespace

class PreferencesTest : public QObject {
    Q_OBJECT
private slots:
    void toolbarItemsSelectTabsAndTitleTheWindow()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        QCOMPARE(prefs.windowTitle(), QString("General"));
        prefs.toolbarItem(PreferencesTab::Wow)->trigger();
        QCOMPARE(prefs.currentTab(), PreferencesTab::Wow);
        QCOMPARE(prefs.windowTitle(), QString("Wow!"));
        QVERIFY(prefs.toolbarItem(PreferencesTab::Wow)->isChecked());
        QVERIFY(!prefs.toolbarItem(PreferencesTab::General)->isChecked());
        QVERIFY(!window->preferencesAction()->shortcut().isEmpty());
    }

    // Each control kind stores its value through its notification, under
    // the key's stored form, and logs its line.
    void controlsPostTheirNotifications()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        PostedNames posted(p.notifications);

        check(prefs, "UseZephra")->click();
        QCOMPARE(stored(p, "UseZephra"), std::string("NO"));
        QVERIFY(p.log.contains("<Info> Zephra changed: NO"));
        // A tab notification carries the whole tab.
        QCOMPARE(stored(p, "UseRumbleFilter"), std::string("YES"));
        QCOMPARE(stored(p, "LpDistortionStylusRadius"), std::string("10.000000"));

        auto* regime = qobject_cast<QComboBox*>(prefs.control("PhonographRegime"));
        regime->setCurrentIndex(regime->findData(2));
        emit regime->activated(regime->currentIndex());
        QCOMPARE(stored(p, "PhonographRegime"), std::string("2"));
        QVERIFY(p.log.contains("<Info> Phonograph regime changed: Mono (L+R) (2)"));

        prefs.findChild<QRadioButton*>("clipManagementRadio_4")->click();
        QCOMPARE(stored(p, "ClipManagement"), std::string("4"));
        QVERIFY(p.log.contains("<Info> Clip management changed to attenuate entire audio files"));

        slide(prefs, "GrooveNoise", -70.0);
        QCOMPARE(prefs.valueLabel("GrooveNoise")->text(), QString("Off"));
        QCOMPARE(stored(p, "GrooveNoise"), std::string("-70.000000"));

        auto* simultaneous = qobject_cast<QSpinBox*>(prefs.control("SimultaneousConversions"));
        simultaneous->setValue(3);
        emit simultaneous->editingFinished();
        QCOMPARE(stored(p, "SimultaneousConversions"), std::string("3"));
        QVERIFY(p.log.contains("<Info> Simultaneous conversions changed to 3"));
        // Out of range is out of reach.
        simultaneous->setValue(65);
        QCOMPARE(simultaneous->value(), 64);

        const std::vector<std::string> expected{std::string(kSettingsUpdatePhonographTab),
                                                std::string(kSettingsUpdatePhonographTab),
                                                std::string(kSettingsUpdateClipManagement),
                                                std::string(kSettingsUpdateGrooveNoise),
                                                std::string(kSettingsUpdateSimultaneousConversions)};
        QCOMPARE(posted.names, expected);
    }

    void slidersShowTheirValueTexts()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        slide(prefs, "StartDiameterWow", 250.0);
        QCOMPARE(prefs.valueLabel("StartDiameterWow")->text(), QString("250 mm [10 inch]"));
        slide(prefs, "StartDiameterWow", 251.0);
        QCOMPARE(prefs.valueLabel("StartDiameterWow")->text(), QString("251 mm"));
        slide(prefs, "GrooveDistortion", 4.0);
        QCOMPARE(prefs.valueLabel("GrooveDistortion")->text(), QString("Max"));
        slide(prefs, "AdjustDstR128Level", -23.0);
        QCOMPARE(check(prefs, "AdjustDstR128")->text(), QString(" Adjust loudness of converted files to -23.0 LUFS"));
        QCOMPARE(stored(p, "AdjustDstR128Level"), std::string("-23.000000"));
        slide(prefs, "LpDistortionStylusRadius", 12.5);
        QCOMPARE(check(prefs, "UseLpDistortionCancel")->text(),
                 QString::fromUtf8(" LP Distortion Cancellation: Stylus Radius 12.5 µm"));
    }

    void loudnessTargetAtItsValuePostsNothing()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        PostedNames posted(p.notifications);
        slide(prefs, "AdjustDstR128Level", -16.5);   // the default
        QVERIFY(posted.names.empty());
    }

    void clipThresholdRevertsBadEntries_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QString>("storedValue");
        QTest::newRow("not a number") << "abc" << "2.000" << "<WARNING> Clip threshold abc is not a valid number, so reverting to previous value" << "<none>";
        QTest::newRow("negative") << "-1" << "2.000" << "<WARNING> Clip threshold -1 must be positive, so reverting to previous value" << "<none>";
        QTest::newRow("zero") << "0" << "0.000" << "" << "0.000000";
        QTest::newRow("rounded") << "1.23456" << "1.235" << "" << "1.235000";
    }

    void clipThresholdRevertsBadEntries()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, warning);
        QFETCH(QString, storedValue);
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        PostedNames posted(p.notifications);
        typeClipThreshold(prefs, typed);
        QCOMPARE(qobject_cast<QLineEdit*>(prefs.control("ClipThreshold"))->text(), shown);
        QCOMPARE(QString::fromStdString(stored(p, "ClipThreshold")), storedValue);
        QCOMPARE(posted.names.size(), std::size_t{warning.isEmpty() ? 1u : 0u});
        if (!warning.isEmpty())
            QVERIFY(p.log.contains(warning.toStdString()));
    }

    // Each toggle re-applies the rules; a control whose processing is not
    // written stays disabled whatever they say.
    void enablingRulesFollowEachToggle()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        auto expect = [&](std::string_view key, bool rule) {
            if (prefs.control(key)->isEnabled() != (rule && settingAvailable(key)))
                QFAIL(qPrintable(QString::fromUtf8(key.data(), static_cast<int>(key.size()))));
        };
        auto toggle = [&](std::string_view key) {
            prefs.setSettingValue(key, SettingValue(!std::get<bool>(prefs.heldValue(key))));
        };

        expect("DstBwfMetadata", false);
        expect("AdjustDstR128", false);
        expect("AdjustDstR128Level", false);
        toggle("CalculateDstR128");
        expect("DstBwfMetadata", true);
        expect("AdjustDstR128", true);
        expect("AdjustDstR128Level", false);
        toggle("AdjustDstR128");
        expect("AdjustDstR128Level", true);
        toggle("CalculateDstR128");
        expect("AdjustDstR128Level", false);
        expect("AdjustDstR128", false);

        expect("LpDistortionStylusRadius", true);
        check(prefs, "UseLpDistortionCancel")->click();
        expect("LpDistortionStylusRadius", false);
        expect("UseHumRemovalBassCompensation", false);
        check(prefs, "UseHumRemoval")->click();
        expect("UseHumRemovalBassCompensation", true);
        toggle("UseHumRemovalCD4");
        expect("UseHumRemovalBassCompensationCD4", true);
    }

    // Wow correction and the sliders that need pitch correction 2. Until
    // the correction exists its tab is shown disabled.
    void wowRulesAndInterlock()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        for (std::string_view key : {"UseWowCorrection", "TonearmSwayWow", "StartDiameterWow"})
            QCOMPARE(prefs.control(key)->isEnabled(), settingAvailable("UseWowCorrection") && key == "UseWowCorrection");
        QCOMPARE(prefs.control("UseWowCorrection")->toolTip().toStdString() == kNotAvailableYet,
                 !settingAvailable("UseWowCorrection"));

        prefs.setSettingValue("UseWowCorrection", SettingValue(true));
        QVERIFY(!slider(prefs, "StartDiameterWow")->isEnabled() || !settingAvailable("UseWowCorrection"));
        prefs.setSettingValue("PitchCorrectionWow", SettingValue(std::uint64_t{2}));
        QCOMPARE(slider(prefs, "StartDiameterWow")->isEnabled(), settingAvailable("UseWowCorrection"));

        prefs.resetGroup(kResetWow);   // 300 and 120 mm
        slide(prefs, "StartDiameterWow", 100.0);
        QCOMPARE(std::get<double>(prefs.heldValue("StopDiameterWow")), 100.0);
        QCOMPARE(slider(prefs, "StopDiameterWow")->value(), slider(prefs, "StartDiameterWow")->value());
        QCOMPARE(stored(p, "StopDiameterWow"), std::string("100.000000"));
        slide(prefs, "StopDiameterWow", 175.0);
        QCOMPARE(std::get<double>(prefs.heldValue("StartDiameterWow")), 175.0);
        QCOMPARE(prefs.valueLabel("StartDiameterWow")->text(), QString("175 mm [7 inch]"));
        QCOMPARE(stored(p, "StartDiameterWow"), std::string("175.000000"));
    }

    // Each reset button stores its group's values, posts the group's
    // notifications and leaves every other key as it was.
    void resetButtonsPostTheirSetsOnly()
    {
        for (const PreferencesReset& reset : kPreferencesResets) {
            GuiPlatform p;
            auto window = p.window();
            SettingsController& prefs = *window->preferences();
            for (const PreferenceControl& row : preferenceControls()) {
                const SettingDefinition* setting = findSetting(row.key);
                // Away from both default and reset value, within each key's rule.
                switch (setting->type) {
                case SettingType::Switch:
                    prefs.setSettingValue(row.key, SettingValue(!std::get<bool>(prefs.heldValue(row.key))));
                    break;
                case SettingType::Tag:
                    prefs.setSettingValue(row.key, row.kind == ControlKind::Number
                                                       ? SettingValue(static_cast<std::uint64_t>(row.minimum + row.step))
                                                       : SettingValue(findSettingHelp(row.key)->choices.back().tag));
                    break;
                default:
                    prefs.setSettingValue(row.key, SettingValue(row.kind == ControlKind::Field ? 7.0 : row.minimum + row.step));
                    break;
                }
            }
            std::map<std::string, std::string> before;
            for (const PreferenceControl& row : preferenceControls())
                before[std::string(row.key)] = stored(p, std::string(row.key).c_str());

            PostedNames posted(p.notifications);
            prefs.resetButton(reset.group)->click();
            std::set<std::string> expectedNames;
            for (const SettingDefinition* setting : settingsOfResetGroup(reset.group))
                expectedNames.insert(std::string(setting->notification));
            QCOMPARE(std::set<std::string>(posted.names.begin(), posted.names.end()), expectedNames);
            QCOMPARE(posted.names.size(), expectedNames.size());

            MemoryDefaultsStore resetValues;
            applyResetGroup(resetValues, reset.group);
            for (const PreferenceControl& row : preferenceControls()) {
                const std::string key(row.key);
                const auto expected = resetValues.stored(key);
                const std::string want = expected ? std::get<std::string>(*expected) : before[key];
                if (stored(p, key.c_str()) != want)
                    QFAIL(qPrintable(QString::fromStdString(key + " is " + stored(p, key.c_str()) + ", expected " + want)));
            }
        }
    }

    void everyControlSaysWhatItDoes()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        for (const PreferenceControl& row : preferenceControls()) {
            const QString tip = prefs.control(row.key)->toolTip();
            QVERIFY2(tip.endsWith('.') || tip.toStdString() == kNotAvailableYet, row.outlet.data());
            QCOMPARE(tip.toStdString() == kNotAvailableYet, !settingAvailable(row.key));
            if (tip.toStdString() == kNotAvailableYet)
                QVERIFY2(!prefs.control(row.key)->isEnabled(), row.outlet.data());
        }
    }

    // The suppression boxes of the dialogs go through the window.
    void dialogSuppressionUpdatesTheWindow()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        prefs.updateClipManagement(2);
        QVERIFY(prefs.findChild<QRadioButton*>("clipManagementRadio_2")->isChecked());
        QCOMPARE(stored(p, "ClipManagement"), std::string("2"));
        prefs.updateWarnPreprocess(false);
        QVERIFY(!check(prefs, "WarnPreprocess")->isChecked());
        QCOMPARE(stored(p, "WarnPreprocess"), std::string("NO"));
    }

    void helpAndMailOpenTheirPages()
    {
        GuiPlatform p;
        std::vector<QUrl> opened;
        MainWindow::Options options;
        options.preferences.supportAddress = "help@example.org";
        options.preferences.guideUrl = "https://example.org/guide/";
        options.preferences.openUrl = [&](const QUrl& url) { opened.push_back(url); };
        auto window = p.window(options);
        SettingsController& prefs = *window->preferences();
        prefs.findChild<QPushButton*>("preferencesCD4HelpButton")->click();
        prefs.findChild<QPushButton*>("emailSupportButton")->click();
        QCOMPARE(opened.size(), std::size_t{2});
        QCOMPARE(opened[0].toString(), QString("https://example.org/guide/cd4-quadraphonic.md"));
        QVERIFY(opened[1].toString(QUrl::FullyEncoded).startsWith("mailto:help@example.org?Subject=Auralune%20support%20"));
        QVERIFY(p.log.contains("<Info> Mailto:" + opened[1].toString(QUrl::FullyEncoded).toStdString()));
    }

    // A job converts with the settings of the moment its pass started.
    void changeReachesTheNextConversionOnly()
    {
        GuiPlatform p;
        auto window = p.window();
        SettingsController& prefs = *window->preferences();
        QueueController& queue = window->controller();
        window->queueFiles({p.wav("first.wav")});
        QTRY_COMPARE(queue.size(), std::size_t{1});
        QTRY_COMPARE(queue.job(0).state.load(), kStateAnalysed);

        queue.processAudioLock().lock();   // the pass waits at the lock, its snapshot taken
        QCOMPARE(queue.processQueue(ConvertSender::ConvertButton), std::size_t{1});
        typeClipThreshold(prefs, "5");
        queue.processAudioLock().unlock();
        QTRY_COMPARE_WITH_TIMEOUT(queue.job(0).state.load(), kStateConverted, 20000);
        QCOMPARE(queue.job(0).settings.clipThreshold, 2.0);

        window->queueFiles({p.wav("second.wav")});
        QTRY_COMPARE(queue.size(), std::size_t{2});
        QTRY_COMPARE(queue.job(1).state.load(), kStateAnalysed);
        QCOMPARE(queue.processQueue(ConvertSender::Other, {1}), std::size_t{1});
        QTRY_COMPARE_WITH_TIMEOUT(queue.job(1).state.load(), kStateConverted, 20000);
        QCOMPARE(queue.job(1).settings.clipThreshold, 5.0);
    }
};

QTEST_MAIN(PreferencesTest)
#include "preferences_test.moc"

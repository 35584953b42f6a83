#pragma once

#include "app/preferences_layout.h"
#include "app/settings_model.h"
#include "engine/settings_snapshot.h"
#include "platform/platform.h"

#include <QMainWindow>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <string>
#include <string_view>

class QAbstractButton;
class QAction;
class QLabel;
class QStackedWidget;

namespace auralune {

// The preferences window: one tab per group of settings, built from the
// control list of app/preferences_layout.h. It holds a copy of every value
// it was given and has since posted; each change is logged and posted as
// its settings notification, which the queue controller stores. It never
// writes the defaults store itself.
class SettingsController final : public QMainWindow, public SettingsControllerInterface {
    Q_OBJECT
public:
    struct Options {
        QString homeUrl = QStringLiteral(AURALUNE_HOME_URL);
        QString releasesUrl = QStringLiteral(AURALUNE_RELEASES_URL);
        QString guideUrl = QStringLiteral(AURALUNE_GUIDE_URL);   // the folder of the guide's pages
        QString supportAddress = QStringLiteral(AURALUNE_SUPPORT_ADDRESS);   // empty: no mail button
        // Opens web pages and mail; the desktop's default handler when null.
        std::function<void(const QUrl&)> openUrl;
    };

    SettingsController(const Platform& platform, const SettingsModel& settings, Options options,
                       QWidget* parent = nullptr);

    // The dialogs' suppression boxes; also the programmatic sender of the
    // update actions: the control follows, the change is logged and posted.
    void updateWarnPreprocess(bool warn) override;
    void updateClipManagement(int tag) override;
    void setSettingValue(std::string_view key, const SettingValue& value);

    void showPreferencesTab(PreferencesTab tab);
    PreferencesTab currentTab() const { return tab_; }
    QAction* toolbarItem(PreferencesTab tab) const;

    // The value held for a key, as last received or posted.
    const SettingValue& heldValue(std::string_view key) const;
    // The control of a key (check box, pop-up, radio group box, slider or
    // field), the text beside a slider, a reset button by its group.
    QWidget* control(std::string_view key) const;
    QLabel* valueLabel(std::string_view key) const;
    QAbstractButton* resetButton(unsigned group) const;

    // Applies a reset group's values, logs them and posts every
    // notification of the group.
    void resetGroup(unsigned group);
    // Opens the user guide page of a tab.
    void openHelp(PreferencesTab tab);
    void sendSupportEmail();

private:
    QWidget* buildTab(PreferencesTab tab);
    QWidget* buildControl(const PreferenceControl& row);
    QWidget* buildFeatures();
    QWidget* buildAbout();

    void userChanged(const PreferenceControl& row, const SettingValue& value);
    void sliderMoved(const PreferenceControl& row, int position, bool post);
    void clipThresholdEdited();
    void store(std::string_view key, const SettingValue& value);
    void showValue(const PreferenceControl& row);
    void refreshValueText(const PreferenceControl& row);
    void showValueText(const PreferenceControl& row, double value);
    void applyEnabling();
    void logChange(std::string_view key);
    void post(std::string_view notification);
    void open(const QUrl& url);

    const Platform& platform_;
    Options options_;
    std::map<std::string, SettingValue, std::less<>> values_;
    std::map<std::string, QWidget*, std::less<>> controls_;
    std::map<std::string, QLabel*, std::less<>> valueLabels_;
    std::map<unsigned, QAbstractButton*> resetButtons_;
    std::map<PreferencesTab, QAction*> toolbarItems_;
    QStackedWidget* pages_ = nullptr;
    PreferencesTab tab_ = PreferencesTab::General;
    bool showing_ = false;   // controls being set from values: no posts
};

}  // namespace auralune

#pragma once

#include "gui/main_window.h"
#include "gui/popup_items.h"
#include "gui/qt_alert_presenter.h"
#include "platform/alerts.h"
#include "platform/clock.h"
#include "platform/defaults_store.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/platform.h"
#include "platform/qt/qt_main_thread.h"
#include "platform/random_source.h"
#include "support/queue_fixture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>

// Waits, serving the event loop, until `condition` holds. No deadline:
// passes on a loaded machine take what they take, and a condition that never
// holds is caught by the test runner's time limit.
#define AURALUNE_WAIT_FOR(condition)                \
    do {                                            \
        while (!(condition))                        \
            QTest::qWait(5);                        \
    } while (false)

namespace auralune::test {

// The window's services as test doubles, except the main thread (the Qt
// event loop) and the dialogs (the Qt presenter, answered by a function).
struct GuiPlatform {
    CapturingLog log;
    MemoryDefaultsStore defaults;
    NotificationCenter notifications;
    QtMainThread mainThread;
    QtAlertPresenter alerts;
    CountingBeeper beeper;
    ManualClock clock;
    SequenceRandomSource random{{0x80000000u}};
    Platform platform{log, defaults, notifications, mainThread, alerts, beeper, clock, random};

    GuiPlatform()
    {
        alerts.setAnswerFunction([](const Alert&) { return AlertAnswer{}; });
        // One pass at a time unless a test asks for more, whatever the machine.
        defaults.setString("SimultaneousConversions", "1");
    }

    // Runs the refreshes the passes posted while the services still exist.
    ~GuiPlatform() { QCoreApplication::sendPostedEvents(); }

    std::unique_ptr<MainWindow> window(MainWindow::Options options = {})
    {
        if (options.musicFolder.empty())
            options.musicFolder = folder.path().string();
        options.desktopNotifications = false;
        if (!options.workspace)
            options.workspace = &workspace;
        return std::make_unique<MainWindow>(platform, options);
    }

    // A short 16-bit stereo 44.1 kHz WAV file in the test's folder.
    std::string wav(const std::string& name) const
    {
        std::vector<std::uint8_t> samples(4 * 441, 0);
        const auto path = folder.path() / name;
        writeFile(path, RiffBuilder().fmt(2, 44100, 16).chunk("data", samples).image());
        return path.string();
    }

    TempDir folder;
    RecordingWorkspace workspace;
};

// Chooses an item as the user does: selects it and sends activated().
inline bool choose(QComboBox* popup, quint64 tag)
{
    const int row = popupRowOfTag(popup, tag);
    if (row < 0 || isPopupRowHidden(popup, row))
        return false;
    popup->setCurrentIndex(row);
    emit popup->activated(row);
    return true;
}

inline constexpr quint64 bitCode(int bit)
{
    return quint64{1} << bit;
}

}  // namespace auralune::test

#include "engine/assertion.h"
#include "enhance/availability.h"
#include "gui/main_window.h"
#include "gui/drop_view.h"
#include "gui/qt_alert_presenter.h"
#include "gui/queue_table_model.h"
#include "platform/clock.h"
#include "platform/file_log.h"
#include "platform/notification_center.h"
#include "platform/platform.h"
#include "platform/qt/qt_defaults_store.h"
#include "platform/qt/qt_main_thread.h"
#include "platform/qt/standard_locations.h"
#include "platform/random_source.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QTimer>
#include <QTranslator>

#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace auralune;

    QApplication app(argc, argv);
    // The same names as the command-line tool, so both share the settings.
    QApplication::setApplicationName(QStringLiteral("Auralune"));
    QApplication::setOrganizationName(QStringLiteral("Auralune"));
    QApplication::setApplicationVersion(QStringLiteral(AURALUNE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("auralune"));
    // AURALUNE_DARK=1: the Fusion style with a dark palette, to check (and
    // picture) the window on dark desktops.
    if (qEnvironmentVariableIsSet("AURALUNE_DARK")) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QPalette dark;
        const QColor window(53, 53, 53), base(35, 35, 35);
        dark.setColor(QPalette::Window, window);
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::Base, base);
        dark.setColor(QPalette::AlternateBase, window);
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::Button, window);
        dark.setColor(QPalette::ButtonText, Qt::white);
        dark.setColor(QPalette::ToolTipBase, base);
        dark.setColor(QPalette::ToolTipText, Qt::white);
        dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
        dark.setColor(QPalette::HighlightedText, Qt::black);
        dark.setColor(QPalette::Link, QColor(90, 169, 255));
        dark.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
        dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
        dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
        QApplication::setPalette(dark);
    }

    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    FileLog log(FileLog::defaultPath(), FileLog::standardErrorIsTerminal());
    setAssertionLog(&log);
    QtDefaultsStore defaults;
    NotificationCenter notifications;
    QtMainThread mainThread;
    QtAlertPresenter alerts;
    QtBeeper beeper;
    SystemClock clock;
    SystemRandomSource random;
    Platform platform{log, defaults, notifications, mainThread, alerts, beeper, clock, random};

    MainWindow::Options options;
    options.musicFolder = musicFolder();
    options.available = enhancementAvailable;
    MainWindow window(platform, options);
    alerts.setParent(&window);
    window.show();

    std::vector<std::string> files;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        files.push_back(arguments[i].toStdString());
    if (!files.empty())
        window.queueFiles(files);

    // AURALUNE_SCREENSHOT=<png>: convert the queued files half-way through
    // AURALUNE_SCREENSHOT_DELAY_MS (default 2000), then save a picture of the
    // window and quit; for the documentation's screenshot.
    const QString screenshot = qEnvironmentVariable("AURALUNE_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        bool valid = false;
        int delay = qEnvironmentVariableIntValue("AURALUNE_SCREENSHOT_DELAY_MS", &valid);
        delay = valid ? delay : 2000;
        QTimer::singleShot(delay / 2, &window, [&window] { window.processQueueFromToolbar(); });
        // AURALUNE_SCREENSHOT_PREFERENCES=<png>: the preferences window's
        // Phonograph EQ tab as well.
        // The destination column would show the temporary folder the
        // screenshot script works in.
        window.tableView()->setColumnHidden(QueueTableModel::column(TableText::DestinationName), true);
        const QString preferences = qEnvironmentVariable("AURALUNE_SCREENSHOT_PREFERENCES");
        if (!preferences.isEmpty()) {
            window.preferences()->showPreferencesTab(auralune::PreferencesTab::Phonograph);
            window.preferences()->show();
        }
        QTimer::singleShot(delay, &window, [&window, screenshot, preferences] {
            window.grab().save(screenshot);
            if (!preferences.isEmpty())
                window.preferences()->grab().save(preferences);
            // Ends the loop without closing the window, which would ask
            // about the files still converting.
            QCoreApplication::exit(0);
        });
    }

    const int status = QApplication::exec();
    window.saveWindowState();
    window.controller().applicationWillTerminate();
    defaults.sync();
    // Passes are not waited for: with one still running, end here rather
    // than tear down the services it uses.
    if (window.hasActivePasses())
        std::_Exit(status);
    return status;
}

#include "gui/desktop_services.h"

#include "app/metrics_report.h"

#include <QClipboard>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <utility>

namespace auralune {

namespace {

// File names are bytes on Linux; the locale's codec maps them as the file
// system does.
QString localPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

DesktopServices::DesktopServices(QObject* parent) : DesktopServices(Options{}, parent) {}

DesktopServices::DesktopServices(Options options, QObject* parent) : QObject(parent), options_(std::move(options))
{
    if (!options_.openUrl)
        options_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

QStringList DesktopServices::fileUris(const std::vector<std::string>& paths)
{
    QStringList uris;
    for (const std::string& path : paths)
        uris << QUrl::fromLocalFile(localPath(path)).toString(QUrl::FullyEncoded);
    return uris;
}

void DesktopServices::openFile(const std::string& path)
{
    options_.openUrl(QUrl::fromLocalFile(localPath(path)));
}

void DesktopServices::openFolder(const std::string& path)
{
    options_.openUrl(QUrl::fromLocalFile(localPath(path)));
}

void DesktopServices::openContainingFolders(const std::vector<std::string>& paths)
{
    QStringList folders;
    for (const std::string& path : paths) {
        const QString folder = QFileInfo(localPath(path)).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    for (const QString& folder : folders)
        options_.openUrl(QUrl::fromLocalFile(folder));
}

void DesktopServices::revealFiles(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return;
    if (!options_.bus.isConnected()) {
        openContainingFolders(paths);
        emit revealFinished(false);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(options_.fileManagerService, options_.fileManagerPath,
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    // No startup notification id: the file manager raises its own window.
    call << fileUris(paths) << QString();
    auto* watcher = new QDBusPendingCallWatcher(options_.bus.asyncCall(call, options_.timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, paths](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const bool shown = !finished->isError();
        if (!shown)
            openContainingFolders(paths);
        emit revealFinished(shown);
    });
}

bool DesktopServices::writeToPasteBoard(const std::vector<std::string>& lines)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const QString text = QString::fromStdString(metricsReportText(lines));
    clipboard->setText(text);
    return clipboard->text() == text;
}

}  // namespace auralune

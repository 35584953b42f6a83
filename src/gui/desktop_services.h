#pragma once

#include "app/workspace.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <string>
#include <vector>

namespace auralune {

// The Linux desktop behind the file table's commands. Files are revealed by
// the file manager's org.freedesktop.FileManager1 service on the session
// bus, which selects them in one window; when no file manager answers, their
// folders are opened instead. Files and folders open with the desktop's
// default application; text goes to the clipboard.
class DesktopServices final : public QObject, public Workspace {
    Q_OBJECT
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    struct Options {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
        QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
        // QDesktopServices::openUrl unless a test records the calls.
        UrlOpener openUrl;
        // A file manager started by the call may take a few seconds.
        int timeoutMs = 10000;
    };

    explicit DesktopServices(QObject* parent = nullptr);
    explicit DesktopServices(Options options, QObject* parent = nullptr);

    void openFile(const std::string& path) override;
    // Asks the file manager without waiting for it; revealFinished tells
    // how it went.
    void revealFiles(const std::vector<std::string>& paths) override;
    void openFolder(const std::string& path) override;
    bool writeToPasteBoard(const std::vector<std::string>& lines) override;

    // The URIs ShowItems receives: file URLs with every reserved or
    // non-ASCII byte percent-encoded.
    static QStringList fileUris(const std::vector<std::string>& paths);

signals:
    // After revealFiles: true when the file manager took the files, false
    // when their folders were opened instead.
    void revealFinished(bool byFileManager);

private:
    void openContainingFolders(const std::vector<std::string>& paths);

    Options options_;
};

}  // namespace auralune

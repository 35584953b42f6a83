#include "gui/desktop_services.h"
#include "gui_fixture.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusError>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

namespace auralune {

// Stands in for the file manager on the private session bus of the test.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        if (startupId.isEmpty())
            shown << uris;
    }
};

class DesktopServicesTest : public QObject {
    Q_OBJECT

private:
    // A file manager on a connection of its own, so every call crosses the bus.
    QDBusConnection fileManagerBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "file-manager");
    FakeFileManager fileManager;
    QList<QUrl> opened;
    const std::vector<std::string> paths{"/music/My Records/Été à Paris.wav", "/music/My Records/b&c #1.flac",
                                         "/music/other/x.aif"};

    DesktopServices::Options options(const QString& service)
    {
        DesktopServices::Options o;
        o.fileManagerService = service;
        o.openUrl = [this](const QUrl& url) {
            opened << url;
            return true;
        };
        return o;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(fileManagerBus.isConnected(), "the tests run under a private session bus");
        QVERIFY(fileManagerBus.registerObject("/org/freedesktop/FileManager1", &fileManager,
                                              QDBusConnection::ExportAllSlots));
        QVERIFY(fileManagerBus.registerService("org.freedesktop.FileManager1"));
    }
    void init()
    {
        fileManager.shown.clear();
        opened.clear();
    }

    void urisAreFullyEncoded()
    {
        QCOMPARE(DesktopServices::fileUris(paths),
                 QStringList({"file:///music/My%20Records/%C3%89t%C3%A9%20%C3%A0%20Paris.wav",
                              "file:///music/My%20Records/b&c%20%231.flac", "file:///music/other/x.aif"}));
    }

    void fileManagerShowsTheFilesTogether()
    {
        DesktopServices services(options("org.freedesktop.FileManager1"));
        QSignalSpy finished(&services, &DesktopServices::revealFinished);
        services.revealFiles(paths);
        AURALUNE_WAIT_FOR(finished.count() == 1);
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QCOMPARE(fileManager.shown, QList<QStringList>({DesktopServices::fileUris(paths)}));
        QVERIFY(opened.isEmpty());
    }

    void foldersOpenWhenNoFileManagerAnswers()
    {
        const QList<QUrl> folders{QUrl::fromLocalFile("/music/My Records"), QUrl::fromLocalFile("/music/other")};

        // Nobody owns the name.
        DesktopServices missing(options("org.auralune.test.NoFileManager"));
        QSignalSpy missingFinished(&missing, &DesktopServices::revealFinished);
        missing.revealFiles(paths);
        AURALUNE_WAIT_FOR(missingFinished.count() == 1);
        QCOMPARE(missingFinished.at(0).at(0).toBool(), false);
        QCOMPARE(opened, folders);

        // The name is owned but the call fails.
        opened.clear();
        DesktopServices::Options wrongPath = options("org.freedesktop.FileManager1");
        wrongPath.fileManagerPath = "/org/auralune/Nothing";
        DesktopServices failing(wrongPath);
        QSignalSpy failingFinished(&failing, &DesktopServices::revealFinished);
        failing.revealFiles(paths);
        AURALUNE_WAIT_FOR(failingFinished.count() == 1);
        QCOMPARE(opened, folders);

        // No bus at all: at once.
        opened.clear();
        DesktopServices::Options noBus = options("org.freedesktop.FileManager1");
        noBus.bus = QDBusConnection("auralune-not-connected");
        DesktopServices offline(noBus);
        offline.revealFiles(paths);
        QCOMPARE(opened, folders);
        QVERIFY(fileManager.shown.isEmpty());
    }

    void filesAndFoldersOpenWithTheirApplications()
    {
        DesktopServices services(options("org.freedesktop.FileManager1"));
        services.openFile(paths[0]);
        services.openFolder("/music/My Records");
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(QString::fromUtf8("/music/My Records/Été à Paris.wav")),
                                      QUrl::fromLocalFile("/music/My Records")}));
    }

    void reportLinesGoToTheClipboardOneLineEach()
    {
        DesktopServices services(options("org.freedesktop.FileManager1"));
        QVERIFY(services.writeToPasteBoard({"==== SOURCE AUDIO FILE 1 ====", "File Name = /music/é.wav", ""}));
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString::fromUtf8("==== SOURCE AUDIO FILE 1 ====\nFile Name = /music/é.wav\n\n"));
    }
};

}  // namespace auralune

QTEST_MAIN(auralune::DesktopServicesTest)
#include "desktop_services_test.moc"

// The cascade of the four popups through the real combo boxes: which
// entries are hidden, what is selected after each change, what is stored.

#include "gui_fixture.h"

#include "app/settings_keys.h"
#include "engine/catalogue.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace auralune;
using namespace auralune::test;

namespace {

constexpr quint64 kNone = 1;
constexpr quint64 kKestralin = bitCode(1);
constexpr quint64 kQuillmere = bitCode(6);
constexpr quint64 kLumora20 = bitCode(7);
constexpr quint64 kLumora51 = bitCode(8);
constexpr quint64 kA1 = bitCode(11);
constexpr quint64 kOrvantilHeadphones = bitCode(21);
constexpr quint64 kGroove = bitCode(28);
constexpr quint64 kHum = bitCode(34);
constexpr quint64 kHiRes = bitCode(37);
constexpr quint64 kTapeA = bitCode(49);

// The codes of the shown, selectable entries.
std::vector<quint64> shownTags(const QComboBox* popup)
{
    std::vector<quint64> tags;
    for (int row = 0; row < popup->count(); ++row)
        if (!isPopupRowHidden(popup, row) && popupTag(popup, row) != 0)
            tags.push_back(popupTag(popup, row));
    return tags;
}

std::vector<int> shownMarks(const QComboBox* popup)
{
    std::vector<int> rows;
    for (int row = 0; row < popup->count(); ++row)
        if (!isPopupRowHidden(popup, row) && popupTag(popup, row) == 0)
            rows.push_back(row);
    return rows;
}

std::string stored(GuiPlatform& p, const char* key)
{
    return p.defaults.string(key).value_or("<unset>");
}

std::vector<std::string> list(GuiPlatform& p, const char* key)
{
    return p.defaults.stringList(key).value_or(std::vector<std::string>{});
}

}  // namespace

class SelectionPopupsTest : public QObject {
    Q_OBJECT
private slots:
    void layoutAndFirstStart()
    {
        GuiPlatform p;
        auto window = p.window();
        QCOMPARE(window->modePopup()->count(), kModePopupPositions);
        QCOMPARE(window->filterTypePopup1()->count(), kEnhancementPopupPositions);
        QCOMPARE(popupTag(window->filterTypePopup1(), 30), bitCode(32));   // "KESTRALIN T-Sym"

        // Mode 64 (the stored "1" has no mode bit), "None", "None", "Unchanged".
        QCOMPARE(selectedPopupTag(window->modePopup()), quint64{64});
        QCOMPARE(selectedPopupTag(window->filterTypePopup1()), kNone);
        QCOMPARE(selectedPopupTag(window->filterTypePopup2()), kNone);
        QCOMPARE(selectedPopupTag(window->outputFormatTypePopup()), quint64{1});
        QVERIFY(isPopupRowHidden(window->modePopup(), 1));

        QCOMPARE(shownTags(window->filterTypePopup1()), (std::vector<quint64>{kNone, kQuillmere, kLumora20}));
        QCOMPARE(shownMarks(window->filterTypePopup1()), std::vector<int>{35});
        QCOMPARE(shownTags(window->filterTypePopup2()), std::vector<quint64>{kNone});
        QVERIFY(shownMarks(window->filterTypePopup2()).empty());
        QCOMPARE(shownTags(window->outputFormatTypePopup()), (std::vector<quint64>{1, 2, 4, 8, 16}));
        QCOMPARE(shownMarks(window->outputFormatTypePopup()), std::vector<int>{1});

        // A hidden entry is out of reach of the keyboard as well.
        const QAbstractItemModel* items = window->filterTypePopup1()->model();
        const auto flagsOf = [&](quint64 tag) {
            return items->flags(items->index(popupRowOfTag(window->filterTypePopup1(), tag), 0));
        };
        QVERIFY(flagsOf(kQuillmere) & Qt::ItemIsEnabled);
        QCOMPARE(flagsOf(kA1), Qt::NoItemFlags);

        QCOMPARE(stored(p, "Mode"), std::string("64"));
        QCOMPARE(list(p, "FilterTypeDefaults_2").size(), std::size_t{22});
    }

    void enhancement1IsRememberedPerMode()
    {
        GuiPlatform p;
        auto window = p.window();
        QVERIFY(choose(window->modePopup(), 4096));
        QVERIFY(choose(window->filterTypePopup1(), kHum));
        QVERIFY(choose(window->modePopup(), 2));
        QCOMPARE(selectedPopupTag(window->filterTypePopup1()), kNone);
        QVERIFY(!choose(window->filterTypePopup1(), kHum));   // hidden in mode 2
        QVERIFY(choose(window->modePopup(), 4096));
        QCOMPARE(selectedPopupTag(window->filterTypePopup1()), kHum);

        QCOMPARE(list(p, "FilterTypeDefaults_1")[14], std::to_string(kHum));
        QVERIFY(p.log.contains("<Info> Enhancement 1 changed: Hum Removal (17179869184)"));

        // The next start finds both again.
        auto again = p.window();
        QCOMPARE(selectedPopupTag(again->modePopup()), quint64{4096});
        QCOMPARE(selectedPopupTag(again->filterTypePopup1()), kHum);
    }

    void channelSplittingFormatsNeedSixChannels()
    {
        GuiPlatform p;
        auto window = p.window();
        QVERIFY(choose(window->modePopup(), 2));
        QVERIFY(choose(window->filterTypePopup1(), kA1));
        QVERIFY(!choose(window->outputFormatTypePopup(), 32));
        QVERIFY(choose(window->filterTypePopup2(), kLumora51));
        QCOMPARE(shownTags(window->outputFormatTypePopup()).size(), std::size_t{14});
        QCOMPARE(shownMarks(window->outputFormatTypePopup()), (std::vector<int>{1, 6, 10}));
        QVERIFY(choose(window->outputFormatTypePopup(), 32));
        QCOMPARE(stored(p, "OutputFormatType"), std::string("32"));

        p.log.clear();
        QVERIFY(choose(window->filterTypePopup2(), kNone));
        QVERIFY(p.log.contains("<WARNING> WAV L+R is not supported with this enhancement. Changing to Unchanged"));
        QCOMPARE(stored(p, "OutputFormatType"), std::string("1"));
    }

    void enhancement2FollowsEnhancement1AndItsGroup()
    {
        GuiPlatform p;
        auto window = p.window();
        QVERIFY(choose(window->modePopup(), 8192));
        QVERIFY(choose(window->filterTypePopup1(), kOrvantilHeadphones));
        QCOMPARE(shownTags(window->filterTypePopup2()), (std::vector<quint64>{kNone, kGroove}));
        QCOMPARE(shownMarks(window->filterTypePopup2()), std::vector<int>{70});

        // Remembered for the group of the Enhancement 1 (21 for tape, 14 for Hi-Res).
        QVERIFY(choose(window->modePopup(), 16384));
        QVERIFY(choose(window->filterTypePopup1(), kTapeA));
        QVERIFY(choose(window->filterTypePopup2(), kKestralin));
        QCOMPARE(list(p, "FilterTypeDefaults_2")[21], std::string("2"));
        QVERIFY(choose(window->modePopup(), 2048));
        QVERIFY(choose(window->filterTypePopup1(), kHiRes));
        QCOMPARE(selectedPopupTag(window->filterTypePopup2()), kNone);
        QVERIFY(choose(window->modePopup(), 16384));
        QCOMPARE(selectedPopupTag(window->filterTypePopup1()), kTapeA);
        QCOMPARE(selectedPopupTag(window->filterTypePopup2()), kKestralin);
        QCOMPARE(window->fileSuffixField(2)->text(), QString("-ke"));
    }

    void invalidStoredChoicesAreCorrected()
    {
        GuiPlatform p;
        // Remembered for mode 64: "Hi-Res", which mode 64 does not admit.
        std::vector<std::string> remembered(22, "1");
        remembered[8] = std::to_string(kHiRes);
        p.defaults.setStringList("FilterTypeDefaults_1", remembered);
        p.defaults.setString("OutputFormatType", "64");
        auto window = p.window();
        QVERIFY(p.log.contains("<WARNING> Hi-Res is not supported with mode Headphones"));
        QVERIFY(p.log.contains("<WARNING> WAV C+LFE is not supported with this enhancement. Changing to Unchanged"));
        QCOMPARE(selectedPopupTag(window->filterTypePopup1()), kNone);
        QCOMPARE(selectedPopupTag(window->outputFormatTypePopup()), quint64{1});
    }

    void unavailableEnhancementsAreHiddenAndCorrected()
    {
        GuiPlatform p;
        std::vector<std::string> remembered(22, "1");
        remembered[8] = std::to_string(kQuillmere);
        p.defaults.setStringList("FilterTypeDefaults_1", remembered);
        MainWindow::Options options;
        options.available = [](EnhancementCode code) { return code != kQuillmere; };
        auto window = p.window(options);
        QVERIFY(p.log.contains("<WARNING> Quillmere is not available yet"));
        QCOMPARE(selectedPopupTag(window->filterTypePopup1()), kNone);
        QCOMPARE(shownTags(window->filterTypePopup1()), (std::vector<quint64>{kNone, kLumora20}));
        QCOMPARE(list(p, "FilterTypeDefaults_1")[8], std::string("1"));
    }

    void suffixFieldsStoreLiveAndRefuseSlash()
    {
        GuiPlatform p;
        auto window = p.window();
        QLineEdit* field1 = window->findChild<QLineEdit*>("ID_file_suffix_1");
        QLineEdit* field2 = window->findChild<QLineEdit*>("ID_file_suffix_2");
        QVERIFY(field1 && field2);
        QCOMPARE(field1->text(), QString("-no"));

        // Both enhancements "None": field 2 follows field 1, every key stored.
        QTest::keyClicks(field1, "x");
        QCOMPARE(field1->text(), QString("-nox"));
        QCOMPARE(field2->text(), QString("-nox"));
        QCOMPARE(stored(p, "FileSuffixNO"), std::string("-nox"));

        QTest::keyClicks(field1, "/");
        QCOMPARE(stored(p, "FileSuffixNO"), std::string("-nox"));

        QVERIFY(choose(window->modePopup(), 2));
        QVERIFY(choose(window->filterTypePopup1(), kA1));
        QCOMPARE(field1->text(), QString("-pa1"));
        QCOMPARE(field2->text(), QString("-nox"));
        field1->clear();
        QTest::keyClicks(field1, "-riaa");
        QCOMPARE(stored(p, "FileSuffixPA1"), std::string("-riaa"));
        QCOMPARE(field2->text(), QString("-nox"));
    }

    void destinationFolderControls()
    {
        GuiPlatform p;
        auto window = p.window();
        QVERIFY(choose(window->destinationFolderPopup(), kDestinationNextToSource));
        QVERIFY(p.log.contains("<Info> Destination folder option changed: Same folder as source file (1)"));
        QCOMPARE(stored(p, "DestinationFolderOption"), std::string("1"));
        QVERIFY(!window->destinationFolderBrowse()->isEnabled());

        QVERIFY(choose(window->destinationFolderPopup(), kDestinationFolder));
        QVERIFY(window->destinationFolderBrowse()->isEnabled());
        window->setDestinationFolder("/srv/out");
        QCOMPARE(window->destinationLabel()->text(), QString("/srv/out"));
        QCOMPARE(stored(p, "DestinationFolder"), std::string("/srv/out"));
    }
};

QTEST_MAIN(SelectionPopupsTest)
#include "selection_popups_test.moc"

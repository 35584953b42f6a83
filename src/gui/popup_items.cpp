#include "gui/popup_items.h"

#include "engine/catalogue.h"

#include <QComboBox>
#include <QListView>
#include <QSignalBlocker>
#include <QStandardItemModel>

#include <array>

namespace auralune {

namespace {

// The headings of the enhancement popup sections, by mark position order.
constexpr std::array<const char*, 21> kSectionTitles{
    "Phonograph EQ: RIAA",
    "Phonograph anti-EQ",
    "Phonograph EQ: other curves",
    "CD De-emphasis",
    "Tape EQ",
    "KESTRALIN T-Sym",
    "KESTRALIN",
    "Headphones",
    "Lumora Surround",
    "Stereo Width",
    "Matrix Quadraphonic",
    "CD-4 Quadraphonic",
    "Cinema Surround",
    "Ambisonic",
    "Hi-Res",
    "Unlimiting",
    "Rumble Filter and Zephra",
    "Noise Reduction",
    "Hum Removal",
    "Groove",
    "Orvantil",
};

QStandardItemModel* itemModel(const QComboBox* popup)
{
    return qobject_cast<QStandardItemModel*>(popup->model());
}

void addItem(QComboBox* popup, const QString& title, quint64 tag)
{
    popup->addItem(title, QVariant::fromValue<qulonglong>(tag));
}

void addSeparator(QComboBox* popup)
{
    popup->insertSeparator(popup->count());
    itemModel(popup)->item(popup->count() - 1)->setData(true, kPopupMarkRole);
}

void addHeading(QComboBox* popup, const QString& title)
{
    auto* item = new QStandardItem(title);
    QFont font = item->font();
    font.setBold(true);
    item->setFont(font);
    item->setFlags(Qt::NoItemFlags);
    item->setData(true, kPopupMarkRole);
    itemModel(popup)->appendRow(item);
}

}  // namespace

void fillModePopup(QComboBox* popup)
{
    popup->clear();
    addItem(popup, QStringLiteral("-"), kModeHidden);
    addSeparator(popup);
    for (const Mode& mode : kModes)
        addItem(popup, QString::fromUtf8(mode.label.data(), static_cast<int>(mode.label.size())), mode.tag);
    setPopupRowShown(popup, 0, false);
    setPopupRowShown(popup, 1, false);
}

void fillEnhancementPopup(QComboBox* popup)
{
    popup->clear();
    addItem(popup, QStringLiteral("None"), kEnhancementNone);
    for (std::size_t s = 0; s < kEnhancementPopupSections.size(); ++s) {
        const PopupSection& section = kEnhancementPopupSections[s];
        addHeading(popup, QString::fromUtf8(kSectionTitles[s]));
        for (int i = 0; i < section.count; ++i) {
            const EnhancementCode code = EnhancementCode{1} << section.bits[static_cast<std::size_t>(i)];
            const std::string_view name = findEnhancement(code)->displayName;
            addItem(popup, QString::fromUtf8(name.data(), static_cast<int>(name.size())), code);
        }
    }
}

void fillOutputFormatPopup(QComboBox* popup)
{
    popup->clear();
    for (int position = 0; position < kOutputFormatPopupPositions; ++position) {
        const OutputFormat* found = nullptr;
        for (const OutputFormat& format : kOutputFormats)
            if (format.position == position)
                found = &format;
        if (found)
            addItem(popup, QString::fromUtf8(found->label.data(), static_cast<int>(found->label.size())), found->tag);
        else
            addSeparator(popup);
    }
}

void fillDestinationFolderPopup(QComboBox* popup)
{
    popup->clear();
    for (const DestinationFolderOption& option : kDestinationFolderOptions)
        addItem(popup, QString::fromUtf8(option.label.data(), static_cast<int>(option.label.size())), option.tag);
}

void setPopupRowShown(QComboBox* popup, int row, bool shown)
{
    QStandardItem* item = itemModel(popup)->item(row);
    if (!item)
        return;
    item->setData(!shown, kPopupHiddenRole);
    const bool mark = item->data(kPopupMarkRole).toBool();
    if (!mark)
        item->setFlags(shown ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::NoItemFlags);
    if (auto* list = qobject_cast<QListView*>(popup->view()))
        list->setRowHidden(row, !shown);
}

bool isPopupRowHidden(const QComboBox* popup, int row)
{
    return popup->itemData(row, kPopupHiddenRole).toBool();
}

int popupRowOfTag(const QComboBox* popup, quint64 tag)
{
    for (int row = 0; row < popup->count(); ++row)
        if (popupTag(popup, row) == tag)
            return row;
    return -1;
}

quint64 popupTag(const QComboBox* popup, int row)
{
    const QVariant data = popup->itemData(row, Qt::UserRole);
    return data.isValid() ? data.toULongLong() : 0;
}

quint64 selectedPopupTag(const QComboBox* popup)
{
    return popupTag(popup, popup->currentIndex());
}

void selectPopupTag(QComboBox* popup, quint64 tag)
{
    const QSignalBlocker blocker(popup);
    popup->setCurrentIndex(popupRowOfTag(popup, tag));
}

}  // namespace auralune

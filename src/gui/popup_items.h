#pragma once

#include <QtGlobal>
#include <qnamespace.h>

class QComboBox;

namespace auralune {

// Popup items carry their code as Qt::UserRole data (qulonglong); section
// marks carry none. A hidden item has its row hidden in the list view, this
// role set to true and no enabled/selectable flags, so neither the list nor
// keyboard stepping in the closed popup reaches it.
inline constexpr int kPopupHiddenRole = Qt::UserRole + 1;
// Set on section marks (separators and headings).
inline constexpr int kPopupMarkRole = Qt::UserRole + 2;

// Mode popup: 16 positions, the tag-1 entry (positions 0 and 1) always hidden.
void fillModePopup(QComboBox* popup);
// Enhancement 1 and 2 popups: the 75 positions with a heading per section.
void fillEnhancementPopup(QComboBox* popup);
// Output format popup: 17 positions with three separators.
void fillOutputFormatPopup(QComboBox* popup);
void fillDestinationFolderPopup(QComboBox* popup);

void setPopupRowShown(QComboBox* popup, int row, bool shown);
bool isPopupRowHidden(const QComboBox* popup, int row);
// The row of a code, or -1.
int popupRowOfTag(const QComboBox* popup, quint64 tag);
quint64 popupTag(const QComboBox* popup, int row);
// The code of the selected item (0 for none).
quint64 selectedPopupTag(const QComboBox* popup);
// Selects the item of a code without emitting activated().
void selectPopupTag(QComboBox* popup, quint64 tag);

}  // namespace auralune

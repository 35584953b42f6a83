#pragma once

#include <QStyledItemDelegate>

namespace auralune {

// Draws the progress column as a bar with its percentage, from
// QueueTableModel::ProgressRole; an empty cell when there is no progress.
class ProgressDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace auralune

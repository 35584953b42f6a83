#pragma once

#include "app/queue_controller.h"
#include "app/context_menu.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QPalette>

namespace auralune {

// The file table: one row per job of the queue, one column per table text.
class QueueTableModel final : public QAbstractTableModel, public QueueObserver {
    Q_OBJECT
public:
    // One column per job table text, in the order of TableText.
    static constexpr int ColumnCount = kTableTextCount;
    static constexpr int column(TableText text) { return static_cast<int>(text); }
    enum Role {
        ProgressRole = Qt::UserRole + 1,   // int 0-100, or -1 when no progress is shown
        JobStateRole,                      // the job's state (1-9)
        RowColourRole,                     // RowColour as int
        SourcePathRole,                    // the full source path
    };

    explicit QueueTableModel(QueueController& controller, QObject* parent = nullptr);
    ~QueueTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The text colour of a row, readable on the palette's base colour.
    static QColor rowTextColour(RowColour colour, const QPalette& palette);

    void setPalette(const QPalette& palette) { palette_ = palette; }

    void queueReloaded() override;
    void jobRefreshed(const void* job) override;
    void rowSelected(std::size_t row) override;
    void conversionStarted(const AudioFile& job) override;

signals:
    void queueChanged();
    void rowSelectionRequested(int row);
    // The job (an identity, never followed) and its source's duration.
    void conversionStarting(const void* job, double audioSeconds);

private:
    QueueController& controller_;
    QPalette palette_;
};

}  // namespace auralune

#include "gui/queue_table_model.h"

#include <charconv>
#include <string>

namespace auralune {

namespace {

constexpr const char* kHeaders[QueueTableModel::ColumnCount] = {
    "File", "Type", "State", "Progress", "Duration", "Rate", "Channels", "Bits", "Enhancement", "Destination",
};

// "45%" → 45; anything else → -1.
int progressPercent(const std::string& text)
{
    int percent = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), percent);
    if (ec != std::errc() || end == text.data() || percent < 0)
        return -1;
    return percent > 100 ? 100 : percent;
}

}  // namespace

QueueTableModel::QueueTableModel(QueueController& controller, QObject* parent)
    : QAbstractTableModel(parent), controller_(controller)
{
    controller_.setObserver(this);
}

QueueTableModel::~QueueTableModel()
{
    controller_.setObserver(nullptr);
}

int QueueTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(controller_.size());
}

int QueueTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant QueueTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const AudioFile& job = controller_.job(static_cast<std::size_t>(index.row()));
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(job.tableText(static_cast<TableText>(index.column())));
    case Qt::ToolTipRole:
        if (index.column() == column(TableText::SourceName))
            return QString::fromStdString(job.inputFile);
        if (index.column() == column(TableText::State)) {
            // A failure's cause (system error and path) beside its texts.
            std::string tip = job.tableText(TableText::State);
            if (const std::string cause = job.errorCause(); job.error != 0 && !cause.empty())
                tip += "(" + cause + ")";
            return QString::fromStdString(tip);
        }
        if (index.column() == column(TableText::DestinationName))
            return QString::fromStdString(job.tableText(TableText::DestinationName));
        return {};
    case Qt::ForegroundRole: {
        const RowColour colour = rowColour(job);
        if (colour == RowColour::Normal)
            return {};
        return rowTextColour(colour, palette_);
    }
    case ProgressRole:
        return progressPercent(job.tableText(TableText::Progress));
    case JobStateRole:
        return job.state.load();
    case RowColourRole:
        return static_cast<int>(rowColour(job));
    case SourcePathRole:
        return QString::fromStdString(job.inputFile);
    default:
        return {};
    }
}

QVariant QueueTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return tr(kHeaders[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QColor QueueTableModel::rowTextColour(RowColour colour, const QPalette& palette)
{
    // The hues of the system's red, green and orange, with a lightness that
    // stands out from the base colour of the table, light or dark.
    const bool darkBase = palette.color(QPalette::Base).lightnessF() < 0.5;
    int hue = 0;
    switch (colour) {
    case RowColour::Error: hue = 0; break;
    case RowColour::Converting:
    case RowColour::Converted: hue = 120; break;
    case RowColour::Warning: hue = 30; break;
    case RowColour::Normal: return palette.color(QPalette::Text);
    }
    return QColor::fromHsl(hue, 200, darkBase ? 170 : (colour == RowColour::Warning ? 100 : 80));
}

void QueueTableModel::queueReloaded()
{
    beginResetModel();
    endResetModel();
    emit queueChanged();
}

void QueueTableModel::rowSelected(std::size_t row)
{
    emit rowSelectionRequested(static_cast<int>(row));
}

void QueueTableModel::conversionStarted(const AudioFile& job)
{
    const double seconds = job.srcFrameRate > 0 ? static_cast<double>(job.srcFrames) / job.srcFrameRate : 0.0;
    emit conversionStarting(&job, seconds);
}

void QueueTableModel::jobRefreshed(const void* job)
{
    for (std::size_t row = 0; row < controller_.size(); ++row) {
        if (&controller_.job(row) == job) {
            const int r = static_cast<int>(row);
            emit dataChanged(index(r, 0), index(r, ColumnCount - 1));
            emit queueChanged();
            return;
        }
    }
}

}  // namespace auralune

#include "gui/drop_view.h"

#include "app/dropped_files.h"
#include "app/queue_controller.h"
#include "platform/log.h"
#include "platform/notification_center.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace auralune {

namespace {

std::vector<std::string> localFiles(const QMimeData* mime)
{
    std::vector<std::string> paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

bool offersFiles(const QMimeData* mime)
{
    return !localFiles(mime).empty();
}

}  // namespace

DropView::DropView(NotificationCenter& notifications, Log& log, QWidget* parent)
    : QTableView(parent), notifications_(notifications), log_(log), prompt_(new QLabel(viewport()))
{
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);

    prompt_->setObjectName("dragDropPrompt");
    prompt_->setAlignment(Qt::AlignCenter);
    prompt_->setWordWrap(true);
    prompt_->setText(tr("Welcome to Auralune.") + "\nDrop the audio files you want to enhance into this table");
    prompt_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette palette = prompt_->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    prompt_->setPalette(palette);
}

void DropView::setDropPromptVisible(bool visible)
{
    prompt_->setVisible(visible);
}

void DropView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    prompt_->setGeometry(viewport()->rect());
}

void DropView::dragEnterEvent(QDragEnterEvent* event)
{
    if (offersFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DropView::dragMoveEvent(QDragMoveEvent* event)
{
    if (offersFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DropView::dropEvent(QDropEvent* event)
{
    const std::vector<std::string> paths = localFiles(event->mimeData());
    if (paths.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    postDroppedPaths(paths);
}

std::size_t DropView::postDroppedPaths(const std::vector<std::string>& paths)
{
    log_.info("Number of files drag-and-dropped: " + std::to_string(paths.size()));
    const std::vector<std::string> names = expandDroppedPaths(paths);
    for (const std::string& name : names)
        notifications_.post(kDropViewAddFileMsg, this, {{"filename", name}});
    return names.size();
}

}  // namespace auralune

#pragma once

#include <QLabel>
#include <QTableView>

#include <string>
#include <vector>

namespace auralune {

class Log;
class NotificationCenter;

// The file table as drop target: file URLs dropped from any file manager
// are posted as "DropViewAddFileMsg", one per name in drop order (a folder
// gives the source files inside it, by name). Over the empty table it
// shows the drop prompt.
class DropView final : public QTableView {
    Q_OBJECT
public:
    DropView(NotificationCenter& notifications, Log& log, QWidget* parent = nullptr);

    void setDropPromptVisible(bool visible);
    QLabel* dropPrompt() const { return prompt_; }

    // Posts the names of a drop; returns how many were posted.
    std::size_t postDroppedPaths(const std::vector<std::string>& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    NotificationCenter& notifications_;
    Log& log_;
    QLabel* prompt_;
};

}  // namespace auralune

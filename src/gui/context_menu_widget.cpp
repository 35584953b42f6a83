#include "gui/context_menu_widget.h"

#include "app/context_menu.h"

#include <QAction>
#include <QMenu>
#include <QString>

#include <algorithm>
#include <memory>

namespace auralune {

QMenu* buildFileTableContextMenu(QWidget* parent, QueueController& queue, int clickedRow,
                                 const std::vector<std::size_t>& selectedRows, Workspace& workspace,
                                 Beeper& beeper)
{
    const ContextMenuState state = menuNeedsUpdate(queue, clickedRow, selectedRows);
    auto* menu = new QMenu(parent);
    std::size_t next = 0;
    for (int position = 0; position < kContextMenuPositions; ++position) {
        if (std::find(kContextMenuSeparators.begin(), kContextMenuSeparators.end(), position) !=
            kContextMenuSeparators.end()) {
            menu->addSeparator();
            continue;
        }
        const ContextMenuItem& item = state.items.at(next++);
        QAction* action = menu->addAction(QString::fromStdString(item.title));
        action->setEnabled(item.enabled);
        const ContextCommand command = item.command;
        // The rows come from the jobs' marks when the item is chosen.
        QObject::connect(action, &QAction::triggered, menu, [command, &queue, &workspace, &beeper] {
            runContextCommand(command, queue, true, {}, workspace, beeper);
        });
    }
    return menu;
}

void showFileTableContextMenu(QWidget* parent, const QPoint& globalPos, QueueController& queue, int clickedRow,
                              const std::vector<std::size_t>& selectedRows, Workspace& workspace, Beeper& beeper)
{
    const std::unique_ptr<QMenu> menu(
        buildFileTableContextMenu(parent, queue, clickedRow, selectedRows, workspace, beeper));
    menu->exec(globalPos);
}

}  // namespace auralune

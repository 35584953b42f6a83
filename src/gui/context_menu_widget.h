#pragma once

#include <cstddef>
#include <vector>

class QMenu;
class QPoint;
class QWidget;

namespace auralune {

class Beeper;
class QueueController;
class Workspace;

// The file table's context menu for a right click on clickedRow (-1 below
// the rows) with the table's selected rows. Opening it marks the rows it
// acts on (each job's contextAction); its items then run their command on
// those rows through the queue and the workspace. Returns the menu, not yet
// shown; it is a child of parent and the caller deletes it.
QMenu* buildFileTableContextMenu(QWidget* parent, QueueController& queue, int clickedRow,
                                 const std::vector<std::size_t>& selectedRows, Workspace& workspace,
                                 Beeper& beeper);

// Builds the menu, shows it at globalPos until the user chooses or
// dismisses, runs the chosen command and deletes the menu.
void showFileTableContextMenu(QWidget* parent, const QPoint& globalPos, QueueController& queue, int clickedRow,
                              const std::vector<std::size_t>& selectedRows, Workspace& workspace, Beeper& beeper);

}  // namespace auralune

#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace auralune {

class AudioFile;
class Beeper;
class QueueController;
class Workspace;

// Bits of a job's contextAction: the context-menu commands its row admits.
enum ContextActionBit : int {
    kContextPlay = 1,
    kContextReveal = 2,
    kContextDelete = 4,
    kContextMetrics = 8,
    kContextConvert = 16,
};

// The commands of the file table. The first five are the context menu's
// items; Remove All acts on every row whatever the selection.
enum class ContextCommand { Convert, Show, Play, CopyMetrics, Delete, RemoveAll };

// The contextAction bit of a command (0 for Remove All).
int contextActionBit(ContextCommand command);

// The commands a job's row admits: a new or failed job can only be
// deleted; an analysed job without errors converted, reported and deleted;
// an analysed job with errors (which Convert skips) reported and deleted; a
// converted job played, revealed, reported and deleted; a job whose pass
// runs or waits, nothing.
int contextActionFor(const AudioFile& job);

// Menu positions; 1 and 5 are separators.
inline constexpr int kContextMenuPositions = 7;
inline constexpr std::array<int, 2> kContextMenuSeparators{1, 5};

struct ContextMenuItem {
    ContextCommand command;
    int position;
    std::string title;
    bool enabled;
    std::vector<std::size_t> rows;   // the rows it acts on, first to last
};

// The context menu as it opens: its five items in menu order (Convert,
// Show, Play, Copy Metrics, Delete). Each item's enabled flag is also the
// answer of item validation until the menu next opens.
struct ContextMenuState {
    std::array<ContextMenuItem, 5> items;

    // The item of a menu command (std::out_of_range for Remove All).
    const ContextMenuItem& item(ContextCommand command) const;
    bool validateMenuItem(ContextCommand command) const { return item(command).enabled; }
};

// Opens the context menu over the jobs of the table (in row order) for a
// right click on clickedRow (outside the rows when negative or past the
// last): the rows acted on are the selection when it holds the clicked row,
// else the clicked row alone. Writes every job's contextAction (0 outside
// the rows acted on) and counts the rows in the item titles.
ContextMenuState menuNeedsUpdate(std::span<AudioFile* const> jobs, std::ptrdiff_t clickedRow,
                                 std::span<const std::size_t> selectedRows);
ContextMenuState menuNeedsUpdate(QueueController& queue, std::ptrdiff_t clickedRow,
                                 std::span<const std::size_t> selectedRows);

// The rows a command acts on, first to last: sent from its context-menu
// item, the jobs whose contextAction has its bit; from anywhere else, the
// selected rows that exist; for Remove All, every row.
std::vector<std::size_t> commandRows(std::span<const AudioFile* const> jobs, ContextCommand command,
                                     bool fromContextMenu, std::span<const std::size_t> selectedRows);

// Runs a command on its rows. Convert starts the conversion of the eligible
// targets, Delete and Remove All remove the rows that may go (the queue
// warns and beeps for the others); Play opens each converted file with its
// default application, from the last row to the first; Show reveals the
// converted files together; Copy Metrics puts the metrics report on the
// clipboard. Play, Show and Copy Metrics beep when no row qualifies.
void runContextCommand(ContextCommand command, QueueController& queue, bool fromContextMenu,
                       std::span<const std::size_t> selectedRows, Workspace& workspace, Beeper& beeper);

// The colour class of a row's text; the front end maps each to a colour
// (red, green, orange, green, the normal label colour).
enum class RowColour { Error, Converting, Warning, Converted, Normal };

// Error while any error bit is set; Converting while the conversion runs;
// Warning when a warning bit is set or the source carries the mark of an
// earlier conversion with an enhancement; Converted after a conversion;
// else Normal.
RowColour rowColour(const AudioFile& job);

}  // namespace auralune

#include "app/context_menu.h"

#include "app/metrics_report.h"
#include "app/queue_controller.h"
#include "app/workspace.h"
#include "engine/audio_file.h"

#include <algorithm>

namespace auralune {

namespace {

constexpr std::array<ContextCommand, 5> kMenuCommands{
    ContextCommand::Convert, ContextCommand::Show, ContextCommand::Play, ContextCommand::CopyMetrics,
    ContextCommand::Delete,
};
constexpr std::array<int, 5> kMenuPositions{0, 2, 3, 4, 6};

// The title for a count of rows: none and one share the singular.
std::string countedTitle(std::size_t count, const char* single, const char* before, const char* after)
{
    if (count <= 1)
        return single;
    return before + std::to_string(count) + after;
}

std::vector<std::size_t> rowsWithBit(std::span<AudioFile* const> jobs, int bit)
{
    std::vector<std::size_t> rows;
    for (std::size_t row = 0; row < jobs.size(); ++row)
        if (jobs[row]->contextAction & bit)
            rows.push_back(row);
    return rows;
}

std::vector<AudioFile*> queuedJobs(QueueController& queue)
{
    std::vector<AudioFile*> jobs;
    jobs.reserve(queue.size());
    for (std::size_t row = 0; row < queue.size(); ++row)
        jobs.push_back(&queue.job(row));
    return jobs;
}

bool contains(std::span<const std::size_t> rows, std::size_t row)
{
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

}  // namespace

int contextActionBit(ContextCommand command)
{
    switch (command) {
    case ContextCommand::Convert: return kContextConvert;
    case ContextCommand::Show: return kContextReveal;
    case ContextCommand::Play: return kContextPlay;
    case ContextCommand::CopyMetrics: return kContextMetrics;
    case ContextCommand::Delete: return kContextDelete;
    case ContextCommand::RemoveAll: return 0;
    }
    return 0;
}

int contextActionFor(const AudioFile& job)
{
    switch (job.state.load()) {
    case kStateNew:
    case kStateFailed: return kContextDelete;
    case kStateAnalysed:
        return job.error == 0 ? kContextConvert | kContextMetrics | kContextDelete : kContextMetrics | kContextDelete;
    case kStateConverted: return kContextPlay | kContextReveal | kContextDelete | kContextMetrics;
    default: return 0;
    }
}

const ContextMenuItem& ContextMenuState::item(ContextCommand command) const
{
    // Remove All has no item: at() throws for it.
    const auto found = std::find(kMenuCommands.begin(), kMenuCommands.end(), command);
    return items.at(static_cast<std::size_t>(found - kMenuCommands.begin()));
}

ContextMenuState menuNeedsUpdate(std::span<AudioFile* const> jobs, std::ptrdiff_t clickedRow,
                                 std::span<const std::size_t> selectedRows)
{
    const bool onRow = clickedRow >= 0 && static_cast<std::size_t>(clickedRow) < jobs.size();
    const auto clicked = static_cast<std::size_t>(onRow ? clickedRow : 0);
    const bool wholeSelection = onRow && contains(selectedRows, clicked);

    std::size_t convertible = 0;
    std::size_t converted = 0;
    std::size_t reportable = 0;
    std::size_t deletable = 0;
    for (std::size_t row = jobs.size(); row-- > 0;) {
        AudioFile& job = *jobs[row];
        job.contextAction = 0;
        const bool actedOn = onRow && (wholeSelection ? contains(selectedRows, row) : row == clicked);
        if (!actedOn)
            continue;
        const int action = contextActionFor(job);
        job.contextAction = action;
        convertible += (action & kContextConvert) ? 1 : 0;
        converted += (action & kContextPlay) ? 1 : 0;
        reportable += (action & kContextMetrics) ? 1 : 0;
        deletable += (action & kContextDelete) ? 1 : 0;
    }

    const std::array<std::size_t, 5> counts{convertible, converted, converted, reportable, deletable};
    const std::array<std::string, 5> titles{
        countedTitle(convertible, "Convert File", "Convert ", " Files"),
        countedTitle(converted, "Show Converted File in File Manager", "Show ", " Converted Files in File Manager"),
        countedTitle(converted, "Play Converted File", "Play ", " Converted Files"),
        countedTitle(reportable, "Copy Audio Metrics to Clipboard", "Copy ", " Audio Metrics to Clipboard"),
        countedTitle(deletable, "Delete Row", "Delete ", " Rows"),
    };
    ContextMenuState menu;
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
        const ContextCommand command = kMenuCommands[i];
        menu.items[i] = ContextMenuItem{command, kMenuPositions[i], titles[i], counts[i] > 0,
                                        rowsWithBit(jobs, contextActionBit(command))};
    }
    return menu;
}

ContextMenuState menuNeedsUpdate(QueueController& queue, std::ptrdiff_t clickedRow,
                                 std::span<const std::size_t> selectedRows)
{
    const std::vector<AudioFile*> jobs = queuedJobs(queue);
    return menuNeedsUpdate(jobs, clickedRow, selectedRows);
}

std::vector<std::size_t> commandRows(std::span<const AudioFile* const> jobs, ContextCommand command,
                                     bool fromContextMenu, std::span<const std::size_t> selectedRows)
{
    std::vector<std::size_t> rows;
    const int bit = contextActionBit(command);
    for (std::size_t row = 0; row < jobs.size(); ++row) {
        const bool chosen = command == ContextCommand::RemoveAll ? true
                            : fromContextMenu                    ? (jobs[row]->contextAction & bit) != 0
                                                                 : contains(selectedRows, row);
        if (chosen)
            rows.push_back(row);
    }
    return rows;
}

void runContextCommand(ContextCommand command, QueueController& queue, bool fromContextMenu,
                       std::span<const std::size_t> selectedRows, Workspace& workspace, Beeper& beeper)
{
    const std::vector<AudioFile*> jobs = queuedJobs(queue);
    const std::vector<const AudioFile*> constJobs(jobs.begin(), jobs.end());
    const std::vector<std::size_t> rows = commandRows(constJobs, command, fromContextMenu, selectedRows);

    std::vector<std::string> destinations;
    for (std::size_t row : rows)
        if (jobs[row]->state == kStateConverted)
            destinations.push_back(jobs[row]->tableText(TableText::DestinationName));

    switch (command) {
    case ContextCommand::Convert:
        if (fromContextMenu)
            queue.processQueue(ConvertSender::ContextMenu);
        else
            queue.processQueue(ConvertSender::Other, rows);
        return;
    case ContextCommand::Play:
        if (destinations.empty())
            beeper.beep();
        for (auto it = destinations.rbegin(); it != destinations.rend(); ++it)
            workspace.openFile(*it);
        return;
    case ContextCommand::Show:
        if (destinations.empty())
            beeper.beep();
        else
            workspace.revealFiles(destinations);
        return;
    case ContextCommand::CopyMetrics: {
        std::vector<const AudioFile*> chosen;
        for (std::size_t row : rows)
            chosen.push_back(jobs[row]);
        const std::vector<std::string> lines = metricsReportLines(chosen);
        if (lines.empty())
            beeper.beep();
        else
            workspace.writeToPasteBoard(lines);
        return;
    }
    case ContextCommand::Delete: queue.remove(rows); return;
    case ContextCommand::RemoveAll: queue.removeAll(); return;
    }
}

RowColour rowColour(const AudioFile& job)
{
    if (job.error != 0)
        return RowColour::Error;
    if (job.state == kStateConverting)
        return RowColour::Converting;
    // A mark whose Enhancement 1 was "None" (flag bit 0 alone) is no reason
    // for concern; any other prior enhancement is, and so is every warning.
    if (job.warning != 0 || (job.warning_1 & ~std::uint64_t{1}) != 0)
        return RowColour::Warning;
    if (job.state == kStateConverted)
        return RowColour::Converted;
    return RowColour::Normal;
}

}  // namespace auralune

#include "app/queue_controller.h"

#include "app/destination_naming.h"
#include "app/settings_keys.h"
#include "formats/file_formats.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace auralune {

bool hasSourceFileExtension(const std::string& path)
{
    return fileFormatForPath(path) != nullptr;
}

QueueController::QueuedJob::QueuedJob(const Platform& shared, std::unique_ptr<RandomSource> ownRandom,
                                      std::unique_ptr<Clock> ownClock)
    : random(std::move(ownRandom)),
      clock(std::move(ownClock)),
      platform{shared.log,    shared.defaults, shared.notifications,     shared.mainThread,
               shared.alerts, shared.beeper,   clock ? *clock : shared.clock, random ? *random : shared.random},
      job(platform)
{
}

QueueController::QueueController(const Platform& platform, Options options)
    : platform_(platform),
      options_(std::move(options)),
      model_(platform.defaults, platform.log, options_.musicFolder),
      batchAlerts_(platform.alerts),
      pool_(options_.maxWorkers, options_.detachPasses ? WorkerPool::OnEnd::Detach : WorkerPool::OnEnd::Join,
            options_.threadStarter)
{
    showFileExt_ = model_.switchValue("ShowFileExt");
    showFullPath_ = model_.switchValue("ShowFullPath");
    observe();
}

QueueController::~QueueController()
{
    applicationWillTerminate();
    waitForPasses();
}

void QueueController::observe()
{
    NotificationCenter& center = platform_.notifications;
    observations_.push_back(center.observe(kDropViewAddFileMsg, [this](const Notification& n) {
        auto it = n.userInfo.find("filename");
        if (it != n.userInfo.end())
            if (const auto* path = std::get_if<std::string>(&it->second))
                addNewFileToQueue(*path);
    }));
    observations_.push_back(
        center.observe(kAudioFileRefreshViewMsg, [this](const Notification& n) { refreshQueue(n.object); }));
    for (std::string_view name : kSettingsNotificationNames) {
        observations_.push_back(center.observe(std::string(name), [this](const Notification& n) {
            // The values become the current settings; jobs see them in the
            // snapshot of their next pass.
            storeSettingsNotification(n, platform_.defaults, platform_.log);
            if (n.name == kSettingsUpdateDestinationTableText)
                updateDestinationTableText(n);
        }));
    }
}

void QueueController::applicationWillTerminate()
{
    for (NotificationCenter::Token token : observations_)
        platform_.notifications.remove(token);
    observations_.clear();
}

std::shared_ptr<QueueController::QueuedJob> QueueController::makeJob(const std::string& path)
{
    std::unique_ptr<RandomSource> random;
    if (options_.randomSourceFor)
        random = options_.randomSourceFor(path);
    std::unique_ptr<Clock> clock;
    if (options_.clockFor)
        clock = options_.clockFor(path);
    // The job asks its questions through the batch's answers.
    const Platform asking{platform_.log,  platform_.defaults, platform_.notifications, platform_.mainThread,
                          batchAlerts_,   platform_.beeper,   platform_.clock,         platform_.random};
    auto entry = std::make_shared<QueuedJob>(asking, std::move(random), std::move(clock));
    entry->job.initWithName(path, showFileExt_, showFullPath_);
    return entry;
}

void QueueController::append(const std::string& path)
{
    queue_.push_back(makeJob(path));
    analyseAudioFile(queue_.back()->job);
}

bool QueueController::addNewFileToQueue(const std::string& path)
{
    if (!hasSourceFileExtension(path)) {
        platform_.log.warning("Cannot add '" + path + "' to the table view");
        platform_.beeper.beep();
        return false;
    }
    // A row of the same file that has not been converted yet is selected
    // instead of queueing the file twice.
    for (std::size_t row = 0; row < queue_.size(); ++row) {
        const AudioFile& job = queue_[row]->job;
        if (job.inputFile == path && job.state != kStateConverted && job.state != kStateFailed) {
            platform_.log.info("Already queued, so selecting its row: " + path);
            if (observer_)
                observer_->rowSelected(row);
            return false;
        }
    }
    // Files added while no analysis runs start a new batch of questions.
    if (!anyRowIn({kStateCreating, kStateNew, kStateAnalysing}))
        batchAlerts_.forget(Alert::Kind::ConvertedBefore);
    append(path);
    reloadTable();
    return true;
}

void QueueController::addSourceFiles(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        append(path);
    reloadTable();
}

SettingsSnapshot QueueController::snapshot(PassLock& lock) const
{
    SettingsSnapshot record = model_.snapshot(&lock);
    record.settingsController = options_.settingsController;
    record.mainWindow = options_.mainWindow;
    return record;
}

void QueueController::startPass(std::shared_ptr<QueuedJob> entry, const SettingsSnapshot& snapshot,
                                void (AudioFile::*pass)(const SettingsSnapshot&))
{
    // The job leaves its state at once, so it is not started twice while
    // its pass waits for a worker.
    AudioFile& job = entry->job;
    const bool analysis = pass == &AudioFile::AnalyseFileThread;
    job.state = analysis ? kStateAnalysing : kStateQueued;
    if (!analysis) {
        job.setTableText(TableText::State, "Queued");
        job.postRefresh();
    }
    const bool kept = !options_.detachPasses;
    if (kept)
        ++keptPasses_;
    // Runs on the submitting (main) thread when no thread can be had.
    auto failed = [this, &job, analysis, kept](const std::string& reason) {
        platform_.log.error("Cannot start the pass of " + job.inputFile + ": " + reason);
        job.error |= kErrorMemory;
        job.setErrorCause(reason);
        job.composeErrorStateText();
        job.state = analysis ? kStateAnalysed : kStateFailed;
        if (!analysis)
            processAudioLock_.abandon(&job);
        job.postRefresh();
        if (kept)
            passEnded();
    };
    pool_.submit(
        [this, entry = std::move(entry), snapshot, pass, kept]() mutable {
            (entry->job.*pass)(snapshot);
            entry.reset();
            if (kept)
                passEnded();
        },
        failed);
}

void QueueController::analyseAudioFile(AudioFile& job)
{
    if (job.state != kStateNew)
        return;
    auto it = std::find_if(queue_.begin(), queue_.end(), [&](const auto& entry) { return &entry->job == &job; });
    if (it == queue_.end())
        return;
    startPass(*it, snapshot(analyseAudioLock_), &AudioFile::AnalyseFileThread);
}

std::size_t QueueController::processQueue(ConvertSender sender, const std::vector<std::size_t>& selectedRows)
{
    if (queue_.empty()) {
        platform_.beeper.beep();
        return 0;
    }
    if (!anyRowIn({kStateQueued, kStateConverting}))
        batchAlerts_.forget(Alert::Kind::Clipping);
    // Up to the chosen number of passes at once, as their memory allows,
    // each on a thread of its own (and one left for the analysis).
    const std::uint64_t simultaneous = model_.tagValue(kSimultaneousConversionsKey);
    processAudioLock_.setLimits(simultaneous, model_.tagValue(kMemoryBudgetKey) * 1024 * 1024);
    pool_.raiseBound(simultaneous + 1);
    std::size_t started = 0;
    for (std::size_t row = 0; row < queue_.size(); ++row) {
        AudioFile& job = queue_[row]->job;
        bool target = false;
        switch (sender) {
        case ConvertSender::ConvertButton: target = true; break;
        case ConvertSender::ContextMenu: target = (job.contextAction & 16) != 0; break;
        case ConvertSender::Other:
            target = std::find(selectedRows.begin(), selectedRows.end(), row) != selectedRows.end();
            break;
        }
        if (!target || job.state != kStateAnalysed || job.error != 0)
            continue;
        // The suffix and the choices are read now, as they stand at Convert;
        // the turn is taken now too, so rows convert in table order.
        job.cancelRequested = false;
        if (observer_)
            observer_->conversionStarted(job);
        processAudioLock_.reserve(&job);
        startPass(queue_[row], snapshot(processAudioLock_), &AudioFile::ProcessFileThread);
        ++started;
    }
    if (started == 0)
        platform_.beeper.beep();
    return started;
}

bool QueueController::anyRowIn(std::initializer_list<int> states) const
{
    for (const auto& entry : queue_)
        if (std::find(states.begin(), states.end(), entry->job.state.load()) != states.end())
            return true;
    return false;
}

std::size_t QueueController::cancelRows(bool converting)
{
    std::size_t told = 0;
    for (const auto& entry : queue_) {
        const int state = entry->job.state;
        if (state == kStateQueued || (converting && state == kStateConverting)) {
            entry->job.cancelRequested = true;
            ++told;
        }
    }
    return told;
}

std::size_t QueueController::convertAgain(const std::vector<std::size_t>& rows)
{
    std::vector<std::size_t> again;
    for (std::size_t row : rows) {
        if (row >= queue_.size())
            continue;
        AudioFile& job = queue_[row]->job;
        const int state = job.state;
        if (state != kStateConverted && state != kStateFailed && state != kStateAnalysed)
            continue;
        // No pass holds the job. The pass reads the source again, so a file
        // that cannot be converted fails again with its own errors.
        job.error = 0;
        job.warning = 0;
        job.setErrorCause({});
        job.state = kStateAnalysed;
        again.push_back(row);
    }
    if (again.empty()) {
        platform_.beeper.beep();
        return 0;
    }
    return processQueue(ConvertSender::Other, again);
}

std::size_t QueueController::stopAfterCurrentFile()
{
    return cancelRows(false);
}

std::size_t QueueController::cancelConversion()
{
    return cancelRows(true);
}

bool QueueController::remove(const std::vector<std::size_t>& rows)
{
    std::vector<std::size_t> chosen = rows;
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    bool refused = false;
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        const std::size_t row = *it;
        if (row >= queue_.size())
            continue;
        const int state = queue_[row]->job.state;
        if (state == kStateNew || state == kStateAnalysed || state == kStateConverted || state == kStateFailed) {
            queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(row));
        } else {
            platform_.log.warning("Cannot remove row " + std::to_string(row));
            refused = true;
        }
    }
    if (refused)
        platform_.beeper.beep();
    reloadTable();
    return !refused;
}

bool QueueController::removeAll()
{
    std::vector<std::size_t> rows(queue_.size());
    for (std::size_t row = 0; row < rows.size(); ++row)
        rows[row] = row;
    return remove(rows);
}

void QueueController::refreshQueue(const void* job)
{
    if (observer_)
        observer_->jobRefreshed(job);
}

void QueueController::reloadTable()
{
    if (observer_)
        observer_->queueReloaded();
}

void QueueController::updateDestinationTableText(const Notification&)
{
    showFileExt_ = model_.switchValue("ShowFileExt");
    showFullPath_ = model_.switchValue("ShowFullPath");
    for (auto it = queue_.rbegin(); it != queue_.rend(); ++it) {
        AudioFile& job = (*it)->job;
        job.setTableText(TableText::SourceName, sourceNameText(job.inputFile, showFileExt_, showFullPath_));
    }
    reloadTable();
}

void QueueController::waitForPasses()
{
    // A pass may be waiting for a dialog on the main thread: keep serving it
    // while waiting, when this is a plain run loop's main thread.
    auto* loop = dynamic_cast<RunLoopMainThread*>(&platform_.mainThread);
    if (loop && loop->isMainThread()) {
        loop->runUntil([this] { return keptPasses_ == 0; });
        loop->runPending();
        return;
    }
    // Elsewhere nothing waits on this thread.
    for (int running = keptPasses_; running != 0; running = keptPasses_)
        keptPasses_.wait(running);
}

void QueueController::passEnded()
{
    --keptPasses_;
    keptPasses_.notify_all();
}

bool QueueController::hasRunningPasses() const
{
    return keptPasses_ != 0;
}

}  // namespace auralune

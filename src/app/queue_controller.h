#pragma once

#include "app/batch_alerts.h"
#include "app/settings_model.h"
#include "app/worker_pool.h"
#include "engine/audio_file.h"
#include "engine/pass_lock.h"
#include "platform/platform.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace auralune {

inline constexpr const char* kDropViewAddFileMsg = "DropViewAddFileMsg";

// The extensions the queue accepts, compared ignoring case.
bool hasSourceFileExtension(const std::string& path);

// Told when the table must be redrawn. Called on the main thread.
class QueueObserver {
public:
    virtual ~QueueObserver() = default;
    // Rows were added or removed, or every row's texts may have changed.
    virtual void queueReloaded() {}
    // A job reported progress or a new state (the job itself may be gone
    // by now: the pointer identifies it and is never to be followed).
    virtual void jobRefreshed(const void* job) { (void)job; }
    // A file added again while its row waits: that row is to be selected.
    virtual void rowSelected(std::size_t row) { (void)row; }
    // A conversion is about to start (the job is analysed and not yet
    // touched by its pass, so its facts may be read).
    virtual void conversionStarted(const AudioFile& job) { (void)job; }
};

// Who asked for a conversion: the toolbar's Convert converts every row, the
// context menu's Convert the rows its menu marked (contextAction bit 16),
// any other command the selected rows.
enum class ConvertSender { ConvertButton, ContextMenu, Other };

// The queue and batch driver of the main window, without any toolkit: the
// ordered jobs, the two pass locks and the current settings (the defaults
// store, read through the settings model). It adds files, starts the
// analysis of each new job at once, converts the eligible jobs on command,
// removes rows and keeps the settings that the preferences window
// announces. Everything runs on the main thread; each pass runs on a thread
// of its own.
class QueueController {
public:
    struct Options {
        std::string musicFolder;
        // The desktop app lets passes run on detached threads; the CLI keeps
        // them and waits for them (waitForPasses()).
        bool detachPasses = true;
        // Asked by the dialogs of a pass to switch them off; may be null.
        SettingsControllerInterface* settingsController = nullptr;
        const void* mainWindow = nullptr;
        // When set, each job draws its random numbers (dither) from a source
        // of its own, made from its path; else from the platform's.
        std::function<std::unique_ptr<RandomSource>(const std::string& path)> randomSourceFor;
        // When set, each job reads the date for its processing mark from a
        // clock of its own, made from its path; else from the platform's.
        std::function<std::unique_ptr<Clock>(const std::string& path)> clockFor;
        // The passes' threads: at most this many at once, started by this
        // (tests pass one that refuses); the pool's defaults when unset.
        std::size_t maxWorkers = WorkerPool::defaultWorkers();
        WorkerPool::ThreadStarter threadStarter;
    };

    QueueController(const Platform& platform, Options options);
    // Stops observing and, with kept threads, waits for every pass.
    ~QueueController();
    QueueController(const QueueController&) = delete;
    QueueController& operator=(const QueueController&) = delete;

    void setObserver(QueueObserver* observer) { observer_ = observer; }

    // --- The queue, in row order.
    std::size_t size() const { return queue_.size(); }
    bool empty() const { return queue_.empty(); }
    AudioFile& job(std::size_t row) { return queue_.at(row)->job; }
    const AudioFile& job(std::size_t row) const { return queue_.at(row)->job; }
    // The drop prompt shows while the queue is empty.
    bool dragDropPromptVisible() const { return queue_.empty(); }

    // --- Adding.
    // A dropped file ("DropViewAddFileMsg"): refused with a warning and a
    // beep unless its extension is a source type. Returns whether added.
    bool addNewFileToQueue(const std::string& path);
    // Files chosen in the open panel, which only offers source types.
    void addSourceFiles(const std::vector<std::string>& paths);
    // Starts the analysis of a job in state 2.
    void analyseAudioFile(AudioFile& job);

    // --- Converting. Starts the processing pass of every target in state 4
    // without errors, in row order; beeps when none was started. The rows
    // are used by ConvertSender::Other. Returns the number started.
    std::size_t processQueue(ConvertSender sender, const std::vector<std::size_t>& selectedRows = {});

    // --- Stopping. Stop after the current file: every row still waiting for
    // its turn returns to state 4 ("Cancelled."). Cancel: the converting row
    // too, at its next stage boundary, writing nothing. Return the number
    // of rows told.
    std::size_t stopAfterCurrentFile();
    std::size_t cancelConversion();
    // Converts completed, failed and cancelled rows again (under a new
    // destination name, as any conversion); other rows are left alone.
    // Returns the number started.
    std::size_t convertAgain(const std::vector<std::size_t>& rows);

    // The questions of the passes, answered for the rest of a batch once
    // the user asks for it, or always by a standing answer.
    BatchAlertPresenter& batchAlerts() { return batchAlerts_; }

    // --- Removing: only rows in states 2, 4, 8 and 9; every other row is
    // kept with a warning, and one beep sounds when any was kept. Returns
    // whether every chosen row was removed.
    bool remove(const std::vector<std::size_t>& rows);
    bool removeAll();

    // --- Settings.
    // The record a pass starts with, read from the current settings now.
    SettingsSnapshot snapshot(PassLock& lock) const;
    const SettingsModel& settings() const { return model_; }
    bool showFileExt() const { return showFileExt_; }
    bool showFullPath() const { return showFullPath_; }

    // Removes the controller from every notification (application end).
    void applicationWillTerminate();
    // Waits for every pass started on a kept thread. On the main thread of
    // a plain run loop it runs the loop's tasks (dialogs, refreshes) meanwhile.
    void waitForPasses();
    // True while a pass on a kept thread has not ended.
    bool hasRunningPasses() const;

    PassLock& analyseAudioLock() { return analyseAudioLock_; }
    PassLock& processAudioLock() { return processAudioLock_; }

private:
    // A job with the services it was made with; a running pass shares its
    // ownership, so removing a row never frees a job under its pass.
    struct QueuedJob {
        QueuedJob(const Platform& shared, std::unique_ptr<RandomSource> ownRandom, std::unique_ptr<Clock> ownClock);
        std::unique_ptr<RandomSource> random;
        std::unique_ptr<Clock> clock;
        Platform platform;
        AudioFile job;
    };

    std::shared_ptr<QueuedJob> makeJob(const std::string& path);
    std::size_t cancelRows(bool converting);
    bool anyRowIn(std::initializer_list<int> states) const;
    void append(const std::string& path);
    void startPass(std::shared_ptr<QueuedJob> entry, const SettingsSnapshot& snapshot,
                   void (AudioFile::*pass)(const SettingsSnapshot&));
    void passEnded();
    void refreshQueue(const void* job);
    void reloadTable();
    void updateDestinationTableText(const Notification& notification);
    void observe();

    const Platform& platform_;
    Options options_;
    SettingsModel model_;
    PassLock analyseAudioLock_;
    PassLock processAudioLock_;
    std::vector<std::shared_ptr<QueuedJob>> queue_;
    bool showFileExt_ = false;
    bool showFullPath_ = false;
    QueueObserver* observer_ = nullptr;
    BatchAlertPresenter batchAlerts_;
    std::vector<NotificationCenter::Token> observations_;

    std::atomic<int> keptPasses_{0};
    // Last, so that it ends first: a detached pool drops the passes not yet
    // started before anything they would use goes.
    WorkerPool pool_;
};

}  // namespace auralune

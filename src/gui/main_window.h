#pragma once

#include "app/batch_progress.h"
#include "app/destination_naming.h"
#include "app/queue_controller.h"
#include "app/window_selection.h"
#include "gui/settings_controller.h"
#include "platform/platform.h"

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace auralune {

class DropView;
class QueueTableModel;
class Workspace;

// The main window: the mode, enhancement and output format popups under the
// selection rules, the two suffix fields, the destination folder controls,
// the toolbar, the menus and the file table over the queue.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        std::string musicFolder;
        // Which enhancements may be chosen (those whose routines exist);
        // null admits every type.
        WindowSelection::Availability available;
        // Tells the desktop when a batch ends while the window is inactive.
        bool desktopNotifications = true;
        // The file browser, default applications and clipboard; null: the
        // desktop's own, on the session bus.
        Workspace* workspace = nullptr;
        // The preferences window's links and how it opens them.
        SettingsController::Options preferences;
    };

    MainWindow(const Platform& platform, Options options, QWidget* parent = nullptr);
    ~MainWindow() override;

    QComboBox* modePopup() const { return modePopup_; }
    QComboBox* filterTypePopup1() const { return filterTypePopup1_; }
    QComboBox* filterTypePopup2() const { return filterTypePopup2_; }
    QComboBox* outputFormatTypePopup() const { return outputFormatTypePopup_; }
    QComboBox* destinationFolderPopup() const { return destinationFolderPopup_; }
    QLineEdit* fileSuffixField(int stage) const;
    QLabel* destinationLabel() const { return destinationLabel_; }
    QPushButton* destinationFolderBrowse() const { return destinationFolderBrowse_; }
    DropView* tableView() const { return tableView_; }
    QueueTableModel* tableModel() const { return model_; }
    QueueController& controller() { return *controller_; }
    const WindowSelection& selection() const { return selection_; }

    QAction* convertButton() const { return convertButton_; }
    QAction* convertMenuItem() const { return convertMenuItem_; }
    QAction* removeAction() const { return removeAction_; }
    QAction* removeAllAction() const { return removeAllAction_; }
    QAction* copyMetricsAction() const { return copyMetricsAction_; }
    QAction* preferencesAction() const { return preferencesAction_; }
    QAction* stopAfterCurrentAction() const { return stopAfterCurrentAction_; }
    QAction* cancelConversionAction() const { return cancelConversionAction_; }
    QAction* addFolderAction() const { return addFolderAction_; }
    QAction* convertAgainAction() const { return convertAgainAction_; }
    // The status bar: the batch's progress while it runs, then its summary.
    QLabel* batchStatusLabel() const { return batchStatus_; }
    QProgressBar* batchProgressBar() const { return batchBar_; }
    SettingsController* preferences() const { return preferences_; }

    // The selected rows, ascending.
    std::vector<std::size_t> selectedRows() const;
    // True while a pass is working or waiting: quitting then skips the
    // orderly end of the program, since passes are not waited for.
    bool hasActivePasses() const;
    // Names from the command line, queued like a drop.
    void queueFiles(const std::vector<std::string>& paths);
    // Saves the window geometry and the table's column widths.
    void saveWindowState() const;
    // The file table's context menu for a right click at a point of the
    // table's viewport; opening it marks the rows it acts on. The caller
    // deletes it.
    QMenu* buildContextMenu(const QPoint& position);

public slots:
    void processQueueFromToolbar();
    void processSelectedRows();
    void selectSourceFiles();
    void removeSelectedRows();
    void removeAllRows();
    void copySelectedFilesMetrics();
    void chooseDestinationFolder();
    void setDestinationFolder(const QString& path);
    void showDestinationFolder();
    void showAbout();
    void showPreferences();
    void stopAfterCurrentFile();
    void convertSelectedRowsAgain();
    void cancelConversion();
    void selectSourceFolder();
    // Queues the source files of a folder, in name order.
    void addFolder(const QString& folder);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPopups();
    void buildControls();
    void buildActions();
    void restoreWindowState();
    void showSelection();
    void updateSuffixFields();
    void updateDestinationControls();
    void suffixEdited(int stage, const QString& text);
    void queueChanged();
    void notifyBatchFinished(const QString& summary);
    // Sizes the short fact columns (type, duration, rate, channels, bits)
    // to their contents.
    void fitFactColumns();
    void conversionStarting(const void* job, double audioSeconds);
    void updateBatchStatus();
    // Asks before quitting while files wait or convert; true: quit.
    bool confirmQuit();

    const Platform& platform_;
    Options options_;
    WindowSelection selection_;
    DestinationNaming naming_;
    // The preferences window, a window of its own kept for the window's life.
    SettingsController* preferences_ = nullptr;
    std::unique_ptr<Workspace> ownWorkspace_;
    Workspace* workspace_;
    std::unique_ptr<QueueController> controller_;

    QComboBox* modePopup_ = nullptr;
    QComboBox* filterTypePopup1_ = nullptr;
    QComboBox* filterTypePopup2_ = nullptr;
    QComboBox* outputFormatTypePopup_ = nullptr;
    QComboBox* destinationFolderPopup_ = nullptr;
    QLineEdit* destinationFileSuffix1_ = nullptr;
    QLineEdit* destinationFileSuffix2_ = nullptr;
    QLabel* destinationLabel_ = nullptr;
    QPushButton* destinationFolderBrowse_ = nullptr;
    QToolButton* destinationFolderShow_ = nullptr;
    DropView* tableView_ = nullptr;
    QueueTableModel* model_ = nullptr;

    QAction* convertButton_ = nullptr;
    QAction* addFilesAction_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* convertMenuItem_ = nullptr;
    QAction* removeAction_ = nullptr;
    QAction* removeAllAction_ = nullptr;
    QAction* copyMetricsAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QAction* preferencesAction_ = nullptr;
    QAction* stopAfterCurrentAction_ = nullptr;
    QAction* cancelConversionAction_ = nullptr;
    QAction* addFolderAction_ = nullptr;
    QAction* convertAgainAction_ = nullptr;
    QLabel* batchStatus_ = nullptr;
    QProgressBar* batchBar_ = nullptr;
    // Polls the batch while it runs: a pass's last refresh comes before
    // its final state.
    QTimer* batchTimer_ = nullptr;

    struct BatchEntry {
        const void* job;   // identity only
        BatchFile file;
    };
    std::vector<BatchEntry> batch_;
    double batchStart_ = 0.0;

};

}  // namespace auralune

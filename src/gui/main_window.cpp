#include "gui/main_window.h"

#include "formats/file_formats.h"

#include "app/context_menu.h"
#include "app/settings_keys.h"
#include "app/settings_model.h"
#include "engine/text_format.h"
#include "gui/context_menu_widget.h"
#include "gui/desktop_notifier.h"
#include "gui/desktop_services.h"
#include "gui/drop_view.h"
#include "gui/popup_items.h"
#include "gui/progress_delegate.h"
#include "gui/queue_table_model.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace auralune {

namespace {

// Window geometry and column widths live apart from the settings.
QSettings windowSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Auralune"),
                     QStringLiteral("window"));
}

DefaultsStore& withRegisteredDefaults(DefaultsStore& store, const std::string& musicFolder)
{
    registerDefaults(store, musicFolder);
    return store;
}

// A play or pause symbol in the palette's button text colour, for desktops
// whose icon theme has none: the style's own are black whatever the palette.
QIcon drawnIcon(bool pause, const QColor& colour)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    if (pause) {
        painter.drawRect(8, 6, 6, 20);
        painter.drawRect(18, 6, 6, 20);
    } else {
        const QPoint triangle[] = {{9, 5}, {27, 16}, {9, 27}};
        painter.drawPolygon(triangle, 3);
    }
    return QIcon(pixmap);
}

bool isActiveState(int state)
{
    return state == kStateCreating || state == kStateAnalysing || state == kStateQueued ||
           state == kStateConverting;
}

}  // namespace

MainWindow::MainWindow(const Platform& platform, Options options, QWidget* parent)
    : QMainWindow(parent),
      platform_(platform),
      options_(std::move(options)),
      selection_(withRegisteredDefaults(platform.defaults, options_.musicFolder), platform.log, options_.available),
      naming_(platform.defaults, platform.log, options_.musicFolder),
      ownWorkspace_(options_.workspace ? nullptr : std::make_unique<DesktopServices>()),
      workspace_(options_.workspace ? options_.workspace : ownWorkspace_.get())
{
    preferences_ = new SettingsController(platform_, SettingsModel(platform_.defaults, platform_.log, options_.musicFolder),
                                          options_.preferences, this);
    QueueController::Options queueOptions;
    queueOptions.musicFolder = options_.musicFolder;
    queueOptions.settingsController = preferences_;
    queueOptions.mainWindow = this;
    controller_ = std::make_unique<QueueController>(platform_, std::move(queueOptions));

    setWindowTitle(QStringLiteral("Auralune"));
    buildPopups();
    buildControls();
    buildActions();
    showSelection();
    updateDestinationControls();
    restoreWindowState();
    queueChanged();
}

MainWindow::~MainWindow()
{
    controller_->applicationWillTerminate();
    // The model observes the controller: it goes first.
    delete model_;
    model_ = nullptr;
}

QLineEdit* MainWindow::fileSuffixField(int stage) const
{
    return stage == 1 ? destinationFileSuffix1_ : destinationFileSuffix2_;
}

void MainWindow::buildPopups()
{
    modePopup_ = new QComboBox;
    modePopup_->setObjectName("modePopup");
    modePopup_->setAccessibleName(tr("Mode"));
    fillModePopup(modePopup_);
    filterTypePopup1_ = new QComboBox;
    filterTypePopup1_->setObjectName("filterTypePopup_1");
    filterTypePopup1_->setAccessibleName(tr("Enhancement 1"));
    filterTypePopup1_->setMaxVisibleItems(24);
    fillEnhancementPopup(filterTypePopup1_);
    filterTypePopup2_ = new QComboBox;
    filterTypePopup2_->setObjectName("filterTypePopup_2");
    filterTypePopup2_->setAccessibleName(tr("Enhancement 2"));
    filterTypePopup2_->setMaxVisibleItems(24);
    fillEnhancementPopup(filterTypePopup2_);
    outputFormatTypePopup_ = new QComboBox;
    outputFormatTypePopup_->setObjectName("outputFormatTypePopup");
    outputFormatTypePopup_->setAccessibleName(tr("Output format"));
    fillOutputFormatPopup(outputFormatTypePopup_);

    connect(modePopup_, &QComboBox::activated, this, [this](int row) {
        selection_.changeMode(static_cast<std::uint32_t>(popupTag(modePopup_, row)));
        showSelection();
    });
    connect(filterTypePopup1_, &QComboBox::activated, this, [this](int row) {
        selection_.changeFilter1(popupTag(filterTypePopup1_, row));
        showSelection();
    });
    connect(filterTypePopup2_, &QComboBox::activated, this, [this](int row) {
        selection_.changeFilter2(popupTag(filterTypePopup2_, row));
        showSelection();
    });
    connect(outputFormatTypePopup_, &QComboBox::activated, this, [this](int row) {
        selection_.changeOutputFormat(static_cast<std::uint32_t>(popupTag(outputFormatTypePopup_, row)));
        showSelection();
    });
}

void MainWindow::buildControls()
{
    destinationFileSuffix1_ = new QLineEdit;
    destinationFileSuffix1_->setObjectName("ID_file_suffix_1");
    destinationFileSuffix1_->setAccessibleName(tr("File name suffix of Enhancement 1"));
    destinationFileSuffix2_ = new QLineEdit;
    destinationFileSuffix2_->setObjectName("ID_file_suffix_2");
    destinationFileSuffix2_->setAccessibleName(tr("File name suffix of Enhancement 2"));
    for (int stage : {1, 2})
        connect(fileSuffixField(stage), &QLineEdit::textEdited, this,
                [this, stage](const QString& text) { suffixEdited(stage, text); });

    destinationFolderPopup_ = new QComboBox;
    destinationFolderPopup_->setObjectName("destinationFolderPopup");
    destinationFolderPopup_->setAccessibleName(tr("Destination"));
    fillDestinationFolderPopup(destinationFolderPopup_);
    const SettingsModel settings(platform_.defaults, platform_.log, options_.musicFolder);
    const auto option = static_cast<std::uint32_t>(settings.tagValue(kDestinationFolderOptionKey));
    selectPopupTag(destinationFolderPopup_, option == kDestinationNextToSource ? kDestinationNextToSource
                                                                                : kDestinationFolder);
    connect(destinationFolderPopup_, &QComboBox::activated, this, [this](int row) {
        naming_.updateDestinationFolderOption(static_cast<std::uint32_t>(popupTag(destinationFolderPopup_, row)),
                                              true);
        updateDestinationControls();
    });

    destinationLabel_ = new QLabel;
    destinationLabel_->setObjectName("destinationLabel");
    destinationLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    destinationLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    destinationFolderBrowse_ = new QPushButton(tr("Choose…"));
    destinationFolderBrowse_->setObjectName("destinationFolderBrowse");
    destinationFolderBrowse_->setAccessibleName(tr("Choose destination folder"));
    connect(destinationFolderBrowse_, &QPushButton::clicked, this, &MainWindow::chooseDestinationFolder);
    destinationFolderShow_ = new QToolButton;
    destinationFolderShow_->setObjectName("destinationFolderShow");
    destinationFolderShow_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    destinationFolderShow_->setAccessibleName(tr("Show destination folder"));
    destinationFolderShow_->setToolTip(tr("Show destination folder"));
    connect(destinationFolderShow_, &QToolButton::clicked, this, &MainWindow::showDestinationFolder);

    auto* choices = new QFormLayout;
    choices->addRow(tr("Mode:"), modePopup_);
    auto* enhancement1 = new QHBoxLayout;
    enhancement1->addWidget(filterTypePopup1_, 1);
    enhancement1->addWidget(new QLabel(tr("Suffix:")));
    enhancement1->addWidget(destinationFileSuffix1_);
    choices->addRow(tr("Enhancement 1:"), enhancement1);
    auto* enhancement2 = new QHBoxLayout;
    enhancement2->addWidget(filterTypePopup2_, 1);
    enhancement2->addWidget(new QLabel(tr("Suffix:")));
    enhancement2->addWidget(destinationFileSuffix2_);
    choices->addRow(tr("Enhancement 2:"), enhancement2);
    choices->addRow(tr("Output format:"), outputFormatTypePopup_);
    auto* destination = new QHBoxLayout;
    destination->addWidget(destinationFolderPopup_);
    destination->addWidget(destinationLabel_, 1);
    destination->addWidget(destinationFolderBrowse_);
    destination->addWidget(destinationFolderShow_);
    choices->addRow(tr("Destination:"), destination);

    tableView_ = new DropView(platform_.notifications, platform_.log);
    tableView_->setObjectName("tableView");
    model_ = new QueueTableModel(*controller_);
    model_->setPalette(tableView_->palette());
    tableView_->setModel(model_);
    tableView_->setItemDelegateForColumn(QueueTableModel::column(TableText::Progress),
                                         new ProgressDelegate(tableView_));
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setAlternatingRowColors(true);
    tableView_->setWordWrap(false);
    tableView_->setTextElideMode(Qt::ElideRight);
    tableView_->verticalHeader()->hide();
    tableView_->horizontalHeader()->setStretchLastSection(true);
    connect(model_, &QueueTableModel::queueChanged, this, &MainWindow::queueChanged);
    connect(model_, &QueueTableModel::conversionStarting, this, &MainWindow::conversionStarting);
    // The short fact columns follow their contents as rows come and go; the
    // name, state and enhancement columns keep the widths the user gave.
    connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::fitFactColumns);
    connect(model_, &QueueTableModel::rowSelectionRequested, this, [this](int row) {
        tableView_->selectRow(row);
        tableView_->scrollTo(model_->index(row, 0));
    });
    batchStatus_ = new QLabel;
    batchStatus_->setObjectName("batchStatus");
    batchBar_ = new QProgressBar;
    batchBar_->setObjectName("batchProgress");
    batchBar_->setRange(0, 1000);
    batchBar_->setTextVisible(false);
    batchBar_->setMaximumWidth(240);
    batchBar_->hide();
    statusBar()->addWidget(batchStatus_, 1);
    statusBar()->addPermanentWidget(batchBar_);
    batchTimer_ = new QTimer(this);
    batchTimer_->setInterval(250);
    connect(batchTimer_, &QTimer::timeout, this, &MainWindow::updateBatchStatus);
    tableView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tableView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        const std::unique_ptr<QMenu> menu(buildContextMenu(position));
        menu->exec(tableView_->viewport()->mapToGlobal(position));
    });

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(choices);
    layout->addWidget(tableView_, 1);
    setCentralWidget(central);
}

void MainWindow::buildActions()
{
    auto* toolbar = addToolBar(tr("Toolbar"));
    toolbar->setObjectName("toolbar");
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // Icons from the desktop's theme, with the style's own (drawn for the
    // palette in use, so visible on dark and light) where the theme has none.
    auto icon = [this](const char* name, QStyle::StandardPixmap fallback) {
        return QIcon::fromTheme(QString::fromLatin1(name), style()->standardIcon(fallback));
    };
    auto symbol = [this](const char* name, bool pause) {
        const QIcon themed = QIcon::fromTheme(QString::fromLatin1(name));
        return themed.isNull() ? drawnIcon(pause, palette().color(QPalette::ButtonText)) : themed;
    };
    convertButton_ = toolbar->addAction(symbol("media-playback-start", false), tr("Convert"));
    convertButton_->setObjectName("convertButton");
    connect(convertButton_, &QAction::triggered, this, &MainWindow::processQueueFromToolbar);
    addFilesAction_ = toolbar->addAction(icon("document-open", QStyle::SP_DialogOpenButton), tr("Add Files"));
    addFilesAction_->setObjectName("addFilesButton");
    connect(addFilesAction_, &QAction::triggered, this, &MainWindow::selectSourceFiles);
    addFolderAction_ = toolbar->addAction(icon("folder-open", QStyle::SP_DirOpenIcon), tr("Add Folder…"));
    addFolderAction_->setObjectName("addFolderButton");
    connect(addFolderAction_, &QAction::triggered, this, &MainWindow::selectSourceFolder);
    toolbar->addSeparator();
    stopAfterCurrentAction_ = toolbar->addAction(symbol("media-playback-pause", true), tr("Stop After Current File"));
    stopAfterCurrentAction_->setObjectName("stopAfterCurrentButton");
    connect(stopAfterCurrentAction_, &QAction::triggered, this, &MainWindow::stopAfterCurrentFile);
    cancelConversionAction_ = toolbar->addAction(icon("process-stop", QStyle::SP_BrowserStop), tr("Cancel Conversion"));
    cancelConversionAction_->setObjectName("cancelConversionButton");
    connect(cancelConversionAction_, &QAction::triggered, this, &MainWindow::cancelConversion);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    openAction_ = file->addAction(tr("&Open…"), QKeySequence::Open, this, &MainWindow::selectSourceFiles);
    file->addAction(addFolderAction_);
    convertMenuItem_ = file->addAction(tr("&Convert"), QKeySequence(Qt::CTRL | Qt::Key_R), this,
                                       &MainWindow::processSelectedRows);
    convertAgainAction_ = file->addAction(tr("Convert &Again"), this, &MainWindow::convertSelectedRowsAgain);
    convertAgainAction_->setObjectName("convertAgainAction");
    file->addAction(stopAfterCurrentAction_);
    file->addAction(cancelConversionAction_);
    file->addSeparator();
    removeAction_ = file->addAction(tr("&Remove"), QKeySequence::Delete, this, &MainWindow::removeSelectedRows);
    removeAllAction_ = file->addAction(tr("Remove &All"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete),
                                       this, &MainWindow::removeAllRows);
    file->addSeparator();
    // Set explicitly: some desktops define no standard Quit key. Closing the
    // window asks first while files convert.
    quitAction_ = file->addAction(tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, &QWidget::close);
    quitAction_->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    copyMetricsAction_ = edit->addAction(tr("Copy &Metrics"), QKeySequence::Copy, this,
                                         &MainWindow::copySelectedFilesMetrics);
    edit->addSeparator();
    // The platform's Preferences key where it has one (some desktops have
    // none), else the common Ctrl+,.
    const QKeySequence preferencesKey = QKeySequence(QKeySequence::Preferences).isEmpty()
                                            ? QKeySequence(Qt::CTRL | Qt::Key_Comma)
                                            : QKeySequence(QKeySequence::Preferences);
    preferencesAction_ = edit->addAction(tr("&Preferences…"), preferencesKey, this, &MainWindow::showPreferences);
    preferencesAction_->setObjectName("preferencesAction");
    preferencesAction_->setMenuRole(QAction::PreferencesRole);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About Auralune"), this, &MainWindow::showAbout)->setMenuRole(QAction::AboutRole);
}

void MainWindow::showSelection()
{
    const Selection& chosen = selection_.selection();
    for (int row = 0; row < modePopup_->count(); ++row)
        setPopupRowShown(modePopup_, row, row >= 2);
    selectPopupTag(modePopup_, chosen.mode);

    for (int stage : {1, 2}) {
        QComboBox* popup = stage == 1 ? filterTypePopup1_ : filterTypePopup2_;
        for (const PopupSection& section : kEnhancementPopupSections) {
            setPopupRowShown(popup, section.markPosition, selection_.enhancementSectionShown(section, stage));
            for (int i = 0; i < section.count; ++i) {
                const EnhancementCode code = EnhancementCode{1} << section.bits[static_cast<std::size_t>(i)];
                setPopupRowShown(popup, section.markPosition + 1 + i,
                                 stage == 1 ? selection_.enhancement1Shown(code) : selection_.enhancement2Shown(code));
            }
        }
        selectPopupTag(popup, stage == 1 ? chosen.filterType1 : chosen.filterType2);
    }

    for (int row = 0; row < outputFormatTypePopup_->count(); ++row) {
        const quint64 tag = popupTag(outputFormatTypePopup_, row);
        const bool shown = tag != 0 ? selection_.outputFormatShown(static_cast<std::uint32_t>(tag))
                                    : (row < 6 || selection_.channelSplittingShown());
        setPopupRowShown(outputFormatTypePopup_, row, shown);
    }
    selectPopupTag(outputFormatTypePopup_, chosen.outputFormatType);

    naming_.setEnhancements(chosen.filterType1, chosen.filterType2);
    updateSuffixFields();
}

void MainWindow::updateSuffixFields()
{
    for (int stage : {1, 2}) {
        const QString text = QString::fromStdString(naming_.fieldText(stage));
        if (fileSuffixField(stage)->text() != text)
            fileSuffixField(stage)->setText(text);
    }
}

void MainWindow::suffixEdited(int stage, const QString& text)
{
    naming_.updateFileSuffix(stage, text.toStdString());
    updateSuffixFields();
}

void MainWindow::updateDestinationControls()
{
    const bool nextToSource = selectedPopupTag(destinationFolderPopup_) == kDestinationNextToSource;
    destinationLabel_->setText(QString::fromStdString(naming_.destinationFolder()));
    destinationLabel_->setToolTip(destinationLabel_->text());
    // Dimmed, as a label that does not apply.
    destinationLabel_->setEnabled(!nextToSource);
    destinationFolderBrowse_->setEnabled(!nextToSource);
}

void MainWindow::chooseDestinationFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Destination Folder"), destinationLabel_->text());
    if (!folder.isEmpty())
        setDestinationFolder(folder);
}

void MainWindow::setDestinationFolder(const QString& path)
{
    naming_.selectDestinationFolder(path.toStdString());
    updateDestinationControls();
}

void MainWindow::showDestinationFolder()
{
    workspace_->openFolder(destinationLabel_->text().toStdString());
}

QMenu* MainWindow::buildContextMenu(const QPoint& position)
{
    return buildFileTableContextMenu(this, *controller_, tableView_->indexAt(position).row(), selectedRows(),
                                     *workspace_, platform_.beeper);
}

std::vector<std::size_t> MainWindow::selectedRows() const
{
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : tableView_->selectionModel()->selectedRows())
        rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::processQueueFromToolbar()
{
    convertButton_->setEnabled(false);
    controller_->processQueue(ConvertSender::ConvertButton);
    convertButton_->setEnabled(true);
}

void MainWindow::processSelectedRows()
{
    controller_->processQueue(ConvertSender::Other, selectedRows());
}

void MainWindow::selectSourceFiles()
{
    QStringList patterns;
    for (const std::string& type : sourceExtensionSpellings())
        patterns << QStringLiteral("*.") + QString::fromStdString(type);
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Add Audio Files"), QString(), tr("Audio files (%1)").arg(patterns.join(QLatin1Char(' '))));
    if (files.isEmpty())
        return;
    std::vector<std::string> paths;
    for (const QString& file : files)
        paths.push_back(file.toStdString());
    controller_->addSourceFiles(paths);
}

void MainWindow::queueFiles(const std::vector<std::string>& paths)
{
    std::vector<std::string> absolute;
    for (const std::string& path : paths)
        absolute.push_back(QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString());
    tableView_->postDroppedPaths(absolute);
}

void MainWindow::removeSelectedRows()
{
    controller_->remove(selectedRows());
}

void MainWindow::removeAllRows()
{
    controller_->removeAll();
}

void MainWindow::copySelectedFilesMetrics()
{
    const std::vector<std::size_t> rows = selectedRows();
    runContextCommand(ContextCommand::CopyMetrics, *controller_, false, rows, *workspace_, platform_.beeper);
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About Auralune"),
                       tr("<b>Auralune</b> %1<p>Restores and enhances audio recordings: phonograph, "
                          "quadraphonic and tape transfers, stereo width, surround and headphone "
                          "processing.</p>")
                           .arg(QStringLiteral(AURALUNE_VERSION)));
}

void MainWindow::showPreferences()
{
    preferences_->show();
    preferences_->raise();
    preferences_->activateWindow();
}

bool MainWindow::hasActivePasses() const
{
    for (std::size_t row = 0; row < controller_->size(); ++row)
        if (isActiveState(controller_->job(row).state.load()))
            return true;
    return false;
}

void MainWindow::queueChanged()
{
    tableView_->setDropPromptVisible(controller_->dragDropPromptVisible());
    updateBatchStatus();
}

void MainWindow::conversionStarting(const void* job, double audioSeconds)
{
    if (batch_.empty()) {
        batchStart_ = platform_.clock.seconds();
        batchTimer_->start();
    }
    for (const BatchEntry& entry : batch_)
        if (entry.job == job)
            return;
    batch_.push_back({job, BatchFile{BatchFile::Outcome::Waiting, audioSeconds, 0.0, false}});
    stopAfterCurrentAction_->setEnabled(true);
    cancelConversionAction_->setEnabled(true);
}

void MainWindow::updateBatchStatus()
{
    const bool wasRunning = !batch_.empty();
    bool running = false;
    std::vector<BatchFile> files;
    for (BatchEntry& entry : batch_) {
        for (std::size_t row = 0; row < controller_->size(); ++row) {
            const AudioFile& job = controller_->job(row);
            if (&job != entry.job)
                continue;
            BatchFile& file = entry.file;
            switch (job.state.load()) {
            case kStateQueued: file.outcome = BatchFile::Outcome::Waiting; break;
            case kStateConverting: {
                file.outcome = BatchFile::Outcome::Converting;
                const int percent = model_->index(static_cast<int>(row), 0)
                                        .data(QueueTableModel::ProgressRole).toInt();
                file.progress = std::max(0, percent) / 100.0;
                break;
            }
            case kStateConverted:
                file.outcome = BatchFile::Outcome::Converted;
                file.warnings = job.warning.load() != 0;
                break;
            case kStateFailed: file.outcome = BatchFile::Outcome::Failed; break;
            case kStateAnalysed: file.outcome = BatchFile::Outcome::Cancelled; break;
            default: break;
            }
        }
        running = running || entry.file.outcome == BatchFile::Outcome::Waiting ||
                  entry.file.outcome == BatchFile::Outcome::Converting;
        files.push_back(entry.file);
    }
    stopAfterCurrentAction_->setEnabled(running);
    cancelConversionAction_->setEnabled(running);
    if (!wasRunning)
        return;
    const double elapsed = platform_.clock.seconds() - batchStart_;
    if (running) {
        const BatchStatus status = batchStatus(files, elapsed);
        batchStatus_->setText(QString::fromStdString(batchStatusText(status, elapsed)));
        batchBar_->setValue(static_cast<int>(status.fraction * 1000.0));
        batchBar_->show();
        setWindowTitle(QStringLiteral("Auralune \u2014 %1%").arg(static_cast<int>(status.fraction * 100.0)));
        return;
    }
    const QString summary = QString::fromStdString(batchSummaryText(files, elapsed));
    batch_.clear();
    batchTimer_->stop();
    batchBar_->hide();
    batchStatus_->setText(summary);
    setWindowTitle(QStringLiteral("Auralune"));
    // The rate and bits now read "44100 > 88200" and "16 > 24".
    fitFactColumns();
    notifyBatchFinished(summary);
}

void MainWindow::fitFactColumns()
{
    for (TableText text : {TableText::FileType, TableText::Duration, TableText::FrameRate, TableText::Channels,
                           TableText::SampleSizeBits})
        tableView_->resizeColumnToContents(QueueTableModel::column(text));
}

void MainWindow::notifyBatchFinished(const QString& summary)
{
    if (!options_.desktopNotifications || isActiveWindow())
        return;
    notifyDesktop(tr("Conversion finished"), summary);
}

void MainWindow::convertSelectedRowsAgain()
{
    controller_->convertAgain(selectedRows());
}

void MainWindow::stopAfterCurrentFile()
{
    controller_->stopAfterCurrentFile();
}

void MainWindow::cancelConversion()
{
    controller_->cancelConversion();
}

void MainWindow::selectSourceFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Add Folder"));
    if (!folder.isEmpty())
        addFolder(folder);
}

void MainWindow::addFolder(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        const std::string path = dir.absoluteFilePath(name).toStdString();
        if (hasSourceFileExtension(path))
            controller_->addNewFileToQueue(path);
    }
}

bool MainWindow::confirmQuit()
{
    int waiting = 0;
    for (std::size_t row = 0; row < controller_->size(); ++row) {
        const int state = controller_->job(row).state.load();
        waiting += state == kStateQueued || state == kStateConverting ? 1 : 0;
    }
    if (waiting == 0)
        return true;
    Alert alert;
    alert.style = Alert::Style::Warning;
    alert.message = waiting == 1 ? "Quit and abandon 1 file?" : formatText("Quit and abandon %d files?", waiting);
    alert.informativeText = "The file being converted stops where it is and nothing more is written.";
    alert.buttons = {"Cancel", "Quit"};
    alert.window = this;
    if (platform_.alerts.run(alert).button != 1)
        return false;
    controller_->cancelConversion();
    return true;
}

void MainWindow::restoreWindowState()
{
    QSettings settings = windowSettings();
    if (!restoreGeometry(settings.value("geometry").toByteArray()))
        resize(1100, 640);
    QHeaderView* header = tableView_->horizontalHeader();
    if (!header->restoreState(settings.value("columns").toByteArray())) {
        const std::pair<TableText, int> widths[] = {
            {TableText::SourceName, 220}, {TableText::FileType, 110},     {TableText::State, 230},
            {TableText::Progress, 110},   {TableText::Duration, 70},      {TableText::FrameRate, 70},
            {TableText::Channels, 70},    {TableText::SampleSizeBits, 50}, {TableText::Filter, 160},
        };
        for (const auto& [text, width] : widths)
            header->resizeSection(QueueTableModel::column(text), width);
    }
}

void MainWindow::saveWindowState() const
{
    QSettings settings = windowSettings();
    settings.setValue("geometry", saveGeometry());
    settings.setValue("columns", tableView_->horizontalHeader()->saveState());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!confirmQuit()) {
        event->ignore();
        return;
    }
    saveWindowState();
    preferences_->close();
    event->accept();
}

}  // namespace auralune

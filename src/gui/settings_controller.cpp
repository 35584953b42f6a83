#include "gui/settings_controller.h"

#include "app/settings_help.h"
#include "app/settings_texts.h"
#include "engine/assertion.h"
#include "engine/text_format.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QSysInfo>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

namespace auralune {

namespace {

QString qText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const SettingHelp& helpOf(std::string_view key)
{
    const SettingHelp* help = findSettingHelp(key);
    if (!help)
        raiseAssertion("Setting without help in %s", "-[SettingsController helpOf:]");
    return *help;
}

int sliderSteps(const PreferenceControl& row)
{
    return static_cast<int>(std::lround((row.maximum - row.minimum) / row.step));
}

int sliderPosition(const PreferenceControl& row, double value)
{
    const long position = std::lround((value - row.minimum) / row.step);
    return static_cast<int>(std::clamp<long>(position, 0, sliderSteps(row)));
}

double sliderValue(const PreferenceControl& row, int position)
{
    // Rounded to the step's decimals so that 0.1-mm steps give 1.2, not 1.2000000000000002.
    return std::round((row.minimum + position * row.step) * 1000.0) / 1000.0;
}

// A notification carries switches as numbers, the clip management tag as
// its "%lu" text, other tags as unsigned numbers and reals as doubles.
NotificationValue notificationValue(const SettingDefinition& setting, const SettingValue& value)
{
    if (const auto* on = std::get_if<bool>(&value))
        return *on;
    if (const auto* tag = std::get_if<std::uint64_t>(&value)) {
        if (setting.key == kClipManagementKey)
            return tagText(*tag);
        return *tag;
    }
    if (const auto* real = std::get_if<double>(&value))
        return *real;
    return std::get<std::string>(value);
}

}  // namespace

SettingsController::SettingsController(const Platform& platform, const SettingsModel& settings, Options options,
                                       QWidget* parent)
    : QMainWindow(parent, Qt::Window), platform_(platform), options_(std::move(options))
{
    setObjectName("preferencesWindow");
    for (const PreferenceControl& row : preferenceControls())
        values_.emplace(row.key, settings.value(*findSetting(row.key)));

    auto* toolbar = addToolBar(tr("Preferences"));
    toolbar->setObjectName("preferencesToolbar");
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* group = new QActionGroup(this);
    pages_ = new QStackedWidget;
    for (const PreferencesTabInfo& info : kPreferencesTabs) {
        QAction* item = toolbar->addAction(qText(info.title));
        item->setObjectName(qText(info.identifier));
        item->setCheckable(true);
        group->addAction(item);
        toolbarItems_[info.tab] = item;
        connect(item, &QAction::triggered, this, [this, tab = info.tab] { showPreferencesTab(tab); });
        pages_->addWidget(buildTab(info.tab));
    }
    setCentralWidget(pages_);

    showing_ = true;
    for (const PreferenceControl& row : preferenceControls())
        showValue(row);
    showing_ = false;
    applyEnabling();
    showPreferencesTab(PreferencesTab::General);
}

QWidget* SettingsController::buildTab(PreferencesTab tab)
{
    if (tab == PreferencesTab::Features)
        return buildFeatures();
    if (tab == PreferencesTab::About)
        return buildAbout();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const PreferenceControl& row : preferenceControls()) {
        if (row.tab != tab)
            continue;
        QWidget* widget = buildControl(row);
        if (row.hidden) {
            widget->setParent(page);
            widget->hide();
            continue;
        }
        if (row.kind == ControlKind::Check || row.kind == ControlKind::Radio) {
            form->addRow(widget);
            continue;
        }
        QWidget* field = widget;
        if (row.kind == ControlKind::Slider && row.titles.empty()) {
            field = new QWidget;
            auto* line = new QHBoxLayout(field);
            line->setContentsMargins(0, 0, 0, 0);
            line->addWidget(widget, 1);
            line->addWidget(valueLabels_.at(std::string(row.key)));
        }
        auto* label = new QLabel(qText(helpOf(row.key).title) + QLatin1Char(':'));
        label->setBuddy(widget);
        form->addRow(label, field);
    }
    layout->addLayout(form);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    for (const PreferencesHelp& help : kPreferencesHelp) {
        if (help.tab != tab)
            continue;
        auto* button = new QPushButton(tr("Help"));
        button->setObjectName(qText(help.outlet));
        button->setToolTip(tr("Opens the user guide's page on these settings"));
        connect(button, &QPushButton::clicked, this, [this, tab] { openHelp(tab); });
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    for (const PreferencesReset& reset : kPreferencesResets) {
        if (reset.tab != tab)
            continue;
        auto* button = new QPushButton(tr("Restore Defaults"));
        button->setObjectName(qText(reset.outlet));
        button->setToolTip(tr("Puts every setting of this tab back to its default"));
        connect(button, &QPushButton::clicked, this, [this, group = reset.group] { resetGroup(group); });
        resetButtons_[reset.group] = button;
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    return page;
}

QWidget* SettingsController::buildControl(const PreferenceControl& row)
{
    const SettingHelp& help = helpOf(row.key);
    const QString title = qText(help.title);
    QWidget* widget = nullptr;
    switch (row.kind) {
    case ControlKind::Check: {
        auto* box = new QCheckBox(title);
        connect(box, &QCheckBox::clicked, this, [this, &row](bool on) { userChanged(row, SettingValue(on)); });
        widget = box;
        break;
    }
    case ControlKind::Popup: {
        auto* popup = new QComboBox;
        for (const SettingChoice& choice : help.choices)
            popup->addItem(qText(choice.title), QVariant::fromValue<qulonglong>(choice.tag));
        connect(popup, &QComboBox::activated, this, [this, &row, popup](int index) {
            userChanged(row, SettingValue(static_cast<std::uint64_t>(popup->itemData(index).toULongLong())));
        });
        widget = popup;
        break;
    }
    case ControlKind::Radio: {
        auto* box = new QGroupBox(title);
        auto* column = new QVBoxLayout(box);
        auto* buttons = new QButtonGroup(box);
        for (const SettingChoice& choice : help.choices) {
            auto* radio = new QRadioButton(qText(choice.title));
            radio->setObjectName(QStringLiteral("%1_%2").arg(qText(row.outlet)).arg(choice.tag));
            buttons->addButton(radio, static_cast<int>(choice.tag));
            column->addWidget(radio);
        }
        connect(buttons, &QButtonGroup::idClicked, this, [this, &row](int tag) {
            userChanged(row, SettingValue(static_cast<std::uint64_t>(tag)));
        });
        widget = box;
        break;
    }
    case ControlKind::Slider: {
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setRange(0, sliderSteps(row));
        slider->setPageStep(std::max(1, sliderSteps(row) / 10));
        connect(slider, &QSlider::valueChanged, this, [this, &row, slider](int position) {
            sliderMoved(row, position, !slider->isSliderDown());
        });
        connect(slider, &QSlider::sliderReleased, this,
                [this, &row, slider] { sliderMoved(row, slider->value(), true); });
        if (row.titles.empty()) {
            auto* text = new QLabel;
            text->setObjectName(qText(row.outlet).replace(QStringLiteral("Slider"), QStringLiteral("Text")));
            text->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("300 mm [12 inch]")));
            valueLabels_[std::string(row.key)] = text;
        }
        widget = slider;
        break;
    }
    case ControlKind::Number: {
        auto* box = new QSpinBox;
        box->setRange(static_cast<int>(row.minimum), static_cast<int>(row.maximum));
        box->setSingleStep(static_cast<int>(row.step));
        connect(box, &QSpinBox::editingFinished, this, [this, &row, box] {
            if (static_cast<std::uint64_t>(box->value()) != std::get<std::uint64_t>(heldValue(row.key)))
                userChanged(row, SettingValue(static_cast<std::uint64_t>(box->value())));
        });
        widget = box;
        break;
    }
    case ControlKind::Field: {
        auto* field = new QLineEdit;
        field->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.0000")));
        connect(field, &QLineEdit::editingFinished, this, &SettingsController::clipThresholdEdited);
        widget = field;
        break;
    }
    }
    widget->setObjectName(qText(row.outlet));
    widget->setAccessibleName(title);
    controls_[std::string(row.key)] = widget;
    return widget;
}

QWidget* SettingsController::buildFeatures()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* scroll = new QScrollArea;
    scroll->setObjectName("preferencesFeaturesScrollView");
    scroll->setWidgetResizable(true);
    QStringList lines;
    for (const std::string& line : featureListLines())
        lines << QString::fromStdString(line).toHtmlEscaped();
    auto* list = new QLabel(QStringLiteral("<pre>%1</pre>").arg(lines.join(QLatin1Char('\n'))));
    list->setTextInteractionFlags(Qt::TextSelectableByMouse);
    list->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    scroll->setWidget(list);
    layout->addWidget(scroll);
    scroll->verticalScrollBar()->setValue(0);
    return page;
}

QWidget* SettingsController::buildAbout()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* version = new QLabel(QStringLiteral("Auralune v%1 (%2)")
                                   .arg(QStringLiteral(AURALUNE_VERSION), QSysInfo::buildCpuArchitecture()));
    version->setObjectName("versionText");
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    layout->addWidget(version);
    layout->addWidget(new QLabel(tr("Restores and enhances audio recordings: phonograph, quadraphonic and tape "
                                    "transfers, stereo width, surround and headphone processing.")));
    auto* licences = new QLabel(
        tr("Auralune is free software under the GNU General Public License, version 3 or later (see LICENSE).\n"
           "It uses Qt %1 (LGPL-3.0) for its windows and CLI11 (BSD-3-Clause) for its command line.")
            .arg(QString::fromLatin1(qVersion())));
    licences->setObjectName("licenceText");
    licences->setWordWrap(true);
    layout->addWidget(licences);

    auto* links = new QHBoxLayout;
    auto* home = new QPushButton(tr("Project Home Page"));
    home->setObjectName("hyperlinkButtonMain");
    home->setFlat(true);
    QPalette linkPalette = home->palette();
    linkPalette.setColor(QPalette::ButtonText, linkPalette.color(QPalette::Link));
    home->setPalette(linkPalette);
    home->setToolTip(options_.homeUrl);
    connect(home, &QPushButton::clicked, this, [this] { open(QUrl(options_.homeUrl)); });
    auto* releases = new QPushButton(tr("Software Updates"));
    releases->setObjectName("hyperlinkButtonDownloads");
    releases->setToolTip(options_.releasesUrl);
    connect(releases, &QPushButton::clicked, this, [this] { open(QUrl(options_.releasesUrl)); });
    links->addWidget(home);
    links->addWidget(releases);
    if (!options_.supportAddress.isEmpty()) {
        auto* mail = new QPushButton(options_.supportAddress);
        mail->setObjectName("emailSupportButton");
        mail->setToolTip(tr("Writes a support mail"));
        connect(mail, &QPushButton::clicked, this, &SettingsController::sendSupportEmail);
        links->addWidget(mail);
    }
    links->addStretch(1);
    layout->addLayout(links);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    auto* help = new QPushButton(tr("Help"));
    help->setObjectName(qText(kPreferencesHelp.back().outlet));
    connect(help, &QPushButton::clicked, this, [this] { openHelp(PreferencesTab::About); });
    buttons->addWidget(help);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return page;
}

void SettingsController::showPreferencesTab(PreferencesTab tab)
{
    for (std::size_t i = 0; i < kPreferencesTabs.size(); ++i) {
        if (kPreferencesTabs[i].tab != tab)
            continue;
        tab_ = tab;
        pages_->setCurrentIndex(static_cast<int>(i));
        toolbarItems_.at(tab)->setChecked(true);
        setWindowTitle(qText(kPreferencesTabs[i].title));
    }
}

QAction* SettingsController::toolbarItem(PreferencesTab tab) const
{
    return toolbarItems_.at(tab);
}

const SettingValue& SettingsController::heldValue(std::string_view key) const
{
    const auto it = values_.find(key);
    if (it == values_.end())
        raiseAssertion("Unexpected sender in %s", "-[SettingsController heldValue:]");
    return it->second;
}

QWidget* SettingsController::control(std::string_view key) const
{
    const auto it = controls_.find(key);
    return it == controls_.end() ? nullptr : it->second;
}

QLabel* SettingsController::valueLabel(std::string_view key) const
{
    const auto it = valueLabels_.find(key);
    return it == valueLabels_.end() ? nullptr : it->second;
}

QAbstractButton* SettingsController::resetButton(unsigned group) const
{
    const auto it = resetButtons_.find(group);
    return it == resetButtons_.end() ? nullptr : it->second;
}

void SettingsController::updateWarnPreprocess(bool warn)
{
    setSettingValue(kWarnPreprocessKey, SettingValue(warn));
}

void SettingsController::updateClipManagement(int tag)
{
    setSettingValue(kClipManagementKey, SettingValue(static_cast<std::uint64_t>(tag)));
}

void SettingsController::setSettingValue(std::string_view key, const SettingValue& value)
{
    const PreferenceControl* row = findPreferenceControl(key);
    if (!row)
        raiseAssertion("Unexpected sender in %s", "-[SettingsController setSettingValue:]");
    store(key, value);
    showing_ = true;
    showValue(*row);
    showing_ = false;
    applyEnabling();
    logChange(key);
    post(findSetting(key)->notification);
}

void SettingsController::userChanged(const PreferenceControl& row, const SettingValue& value)
{
    if (showing_)
        return;
    store(row.key, value);
    refreshValueText(row);
    applyEnabling();
    logChange(row.key);
    post(findSetting(row.key)->notification);
}

void SettingsController::sliderMoved(const PreferenceControl& row, int position, bool postChange)
{
    if (showing_)
        return;
    // While the knob is dragged only the text follows; the value is taken
    // when it is let go. A value equal to the held one posts nothing.
    const double value = sliderValue(row, position);
    showValueText(row, value);
    if (!postChange || value == std::get<double>(heldValue(row.key)))
        return;
    store(row.key, SettingValue(value));
    if (row.key == "StartDiameterWow" || row.key == "StopDiameterWow") {
        const bool start = row.key == "StartDiameterWow";
        const WowDiameters moved = interlockWowDiameters(
            {std::get<double>(heldValue("StartDiameterWow")), std::get<double>(heldValue("StopDiameterWow"))},
            start ? WowSlider::StartDiameter : WowSlider::StopDiameter);
        const std::string_view other = start ? "StopDiameterWow" : "StartDiameterWow";
        const double otherValue = start ? moved.stop : moved.start;
        if (otherValue != std::get<double>(heldValue(other))) {
            store(other, SettingValue(otherValue));
            showing_ = true;
            showValue(*findPreferenceControl(other));
            showing_ = false;
            logChange(other);
        }
    }
    logChange(row.key);
    post(findSetting(row.key)->notification);
}

void SettingsController::clipThresholdEdited()
{
    auto* field = static_cast<QLineEdit*>(control(kClipThresholdKey));
    const double previous = std::get<double>(heldValue(kClipThresholdKey));
    const ClipThresholdEntry entry = parseClipThreshold(field->text().toStdString(), previous, platform_.log);
    field->setText(QString::fromStdString(entry.fieldText));
    if (!entry.accepted || entry.value == previous)
        return;
    store(kClipThresholdKey, SettingValue(entry.value));
    logChange(kClipThresholdKey);
    post(kSettingsUpdateClipThreshold);
}

void SettingsController::resetGroup(unsigned group)
{
    std::vector<std::string_view> notifications;
    const auto settings = settingsOfResetGroup(group);
    for (const SettingDefinition* setting : settings) {
        SettingValue value;
        switch (setting->type) {
        case SettingType::Switch: value = setting->resetValue != 0.0; break;
        case SettingType::Tag: value = static_cast<std::uint64_t>(setting->resetValue); break;
        default: value = setting->resetValue; break;
        }
        store(setting->key, value);
        if (const PreferenceControl* row = findPreferenceControl(setting->key)) {
            showing_ = true;
            showValue(*row);
            showing_ = false;
        }
        if (std::find(notifications.begin(), notifications.end(), setting->notification) == notifications.end())
            notifications.push_back(setting->notification);
    }
    applyEnabling();
    for (const SettingDefinition* setting : settings)
        logChange(setting->key);
    for (std::string_view name : notifications)
        post(name);
}

void SettingsController::store(std::string_view key, const SettingValue& value)
{
    values_.insert_or_assign(std::string(key), value);
}

void SettingsController::showValue(const PreferenceControl& row)
{
    QWidget* widget = control(row.key);
    const SettingValue& value = heldValue(row.key);
    switch (row.kind) {
    case ControlKind::Check:
        static_cast<QCheckBox*>(widget)->setChecked(std::get<bool>(value));
        break;
    case ControlKind::Popup: {
        auto* popup = static_cast<QComboBox*>(widget);
        popup->setCurrentIndex(popup->findData(QVariant::fromValue<qulonglong>(std::get<std::uint64_t>(value))));
        break;
    }
    case ControlKind::Radio:
        for (auto* button : widget->findChildren<QRadioButton*>())
            button->setChecked(button->objectName().endsWith(
                QStringLiteral("_%1").arg(std::get<std::uint64_t>(value))));
        break;
    case ControlKind::Slider:
        static_cast<QSlider*>(widget)->setValue(sliderPosition(row, std::get<double>(value)));
        break;
    case ControlKind::Field:
        static_cast<QLineEdit*>(widget)->setText(QString::fromStdString(clipThresholdText(std::get<double>(value))));
        break;
    case ControlKind::Number:
        static_cast<QSpinBox*>(widget)->setValue(static_cast<int>(std::get<std::uint64_t>(value)));
        break;
    }
    refreshValueText(row);
}

void SettingsController::refreshValueText(const PreferenceControl& row)
{
    if (row.kind == ControlKind::Slider)
        showValueText(row, std::get<double>(heldValue(row.key)));
}

void SettingsController::showValueText(const PreferenceControl& row, double value)
{
    const std::optional<std::string> text = preferenceValueText(row.key, value);
    if (!text)
        raiseAssertion("Unexpected Groove stylus model distortion value in %s",
                       "-[SettingsController customSetGrooveDistortionText]");
    if (!row.titles.empty())
        static_cast<QCheckBox*>(control(row.titles))->setText(QString::fromStdString(*text));
    else
        valueLabel(row.key)->setText(QString::fromStdString(*text));
}

void SettingsController::applyEnabling()
{
    auto on = [this](std::string_view key) { return std::get<bool>(heldValue(key)); };
    PreferencesState state;
    state.calculateDstR128 = on("CalculateDstR128");
    state.adjustDstR128 = on("AdjustDstR128");
    state.useLpDistortionCancel = on("UseLpDistortionCancel");
    state.useHumRemoval = on("UseHumRemoval");
    state.useHumRemovalCD4 = on("UseHumRemovalCD4");
    state.useWowCorrection = on("UseWowCorrection");
    state.pitchCorrectionWow = std::get<std::uint64_t>(heldValue("PitchCorrectionWow"));

    for (const PreferenceControl& row : preferenceControls()) {
        const bool available = settingAvailable(row.key);
        const bool enabled = available && preferenceControlEnabled(row.key, state);
        QWidget* widget = control(row.key);
        widget->setEnabled(enabled);
        widget->setToolTip(available ? qText(helpOf(row.key).sentence) : qText(kNotAvailableYet));
        if (QLabel* text = valueLabel(row.key))
            text->setEnabled(enabled);
    }
}

void SettingsController::logChange(std::string_view key)
{
    const SettingValue& value = heldValue(key);
    std::string title;
    if (const auto* on = std::get_if<bool>(&value)) {
        title = switchText(*on);
    } else if (const auto* tag = std::get_if<std::uint64_t>(&value)) {
        title = tagText(*tag);
        for (const SettingChoice& choice : helpOf(key).choices)
            if (choice.tag == *tag)
                title = choice.title;
    } else if (const auto* real = std::get_if<double>(&value)) {
        title = key == kClipThresholdKey ? clipThresholdText(*real) : realText(*real);
    }
    if (auto line = settingChangedText(key, title, value))
        platform_.log.info(*line);
}

void SettingsController::post(std::string_view notification)
{
    UserInfo info;
    for (const SettingDefinition* setting : settingsOfNotification(notification))
        if (const auto it = values_.find(setting->key); it != values_.end())
            info.emplace(std::string(setting->userInfoKey), notificationValue(*setting, it->second));
    platform_.notifications.post(std::string(notification), static_cast<const SettingsControllerInterface*>(this),
                                 std::move(info));
}

void SettingsController::openHelp(PreferencesTab tab)
{
    for (const PreferencesHelp& help : kPreferencesHelp)
        if (help.tab == tab)
            open(QUrl(options_.guideUrl + qText(help.page) + QStringLiteral(".md")));
}

void SettingsController::sendSupportEmail()
{
    const std::string url = supportMailUrl(options_.supportAddress.toStdString(), "Auralune",
                                           QDate::currentDate().toString(Qt::ISODate).toStdString());
    platform_.log.info("Mailto:" + url);
    open(QUrl(QString::fromStdString(url), QUrl::TolerantMode));
}

void SettingsController::open(const QUrl& url)
{
    if (options_.openUrl)
        options_.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

}  // namespace auralune

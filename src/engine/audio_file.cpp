#include "engine/audio_file.h"
#include "engine/pass_lock.h"

#include "formats/file_formats.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace auralune {

AudioFile::AudioFile(const Platform& platform) : platform(platform) {}

void AudioFile::initWithName(const std::string& path, bool showExtension, bool showFullPath)
{
    state = kStateCreating;
    error = 0;
    warning_1 = 0;
    warning_2 = 0;
    unknownPriorEnhancement1.reset();
    unknownPriorEnhancement2.reset();

    inputFile = path;
    const std::filesystem::path p(path);
    std::filesystem::path shown = showFullPath ? p : p.filename();
    if (!showExtension)
        shown.replace_extension();

    std::string typeText;
    if (const FileFormat* format = fileFormatForPath(path)) {
        srcFileType = format->fileType;
        // The AIFF reader decides between AIFF and AIFF-C from the file itself.
        if (format->reader != &AudioFile::AnalyseAIFC)
            typeText = findFileType(srcFileType)->typeText;
    } else {
        srcFileType = kFileUnsupported;
        typeText = "Unsupported";
    }

    {
        std::lock_guard lock(textMutex_);
        texts_ = {};
        errorCause_.clear();
        texts_[static_cast<int>(TableText::SourceName)] = shown.string();
        texts_[static_cast<int>(TableText::FileType)] = typeText;
        for (TableText t : {TableText::State, TableText::Duration, TableText::FrameRate, TableText::Channels,
                            TableText::SampleSizeBits, TableText::Filter, TableText::DestinationName})
            texts_[static_cast<int>(t)] = "--";
        progressTableTextLastUpdate_ = platform.clock.seconds();
    }
    state = kStateNew;
}

void AudioFile::updateProgressTableText(std::uint32_t percent)
{
    const double now = platform.clock.seconds();
    std::uint32_t shown = percent;
    {
        std::lock_guard lock(textMutex_);
        if (percent >= 100) {
            shown = 100;
        } else if (percent != 0 && !(now - progressTableTextLastUpdate_ > 0.1)) {
            return;
        }
        progressTableTextLastUpdate_ = now;
        texts_[static_cast<int>(TableText::Progress)] = std::to_string(shown) + "%";
    }
    postRefresh();
}

void AudioFile::postRefresh()
{
    NotificationCenter& center = platform.notifications;
    const AudioFile* job = this;
    platform.mainThread.async([&center, job] { center.post(kAudioFileRefreshViewMsg, job); });
}

void AudioFile::ShowFileAlreadyProcessedWarning(const std::string& priorEnhancements)
{
    const Platform& p = platform;
    bool suppressed = false;
    const void* window = settings.mainWindow;
    const std::lock_guard turn(dialogTurn());
    p.mainThread.sync([&] {
        p.beeper.beep();
        Alert alert;
        alert.style = Alert::Style::Warning;
        alert.message = "Warning";
        alert.informativeText = "This source file has already been processed with " + priorEnhancements + ".";
        alert.kind = Alert::Kind::ConvertedBefore;
        alert.subject = std::filesystem::path(inputFile).filename().string();
        alert.buttons = {"OK"};
        alert.suppressionTitle = "Do not show this warning again";
        alert.window = window;
        suppressed = p.alerts.run(alert).suppressed;
        if (suppressed && settings.settingsController)
            settings.settingsController->updateWarnPreprocess(false);
    });
}

void AudioFile::composeErrorStateText()
{
    std::lock_guard lock(textMutex_);
    texts_[static_cast<int>(TableText::DestinationName)] = "--";
    texts_[static_cast<int>(TableText::State)] = errorTexts(error);
}

std::string AudioFile::errorCause() const
{
    std::lock_guard lock(textMutex_);
    return errorCause_;
}

void AudioFile::setErrorCause(std::string cause)
{
    std::lock_guard lock(textMutex_);
    errorCause_ = std::move(cause);
}

TableTexts AudioFile::tableTexts() const
{
    std::lock_guard lock(textMutex_);
    return texts_;
}

std::string AudioFile::tableText(TableText which) const
{
    std::lock_guard lock(textMutex_);
    return texts_[static_cast<int>(which)];
}

void AudioFile::setTableText(TableText which, std::string text)
{
    std::lock_guard lock(textMutex_);
    texts_[static_cast<int>(which)] = std::move(text);
}

void AudioFile::appendStateText(std::string_view text)
{
    std::lock_guard lock(textMutex_);
    texts_[static_cast<int>(TableText::State)].append(text);
}

void AudioFile::applySettingsSnapshot(const SettingsSnapshot& snapshot)
{
    settings = snapshot;
    settings.passLock = nullptr;
}

}  // namespace auralune

#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/pass_lock.h"
#include "engine/text_format.h"
#include "formats/file_formats.h"
#include "formats/processing_mark.h"

#include <filesystem>
#include <thread>

namespace auralune {

namespace {

constexpr const char* kAnalyseMethod = "-[AudioFile AnalyseFileThread:]";

// The names of the set bits of a prior-conversion mask, in the mark's
// listing order; bit 0 ("None") has no name.
template <typename Append>
void forEachPriorName(std::uint64_t mask, Append append)
{
    for (const EnhancementType* type : enhancementsInListingOrder())
        if (type->markBit != 0 && (mask >> type->markBit) & 1u)
            append(type->displayName);
}

}  // namespace

std::string AudioFile::readyStateText() const
{
    std::string text = "Ready to convert. ";
    forEachPriorName(warning_1, [&](std::string_view name) { text.append("Prior conversion: ").append(name); });
    if (unknownPriorEnhancement1)
        text.append("Prior conversion: ").append(unknownEnhancementName(*unknownPriorEnhancement1));
    const std::uint64_t prior2 = warning_2;
    if ((prior2 & ~std::uint64_t{1}) || unknownPriorEnhancement2) {
        if (prior2 & 1u)
            text.append(". ");
        forEachPriorName(prior2, [&](std::string_view name) { text.append(" + ").append(name); });
        if (unknownPriorEnhancement2)
            text.append(" + ").append(unknownEnhancementName(*unknownPriorEnhancement2));
    }
    // Clipping and loudness warnings belong to the processing pass.
    const int shown = warning;
    for (int bit : {kWarningTruncated4GB, kWarningR128TooShort, kWarningCdEmphasis, kWarningJ17Emphasis,
                    kWarningNoCd4Radar, kWarningWowNotFound})
        if (shown & bit)
            for (const auto& entry : kWarningTexts)
                if (entry.bit == bit)
                    text.append(entry.text);
    return text;
}

void AudioFile::AnalyseFileThread(const SettingsSnapshot& snapshot)
{
    // The pass runs at the platform's normal priority (0.5 on its 0-1 scale).
    PassLock* passLock = snapshot.passLock;
    applySettingsSnapshot(snapshot);
    state = kStateAnalysing;
    if (passLock)
        passLock->lock();

    if (error != 0)
        raiseAssertion("There is an error too early in the thread in %s", kAnalyseMethod);
    if (warning != 0 || warning_1 != 0 || warning_2 != 0)
        raiseAssertion("There is a warning too early in the thread in %s", kAnalyseMethod);

    state = kStateAnalysing;
    setTableText(TableText::State, "Analysing...");
    postRefresh();

    if (auto warn = platform.defaults.string("WarnPreprocess"))
        settings.warnPreprocess = *warn == "YES";

    Log& log = platform.log;
    log.info("===============================================================");
    log.info("Analysing audio file: " + inputFile);

    std::string extension = std::filesystem::path(inputFile).extension().string();
    if (!extension.empty())
        extension.erase(0, 1);

    if (srcFileType == kFileUnsupported) {
        log.error("File extension '" + extension + "' is NOT supported.");
        error |= kErrorFileType;
    } else {
        log.info(" File extension '" + extension + "' is supported.");
        if (error == 0) {
            if (const FileFormat* format = findFileFormat(srcFileType); format && format->reader) {
                (this->*format->reader)(true);
            } else {
                log.error("Analysis of this file extension is NOT supported");
                error |= kErrorFileType;
            }
        }
    }

    if (error == 0) {
        // A header may give a rate of 0; the validation below refuses it.
        const auto seconds = srcFrameRate > 0 ? static_cast<unsigned long>(srcFrames / srcFrameRate) : 0ul;
        setTableText(TableText::Duration, formatText("%02lu:%02lu", seconds / 60, seconds % 60));
        setTableText(TableText::FrameRate, formatText("%.0f", srcFrameRate));
        setTableText(TableText::Channels, std::to_string(srcChannels));
        setTableText(TableText::SampleSizeBits, std::to_string(srcSampleBits));
        postRefresh();

        ValidateAudioParameters();

        srcMetrics.clear();
        midMetrics.clear();
        dstMetrics.clear();
        AnalyseAudioMetricsBasic(1);
        AnalyseAudioMetricsBEXT(1);
        AnalyseAudioMetricsIXML(1);
        AnalyseAudioMetricsVorbis(1);

        if (error == 0)
            setTableText(TableText::State, readyStateText());
    }
    if (error != 0)
        composeErrorStateText();

    postRefresh();
    // From here on the queue may remove the job: touch nothing of it.
    state = kStateAnalysed;
    if (passLock)
        passLock->unlock();
}

std::thread AudioFile::analysisThread(const SettingsSnapshot& snapshot)
{
    return std::thread([this, snapshot] { AnalyseFileThread(snapshot); });
}

}  // namespace auralune

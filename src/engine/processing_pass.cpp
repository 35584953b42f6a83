#include "dsp/denormals.h"
#include "dsp/wind_up_kernels.h"
#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/destination_file.h"
#include "engine/pass_lock.h"
#include "engine/peak_estimate.h"
#include "engine/source_samples.h"
#include "engine/stage_memory.h"
#include "engine/text_format.h"
#include "enhance/dispatch_table.h"
#include "formats/file_formats.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <optional>
#include <thread>

#include <unistd.h>

namespace auralune {

namespace {

constexpr const char* kProcessMethod = "-[AudioFile ProcessFileThread:]";
constexpr EnhancementCode kHiRes = kEnhancementTypes[37].code();
static_assert(kEnhancementTypes[37].displayName == "Hi-Res");

// The 4 GB limit of RIFF and AIFF sizes.
constexpr std::uint64_t kFourGigabytes = 4'294'967'296;

bool isEither(double rate, double a, double b) { return rate == a || rate == b; }

template <class T>
void release(StageVector<T>& buffer)
{
    StageVector<T>().swap(buffer);
}

// "None" and "Hi-Res" copy their input unchanged when the channel count
// stays: handed the input instead, they save a stage buffer and its copy.
bool passesThrough(EnhancementCode code, std::uint32_t inChannels, std::uint32_t outChannels)
{
    return (code == kEnhancementNone || code == kHiRes) && inChannels == outChannels;
}

// The phonograph chain allocates its own output once its in-place stages
// are done (when the pass leaves it unallocated).
bool allocatesOwnOutput(EnhancementCode code)
{
    const EnhancementRoute* route = findEnhancementRoute(code);
    return route != nullptr && route->count == 1 && route->routines[0] == Routine::PhonographEQ;
}

// Moves `from` into `to` as its first `samples` samples; the rest of `from`
// (silence) goes. `from` holds at least that many: the pass sized both from
// the same fields.
void handOver(SampleBuffer& from, SampleBuffer& to, std::uint64_t samples)
{
    if (from.size() < samples)
        raiseAssertion("Unexpected buffer size in %s", "-[AudioFile ProcessAudioData]");
    to.swap(from);
    SampleBuffer().swap(from);
    to.resize(samples);
}

std::string minutesAndSeconds(unsigned long from, unsigned long to)
{
    return formatText("%02lu:%02lu > %02lu:%02lu", from / 60, from % 60, to / 60, to % 60);
}

unsigned long wholeSeconds(std::uint32_t frames, double rate)
{
    return static_cast<unsigned long>(frames / rate);
}

std::string_view fileTypeText(int fileType)
{
    const FileTypeInfo* info = findFileType(fileType);
    return info ? info->typeText : std::string_view();
}

// "Enhancement 1" or "Enhancement 1 + Enhancement 2"; a code the catalogue
// lacks leaves the text as it was.
void setFilterTableText(AudioFile& job)
{
    const EnhancementType* first = findEnhancement(job.settings.filterType_1);
    const EnhancementType* second = findEnhancement(job.settings.filterType_2);
    if (!first || !second)
        return;
    std::string text(first->displayName);
    if (second->code() != kEnhancementNone)
        text.append(" + ").append(second->displayName);
    job.setTableText(TableText::Filter, std::move(text));
}

// A half-speed needle drop was played at half speed: its true rate is twice
// the captured one.
void doubleHalfSpeedRate(AudioFile& job, unsigned long secondsBefore)
{
    const double captured = job.srcFrameRate;
    job.srcFrameRate = 2 * captured;
    job.platform.log.info(formatText("Source frame rate doubled from %.0f to %.0f", captured, job.srcFrameRate));
    job.setTableText(TableText::Duration,
                     minutesAndSeconds(secondsBefore, wholeSeconds(job.srcFrames, job.srcFrameRate)));
    if (isEither(captured, 44100, 48000))
        job.setTableText(TableText::FrameRate, formatText("%.0f > %.0f", captured, job.srcFrameRate));
    else if (!isEither(captured, 88200, 96000))
        raiseAssertion("Invalid frame rate for half-speed needle drop in %s", kProcessMethod);
    job.postRefresh();
}

struct Destination {
    DestinationName name;
    NumberedPath path;
};

// The folder the destination goes to: the source's or the chosen one.
std::string destinationFolder(const AudioFile& job)
{
    std::string folder = job.settings.destinationPathFollows
                             ? std::filesystem::path(job.inputFile).parent_path().string()
                             : job.settings.destinationPath;
    return folder.empty() ? "." : folder;
}

// A folder that is missing or not writable fails the job before a sample
// is read, with the cause and the folder.
bool destinationFolderWritable(AudioFile& job)
{
    const std::string folder = destinationFolder(job);
    std::error_code status;
    const int refused = ::access(folder.c_str(), W_OK | X_OK) != 0      ? errno
                        : !std::filesystem::is_directory(folder, status) ? ENOTDIR
                                                                         : 0;
    if (refused == 0)
        return true;
    const std::string cause = systemErrorText(refused) + ": " + folder;
    job.platform.log.error("Cannot write into the destination folder: " + cause);
    job.error |= kErrorSave;
    job.setErrorCause(cause);
    return false;
}

// The destination type, its name and the row texts that show them. Nothing
// when the type cannot be written.
std::optional<Destination> chooseDestination(AudioFile& job)
{
    const std::filesystem::path source(job.inputFile);
    std::string extension = source.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    const std::optional<DestinationType> type = destinationType(
        job.settings.outputFormatType, job.srcFileType, extension, job.srcEndianessValues, job.srcEndianessData);
    if (!type)
        raiseAssertion("Unknown output format type in %s", kProcessMethod);
    job.dstFileType = type->fileType;
    job.dstEndianessValues = type->valuesOrder;
    job.dstEndianessData = type->dataOrder;
    if (job.dstFileType != job.srcFileType)
        job.setTableText(TableText::FileType, job.tableText(TableText::FileType) + " > " +
                                                  std::string(fileTypeText(job.dstFileType)));
    if (!canWriteFileType(job.dstFileType)) {
        job.platform.log.error("Destination file type " + std::string(fileTypeText(job.dstFileType)) +
                               " is NOT supported");
        job.error |= kErrorFileType;
        return std::nullopt;
    }

    const std::string folder = destinationFolder(job);
    Destination destination{{folder, source.stem().string(), job.settings.destinationFileSuffix, type->extension}, {}};
    destination.path = firstFreeName(destination.name, pathExists);
    job.setTableText(TableText::DestinationName, destination.path.path);
    job.postRefresh();
    return destination;
}

// Rate, width and channels of the destination, and its size.
void setDestinationParameters(AudioFile& job, bool halfSpeed)
{
    job.upsampleType = kUpsampleNone;
    job.dstFrames = job.srcFrames;
    job.dstFrameRate = job.srcFrameRate;
    job.dstSampleBits = job.srcSampleBits;
    // libFLAC takes 32-bit words whatever the sample width.
    const bool flac = job.dstFileType == kFileFlac;
    job.dstSampleBytes = flac ? 4 : job.srcSampleBytes;

    if (isEither(job.srcFrameRate, 176400, 192000))
        job.upsampleType = halfSpeed ? kUpsampleHalve : kUpsampleHalveRestore;
    if (hiResApplies(job.settings)) {
        if (isEither(job.srcFrameRate, 44100, 48000)) {
            // A RIFF or AIFF source holds at most 2^30 stereo frames, but a
            // FLAC of silence can announce up to 2^32 - 1: the doubled count
            // must still fit the 32-bit frame counts.
            if (job.srcFrames > 0x7FFFFFFF) {
                job.platform.log.error("Source is too long to double its frame rate");
                job.error |= kErrorAudioData;
                return;
            }
            job.upsampleType = kUpsampleDouble;
            job.dstFrames = 2 * job.srcFrames;
            job.dstFrameRate = 2 * job.srcFrameRate;
        }
        job.dstSampleBits = 24;
        job.dstSampleBytes = flac ? 4 : 3;
        // Hi-res AIFF-C is written "NONE" (big-endian) as other programs expect.
        if (job.dstFileType == kFileAifc)
            job.dstEndianessData = kEndianBig;
    }

    const OutputChannels channels =
        outputChannels(job.settings.filterType_1, job.settings.filterType_2, job.srcChannels, job.dstFileType);
    job.dstChannels_1 = channels.stage1;
    job.dstChannels_2 = channels.stage2;
    job.dstChannelsData = channels.written;
    job.dstChannelsStart = channels.start;

    // Logged before processing, so the 4 GB limit is known early.
    const std::uint64_t bytes = std::uint64_t{job.dstSampleBytes} * job.dstFrames * job.dstChannelsData;
    job.platform.log.info(formatText("Destination file is %llu bytes uncompressed (%.2f%% of 4GB)",
                                     static_cast<unsigned long long>(bytes),
                                     static_cast<double>(bytes) * 100.0 / static_cast<double>(kFourGigabytes)));
    if (bytes >= kFourGigabytes && !flac)
        job.platform.log.warning("Output audio will be truncated to fit within 4GB limit");
}

// Builds the destination image and writes it under a name of its own.
void writeDestination(AudioFile& job, const Destination& destination)
{
    Log& log = job.platform.log;
    ByteBuffer image;
    job.setTableText(TableText::State, "Buffering...");
    job.setTableText(TableText::Progress, "");
    job.postRefresh();
    log.info("-------------------------------------------");
    log.info("Creating destination buffer");
    job.ReportUncarriedMetadata();
    const FileFormat* format = findFileFormat(job.dstFileType);
    if (!format || !format->writer)
        raiseAssertion("Unexpected destination file type in %s", kProcessMethod);
    job.spliceDestinationAudio = true;
    job.destinationAudioBytes = 0;
    (job.*format->writer)(image);
    job.spliceDestinationAudio = false;
    if (job.error != 0) {
        release(job.dstAudioData);
        return;
    }
    // The image's two parts with the samples between them, where they are.
    const std::span<const std::uint8_t> whole(image.data(), image.size());
    const std::size_t at = job.destinationAudioBytes != 0 ? job.destinationAudioAt : image.size();
    const std::span<const std::uint8_t> pieces[] = {
        whole.first(at), std::span<const std::uint8_t>(job.dstAudioData.data(), job.destinationAudioBytes),
        whole.subspan(at)};

    log.info("-------------------------------------------");
    log.info(formatText("Writing destination buffer as audio file: %s %s", destination.path.path.c_str(),
                        destination.path.number != 0 ? "(renamed)" : ""));
    job.setTableText(TableText::State, "Writing file...");
    job.setTableText(TableText::Progress, "");
    job.postRefresh();
    const NewFileResult written =
        writeNewFile(destination.name, destination.path.number, FilePieces(pieces), {job.destinationNamingHook});
    release(job.dstAudioData);
    if (!written.written) {
        log.error(written.errorText + ": " + written.errorPath);
        job.error |= kErrorSave;
        job.setErrorCause(written.errorText + ": " + written.errorPath);
        return;
    }
    if (written.name.path != destination.path.path) {
        // Another file took the name after it was chosen; it stays as it is.
        log.warning("Destination name was taken while writing; saved as " + written.name.path);
        job.setTableText(TableText::DestinationName, written.name.path);
        job.postRefresh();
    }
}

}  // namespace

void readSourceSamples(AudioFile& job)
{
    if (const FileFormat* format = findFileFormat(job.srcFileType); format && format->reader) {
        (job.*format->reader)(false);
        // The file may have been replaced since it was analysed.
        if (job.error == 0)
            job.ValidateAudioParameters();
    } else {
        job.platform.log.error("Analysis of this file extension is NOT supported");
        job.error |= kErrorFileType;
    }
}

namespace {

void readConvertWrite(AudioFile& job);

// A recording whose buffers would not fit the memory budget keeps them in
// temporary files beside its destination: slower, never refused. A file
// that cannot be had fails the pass as any allocation does, with the
// reason as its cause.
void readConvertWriteOnDisk(AudioFile& job)
{
    const AudioFile::StageBuffersOnDisk& onDisk = job.stageBuffersOnDisk;
    StageMemoryBacking backing(destinationFolder(job), onDisk.openTemporary);
    std::string line = "Stage buffers kept in temporary files in " + backing.folder();
    if (onDisk.estimatedPeakBytes != 0 && onDisk.budgetBytes != 0)
        line += formatText(" (estimated peak %llu MiB, memory budget %llu MiB)",
                           static_cast<unsigned long long>(onDisk.estimatedPeakBytes >> 20),
                           static_cast<unsigned long long>(onDisk.budgetBytes >> 20));
    job.platform.log.info(line);
    const auto noteFailure = [&job, &backing] {
        const std::string cause = backing.failure();
        if (cause.empty() || !job.errorCause().empty())
            return;
        job.platform.log.error("Stage buffers: " + cause);
        job.setErrorCause(cause);
    };
    {
        const StageMemoryScope scope(&backing);
        const ResidentTrimmer trimmer(backing);
        try {
            readConvertWrite(job);
        } catch (const std::bad_alloc&) {
            noteFailure();
            throw;
        }
    }
    if (job.error & kErrorMemory)
        noteFailure();
}

// Everything the pass does under the processing lock, up to the written
// file; returns early once an error is set.
void convertUnderLock(AudioFile& job)
{
    Log& log = job.platform.log;
    const SettingsSnapshot& s = job.settings;
    const bool playback = (s.filterType_1 & kPhonographEqMask) != 0;
    const bool halfSpeed = playback && s.captureSpeed == 2;

    job.state = kStateConverting;
    job.setTableText(TableText::State, "Reading file...");
    job.setTableText(TableText::Progress, "");
    job.postRefresh();
    log.info("===============================================================");
    log.info("Processing audio file: " + job.inputFile);

    // A half-speed capture at 176.4/192 kHz would need 352.8/384 kHz.
    if (halfSpeed && isEither(job.srcFrameRate, 176400, 192000))
        job.error |= kErrorHalfSpeedRate;
    if ((s.filterType_1 & kCd4Mask) != 0 && job.srcFrameRate != 96000) {
        log.error("Frame rate is not supported for CD-4 quadraphonic decode");
        job.error |= kErrorFrameRate;
        return;
    }
    if (job.error != 0 || !destinationFolderWritable(job))
        return;
    if (job.stageBuffersOnDisk.enabled || s.exceedsMemoryBudget)
        readConvertWriteOnDisk(job);
    else
        readConvertWrite(job);
}

// Reads the samples, converts them and writes the destination; returns
// early once an error is set.
void readConvertWrite(AudioFile& job)
{
    const SettingsSnapshot& s = job.settings;
    const bool playback = (s.filterType_1 & kPhonographEqMask) != 0;
    const bool halfSpeed = playback && s.captureSpeed == 2;
    const WindUpSpeed* windUp = playback ? findWindUpSpeed(s.captureSpeed) : nullptr;

    readSourceSamples(job);
    if (job.error != 0)
        return;

    const unsigned long seconds = wholeSeconds(job.srcFrames, job.srcFrameRate);
    if (halfSpeed)
        doubleHalfSpeedRate(job, seconds);
    if (windUp) {
        const auto shortened = static_cast<unsigned long>(job.srcFrames / job.srcFrameRate * 3 / windUp->decimation);
        job.setTableText(TableText::Duration, minutesAndSeconds(seconds, shortened));
        job.postRefresh();
    }

    const std::optional<Destination> destination = chooseDestination(job);
    if (!destination)
        return;
    setDestinationParameters(job, halfSpeed);
    if (job.error != 0)
        return;

    job.ProcessAudioData();
    if (job.error == 0 && !job.cancelRequested)
        writeDestination(job, *destination);
}

}  // namespace

void AudioFile::ProcessFileThread(const SettingsSnapshot& snapshot)
{
    // Thread priorities stay the platform's: raising one needs privileges here.
    PassLock* passLock = snapshot.passLock;
    applySettingsSnapshot(snapshot);
    state = kStateQueued;
    setTableText(TableText::State, "Queued");
    setFilterTableText(*this);
    postRefresh();

    // Admitted beside the running passes when its estimated peak fits.
    const std::uint64_t peak = passLock ? peakBytes(passShape(*this, settings)) : 0;
    if (passLock)
        settings.exceedsMemoryBudget = passLock->lock(this, peak);
    // Such a pass keeps its stage buffers out of memory; the figures are for
    // its log line.
    stageBuffersOnDisk.estimatedPeakBytes = settings.exceedsMemoryBudget ? peak : 0;
    stageBuffersOnDisk.budgetBytes = settings.exceedsMemoryBudget ? passLock->budgetBytes() : 0;
    if (error != 0)
        raiseAssertion("There is an error too early in the thread in %s", kProcessMethod);

    try {
        const DenormalsFlushedToZero flushed;
        if (!cancelRequested)
            convertUnderLock(*this);
    } catch (const std::bad_alloc&) {
        platform.log.error("Memory allocation");
        error |= kErrorMemory;
    }
    releaseWorkBuffers();
    release(dstAudioData);

    const bool cancelled = cancelRequested.exchange(false) && error == 0;
    const int finalState = cancelled ? kStateAnalysed : error != 0 ? kStateFailed : kStateConverted;
    if (cancelled) {
        platform.log.info("Cancelled");
        setTableText(TableText::State, "Cancelled.");
        setTableText(TableText::Progress, "");
        setTableText(TableText::DestinationName, "");
    } else if (finalState == kStateFailed) {
        composeErrorStateText();
    } else {
        platform.log.info("Complete");
        setTableText(TableText::State, completedStateText());
        setTableText(TableText::Progress, "");
    }
    postRefresh();
    PassLock* const lock = passLock;
    // From here on the queue may remove the job: touch nothing of it.
    state = finalState;
    if (lock) {
        lock->unlock(peak);
        // The memory kept for the next pass goes back once none is waiting.
        if (lock->holdersAndWaiters() == 0)
            stage_memory::releaseKept();
    }
}

std::thread AudioFile::processingThread(const SettingsSnapshot& snapshot)
{
    return std::thread([this, snapshot] { ProcessFileThread(snapshot); });
}

std::string AudioFile::completedStateText() const
{
    std::string text;
    const int set = warning;
    for (const StatusBitText& entry : kWarningTexts) {
        if ((set & entry.bit) == 0)
            continue;
        // The table's texts are literals, so data() ends in a zero byte.
        if (entry.bit == kWarningLoudnessAdjusted)
            text += formatText(entry.text.data(), settings.adjustDstR128Level);
        else if (entry.bit == kWarningAttenuated || entry.bit == kWarningClipping)
            text += formatText(entry.text.data(), clipdB);
        else
            text += entry.text;
    }
    if ((warning_1 & ~std::uint64_t{1}) != 0 || unknownPriorEnhancement1)
        text += "Multiple converts. ";
    return text + "Complete.";
}

void AudioFile::ProcessAudioData()
{
    // Each stage runs only while no error has stopped the chain; a stopped
    // chain releases every buffer it holds.
    const auto stopped = [this] {
        if (error == 0 && !cancelRequested)
            return false;
        releaseWorkBuffers();
        return true;
    };

    // Integer to double into audioIn; srcAudioData is released.
    ConvertAudioToDouble();
    if (stopped())
        return;
    // Source loudness (when asked) and levels.
    AnalyseAudioMetricsR128(1);
    if (stopped())
        return;
    AnalyseAudioMetricsVeridane(1);

    // Halve a 176.4/192 kHz source for the enhancements.
    QuadDownSample();
    if (stopped())
        return;

    // Double a 44.1/48 kHz source into audioBuf_0; any other source becomes
    // audioBuf_0 as it is (a halved one without its silent second half).
    const std::uint64_t stage0Samples = std::uint64_t{srcChannels} * dstFrames;
    if (upsampleType == kUpsampleDouble) {
        if (!allocateWorkBuffer(audioBuf_0, stage0Samples)) {
            releaseWorkBuffers();
            return;
        }
        DualUpSample();
        releaseStageBuffer(audioIn);
    } else {
        handOver(audioIn, audioBuf_0, stage0Samples);
    }

    // The destination scale from here on.
    PromoteAudioTo24Bit();
    // A record captured at the wrong turntable speed back to its own.
    WindUpSpeedChange();
    if (stopped())
        return;

    // Enhancement 1: audioBuf_0 (and the CD-4 sub-carrier buffer) into audioBuf_1.
    if ((settings.filterType_1 & kCd4Mask) != 0 && !allocateWorkBuffer(audioBuf_0_sub, stage0Samples)) {
        releaseWorkBuffers();
        return;
    }
    // A stage that copies its input leaves audioBuf_1 unallocated: the input
    // itself becomes it.
    if (!passesThrough(settings.filterType_1, srcChannels, dstChannels_1) &&
        !allocatesOwnOutput(settings.filterType_1) &&
        !allocateWorkBuffer(audioBuf_1, std::uint64_t{dstChannels_1} * dstFrames)) {
        releaseWorkBuffers();
        return;
    }
    StereoEnhancement(1);
    if (stopped())
        return;
    releaseStageBuffer(audioBuf_0);
    releaseStageBuffer(audioBuf_0_sub);

    // The signal between the two enhancements.
    if (settings.filterType_2 != kEnhancementNone) {
        AnalyseAudioMetricsBasic(2);
        AnalyseAudioMetricsVeridane(2);
    }

    // Enhancement 2: audioBuf_1 into audioBuf_2, with room for the restored
    // rate of a halved source.
    const bool restoresRate = upsampleType == kUpsampleHalveRestore;
    const std::uint64_t restoreFactor = restoresRate ? 2 : 1;
    if ((restoresRate ||
         (!passesThrough(settings.filterType_2, dstChannels_1, dstChannels_2) &&
          !allocatesOwnOutput(settings.filterType_2))) &&
        !allocateWorkBuffer(audioBuf_2, std::uint64_t{dstChannels_2} * dstFrames * restoreFactor)) {
        releaseWorkBuffers();
        return;
    }
    StereoEnhancement(2);
    if (stopped())
        return;
    releaseStageBuffer(audioBuf_1);

    DitherAudio();
    // Restore the rate of a halved source.
    QuadUpSample();
    if (stopped())
        return;

    // The destination: file facts, loudness and clipping management, levels.
    AnalyseAudioMetricsBasic(4);
    if (settings.calculateDstR128 && settings.adjustDstR128) {
        // The loudness gain comes first, so clipping management sees what it raised.
        AnalyseAudioMetricsR128(4);
        if (stopped())
            return;
        ClippingManagement(4);
        if (stopped())
            return;
        // Clamped or attenuated samples no longer have the adjusted values:
        // measure again, so that the report and bext describe what is written.
        if (clipPercent > 0) {
            settings.adjustDstR128 = false;
            AnalyseAudioMetricsR128(4);
            settings.adjustDstR128 = true;
        }
    } else {
        ClippingManagement(4);
        if (stopped())
            return;
        AnalyseAudioMetricsR128(4);
    }
    if (stopped())
        return;
    AnalyseAudioMetricsVeridane(4);

    // Double to integer into dstAudioData; releases every working buffer.
    ConvertAudioToInteger();
}

}  // namespace auralune

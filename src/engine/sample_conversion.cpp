#include "engine/assertion.h"
#include "engine/audio_file.h"
#include "engine/pass_lock.h"
#include "engine/sample_kernels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace auralune {

namespace {

constexpr const char* kProcessAudioData = "-[AudioFile ProcessAudioData]";
constexpr EnhancementCode kGroove = kEnhancementTypes[28].code();
static_assert(kEnhancementTypes[28].displayName == "Groove");

// The clipping methods of "ClipManagement", and the dialog's answers.
constexpr int kClipAsk = 1;
constexpr int kClipClamp = 2;
constexpr int kClipAttenuate = 4;
constexpr std::int64_t kClipOptionAttenuate = 1000;
constexpr std::int64_t kClipOptionClamp = 1001;

[[gnu::format(printf, 1, 2)]] std::string printfText(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

// An assertion format with its "%u" filled in; "%s" stays for the method.
std::string withNumber(std::string_view format, std::uint64_t number)
{
    std::string text(format);
    if (auto at = text.find("%u"); at != std::string::npos)
        text.replace(at, 2, std::to_string(number));
    return text;
}

template <class T>
void release(StageVector<T>& buffer)
{
    StageVector<T>().swap(buffer);
}

template <class T>
bool allocateZeroed(AudioFile& job, StageVector<T>& buffer, std::uint64_t count)
{
    try {
        if constexpr (std::is_same_v<T, double>) {
            job.stageBuffers.acquire(buffer, count);
            return true;
        }
        // A kept stage buffer does not serve other types: it goes back to
        // the system before this one may add to the peak.
        job.stageBuffers.clear();
        release(buffer);
        buffer.resize(count);
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    release(buffer);
    job.platform.log.error("Memory allocation");
    job.error |= kErrorMemory;
    return false;
}

// The first `count` samples of a stage buffer. Each stage is called with
// its buffer at the size the pass allocated from the same fields, so a
// shorter one is an internal fault.
std::span<double> stageSamples(SampleBuffer& buffer, std::uint64_t count)
{
    if (buffer.size() < count)
        raiseAssertion("Unexpected buffer size in %s", kProcessAudioData);
    return std::span<double>(buffer).first(count);
}

// The clipping method, read from the store when clipping management runs so
// that a choice saved by the dialog of an earlier file applies at once.
int clipManagementMethod(const DefaultsStore& defaults, Log& log)
{
    const std::optional<std::string> stored = defaults.string("ClipManagement");
    if (!stored)
        return kClipAsk;
    unsigned long method = 0;
    const char* end = stored->data() + stored->size();
    const auto [at, status] = std::from_chars(stored->data(), end, method);
    if (status == std::errc() && at == end &&
        (method == kClipAsk || method == kClipClamp || method == kClipAttenuate))
        return static_cast<int>(method);
    log.warning(" Unexpected value \"" + *stored + "\" of \"ClipManagement\"; asking instead");
    return kClipAsk;
}

}  // namespace

void AudioFile::CreateSrcAudioData(const std::uint8_t* bytes, std::uint64_t count)
{
    const std::uint64_t expected =
        std::uint64_t{srcSampleBytes} * std::uint64_t{srcChannels} * std::uint64_t{srcFrames};
    if (count != expected)
        raiseAssertion("Unexpected dataSize in %s", "-[AudioFile CreateSrcAudioData::]");
    try {
        srcAudioData.assign(bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        srcAudioData.clear();
        srcAudioData.shrink_to_fit();
        platform.log.error("Memory allocation");
        error |= kErrorMemory;
    }
}

void AudioFile::ValidateAudioParameters()
{
    if (srcChannels != 2) {
        platform.log.error("Channels must be 2");
        error |= kErrorChannels;
    }
    if (srcSampleBits != 16 && srcSampleBits != 24) {
        platform.log.error("Sample size (" + std::to_string(srcSampleBits) + ") is not supported");
        error |= kErrorBitDepth;
    }
    if (std::find(kSourceFrameRates.begin(), kSourceFrameRates.end(), srcFrameRate) == kSourceFrameRates.end()) {
        platform.log.error("Frame rate is not supported");
        error |= kErrorFrameRate;
    }
    if (srcEndianessData == kEndianNone) {
        platform.log.error("Audio data endianess is unknown");
        error |= kErrorAudioData;
    }
}

bool AudioFile::allocateWorkBuffer(SampleBuffer& buffer, std::uint64_t count)
{
    return allocateZeroed(*this, buffer, count);
}

bool AudioFile::allocateWorkBuffer(StageVector<float>& buffer, std::uint64_t count)
{
    return allocateZeroed(*this, buffer, count);
}

bool AudioFile::allocateWorkBuffer(ByteBuffer& buffer, std::uint64_t count)
{
    return allocateZeroed(*this, buffer, count);
}

void AudioFile::releaseWorkBuffers()
{
    release(srcAudioData);
    release(audioIn);
    release(audioBuf_0);
    release(audioBuf_0_sub);
    release(audioBuf_1);
    release(audioBuf_2);
    stageBuffers.clear();
}

void AudioFile::releaseStageBuffer(SampleBuffer& buffer) { stageBuffers.release(buffer); }

void AudioFile::ConvertAudioToDouble()
{
    if (srcSampleBytes != 2 && srcSampleBytes != 3)
        raiseAssertion(withNumber("Unexpected sample size %u in %s", srcSampleBytes), kProcessAudioData);
    if (srcEndianessData != kEndianBig && srcEndianessData != kEndianLittle)
        raiseAssertion(withNumber("Unknown endianess value %u in %s", static_cast<std::uint32_t>(srcEndianessData)),
                       kProcessAudioData);
    const std::uint64_t samples = std::uint64_t{srcChannels} * srcFrames;
    if (srcAudioData.size() != samples * srcSampleBytes)
        raiseAssertion("Unexpected dataSize in %s", kProcessAudioData);

    if (!allocateWorkBuffer(audioIn, samples)) {
        release(srcAudioData);
        return;
    }
    platform.log.info("-------------------------------------------");
    platform.log.info("Processing stereo");
    platform.log.info(srcSampleBytes == 2 ? " Convert audio from 16-bit integer into double precision"
                                          : " Convert audio from 24-bit integer into double precision");
    setTableText(TableText::State, "Converting to double precision...");
    Progress progress{Progress::stepFor(samples), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);

    integerToDouble(srcAudioData, srcSampleBytes, srcEndianessData, audioIn, progress);
    release(srcAudioData);
}

void AudioFile::PromoteAudioTo24Bit()
{
    if (dstSampleBits == srcSampleBits)
        return;
    const std::uint64_t samples = std::uint64_t{srcChannels} * dstFrames;
    const std::span<double> buffer = stageSamples(audioBuf_0, samples);

    platform.log.info(" Convert audio to 24-bit precision");
    setTableText(TableText::State, "Converting to 24-bit precision...");
    Progress progress{Progress::stepFor(samples), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);
    setTableText(TableText::SampleSizeBits, printfText("%u > %u", srcSampleBits, dstSampleBits));
    postRefresh();

    // One unit becomes one least significant bit of the wider word: 256 for 16 > 24 bits.
    const double factor = std::ldexp(1.0, static_cast<int>(dstSampleBits) - static_cast<int>(srcSampleBits));
    scaleSamples(buffer, factor, progress);
}

void AudioFile::DitherAudio()
{
    const bool groove = settings.filterType_1 == kGroove || settings.filterType_2 == kGroove;
    // The groove model adds its own surface noise unless that is off (-70 dBFS).
    if (settings.ditherType != 1 || settings.filterType_1 == kEnhancementNone ||
        (groove && settings.grooveNoise != -70.0))
        return;
    const std::uint64_t samples = std::uint64_t{dstChannels_2} * dstFrames;
    const std::span<double> buffer = stageSamples(audioBuf_2, samples);

    platform.log.info("Adding dither noise");
    setTableText(TableText::State, "Adding dither noise...");
    Progress progress{Progress::stepFor(samples), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);
    addDither(buffer, platform.random, progress);
}

void AudioFile::ClippingManagement(std::uint32_t stage)
{
    if (stage != 4)
        raiseAssertion(withNumber("Unexpected type %u in %s", stage), "-[AudioFile ClippingManagement:]");
    const double high = highestCode(dstSampleBits);
    const double low = lowestCode(dstSampleBits);
    const std::uint64_t samples = std::uint64_t{dstChannels_2} * dstFrames;
    const std::span<double> buffer = stageSamples(audioBuf_2, samples);

    platform.log.info("Perform clip management");
    platform.log.info(printfText(" highClamp = %.1f, lowClamp = %.1f", high, low));
    setTableText(TableText::State, "Clipping management...");
    Progress progress{0, 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);

    // The scan reports 1 to about 50: its step is 1/50 of the frames, kept even.
    progress.step = dstFrames < 100 ? 1 : (dstFrames / 50) & ~std::uint64_t{1};
    const ClipScan scan = scanClipping(buffer, dstChannels_2, high, low, progress);
    const ClipMeasure measure = measureClipping(scan, samples, high);
    clipPercent = measure.percent;
    clipFactor = measure.factor;
    clipdB = measure.dB;
    platform.log.info(printfText(" Maximum absolute value = %.1f (%f dB)", scan.peak, clipdB));
    progress.start(50);
    if (clipPercent == 0) {
        progress.start(100);
        return;
    }

    const double threshold = settings.clipThreshold;
    platform.log.info(printfText(" Clipping threshold is %.3f dB", threshold));
    platform.log.warning(printfText("%.2f%% of audio samples are out of range. Worst case clipping is %.3f dBFS.",
                                    clipPercent, clipdB));

    // The corrections count on from 50 in steps of 1/50 of the samples.
    progress.step = std::max<std::uint64_t>(samples * 2 / 100, 1);
    const auto clamp = [&] { clampSamples(buffer, high, low, progress); };
    const auto attenuate = [&] { attenuateSamples(buffer, clipFactor, progress); };
    switch (clipManagementMethod(platform.defaults, platform.log)) {
    case kClipAttenuate:
        platform.log.warning(" Attenuating entire audio file to prevent any clipping");
        warning |= kWarningAttenuated;
        attenuate();
        break;
    case kClipClamp:
        platform.log.warning(" Automatically clamping processed samples which clip");
        if (clipdB > threshold)
            warning |= kWarningClipping;
        clamp();
        break;
    default:
        if (!(clipdB > threshold)) {
            platform.log.warning(" Automatically clamping processed samples which clip");
            clamp();
            break;
        }
        platform.log.warning(" Showing clip warning dialog");
        ShowClippingGainWarning();
        if (clipOption == kClipOptionClamp) {
            platform.log.warning(" <Clamp> Clamping processed samples which clip");
            warning |= kWarningClipping;
            clamp();
        } else if (clipOption == kClipOptionAttenuate) {
            platform.log.warning(" <Attenuate> Attenuating entire audio file to prevent any clipping");
            warning |= kWarningAttenuated;
            attenuate();
        }
        break;
    }
}

void AudioFile::ShowClippingGainWarning()
{
    Alert alert;
    alert.style = Alert::Style::Warning;
    alert.buttons = {"Attenuate", "Clamp"};
    alert.message = "Warning";
    alert.informativeText = printfText(
        "Note that %.2f%% of audio samples need to be clamped. The worst case clipping gain is %.2fdB, which "
        "exceeds your %.2fdB threshold. You should probably choose to attenuate the entire track. However, if you "
        "wish to retain the power of the audio track, you may choose only to clamp any out-of-range samples.",
        clipPercent, clipdB, settings.clipThreshold);
    alert.suppressionTitle = "Always do this from now on";
    alert.kind = Alert::Kind::Clipping;
    alert.subject = std::filesystem::path(inputFile).filename().string();
    alert.window = settings.mainWindow;

    const Platform& p = platform;
    SettingsControllerInterface* controller = settings.settingsController;
    std::int64_t answer = kClipOptionAttenuate;
    const std::lock_guard turn(dialogTurn());
    p.mainThread.sync([&] {
        p.beeper.beep();
        const AlertAnswer result = p.alerts.run(alert);
        // "Attenuate" is the first (default) button; only "Clamp" answers otherwise.
        answer = result.button == 1 ? kClipOptionClamp : kClipOptionAttenuate;
        if (result.suppressed && controller)
            controller->updateClipManagement(answer == kClipOptionClamp ? kClipClamp : kClipAttenuate);
    });
    clipOption = answer;
}

void AudioFile::ConvertAudioToInteger()
{
    // A stage after Enhancement 2 that failed (an allocation) leaves its
    // buffer unfinished: writing it would pass damaged audio off as a
    // successful conversion, so the job fails with its error instead.
    if (error != 0) {
        releaseWorkBuffers();
        return;
    }
    if (dstSampleBits != 16 && dstSampleBits != 24)
        raiseAssertion(withNumber("Unexpected sample size %u in %s", dstSampleBits), kProcessAudioData);
    if (dstEndianessData != kEndianBig && dstEndianessData != kEndianLittle)
        raiseAssertion(withNumber("Unknown endianess value %u in %s", static_cast<std::uint32_t>(dstEndianessData)),
                       kProcessAudioData);

    platform.log.info(dstSampleBits == 16 ? " Convert audio from double precision to 16-bit integer"
                                          : " Convert audio from double precision to 24-bit integer");
    setTableText(TableText::State, dstSampleBits == 16 ? "Converting to 16-bit..." : "Converting to 24-bit...");
    Progress progress{Progress::stepFor(dstFrames), 0, [this](std::uint32_t p) { updateProgressTableText(p); }};
    progress.start(0);

    const std::uint64_t bytes = std::uint64_t{dstChannelsData} * dstFrames * dstSampleBytes;
    if (!allocateWorkBuffer(dstAudioData, bytes)) {
        releaseWorkBuffers();
        return;
    }
    const ChannelSelection selection{dstChannels_2, dstChannelsStart, dstChannelsData};
    const std::span<double> buffer = stageSamples(audioBuf_2, std::uint64_t{dstChannels_2} * dstFrames);
    if (!doubleToInteger(buffer, selection, dstSampleBits, dstSampleBytes, dstEndianessData, dstAudioData, progress))
        raiseAssertion("Unexpected channel layout in %s", kProcessAudioData);
    releaseWorkBuffers();
}

}  // namespace auralune

#include "engine/peak_estimate.h"

#include "engine/audio_file.h"
#include "engine/destination_file.h"

#include <algorithm>
#include <filesystem>

namespace auralune {

namespace {

constexpr EnhancementCode kHiRes = kEnhancementTypes[37].code();
constexpr EnhancementCode kGroove = kEnhancementTypes[28].code();
static_assert(kEnhancementTypes[37].displayName == "Hi-Res");
static_assert(kEnhancementTypes[28].displayName == "Groove");

constexpr std::uint64_t kMiB = 1024 * 1024;

// What the process holds besides the stage buffers: code, libraries, the
// metadata and the small per-stage tables. Measured at 9-11 MiB of resident
// memory for a conversion of a few frames.
constexpr std::uint64_t kFixedBytes = 16 * kMiB;

// Measured peaks (`/usr/bin/time -f %M auralune-cli convert -q`, 60 s
// stereo sources, 30 s at 192 kHz) against this estimate, in MiB:
//   None 44.1/16 doubled to 88.2/24          132   141
//   None 44.1/16 kept (Hi-Res off)            61    68
//   None 44.1/16, loudness adjusted          132   141
//   None 192/24, halved and restored         186   197
//   Phonograph A1 default chain, 96/24       187   197
//   Phonograph A1, 44.1/16 doubled           173   183
//   Phonograph A1 with wow correction, 96/24 189   197
//   CD-4 96/24, four channels out            538   560
//   Lumora 51 44.1/16 to six-channel FLAC    374   391
// and on 10-minute sources: None 44.1/16 1222 against 1265, Phonograph A1
// 96/24 1769 against 1829, CD-4 96/24 5285 against 5456. Wow correction
// and the loudness measurement hold no buffer of a stage's size; the
// phonograph chain holds its input and its own output at its peak. The
// buffers are counted with 3 % to spare for the allocator's rounding.

bool passesThrough(EnhancementCode code, std::uint32_t inChannels, std::uint32_t outChannels)
{
    return (code == kEnhancementNone || code == kHiRes) && inChannels == outChannels;
}

bool isEither(double rate, double a, double b) { return rate == a || rate == b; }

}  // namespace

bool hiResApplies(const SettingsSnapshot& s)
{
    const EnhancementCode e1 = s.filterType_1;
    const EnhancementCode e2 = s.filterType_2;
    return e1 == kHiRes || s.hiResType == 1 || e1 == kGroove || e2 == kGroove ||
           (s.useLpDistortionCancel && ((e1 | e2) & kPhonographEqMask) != 0);
}

std::uint64_t peakBytes(const PassShape& shape)
{
    const bool doubled = shape.rate == RatePlan::Double;
    const bool halved = shape.rate == RatePlan::Halve || shape.rate == RatePlan::HalveRestore;
    // The frames of the enhancements' buffers.
    const std::uint64_t frames = doubled ? 2 * shape.srcFrames : halved ? (shape.srcFrames + 1) / 2 : shape.srcFrames;
    const std::uint64_t restore = shape.rate == RatePlan::HalveRestore ? 2 : 1;
    const std::uint64_t raw = shape.srcFrames * shape.srcChannels * shape.srcSampleBytes;
    const std::uint64_t in = shape.srcFrames * shape.srcChannels * sizeof(double);
    // A source that is not doubled is handed over with its capacity.
    const std::uint64_t stage0 = doubled ? frames * shape.srcChannels * sizeof(double) : in;
    const std::uint64_t stage1 = shape.stage1PassesThrough ? 0 : frames * shape.stage1Channels * sizeof(double);
    const std::uint64_t stage2 =
        shape.stage2PassesThrough && restore == 1 ? 0 : frames * restore * shape.stage2Channels * sizeof(double);
    const std::uint64_t written = frames * restore * shape.writtenChannels * shape.dstSampleBytes;

    // The buffers alive together in each step of the pass.
    const std::uint64_t unpack = raw + in;
    const std::uint64_t rate = doubled ? in + stage0 : in;
    // CD-4 adds its sub-carrier buffer and a work buffer of the same size.
    const std::uint64_t first = stage0 + (shape.cd4 ? 2 * stage0 : 0) + stage1;
    const std::uint64_t afterFirst = stage1 != 0 ? stage1 : stage0;
    const std::uint64_t second = afterFirst + stage2;
    const std::uint64_t last = stage2 != 0 ? stage2 : afterFirst;
    const std::uint64_t pack = last + written;
    const std::uint64_t image = 2 * written;   // the integer samples and the file image
    const std::uint64_t buffers = std::max({unpack, rate, first, second, pack, image});
    return kFixedBytes + buffers + buffers / 32;
}

PassShape passShape(const AudioFile& job, const SettingsSnapshot& s)
{
    PassShape shape;
    shape.srcFrames = job.srcFrames;
    shape.srcChannels = std::max<std::uint32_t>(1, job.srcChannels);
    shape.srcSampleBytes = std::max<std::uint32_t>(2, job.srcSampleBytes);

    std::string extension = std::filesystem::path(job.inputFile).extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    const std::optional<DestinationType> type = destinationType(s.outputFormatType, job.srcFileType, extension,
                                                                 job.srcEndianessValues, job.srcEndianessData);
    const int dstFileType = type ? type->fileType : job.srcFileType;
    const bool flac = dstFileType == kFileFlac;
    const bool playback = (s.filterType_1 & kPhonographEqMask) != 0;
    // A half-speed capture has twice the rate it was captured at.
    const double rate = playback && s.captureSpeed == 2 ? 2 * job.srcFrameRate : job.srcFrameRate;
    shape.dstSampleBytes = flac ? 4 : shape.srcSampleBytes;
    if (isEither(rate, 176400, 192000))
        shape.rate = playback && s.captureSpeed == 2 ? RatePlan::Halve : RatePlan::HalveRestore;
    if (hiResApplies(s)) {
        if (isEither(rate, 44100, 48000))
            shape.rate = RatePlan::Double;
        shape.dstSampleBytes = flac ? 4 : 3;
    }

    const OutputChannels channels = outputChannels(s.filterType_1, s.filterType_2, shape.srcChannels, dstFileType);
    shape.stage1Channels = channels.stage1;
    shape.stage2Channels = channels.stage2;
    shape.writtenChannels = std::max<std::uint32_t>(1, channels.written);
    shape.stage1PassesThrough = passesThrough(s.filterType_1, shape.srcChannels, channels.stage1);
    shape.stage2PassesThrough = passesThrough(s.filterType_2, channels.stage1, channels.stage2);
    shape.cd4 = (s.filterType_1 & kCd4Mask) != 0;
    return shape;
}

}  // namespace auralune

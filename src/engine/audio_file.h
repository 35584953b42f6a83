#pragma once

#include "engine/catalogue.h"
#include "engine/job_types.h"
#include "engine/sample_buffer.h"
#include "engine/settings_snapshot.h"
#include "platform/platform.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace auralune {

// The texts of a job's table row.
enum class TableText : int {
    SourceName,
    FileType,
    State,
    Progress,
    Duration,
    FrameRate,
    Channels,
    SampleSizeBits,
    Filter,
    DestinationName,
};
inline constexpr int kTableTextCount = 10;
using TableTexts = std::array<std::string, kTableTextCount>;

// The conversion job: one per queued source file. It runs two passes, each
// on a thread of its own, and every engine stage is a method working on its
// fields. The stages are declared below under one banner per subsystem, in
// pipeline order, and defined in the file of their subsystem.
//
// Thread safety: a pass changes only its own job. The table texts are
// written by the pass thread while the main thread reads them to draw the
// row, so they sit behind the job's own mutex and are read as copies
// (tableTexts()). state, error and warnings are atomics. Every other field
// belongs to the pass that is running; the main thread reads the metrics and
// format facts only after the pass has ended (state 4, 8 or 9).
class AudioFile {
public:
    explicit AudioFile(const Platform& platform);
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // =======================================================================
    // Conversion job
    // =======================================================================

    // New job for a source path, in state 2.
    void initWithName(const std::string& path, bool showExtension, bool showFullPath);

    // Sets the progress text: 0 and 100 always, 1-99 at most every 0.1 s.
    void updateProgressTableText(std::uint32_t percent);
    // Posts "AudioFileRefreshViewMsg" with this job, asynchronously on the main thread.
    void postRefresh();
    // The already-processed alert, on the main thread; the calling pass waits.
    void ShowFileAlreadyProcessedWarning(const std::string& priorEnhancements);
    // After a failed pass: no destination, and the error texts as the state text.
    void composeErrorStateText();
    // Why the job failed, in the system's words with the path it concerns
    // ("Permission denied: /music/out"); empty when the error texts say all.
    // Set where the failure happens; the front ends show it beside the
    // state text.
    std::string errorCause() const;
    void setErrorCause(std::string cause);

    TableTexts tableTexts() const;
    std::string tableText(TableText which) const;
    void setTableText(TableText which, std::string text);
    void appendStateText(std::string_view text);

    // Copies a pass's settings record into the job (the lock is not kept).
    void applySettingsSnapshot(const SettingsSnapshot& snapshot);

    // =======================================================================
    // Analysis pass
    // =======================================================================

    // Reads the headers and metadata (never the samples) under the analysis
    // lock of the snapshot, fills the row texts and ends in state 4.
    void AnalyseFileThread(const SettingsSnapshot& snapshot);
    // A thread running the analysis pass; the queue detaches it, the CLI
    // joins it.
    std::thread analysisThread(const SettingsSnapshot& snapshot);
    // "Ready to convert. " with the prior conversions and the warnings.
    std::string readyStateText() const;

    // =======================================================================
    // Processing pass
    // =======================================================================

    // Converts the analysed source under the processing lock of the snapshot
    // and writes the destination; ends in state 8 or 9.
    void ProcessFileThread(const SettingsSnapshot& snapshot);
    // A thread running the processing pass; the queue detaches it, the CLI
    // joins it.
    std::thread processingThread(const SettingsSnapshot& snapshot);
    // The sample chain: srcAudioData through the rate changes, the two
    // enhancements, dither, clipping management and the metrics into
    // dstAudioData. Any failed stage ends it with the error set and nothing
    // in dstAudioData.
    void ProcessAudioData();
    // The state text of a finished conversion: the warnings, "Multiple
    // converts. " for a source converted before, then "Complete.".
    std::string completedStateText() const;

    // Called with each name just before the written destination is given
    // it; tests make a file appear there between the check and the write.
    std::function<void(const std::string&)> destinationNamingHook;

    // =======================================================================
    // Filter primitives and hi-res rate conversion
    // =======================================================================

    // Halves a 176.4/192 kHz audioIn in place before the enhancements.
    void QuadDownSample();
    // Doubles audioIn (44.1/48 kHz) into audioBuf_0.
    void DualUpSample();
    // Doubles audioBuf_2 in place after the enhancements (upsampleType 4).
    void QuadUpSample();

    // The sample loops of the enhancement routines, over interleaved
    // buffers of at least frames × channels samples. Each reports progress
    // through updateProgressTableText: one step after every
    // `progressInterval` units of work (samples, or frames where noted),
    // counting on from `progressStart`. Zero frames or channels do nothing.
    // A buffer too small for its frames raises the assertion failure.

    // Biquad per channel with the feedback terms added:
    // y[n] = c0·x[n] + c1·x[n−1] + c2·x[n−2] + d1·y[n−1] + d2·y[n−2].
    // `reverse` runs from the last frame to the first. In place allowed.
    void BiQuadFilter(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                      std::uint32_t channels, double c0, double c1, double c2, double d1, double d2, bool reverse,
                      std::uint64_t progressInterval, std::uint32_t progressStart);
    // Causal convolution with the first `taps` coefficients; `out` is a
    // separate buffer.
    void FiniteImpulseResponse(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                               std::uint32_t channels, std::span<const double> coefficients, std::uint64_t taps,
                               std::uint64_t progressInterval, std::uint32_t progressStart);
    void GainAdjust(std::span<double> buffer, std::uint64_t frames, std::uint32_t channels, double gain,
                    std::uint64_t progressInterval, std::uint32_t progressStart);
    // |x| in place; −0.0 stays.
    void Rectifier(std::span<double> buffer, std::uint64_t frames, std::uint32_t channels,
                   std::uint64_t progressInterval, std::uint32_t progressStart);
    // Every channel becomes left − right; needs at least two channels.
    void ChannelLeftMinusRight(std::span<double> buffer, std::uint64_t frames, std::uint32_t channels,
                               std::uint64_t progressInterval, std::uint32_t progressStart);
    // The KESTRALIN shelving cross-feed from channels 0-1 of the input into
    // channels 0-1 of the output; progress counts frames.
    void KestralinFilter(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                         std::uint32_t inChannels, std::uint32_t outChannels, double a, double b, double c, double g,
                         bool reverse, std::uint64_t progressInterval, std::uint32_t progressStart);
    // Stereo width × 1.3 for T-Sym; channels must be 2. Progress counts frames.
    void TsymWidthCompensationFilter(std::span<const double> in, std::span<double> out, std::uint64_t frames,
                                     std::uint32_t channels, std::uint64_t progressInterval,
                                     std::uint32_t progressStart);
    void CopyBuffer(std::span<const double> source, std::span<double> destination, std::uint64_t frames,
                    std::uint32_t channels, std::uint64_t progressInterval, std::uint32_t progressStart);

    // =======================================================================
    // Enhancement dispatch
    // =======================================================================

    // Runs Enhancement 1 (audioBuf_0 -> audioBuf_1) or 2 (audioBuf_1 -> audioBuf_2).
    void StereoEnhancement(std::uint32_t enhancement);
    // "None" and "Hi-Res": a copy of the stage's input.
    void StereoCorrectionNone(std::uint32_t enhancement);

    // What enhancement stage 1 or 2 reads and writes, and its type. Every
    // routine takes its buffers from here; a routine of the phonograph chain
    // that works in place uses `in` or `out` for both.
    struct StageIo {
        SampleBuffer& in;
        SampleBuffer& out;
        std::uint32_t inChannels;
        std::uint32_t outChannels;
        EnhancementCode code;
    };
    // Stage 1: audioBuf_0 (srcChannels) into audioBuf_1 (dstChannels_1);
    // stage 2: audioBuf_1 (dstChannels_1) into audioBuf_2 (dstChannels_2).
    // Another stage number raises the assertion failure naming `method`.
    StageIo stageIo(std::uint32_t stage, std::string_view method);
    // Raises the assertion failure when a buffer of `io` holds fewer than
    // dstFrames frames of its channels; call it once the channels are checked.
    void requireStageFrames(const StageIo& io, std::string_view method) const;

    // =======================================================================
    // Stereo, surround and matrix enhancements
    // =======================================================================

    // Each takes the enhancement stage (1 or 2) and works on stageIo(stage).
    void Kestralin(std::uint32_t stage);
    void KestralinTSym(std::uint32_t stage);
    void Quillmere(std::uint32_t stage);
    void QuillmereReverb(std::uint32_t stage);
    void Rivelle(std::uint32_t stage);
    void Hilbert(std::uint32_t stage);
    void LumoraSurround(std::uint32_t stage);

    // =======================================================================
    // CD-4 demodulation
    // =======================================================================

    void CD4_Quadraphonic_1_InputSubFM(std::uint32_t stage);
    void CD4_Quadraphonic_2_LevelCompOutput(std::uint32_t stage);

    // =======================================================================
    // Tape EQ, noise reduction and unlimiting
    // =======================================================================

    void TapeEQ(std::uint32_t stage);
    void CassetteNoiseReduction(std::uint32_t stage);
    void Cat22NoiseReduction(std::uint32_t stage);
    void Unlimiting(std::uint32_t stage);

    // =======================================================================
    // Sample conversion, clipping management and dither
    // =======================================================================

    // Copies the source's raw sample bytes into srcAudioData; called by the
    // readers when they read samples.
    void CreateSrcAudioData(const std::uint8_t* bytes, std::uint64_t count);
    // Checks the analysed channels, bits, rate and data byte order.
    void ValidateAudioParameters();
    // First step of ProcessAudioData: srcAudioData to audioIn on the
    // source's integer scale; releases srcAudioData.
    void ConvertAudioToDouble();
    // Puts audioBuf_0 on the destination scale when the destination is wider
    // than the source (16 > 24 bits).
    void PromoteAudioTo24Bit();
    // Triangular dither on audioBuf_2, when the settings ask for it.
    void DitherAudio();
    // Measures and corrects the out-of-range samples of audioBuf_2; the
    // stage is always 4, the destination.
    void ClippingManagement(std::uint32_t stage);
    // The clipping dialog, on the main thread; the calling pass waits. The
    // answer goes to clipOption.
    void ShowClippingGainWarning();
    // Last step of ProcessAudioData: audioBuf_2 to dstAudioData; releases
    // every working buffer. With an error already set (a failed stage after
    // Enhancement 2) it writes nothing and the error stands.
    void ConvertAudioToInteger();

    // Resizes a working buffer to `count` zeroed elements (a double buffer
    // through stageBuffers). On failure it logs
    // "<ERROR> Memory allocation", sets error bit 0x2, leaves the buffer empty
    // and returns false.
    bool allocateWorkBuffer(SampleBuffer& buffer, std::uint64_t count);
    bool allocateWorkBuffer(StageVector<float>& buffer, std::uint64_t count);
    bool allocateWorkBuffer(ByteBuffer& buffer, std::uint64_t count);
    // Releases srcAudioData and every sample buffer, and returns the memory
    // to the system; dstAudioData stays for the writer.
    void releaseWorkBuffers();
    // Empties a stage buffer the pass is done with, keeping its memory for
    // the next buffer of its size.
    void releaseStageBuffer(SampleBuffer& buffer);

    // =======================================================================
    // File formats: WAV, AIFF/AIFF-C, FLAC, processing mark and metadata
    // =======================================================================

    // Reads the RIFF/WAVE source inputFile: headers and metadata, and with
    // headerOnly clear the sample bytes too. A file that cannot be opened
    // sets error 0x4 and changes nothing else.
    void AnalyseWAV(bool headerOnly);
    // The same reader over a file image in memory.
    void AnalyseWAVImage(std::span<const std::uint8_t> image, bool headerOnly);
    // Appends the whole destination WAV image to the buffer.
    void CreateDestBufferWAV(ByteBuffer& buffer);

    // Appends the 66-byte processing mark.
    void CreateMetadataChunk(ByteBuffer& buffer);
    // The layout (1 or 2) that a mark's 16-character version text selects.
    static int GetMetadataChunkVersion(std::string_view version);
    // Decodes a mark's chunk data and records it; shared by the readers.
    void ReadMetadataChunk(std::span<const std::uint8_t> data, bool headerOnly);
    // Records the prior enhancements of a mark and warns when analysing.
    void MetadataWarning(std::uint64_t enhancement1, std::uint64_t enhancement2, bool headerOnly, int layout);
    // Append the carried chunks; size 0 (or a stored chunk too short to
    // carry) appends nothing, except that bext is then written new.
    void CreateBextChunk(ByteBuffer& buffer, std::uint64_t size);
    void CreateIXMLChunk(ByteBuffer& buffer, std::uint64_t size);
    void CreateID3Chunk(ByteBuffer& buffer, std::uint64_t size);
    // Whole-chunk sizes of the carried chunks a destination gets (0: none):
    // bext and iXML only with destination loudness written into bext.
    std::uint64_t carriedBextChunkSize() const;
    std::uint64_t carriedIXMLChunkSize() const;
    std::uint64_t carriedID3ChunkSize() const;
    // Logs a warning for each stored chunk too short to be carried.
    void WarnShortCarriedChunks();
    // Past the 4 GB limit of RIFF and AIFF sizes: keeps the first `frames`
    // frames and reports the cut (log line, duration text, warning 0x200).
    void truncateDestinationAudio(std::uint64_t frames);
    // Appends the first `bytes` of dstAudioData to a WAV or AIFF image, or
    // notes where they go when the pass splices them in.
    void appendDestinationAudio(ByteBuffer& buffer, std::uint64_t bytes);

    // Reads the AIFF or AIFF-C source inputFile, like AnalyseWAV.
    void AnalyseAIFC(bool headerOnly);
    void AnalyseAIFCImage(std::span<const std::uint8_t> image, bool headerOnly);
    // Appends the whole destination AIFF (dstFileType 4) or AIFF-C (8) image.
    void CreateDestBufferAIFC(ByteBuffer& buffer);
    // Decodes the FLAC source inputFile through libFLAC: STREAMINFO and the
    // carried blocks, and with headerOnly clear the samples. A full decode
    // that fails, fails its MD5 check or ends short of STREAMINFO's sample
    // count sets error 0x4.
    void AnalyseFLAC(bool headerOnly);
    void AnalyseFLACImage(std::span<const std::uint8_t> image, bool headerOnly);
    // Appends the whole destination FLAC image, encoded by libFLAC from
    // dstAudioData (32-bit words). Any failed encoder step sets error 0x8 and
    // appends nothing.
    void CreateDestBufferFLAC(ByteBuffer& buffer);

    // Source metadata the destination will not hold, one "name (how to keep
    // it, or why not)" entry each; empty when everything is carried.
    std::vector<std::string> uncarriedMetadata() const;
    // Names them in one warning line and in the destination report.
    void ReportUncarriedMetadata();
    // IDs of the metadata chunks and blocks a reader skipped ("LIST").
    std::vector<std::string> srcSkippedMetadata;

    // =======================================================================
    // Metrics and reports
    // =======================================================================

    // Stage numbers: 1 source, 2 between the enhancements (only when an
    // Enhancement 2 follows), 4 destination.

    // File facts of a stage into its report list (srcMetrics, midMetrics,
    // dstMetrics); the source stage adds a summary of the carried metadata,
    // the destination stage the enhancement, date, hi-res and dither lines.
    void AnalyseAudioMetricsBasic(int stage);
    // Peak, RMS, crest factor, mid/side, L/R ratio, Leq and correlation of a
    // stage's buffer; sets rmsRatio and ccc.
    void AnalyseAudioMetricsVeridane(int stage);
    // The decoded bext chunk of the source; a chunk shorter than its fixed
    // part is a damaged header (error 0x20). The argument is not used.
    void AnalyseAudioMetricsBEXT(int stage);
    // The iXML text of the source, unparsed; a chunk shorter than its header
    // is a damaged header (error 0x20). The argument is not used.
    void AnalyseAudioMetricsIXML(int stage);
    // The Vorbis comments of a FLAC source. The argument is not used.
    void AnalyseAudioMetricsVorbis(int stage);
    // EBU R128 loudness of the source (1, when calculateSrcR128 is on, on
    // audioIn) or of the destination (4, when calculateDstR128 is on, on
    // audioBuf_2): the five loudness values, their log and report lines,
    // and for the destination the gain to adjustDstR128Level when
    // adjustDstR128 is on. Another stage, or the setting off, does nothing.
    void AnalyseAudioMetricsR128(int stage);

    // Set by the FLAC reader when the source had a Vorbis comment block with
    // entries, even if every entry was empty and srcVorbisComments stays
    // empty: the report then shows the Vorbis header line alone.
    bool srcVorbisCommentsPresent = false;

    // =======================================================================
    // Phonograph restoration and speed change
    // =======================================================================

    // Every phonograph curve, "CD De-emphasis" and "Veridane Rumble Filter":
    // the restoration chain on the stage's source buffer, then equalisation
    // into its destination buffer.
    void PhonographEQ(std::uint32_t stage);
    // The RIAA recording characteristic.
    void PhonographAntiEQ(std::uint32_t stage);
    // The restoration stages of PhonographEQ, in chain order, in place on
    // the stage's stereo source buffer of dstFrames frames; `work` is the
    // chain's work buffer of 2 × dstFrames samples.
    void GainRanging(std::span<double> source);
    void CartridgeBalance(std::span<double> source);
    void DiscEchoRemoval(std::span<double> source);
    void DizorResponseCorrection(std::span<double> source);
    void LpDistortionCancellation(std::span<double> source);
    void NeedleScratchRemoval(std::span<double> source, std::span<double> work);
    // Followed by the exciter chain.
    void GradientNeedleScratchRemoval(std::span<double> source, std::span<double> work);
    // Pop-click (first kind) or crackle (second kind) removal in place on a
    // two-channel buffer of dstFrames frames.
    void PopClick_Crackle(std::span<double> buffer, bool popClickRemoval, bool crackleRemoval);
    // The interpolating declicker ("PhonographPopClick" 4): clicks found in
    // the residual of a local autoregressive model and replaced by
    // least-squares autoregressive interpolation, in place on a two-channel
    // buffer of dstFrames frames.
    void PopClickInterpolated(std::span<double> buffer);
    // Stage 1 or 2 as enhancements of their own; 101 or 102 in place inside
    // the phonograph chain.
    void HumRemoval(std::uint32_t stage);
    void ZephraFilter(std::uint32_t stage);
    // Plays a record cut at another speed at its true speed (capture speeds 3-6).
    void WindUpSpeedChange();
    // The stylus and surface model.
    void Groove24(std::uint32_t stage);

    // =======================================================================
    // Wow correction
    // =======================================================================

    // Step 6 of the phonograph chain, in place on the stage's stereo source
    // buffer of dstFrames frames: detection, locking, then correction. When
    // no once-per-revolution wow is found the audio stays as it is and
    // warning 0x100 is set; a failed allocation sets error 0x2.
    void WowCorrection(std::span<double> source);
    // Locks the detector's control signal, given as `points` stretched by
    // `factor` to `frames` frames (factor 1: the signal itself). On success
    // fills the fitted crossing positions and the sign after each crossing;
    // otherwise logs, ORs 0x100 into warning and returns false.
    bool ControlSinWaveFit(std::span<const double> points, std::uint64_t frames, std::uint32_t factor,
                           std::vector<double>& fitted, std::vector<bool>& isPositive);

    // =======================================================================
    // Fields
    // =======================================================================

    const Platform& platform;

    // Identity and state.
    std::string inputFile;
    int srcFileType = kFileUnsupported;
    int dstFileType = kFileUnsupported;
    std::atomic<int> state{kStateCreating};
    std::atomic<int> contextAction{0};   // bit 16: target of a context-menu conversion
    // Set by the queue to stop a conversion at its next stage boundary:
    // nothing is written and the job returns to state 4, "Cancelled.".
    std::atomic<bool> cancelRequested{false};

    // The settings record of the running (or last) pass.
    SettingsSnapshot settings;

    // Status.
    std::atomic<int> error{0};
    std::atomic<int> warning{0};
    std::atomic<std::uint64_t> warning_1{0};   // prior Enhancement 1, mark bit numbering
    std::atomic<std::uint64_t> warning_2{0};   // prior Enhancement 2
    // Enhancement codes of a processing mark that this version does not
    // know: the file was converted before, with something newer.
    std::optional<std::uint64_t> unknownPriorEnhancement1;
    std::optional<std::uint64_t> unknownPriorEnhancement2;

    // Source data and metadata carried to the destination.
    ByteBuffer srcAudioData;
    std::vector<std::uint8_t> srcID3ChunkData;
    std::vector<std::uint8_t> srcBextChunkData;
    std::vector<std::uint8_t> srcIXMLChunkData;
    std::map<std::string, std::vector<std::uint8_t>> srcPictureChunkDict;
    std::vector<std::string> srcVorbisComments;

    // Format facts.
    int srcEndianessValues = kEndianNone;
    int dstEndianessValues = kEndianNone;
    int srcEndianessData = kEndianNone;
    int dstEndianessData = kEndianNone;
    std::uint32_t srcFrames = 0;
    std::uint32_t dstFrames = 0;
    double srcFrameRate = 0;
    double dstFrameRate = 0;
    int upsampleType = kUpsampleNone;
    std::uint32_t srcChannels = 0;
    std::uint32_t dstChannels_1 = 0;
    std::uint32_t dstChannels_2 = 0;
    std::uint32_t dstChannelsData = 0;
    std::uint32_t dstChannelsStart = 0;
    std::uint32_t srcSampleBits = 0;
    std::uint32_t srcSampleBytes = 0;
    std::uint32_t dstSampleBits = 0;
    std::uint32_t dstSampleBytes = 0;
    std::uint32_t discardBytes = 0;

    // Working buffers: interleaved doubles on the integer scale, present only
    // while the processing pass needs them.
    SampleBuffer audioIn;
    SampleBuffer audioBuf_0;
    SampleBuffer audioBuf_0_sub;
    SampleBuffer audioBuf_1;
    SampleBuffer audioBuf_2;
    ByteBuffer dstAudioData;
    // With spliceDestinationAudio set (by the processing pass), the WAV and
    // AIFF writers leave the samples out of the image and note where they
    // go: the pass writes them from dstAudioData between the image's two
    // parts, without a copy of some hundred MB. Unset, the image is whole.
    bool spliceDestinationAudio = false;
    std::size_t destinationAudioAt = 0;        // offset in the image
    std::uint64_t destinationAudioBytes = 0;   // 0: nothing spliced
    // Where the double buffers above come from and go back to while the pass
    // runs (allocateWorkBuffer, releaseStageBuffer); emptied with them.
    StageBufferPool stageBuffers;
    // On for a pass whose buffers would not fit the memory budget: its large
    // buffers (the ones above, the work buffers of the stages, the source's
    // sample bytes and the destination image) are then unlinked temporary
    // files in the destination folder's file system, mapped, instead of
    // memory. Set before the processing pass starts; a pass whose estimated
    // peak exceeds the memory budget (settings.exceedsMemoryBudget) does so
    // whatever `enabled` says.
    struct StageBuffersOnDisk {
        bool enabled = false;
        // For the log line, set by the pass over the budget; 0 otherwise.
        std::uint64_t estimatedPeakBytes = 0;
        std::uint64_t budgetBytes = 0;
        // Empty: the system's temporary files. Tests make it fail.
        StageMemoryBacking::OpenTemporary openTemporary;
    };
    StageBuffersOnDisk stageBuffersOnDisk;

    // Clipping results.
    double clipPercent = 0;
    double clipFactor = 0;
    double clipdB = 0;
    std::int64_t clipOption = 0;   // 1000 "Attenuate", 1001 "Clamp"

    // Metrics.
    double rmsRatio = 0;
    double ccc = 0;
    std::vector<std::string> srcMetrics;
    std::vector<std::string> midMetrics;
    std::vector<std::string> dstMetrics;
    double srcLoudnessValue = 0, dstLoudnessValue = 0;
    double srcLoudnessRange = 0, dstLoudnessRange = 0;
    double srcMaxTruePeakLevel = 0, dstMaxTruePeakLevel = 0;
    double srcMaxMomentaryLoudness = 0, dstMaxMomentaryLoudness = 0;
    double srcMaxShortTermLoudness = 0, dstMaxShortTermLoudness = 0;
    // Which of the five values the last R128 measurement of each side set
    // (LoudnessMeasured bits). One it could not measure (a track too short)
    // keeps its old number but is reported, written and printed as not
    // measured, never as that number.
    enum LoudnessMeasured : std::uint32_t {
        kLoudnessValueMeasured = 0x1,
        kLoudnessRangeMeasured = 0x2,
        kMaxTruePeakMeasured = 0x4,
        kMaxMomentaryMeasured = 0x8,
        kMaxShortTermMeasured = 0x10,
    };
    std::uint32_t srcLoudnessMeasured = 0, dstLoudnessMeasured = 0;

private:
    mutable std::mutex textMutex_;
    TableTexts texts_;
    std::string errorCause_;
    double progressTableTextLastUpdate_ = 0;
};

inline constexpr const char* kAudioFileRefreshViewMsg = "AudioFileRefreshViewMsg";

}  // namespace auralune

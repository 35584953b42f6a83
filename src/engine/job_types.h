#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace auralune {

// File type codes of sources and destinations; 32-8192 occur only as
// destination types (channels picked out of a six-channel result).
enum FileType : int {
    kFileUnsupported = 0,
    kFileWav = 2,
    kFileAiff = 4,
    kFileAifc = 8,
    kFileFlac = 16,
    kFileWavFrontPair = 32,
    kFileWavCentreLfe = 64,
    kFileWavSurroundPair = 128,
    kFileWavLeft = 256,
    kFileWavRight = 512,
    kFileWavCentre = 1024,
    kFileWavLfe = 2048,
    kFileWavSurroundLeft = 4096,
    kFileWavSurroundRight = 8192,
};

struct FileTypeInfo {
    int code;
    std::string_view typeText;
    std::string_view extension;   // written for destinations of this type
};

inline constexpr std::array<FileTypeInfo, 14> kFileTypes{{
    {kFileUnsupported, "Unsupported", ""},
    {kFileWav, "WAV audio", "wav"},
    {kFileAiff, "AIFF audio", "aif"},
    {kFileAifc, "AIFF-C audio", "aiff"},
    {kFileFlac, "FLAC audio", "flac"},
    {kFileWavFrontPair, "WAV L+R", "wav"},
    {kFileWavCentreLfe, "WAV C+LFE", "wav"},
    {kFileWavSurroundPair, "WAV sL+sR", "wav"},
    {kFileWavLeft, "WAV L", "wav"},
    {kFileWavRight, "WAV R", "wav"},
    {kFileWavCentre, "WAV C", "wav"},
    {kFileWavLfe, "WAV LFE", "wav"},
    {kFileWavSurroundLeft, "WAV sL", "wav"},
    {kFileWavSurroundRight, "WAV sR", "wav"},
}};

const FileTypeInfo* findFileType(int code);

// Rate-conversion plans.
enum UpsampleType : int {
    kUpsampleNone = 1,         // no rate change
    kUpsampleDouble = 2,       // a 44.1/48 kHz source is doubled before the enhancements
    kUpsampleHalveRestore = 4, // a 176.4/192 kHz source is halved for them and doubled after
    kUpsampleHalve = 8,        // a 176.4/192 kHz source is halved and written halved
};

enum JobState : int {
    kStateCreating = 1,
    kStateNew = 2,
    kStateAnalysing = 3,
    kStateAnalysed = 4,
    kStateQueued = 5,
    kStateConverting = 7,
    kStateConverted = 8,
    kStateFailed = 9,
};

// Byte orders of header numbers and sample data.
enum Endianess : int { kEndianNone = 0, kEndianBig = 1, kEndianLittle = 2 };

// Fatal problems; any bit stops the job. Texts are appended in table order.
enum ErrorBit : int {
    kErrorMemory = 0x2,
    kErrorOpen = 0x4,
    kErrorSave = 0x8,
    kErrorFileType = 0x10,
    kErrorHeader = 0x20,
    kErrorFrameRate = 0x40,
    kErrorChannels = 0x80,
    kErrorBitDepth = 0x100,
    kErrorCompression = 0x200,
    kErrorAudioData = 0x400,
    kErrorHalfSpeedRate = 0x4000,
};

struct StatusBitText {
    int bit;
    std::string_view text;
};

inline constexpr std::array<StatusBitText, 11> kErrorTexts{{
    {kErrorMemory, "Memory allocation error. "},
    {kErrorOpen, "Cannot open file. "},
    {kErrorSave, "Cannot save file. "},
    {kErrorFileType, "Invalid file type. "},
    {kErrorHeader, "Invalid file header. "},
    {kErrorFrameRate, "Unsupported frame rate. "},
    {kErrorChannels, "Unsupported number of channels. "},
    {kErrorBitDepth, "Unsupported sample bit depth. "},
    {kErrorCompression, "Unsupported compression type. "},
    {kErrorAudioData, "Invalid audio data. "},
    {kErrorHalfSpeedRate, "Invalid frame-rate for half-speed needle drop. "},
}};

// Non-fatal findings.
enum WarningBit : int {
    kWarningAttenuated = 0x1,
    kWarningClipping = 0x2,
    kWarningR128TooShort = 0x8,
    kWarningLoudnessAdjusted = 0x10,
    kWarningCdEmphasis = 0x20,
    kWarningJ17Emphasis = 0x40,
    kWarningNoCd4Radar = 0x80,
    kWarningWowNotFound = 0x100,
    kWarningTruncated4GB = 0x200,
};

// In the order they are appended. Texts with a value take it through
// printf: "%.1f" the loudness target, "%.2f" the clipping in dB.
inline constexpr std::array<StatusBitText, 9> kWarningTexts{{
    {kWarningLoudnessAdjusted, "Loudness adjusted to %.1f LUFS. "},
    {kWarningAttenuated, "Attenuated by %.2fdB to avoid excessive clipping. "},
    {kWarningClipping, "Excessive clipping in converted file (%.2fdB). "},
    {kWarningTruncated4GB, "Output file truncated to 4GB limit. "},
    {kWarningR128TooShort, "File is too short for R128 analysis. "},
    {kWarningCdEmphasis, "50/15 \u03bcs emphasis detected. Requires CD de-emphasis equalisation. "},
    {kWarningJ17Emphasis, "CCITT J.17 emphasis detected. Requires Radio de-emphasis equalisation. "},
    {kWarningNoCd4Radar, "No RADAR detected for CD-4 quadraphonic decode. "},
    {kWarningWowNotFound, "Failed to detect Wow! "},
}};

// The texts of every set error bit, in table order.
std::string errorTexts(int error);

}  // namespace auralune

#pragma once

#include "engine/audio_file.h"
#include "engine/job_types.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The file formats the program reads and writes: one row per format. The
// source filter of the queue, the open panel, the desktop entry's MIME
// list, the CLI's --format words and the readers and writers the passes
// call all come from here; adding a format is one row plus its reader and
// writer.
namespace auralune {

struct FileFormat {
    int fileType;                                 // job file type code, also the output format tag
    std::string_view displayName;                 // output format popup label
    std::array<std::string_view, 3> extensions;   // source extensions, lower case, compared ignoring case
    std::array<std::string_view, 3> mimeTypes;
    std::string_view formatWord;                  // the CLI's --format word
    // Header-only (true) or full read of inputFile.
    void (AudioFile::*reader)(bool headerOnly);
    // Appends the whole destination image; nullptr: not written yet.
    void (AudioFile::*writer)(ByteBuffer& image);
};

// AIFF and AIFF-C share a reader, which tells them apart by the FORM type,
// so a source named .aif may turn out to be AIFF-C and the reverse.
inline constexpr std::array<FileFormat, 4> kFileFormats{{
    {kFileWav, "WAV", {"wav"}, {"audio/x-wav", "audio/wav"}, "wav", &AudioFile::AnalyseWAV,
     &AudioFile::CreateDestBufferWAV},
    {kFileAiff, "AIFF", {"aif", "aiff"}, {"audio/x-aiff", "audio/aiff"}, "aiff", &AudioFile::AnalyseAIFC,
     &AudioFile::CreateDestBufferAIFC},
    {kFileAifc, "AIFF-C", {"aifc"}, {"audio/x-aifc"}, "aifc", &AudioFile::AnalyseAIFC,
     &AudioFile::CreateDestBufferAIFC},
    {kFileFlac, "FLAC", {"flac"}, {"audio/flac", "audio/x-flac"}, "flac", &AudioFile::AnalyseFLAC,
     &AudioFile::CreateDestBufferFLAC},
}};

// The format of a file type code. The WAV channel-pick types (32-8192) are
// WAV; nullptr for 0 and unknown codes.
const FileFormat* findFileFormat(int fileType);
// The format whose extensions hold the path's extension, in any case.
const FileFormat* fileFormatForPath(std::string_view path);

// Every source extension in lower, upper and capitalised spelling, for file
// dialogs that compare extensions as written ("aif", "AIF", "Aif", ...).
std::vector<std::string> sourceExtensionSpellings();
// The desktop entry's MimeType value: every MIME type, each followed by ";".
std::string desktopMimeTypes();
// "wav, aiff, aifc, flac".
std::string formatWords();

}  // namespace auralune

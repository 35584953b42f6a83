#pragma once

#include "engine/catalogue.h"
#include "engine/job_types.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Where a conversion goes: the destination type of an output format, the
// channels written, the file name and the write that never replaces a file.
namespace auralune {

// An output format's destination: file type, extension and byte orders of
// the header numbers and of the sample data.
struct DestinationType {
    int fileType = kFileUnsupported;
    std::string extension;
    int valuesOrder = kEndianNone;
    int dataOrder = kEndianNone;

    bool operator==(const DestinationType&) const = default;
};

// The destination of an output format tag. Tag 1 keeps the source's type,
// its extension as written and its byte orders. Nothing for an unknown tag.
std::optional<DestinationType> destinationType(int outputFormat, int srcFileType, std::string_view srcExtension,
                                               int srcValuesOrder, int srcDataOrder);

// Whether the format table has a writer for a destination of this type.
bool canWriteFileType(int fileType);

// Channel counts of the two stage buffers and the channels written.
struct OutputChannels {
    std::uint32_t stage1 = 0;    // dstChannels_1
    std::uint32_t stage2 = 0;    // dstChannels_2
    std::uint32_t written = 0;   // dstChannelsData
    std::uint32_t start = 0;     // dstChannelsStart

    bool operator==(const OutputChannels&) const = default;
};

// A six-channel enhancement (frames L, R, C, LFE, sL, sR) widens its stage
// and every later one to six channels; a six-channel result is written
// whole unless the destination type picks one channel or a pair from it.
OutputChannels outputChannels(EnhancementCode enhancement1, EnhancementCode enhancement2, std::uint32_t srcChannels,
                              int dstFileType);

// The parts of a destination name: folder + base + suffix + extension.
struct DestinationName {
    std::string folder;
    std::string base;
    std::string suffix;
    std::string extension;

    // Number 0: "folder/base+suffix.ext"; n >= 1: "folder/base+suffix-n.ext".
    std::string candidate(unsigned long number) const;
};

// The first candidate, from number 0 on, that `exists` reports free.
struct NumberedPath {
    std::string path;
    unsigned long number = 0;   // 0: the plain name was free
};
NumberedPath firstFreeName(const DestinationName& name, const std::function<bool(const std::string&)>& exists);

// Whether anything, a dangling symbolic link included, has this name.
bool pathExists(const std::string& path);

// The system calls a new file is written with. Tests replace some of them to
// act out file systems that refuse one way or another (FUSE mounts without
// unnamed files or no-replace renames, a system without /proc). Each returns
// a descriptor or 0 on success, minus the errno value on failure.
class NewFileSystem {
public:
    virtual ~NewFileSystem() = default;
    // An unnamed file in the folder (O_TMPFILE).
    virtual int openUnnamed(const std::string& folder);
    // Gives an unnamed file a name that must not exist yet (through /proc).
    virtual int linkUnnamed(int fd, const std::string& path);
    // A new file that must not exist yet (O_CREAT | O_EXCL), mode 0666 less
    // the creation mask.
    virtual int createExclusive(const std::string& path);
    virtual int renameNoReplace(const std::string& from, const std::string& to);
    virtual int link(const std::string& from, const std::string& to);
    virtual int writeAll(int fd, std::span<const std::uint8_t> bytes);
    virtual int sync(int fd);
    virtual int unlink(const std::string& path);
};

// The real system calls.
NewFileSystem& systemFileSystem();

struct NewFileOptions {
    // Called with each candidate just before the written file is given that
    // name, so tests can make a file appear between the check and the write.
    std::function<void(const std::string& candidate)> beforeNaming;
    // Off: go straight to the hidden temporary file that serves file
    // systems without unnamed files.
    bool unnamedFile = true;
    // Null: the real system calls.
    NewFileSystem* fileSystem = nullptr;
};

struct NewFileResult {
    bool written = false;
    NumberedPath name;         // the name given, when written
    std::string errorText;     // the system's description, when not
    std::string errorPath;     // the folder or file it concerns
};

// Writes `bytes` as a new file named after `name`, starting at candidate
// `firstNumber` and taking the next number whenever a name is taken. An
// existing file is never replaced. The best way the file system allows is
// used: an unnamed file in the folder, flushed to disk and only then linked
// under its name; else a hidden temporary file renamed (or hard-linked) to
// a name that must not exist yet; else, as a last resort where neither is
// allowed, the file is created under its final name exclusively, written
// and flushed, and removed again when that fails. On failure nothing is
// left behind.
NewFileResult writeNewFile(const DestinationName& name, unsigned long firstNumber, std::span<const std::uint8_t> bytes,
                           const NewFileOptions& options = {});
// The same for a file made of pieces written one after the other (a header
// and the samples where they already are, without a copy joining them).
using FilePieces = std::span<const std::span<const std::uint8_t>>;
NewFileResult writeNewFile(const DestinationName& name, unsigned long firstNumber, FilePieces pieces,
                           const NewFileOptions& options = {});

// Hidden temporary files are named ".auralune-<host>-<pid>-XXXXXX". The
// name of this process's files; and whether a name is a temporary file of
// this host whose process has ended (left by a killed run).
std::string temporaryFilePrefix();
bool isStaleTemporaryFile(std::string_view fileName);
// Removes the stale temporary files of this host from a folder; returns
// how many were removed.
std::size_t removeStaleTemporaryFiles(const std::string& folder);

}  // namespace auralune

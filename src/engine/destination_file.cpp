#include "engine/destination_file.h"

#include "formats/file_formats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace auralune {

namespace {

// One channel or a pair picked out of a six-channel result.
struct PickedChannels {
    int fileType;
    std::uint32_t start;
    std::uint32_t count;
};

constexpr PickedChannels kPickedChannels[] = {
    {kFileWavFrontPair, 0, 2},    {kFileWavCentreLfe, 2, 2},   {kFileWavSurroundPair, 4, 2},
    {kFileWavLeft, 0, 1},         {kFileWavRight, 1, 1},       {kFileWavCentre, 2, 1},
    {kFileWavLfe, 3, 1},          {kFileWavSurroundLeft, 4, 1}, {kFileWavSurroundRight, 5, 1},
};

// A candidate name is tried this many times at most before the write gives
// up: enough for any folder a person fills by hand.
constexpr unsigned long kMaxNumber = 100000;

std::string systemErrorText(int code)
{
    char text[256];
    return ::strerror_r(code, text, sizeof text);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The process's file creation mask, read without changing it (umask(2)
// would change it for every thread while it is read).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// The data on disk, not yet under any visible name.
struct PendingFile {
    int fd = -1;
    std::string temporaryPath;   // empty for an unnamed file
};

// Gives the pending file a name that must not exist yet; errno on failure.
int giveName(const PendingFile& file, const std::string& candidate)
{
    if (file.temporaryPath.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(file.fd);
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, file.temporaryPath.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    // A file system without no-replace renames: a hard link refuses an
    // existing name too.
    if (::link(file.temporaryPath.c_str(), candidate.c_str()) != 0)
        return errno;
    ::unlink(file.temporaryPath.c_str());
    return 0;
}

}  // namespace

std::optional<DestinationType> destinationType(int outputFormat, int srcFileType, std::string_view srcExtension,
                                               int srcValuesOrder, int srcDataOrder)
{
    switch (outputFormat) {
    case 1:
        return DestinationType{srcFileType, std::string(srcExtension), srcValuesOrder, srcDataOrder};
    case kFileAiff:
        return DestinationType{kFileAiff, "aif", kEndianBig, kEndianBig};
    case kFileAifc:
        return DestinationType{kFileAifc, "aiff", kEndianBig, kEndianLittle};
    case kFileFlac:
        return DestinationType{kFileFlac, "flac", kEndianLittle, kEndianLittle};
    case kFileWav:
    case kFileWavFrontPair:
    case kFileWavCentreLfe:
    case kFileWavSurroundPair:
    case kFileWavLeft:
    case kFileWavRight:
    case kFileWavCentre:
    case kFileWavLfe:
    case kFileWavSurroundLeft:
    case kFileWavSurroundRight:
        return DestinationType{outputFormat, "wav", kEndianLittle, kEndianLittle};
    default:
        return std::nullopt;
    }
}

bool canWriteFileType(int fileType)
{
    const FileFormat* format = findFileFormat(fileType);
    return format && format->writer;
}

OutputChannels outputChannels(EnhancementCode enhancement1, EnhancementCode enhancement2, std::uint32_t srcChannels,
                              int dstFileType)
{
    OutputChannels out{srcChannels, srcChannels, srcChannels, 0};
    if (enhancement1 & kSixChannelMask)
        out.stage1 = out.stage2 = 6;
    else if (enhancement2 & kSixChannelMask)
        out.stage2 = 6;
    if (out.stage2 == 6) {
        out.written = 6;
        for (const PickedChannels& picked : kPickedChannels)
            if (picked.fileType == dstFileType) {
                out.written = picked.count;
                out.start = picked.start;
            }
    }
    return out;
}

std::string DestinationName::candidate(unsigned long number) const
{
    std::string path = folder + "/" + base + suffix;
    if (number != 0)
        path += "-" + std::to_string(number);
    return path + "." + extension;
}

NumberedPath firstFreeName(const DestinationName& name, const std::function<bool(const std::string&)>& exists)
{
    unsigned long number = 0;
    while (number < kMaxNumber && exists(name.candidate(number)))
        ++number;
    return {name.candidate(number), number};
}

bool pathExists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

NewFileResult writeNewFile(const DestinationName& name, unsigned long firstNumber, std::span<const std::uint8_t> bytes,
                           const NewFileOptions& options)
{
    NewFileResult result;
    PendingFile pending;
    if (options.unnamedFile)
        pending.fd = ::open(name.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (!options.unnamedFile || (pending.fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))) {
        // No unnamed files here: a hidden temporary name, with the mode a
        // new file would get (mkstemp makes it private).
        std::string pattern = name.folder + "/.auralune-XXXXXX";
        pending.fd = ::mkstemp(pattern.data());
        if (pending.fd >= 0) {
            pending.temporaryPath = pattern;
            ::fchmod(pending.fd, 0666 & ~currentUmask());
        }
    }
    if (pending.fd < 0) {
        result.errorText = systemErrorText(errno);
        return result;
    }
    const FileDescriptor fd(pending.fd);

    int failure = 0;
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        failure = errno;
    for (unsigned long number = firstNumber; failure == 0; ++number) {
        const std::string candidate = name.candidate(number);
        if (options.beforeNaming)
            options.beforeNaming(candidate);
        failure = giveName(pending, candidate);
        if (failure == 0) {
            result.written = true;
            result.name = {candidate, number};
            break;
        }
        if (failure == EEXIST && number < kMaxNumber)
            failure = 0;
    }
    if (!result.written) {
        if (!pending.temporaryPath.empty())
            ::unlink(pending.temporaryPath.c_str());
        result.errorText = systemErrorText(failure);
        return result;
    }
    // Make the new directory entry durable too.
    const FileDescriptor folder(::open(name.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
    return result;
}

}  // namespace auralune

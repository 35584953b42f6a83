#include "engine/destination_file.h"

#include "engine/text_format.h"
#include "formats/file_formats.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
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

// Errors that mean a way of writing is not offered here (the file system
// or the system lacks it), as opposed to a failure of this write.
bool wayRefused(int code)
{
    return code == EOPNOTSUPP || code == ENOTSUP || code == EISDIR || code == EINVAL || code == EPERM ||
           code == ENOSYS || code == EXDEV || code == EMLINK;
}

std::string hostNameForFiles()
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        return "localhost";
    std::string name;
    for (const char* c = host; *c != '\0'; ++c)
        name += (std::isalnum(static_cast<unsigned char>(*c)) || *c == '.' || *c == '_') ? *c : '_';
    return name;
}

// Writes the pieces one after the other and flushes; 0 or minus errno.
int writeAndSync(NewFileSystem& system, int fd, FilePieces pieces)
{
    for (const std::span<const std::uint8_t> piece : pieces)
        if (const int written = system.writeAll(fd, piece); written < 0)
            return written;
    return system.sync(fd);
}

// One attempt of a way of writing: done, refused (try the next way) or failed.
struct Attempt {
    enum Outcome { kDone, kRefused, kFailed } outcome;
    int code = 0;   // errno, when refused or failed
    std::string path;
};

using Hook = std::function<void(const std::string&)>;

// An unnamed file linked under its name.
Attempt writeUnnamed(NewFileSystem& system, const DestinationName& name, unsigned long& number,
                     FilePieces bytes, const Hook& beforeNaming)
{
    const int fd = system.openUnnamed(name.folder);
    if (fd < 0)
        return {wayRefused(-fd) ? Attempt::kRefused : Attempt::kFailed, -fd, name.folder};
    const FileDescriptor file(fd);
    if (const int result = writeAndSync(system, fd, bytes); result < 0)
        return {Attempt::kFailed, -result, name.folder};
    for (;; ++number) {
        const std::string candidate = name.candidate(number);
        if (beforeNaming)
            beforeNaming(candidate);
        const int result = system.linkUnnamed(fd, candidate);
        if (result == 0)
            return {Attempt::kDone, 0, candidate};
        if (result == -EEXIST && number < kMaxNumber)
            continue;
        // ENOENT: no /proc to name the file through.
        const bool refused = wayRefused(-result) || result == -ENOENT;
        return {refused ? Attempt::kRefused : Attempt::kFailed, -result, candidate};
    }
}

// A hidden temporary file renamed without replacing (or hard-linked).
Attempt writeTemporary(NewFileSystem& system, const DestinationName& name, unsigned long& number,
                       FilePieces bytes, const Hook& beforeNaming)
{
    static std::atomic<std::uint32_t> counter{0};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string temporary;
    int fd = -EEXIST;
    for (int tries = 0; fd == -EEXIST && tries < 100; ++tries) {
        std::uint32_t seed = (counter++ * 2654435761u) ^ static_cast<std::uint32_t>(std::random_device{}());
        std::string suffix;
        for (int i = 0; i < 6; ++i, seed /= 62)
            suffix += kLetters[seed % 62];
        temporary = name.folder + "/" + temporaryFilePrefix() + suffix;
        fd = system.createExclusive(temporary);
    }
    if (fd < 0)
        return {wayRefused(-fd) ? Attempt::kRefused : Attempt::kFailed, -fd, name.folder};
    const FileDescriptor file(fd);
    const auto failed = [&](Attempt::Outcome outcome, int code, const std::string& path) {
        system.unlink(temporary);
        return Attempt{outcome, code, path};
    };
    if (const int result = writeAndSync(system, fd, bytes); result < 0)
        return failed(Attempt::kFailed, -result, name.folder);
    bool renameOffered = true;
    for (;; ++number) {
        const std::string candidate = name.candidate(number);
        if (beforeNaming)
            beforeNaming(candidate);
        int result = -EINVAL;
        if (renameOffered)
            result = system.renameNoReplace(temporary, candidate);
        if (result == -EINVAL || result == -ENOSYS) {
            // No no-replace renames: a hard link refuses an existing name too.
            renameOffered = false;
            result = system.link(temporary, candidate);
            if (result == 0)
                system.unlink(temporary);
        }
        if (result == 0)
            return {Attempt::kDone, 0, candidate};
        if (result == -EEXIST && number < kMaxNumber)
            continue;
        return failed(wayRefused(-result) ? Attempt::kRefused : Attempt::kFailed, -result, candidate);
    }
}

// The last resort: the final name created exclusively and written in place.
Attempt writeInPlace(NewFileSystem& system, const DestinationName& name, unsigned long& number,
                     FilePieces bytes, const Hook& beforeNaming)
{
    for (;; ++number) {
        const std::string candidate = name.candidate(number);
        if (beforeNaming)
            beforeNaming(candidate);
        const int fd = system.createExclusive(candidate);
        if (fd == -EEXIST && number < kMaxNumber)
            continue;
        if (fd < 0)
            return {Attempt::kFailed, -fd, fd == -ENOENT || fd == -EACCES ? name.folder : candidate};
        const FileDescriptor file(fd);
        if (const int result = writeAndSync(system, fd, bytes); result < 0) {
            system.unlink(candidate);
            return {Attempt::kFailed, -result, candidate};
        }
        return {Attempt::kDone, 0, candidate};
    }
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

int NewFileSystem::openUnnamed(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    return fd >= 0 ? fd : -errno;
}

int NewFileSystem::linkUnnamed(int fd, const std::string& path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : -errno;
}

int NewFileSystem::createExclusive(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
    return fd >= 0 ? fd : -errno;
}

int NewFileSystem::renameNoReplace(const std::string& from, const std::string& to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : -errno;
}

int NewFileSystem::link(const std::string& from, const std::string& to)
{
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : -errno;
}

int NewFileSystem::writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    // At most 4 MiB a call: one write() of a 345 MB image took the kernel
    // 0.9 s in two runs of three on the build machine, and 0.07 s in 4 MiB
    // calls every time.
    constexpr std::size_t kMostPerCall = std::size_t{4} << 20;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), std::min(bytes.size(), kMostPerCall));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

int NewFileSystem::sync(int fd)
{
    return ::fsync(fd) == 0 ? 0 : -errno;
}

int NewFileSystem::unlink(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : -errno;
}

NewFileSystem& systemFileSystem()
{
    static NewFileSystem system;
    return system;
}

std::string temporaryFilePrefix()
{
    return ".auralune-" + hostNameForFiles() + "-" + std::to_string(::getpid()) + "-";
}

bool isStaleTemporaryFile(std::string_view fileName)
{
    const std::string hostPart = ".auralune-" + hostNameForFiles() + "-";
    if (fileName.substr(0, hostPart.size()) != hostPart)
        return false;
    const std::string_view rest = fileName.substr(hostPart.size());
    const auto dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 10 || rest.size() - dash - 1 != 6)
        return false;
    long pid = 0;
    for (const char c : rest.substr(0, dash)) {
        if (c < '0' || c > '9')
            return false;
        pid = pid * 10 + (c - '0');
    }
    // A process of that number that still runs may be the writer.
    return pid > 0 && pid <= 0x7fffffff && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::size_t removeStaleTemporaryFiles(const std::string& folder)
{
    std::size_t removed = 0;
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        if (isStaleTemporaryFile(entry->d_name) && ::unlinkat(::dirfd(directory), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(directory);
    return removed;
}

NewFileResult writeNewFile(const DestinationName& name, unsigned long firstNumber, std::span<const std::uint8_t> bytes,
                           const NewFileOptions& options)
{
    const std::span<const std::uint8_t> whole[] = {bytes};
    return writeNewFile(name, firstNumber, FilePieces(whole), options);
}

NewFileResult writeNewFile(const DestinationName& name, unsigned long firstNumber, FilePieces bytes,
                           const NewFileOptions& options)
{
    NewFileSystem& system = options.fileSystem ? *options.fileSystem : systemFileSystem();
    NewFileResult result;
    unsigned long number = firstNumber;
    Attempt attempt{Attempt::kRefused, 0, {}};
    if (options.unnamedFile)
        attempt = writeUnnamed(system, name, number, bytes, options.beforeNaming);
    if (attempt.outcome == Attempt::kRefused) {
        // A folder that needs temporary names may hold those of a killed run.
        removeStaleTemporaryFiles(name.folder);
        number = firstNumber;
        attempt = writeTemporary(system, name, number, bytes, options.beforeNaming);
    }
    if (attempt.outcome == Attempt::kRefused) {
        number = firstNumber;
        attempt = writeInPlace(system, name, number, bytes, options.beforeNaming);
    }
    if (attempt.outcome != Attempt::kDone) {
        result.errorText = systemErrorText(attempt.code);
        result.errorPath = attempt.path;
        return result;
    }
    result.written = true;
    result.name = {attempt.path, number};
    // Make the new directory entry durable too.
    const FileDescriptor folder(::open(name.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
    return result;
}

}  // namespace auralune

#include "formats/byte_source.h"

#include "engine/text_format.h"
#include "formats/byte_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace auralune {

bool ByteSource::readInto(std::uint64_t offset, std::uint64_t count, std::vector<std::uint8_t>& out) const
{
    out.clear();
    if (offset > size() || count > size() - offset || count > out.max_size())
        return false;
    try {
        out.resize(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
        out = {};
        return false;
    }
    if (!read(offset, out)) {
        out = {};
        return false;
    }
    return true;
}

std::unique_ptr<FileByteSource> FileByteSource::open(const std::string& path, std::string* cause)
{
    const auto refuse = [cause](std::string why) -> std::unique_ptr<FileByteSource> {
        if (cause)
            *cause = std::move(why);
        return nullptr;
    };
    // O_NONBLOCK: opening a FIFO without a writer would wait for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return refuse(systemErrorText(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        return refuse(systemErrorText(code));
    }
    if (!S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return refuse(S_ISDIR(info.st_mode) ? systemErrorText(EISDIR) : "Not a regular file");
    }
    // Regular files never block; reads wait for the disk as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::unique_ptr<FileByteSource>(new FileByteSource(fd, static_cast<std::uint64_t>(info.st_size)));
}

FileByteSource::~FileByteSource()
{
    ::close(fd_);
}

bool FileByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (offset > size_ || out.size() > size_ - offset)
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        // pread moves at most 0x7ffff000 bytes per call on Linux.
        const std::size_t chunk = std::min<std::size_t>(out.size() - done, std::size_t{1} << 30);
        const ssize_t got = ::pread(fd_, out.data() + done, chunk, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool MemoryByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (!bytes::fits(bytes_.size(), offset, out.size()))
        return false;
    if (out.empty())
        return true;
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

}  // namespace auralune

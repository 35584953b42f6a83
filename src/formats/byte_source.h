#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace auralune {

// Random access to the bytes of a source: a file read by position, or a
// buffer in memory. A read either fills the whole span or fails; it never
// goes past size().
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;

    // Reads `count` bytes at `offset` into `out` (resized). False, with `out`
    // emptied, when the range is not in the source, the read fails or the
    // buffer cannot be had.
    bool readInto(std::uint64_t offset, std::uint64_t count, std::vector<std::uint8_t>& out) const;
};

// A file opened read-only and read with pread; closed on destruction.
class FileByteSource final : public ByteSource {
public:
    // Nothing when the path cannot be opened as a regular file; `cause`
    // then gets the reason in the system's words ("Not a regular file" for
    // a FIFO, a device or a folder). Never blocks: a FIFO is refused, not
    // waited on.
    static std::unique_ptr<FileByteSource> open(const std::string& path, std::string* cause = nullptr);
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    FileByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    std::uint64_t size_;
};

// Bytes held by the caller, who keeps them alive while this is used.
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace auralune

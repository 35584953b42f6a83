#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace auralune {

// The memory of a pass's large buffers (stage buffers, the source's sample
// bytes, the destination image): anonymous memory as a rule, or, for a
// recording whose buffers would not fit the memory at hand, unlinked
// temporary files mapped into the address space. Pages of a mapped file can
// be written back and dropped by the kernel under memory pressure, where
// anonymous memory without swap cannot; the pass also drops them itself
// once it has used them (trimResident), so its resident set stays small.
//
// The blocks are handed out by StageAllocator below. Which memory a block
// gets is decided by the thread that allocates it (StageMemoryScope); any
// thread may free it: mapped blocks are found in a registry of their own.
class StageMemoryBacking {
public:
    // Opens a new temporary file for a block, read-write, in `folder`;
    // returns the descriptor, or minus the errno value. Tests replace it.
    using OpenTemporary = std::function<int(const std::string& folder)>;

    // Blocks from this size on are mapped files; smaller ones (coefficient
    // tables, a short source) stay anonymous, their pages too few to matter.
    static constexpr std::size_t kMinMappedBytes = std::size_t{1} << 20;

    // File-backed blocks in `folder`, opened by `open` (empty: O_TMPFILE,
    // or a hidden temporary file removed at once where the file system has
    // no unnamed files).
    explicit StageMemoryBacking(std::string folder, OpenTemporary open = {});
    ~StageMemoryBacking();
    StageMemoryBacking(const StageMemoryBacking&) = delete;
    StageMemoryBacking& operator=(const StageMemoryBacking&) = delete;

    const std::string& folder() const { return folder_; }
    // The first failure to create or map a block, in the system's words
    // with the folder it concerns; empty when there was none.
    std::string failure() const;
    // Bytes of this backing's blocks mapped now.
    std::uint64_t mappedBytes() const;
    // Drops the pages of this backing's blocks from the resident set; the
    // data stays in the files and comes back on the next access.
    void trimResident() const;

    // A new mapped block of `bytes` (zero-filled, as a fresh file is);
    // throws std::bad_alloc after recording the failure.
    void* map(std::size_t bytes);

private:
    void recordFailure(const std::string& what, int code);

    std::string folder_;
    OpenTemporary open_;
    std::uint64_t id_;
    mutable std::mutex failureMutex_;
    std::string failure_;
};

// While it lives, the large blocks this thread allocates come from
// `backing` (null: anonymous memory). Scopes nest; the previous backing
// comes back on destruction.
class StageMemoryScope {
public:
    explicit StageMemoryScope(StageMemoryBacking* backing);
    ~StageMemoryScope();
    StageMemoryScope(const StageMemoryScope&) = delete;
    StageMemoryScope& operator=(const StageMemoryScope&) = delete;

private:
    StageMemoryBacking* previous_;
};

// Keeps the pages of a backing's blocks out of the resident set while it
// lives. Mapped file pages stay resident until they are unmapped, and with
// free memory the kernel never takes them: a pass streaming through some GB
// of file-backed buffers would hold them all. A thread of its own looks at
// the process's resident file pages every 10 ms and trims the backing once
// they have grown by `limitBytes` since it started, so that the stages need
// not report where they are.
class ResidentTrimmer {
public:
    explicit ResidentTrimmer(const StageMemoryBacking& backing, std::uint64_t limitBytes = std::uint64_t{160} << 20);
    ~ResidentTrimmer();
    ResidentTrimmer(const ResidentTrimmer&) = delete;
    ResidentTrimmer& operator=(const ResidentTrimmer&) = delete;

private:
    void run(std::uint64_t limitBytes);

    const StageMemoryBacking& backing_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

// The backing of this thread's scope, or null.
StageMemoryBacking* currentStageMemory();

namespace stage_memory {
// Blocks of at least StageMemoryBacking::kMinMappedBytes: mapped files when
// the thread's scope has a backing, else anonymous memory (from 64 MiB on
// mapped with its pages populated, which on the 2-core build machine cut the
// system time of a 10-minute "None" conversion from 1.4-1.7 s to 0.9-1.4 s,
// or a kept block given back earlier).
void* allocateLarge(std::size_t bytes);
// Unmaps a mapped block (whichever thread mapped it) or deletes it; an
// anonymous block of 64 MiB or more is kept, populated, for the next
// request it can serve.
void deallocateLarge(void* block) noexcept;
// Gives the kept blocks back to the system (at the end of a batch).
void releaseKept();
// Bytes held by kept blocks.
std::uint64_t keptBytes();
// Mapped blocks alive in the process (all backings).
std::size_t mappedBlockCount();
}  // namespace stage_memory

// The allocator of the pass's large buffers. Stateless, so vectors of it
// swap and move like std::vector; small blocks go straight to operator new.
template <class T>
struct StageAllocator {
    using value_type = T;
    using is_always_equal = std::true_type;
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

    StageAllocator() noexcept = default;
    template <class U>
    StageAllocator(const StageAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t count)
    {
        if (count > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = count * sizeof(T);
        if (bytes < StageMemoryBacking::kMinMappedBytes)
            return static_cast<T*>(::operator new(bytes));
        return static_cast<T*>(stage_memory::allocateLarge(bytes));
    }

    void deallocate(T* block, std::size_t count) noexcept
    {
        if (count * sizeof(T) < StageMemoryBacking::kMinMappedBytes)
            ::operator delete(block);
        else
            stage_memory::deallocateLarge(block);
    }

    template <class U>
    bool operator==(const StageAllocator<U>&) const noexcept
    {
        return true;
    }
};

template <class T>
using StageVector = std::vector<T, StageAllocator<T>>;
// Interleaved samples of a stage.
using SampleBuffer = StageVector<double>;
// Sample bytes of a source or a destination image.
using ByteBuffer = StageVector<std::uint8_t>;

}  // namespace auralune

#include "engine/stage_memory.h"

#include "engine/destination_file.h"
#include "engine/text_format.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace auralune {

namespace {

struct Region {
    std::size_t length;
    std::uint64_t owner;   // the id of the backing that mapped it
};

// Every mapped block of the process. A block is unmapped under the lock, so
// that trimResident never advises an address range that another mapping
// (or malloc) has taken over in between.
struct Registry {
    std::mutex mutex;
    std::map<std::uintptr_t, Region> regions;
    std::atomic<std::size_t> count{0};
    std::atomic<std::uint64_t> nextOwner{1};
};

Registry& registry()
{
    // Never destroyed: a detached pass may free its buffers during exit.
    static Registry* const instance = new Registry;
    return *instance;
}

thread_local StageMemoryBacking* tCurrent = nullptr;

// Errors of O_TMPFILE that mean the file system or the system lacks it.
bool unnamedUnsupported(int code)
{
    return code == EOPNOTSUPP || code == ENOTSUP || code == EISDIR || code == EINVAL || code == ENOSYS;
}

int openTemporaryFile(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    if (!unnamedUnsupported(errno))
        return -errno;
    // Named like the writer's temporary files, so that one left by a killed
    // run between these two calls is removed as stale.
    std::string path = folder + "/" + temporaryFilePrefix() + "XXXXXX";
    const int named = ::mkostemp(path.data(), O_CLOEXEC);
    if (named < 0)
        return -errno;
    ::unlink(path.c_str());
    return named;
}

}  // namespace

StageMemoryBacking::StageMemoryBacking(std::string folder, OpenTemporary open)
    : folder_(std::move(folder)), open_(std::move(open)), id_(registry().nextOwner++)
{
}

StageMemoryBacking::~StageMemoryBacking() = default;

std::string StageMemoryBacking::failure() const
{
    const std::lock_guard lock(failureMutex_);
    return failure_;
}

void StageMemoryBacking::recordFailure(const std::string& what, int code)
{
    const std::lock_guard lock(failureMutex_);
    if (failure_.empty())
        failure_ = what + " " + folder_ + ": " + systemErrorText(code);
}

std::uint64_t StageMemoryBacking::mappedBytes() const
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    std::uint64_t bytes = 0;
    for (const auto& [address, region] : r.regions)
        if (region.owner == id_)
            bytes += region.length;
    return bytes;
}

void StageMemoryBacking::trimResident() const
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    for (const auto& [address, region] : r.regions)
        if (region.owner == id_)
            // On a shared file mapping this only unmaps the pages, as reclaim
            // does: a store racing with it lands before (and the page is
            // marked dirty) or faults the page back in after.
            ::madvise(reinterpret_cast<void*>(address), region.length, MADV_DONTNEED);
}

void* StageMemoryBacking::map(std::size_t bytes)
{
    const int fd = open_ ? open_(folder_) : openTemporaryFile(folder_);
    if (fd < 0) {
        recordFailure("cannot create a temporary file in", -fd);
        throw std::bad_alloc();
    }
    // The blocks are reserved now: a sparse file on a full disk would be
    // reported by SIGBUS at the first store into a page without a block.
    // ftruncate only where the file system cannot reserve.
    const auto length = static_cast<off_t>(bytes);
    int code = ::posix_fallocate(fd, 0, length);
    if (code == EOPNOTSUPP || code == EINVAL)
        code = ::ftruncate(fd, length) == 0 ? 0 : errno;
    if (code != 0) {
        ::close(fd);
        recordFailure("cannot reserve space for a temporary file in", code);
        throw std::bad_alloc();
    }
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    code = errno;
    // The mapping keeps the file; it goes with the last unmap.
    ::close(fd);
    if (block == MAP_FAILED) {
        recordFailure("cannot map a temporary file in", code);
        throw std::bad_alloc();
    }
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    r.regions.emplace(reinterpret_cast<std::uintptr_t>(block), Region{bytes, id_});
    ++r.count;
    return block;
}

StageMemoryScope::StageMemoryScope(StageMemoryBacking* backing) : previous_(tCurrent) { tCurrent = backing; }

StageMemoryScope::~StageMemoryScope() { tCurrent = previous_; }

StageMemoryBacking* currentStageMemory() { return tCurrent; }

namespace stage_memory {

void* allocateLarge(std::size_t bytes)
{
    if (tCurrent)
        return tCurrent->map(bytes);
    return ::operator new(bytes);
}

void deallocateLarge(void* block) noexcept
{
    Registry& r = registry();
    // The thread that frees a block saw its allocation (the buffer was
    // handed over with synchronisation), so a mapped block is counted here.
    if (r.count.load(std::memory_order_relaxed) != 0) {
        const std::lock_guard lock(r.mutex);
        const auto found = r.regions.find(reinterpret_cast<std::uintptr_t>(block));
        if (found != r.regions.end()) {
            ::munmap(block, found->second.length);
            r.regions.erase(found);
            --r.count;
            return;
        }
    }
    ::operator delete(block);
}

std::size_t mappedBlockCount() { return registry().count.load(); }

}  // namespace stage_memory

}  // namespace auralune

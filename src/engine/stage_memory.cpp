#include "engine/stage_memory.h"

#include "engine/destination_file.h"
#include "engine/text_format.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

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
    // Anonymous blocks given back, by address, with their lengths: their
    // pages are in place for the next buffer (see allocateLarge).
    std::map<std::uintptr_t, std::size_t> kept;
};

Registry& registry()
{
    // Never destroyed: a detached pass may free its buffers during exit.
    static Registry* const instance = new Registry;
    return *instance;
}

thread_local StageMemoryBacking* tCurrent = nullptr;

// Anonymous blocks from this size on are mapped populated (owner 0 in the
// registry: never trimmed).
constexpr std::size_t kPopulatedMinBytes = std::size_t{64} << 20;

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
    // A fault on a page still in the page cache maps the whole large folio
    // around it (up to 2 MiB on ext4), so a trimmed block came back into the
    // resident set at once as a stage touched it (+760 MiB in 10 ms); random
    // access advice maps the page alone.
    ::madvise(block, bytes, MADV_RANDOM);
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    r.regions.emplace(reinterpret_cast<std::uintptr_t>(block), Region{bytes, id_});
    ++r.count;
    return block;
}

namespace {

// Resident file-backed and shared pages of the process, in bytes; nothing
// when /proc cannot tell.
std::optional<std::uint64_t> residentSharedBytes(int statm)
{
    char text[128];
    const ssize_t got = statm < 0 ? -1 : ::pread(statm, text, sizeof text - 1, 0);
    if (got <= 0)
        return std::nullopt;
    text[got] = '\0';
    // size resident shared text lib data dt, in pages.
    unsigned long long size = 0, resident = 0, shared = 0;
    if (std::sscanf(text, "%llu %llu %llu", &size, &resident, &shared) != 3)
        return std::nullopt;
    return shared * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

ResidentTrimmer::ResidentTrimmer(const StageMemoryBacking& backing, std::uint64_t limitBytes)
    : backing_(backing), thread_([this, limitBytes] { run(limitBytes); })
{
}

ResidentTrimmer::~ResidentTrimmer()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void ResidentTrimmer::run(std::uint64_t limitBytes)
{
    const int statm = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    // The program's own code and libraries count as resident file pages
    // too (tens of MiB for the desktop application): the limit is above them.
    const std::uint64_t base = residentSharedBytes(statm).value_or(0);
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop_; })) {
        // Without /proc every look trims.
        const std::optional<std::uint64_t> resident = residentSharedBytes(statm);
        if (!resident || *resident > base + limitBytes)
            backing_.trimResident();
    }
    if (statm >= 0)
        ::close(statm);
}

StageMemoryScope::StageMemoryScope(StageMemoryBacking* backing) : previous_(tCurrent) { tCurrent = backing; }

StageMemoryScope::~StageMemoryScope() { tCurrent = previous_; }

StageMemoryBacking* currentStageMemory() { return tCurrent; }

namespace stage_memory {

namespace {

std::size_t pageRounded(std::size_t bytes)
{
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// Under the registry's lock: gives every kept block back to the system.
void releaseKeptLocked(Registry& r)
{
    for (const auto& [address, length] : r.kept)
        ::munmap(reinterpret_cast<void*>(address), length);
    r.kept.clear();
}

// Under the registry's lock: the smallest kept block of at least `length`
// bytes, cut to that length (a remainder of a populated block's size stays
// kept, a smaller one goes back to the system); null when none is.
void* takeKeptLocked(Registry& r, std::size_t length)
{
    auto best = r.kept.end();
    for (auto it = r.kept.begin(); it != r.kept.end(); ++it)
        if (it->second >= length && (best == r.kept.end() || it->second < best->second))
            best = it;
    if (best == r.kept.end())
        return nullptr;
    const std::uintptr_t address = best->first;
    const std::size_t rest = best->second - length;
    r.kept.erase(best);
    if (rest >= kPopulatedMinBytes)
        r.kept.emplace(address + length, rest);
    else if (rest > 0)
        ::munmap(reinterpret_cast<void*>(address + length), rest);
    return reinterpret_cast<void*>(address);
}

// Under the registry's lock: a block of `length` bytes made of the kept
// blocks' pages, moved side by side into one range (mremap moves page table
// entries, not data), with fresh populated pages only for what they lack.
// Each kept block joined, all of them when they fall short; null when the
// system refuses (the blocks not yet joined stay kept).
void* joinKeptLocked(Registry& r, std::size_t length)
{
    void* const range = ::mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (range == MAP_FAILED)
        return nullptr;
    auto* const base = static_cast<std::uint8_t*>(range);
    std::size_t filled = 0;
    while (filled < length && !r.kept.empty()) {
        // Largest first: the fewest moves.
        auto largest = r.kept.begin();
        for (auto it = r.kept.begin(); it != r.kept.end(); ++it)
            if (it->second > largest->second)
                largest = it;
        const std::uintptr_t address = largest->first;
        const std::size_t size = largest->second;
        const std::size_t take = std::min(size, length - filled);
        r.kept.erase(largest);
        if (take < size)
            r.kept.emplace(address + take, size - take);
        if (::mremap(reinterpret_cast<void*>(address), take, take, MREMAP_MAYMOVE | MREMAP_FIXED, base + filled) ==
            MAP_FAILED) {
            ::munmap(reinterpret_cast<void*>(address), take);
            ::munmap(range, length);
            return nullptr;
        }
        filled += take;
    }
    // Below 64 MiB a remainder is not worth keeping.
    for (auto it = r.kept.begin(); it != r.kept.end();)
        if (it->second < kPopulatedMinBytes) {
            ::munmap(reinterpret_cast<void*>(it->first), it->second);
            it = r.kept.erase(it);
        } else {
            ++it;
        }
    if (filled < length && ::mmap(base + filled, length - filled, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_POPULATE, -1, 0) == MAP_FAILED) {
        ::munmap(range, length);
        return nullptr;
    }
    return range;
}

}  // namespace

void* allocateLarge(std::size_t bytes)
{
    if (tCurrent)
        return tCurrent->map(bytes);
    if (bytes < kPopulatedMinBytes)
        return ::operator new(bytes);
    // Pages touched for the first time cost the kernel about ten times what
    // recycled ones do (the clearing, the accounting, the later unmapping):
    // a block given back by an earlier buffer of the pass, or of an earlier
    // pass, serves the next one, and when none is large enough, the kept
    // blocks are joined into one and only the rest is new. So keeping them
    // never raises the peak: at every moment the process holds no more than
    // it would have held without them. (The 10-minute 96 kHz needle drop
    // maps 1.1 GB fresh instead of 2.9 GB.)
    const std::size_t length = pageRounded(bytes);
    Registry& r = registry();
    {
        const std::lock_guard lock(r.mutex);
        void* block = takeKeptLocked(r, length);
        if (!block && !r.kept.empty())
            block = joinKeptLocked(r, length);
        if (block) {
            r.regions.emplace(reinterpret_cast<std::uintptr_t>(block), Region{length, 0});
            ++r.count;
            return block;
        }
        releaseKeptLocked(r);
    }
    // Every page of a stage buffer is written at once (the zeroing, or the
    // stage filling it): asked for all together, the kernel clears them in
    // one call instead of taking a fault for each.
    void* block = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (block == MAP_FAILED)
        throw std::bad_alloc();
    const std::lock_guard lock(r.mutex);
    r.regions.emplace(reinterpret_cast<std::uintptr_t>(block), Region{length, 0});
    ++r.count;
    return block;
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
            // Anonymous blocks are kept for the next buffer; file-backed
            // ones go with their files.
            if (found->second.owner == 0)
                r.kept.emplace(found->first, found->second.length);
            else
                ::munmap(block, found->second.length);
            r.regions.erase(found);
            --r.count;
            return;
        }
    }
    ::operator delete(block);
}

void releaseKept()
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    releaseKeptLocked(r);
}

std::uint64_t keptBytes()
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    std::uint64_t bytes = 0;
    for (const auto& [address, length] : r.kept)
        bytes += length;
    return bytes;
}

std::size_t mappedBlockCount() { return registry().count.load(); }

}  // namespace stage_memory

}  // namespace auralune

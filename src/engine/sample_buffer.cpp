#include "engine/sample_buffer.h"

#include <sys/mman.h>

#include <cstdint>

namespace auralune {

namespace {

// A kept buffer serves a request when it is no more than 1/16 larger: the
// stage buffers of one pass have a few sizes (source, halved, destination
// channels × frames) that differ by factors, not by a few samples.
bool fits(std::uint64_t capacity, std::uint64_t count)
{
    return capacity >= count && capacity - count <= capacity / 16;
}

}  // namespace

void adviseHugePages(void* data, std::size_t bytes)
{
    if (data == nullptr || bytes < 2 * kHugePageBytes)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePageBytes - 1) & ~(std::uintptr_t{kHugePageBytes} - 1);
    const std::uintptr_t last = (begin + bytes) & ~(std::uintptr_t{kHugePageBytes} - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void StageBufferPool::acquire(std::vector<double>& buffer, std::uint64_t count)
{
    std::vector<double>().swap(buffer);
    if (fits(kept_.capacity(), count)) {
        buffer.swap(kept_);
        // Within the capacity: no allocation, no page fault, only the zeroing.
        buffer.assign(count, 0.0);
        return;
    }
    clear();
    // Reserving first leaves the pages untouched, so the advice comes before
    // the zeroing faults them in.
    try {
        buffer.reserve(count);
        adviseHugePages(buffer.data(), count * sizeof(double));
        buffer.resize(count);
    } catch (...) {
        std::vector<double>().swap(buffer);
        throw;
    }
}

void StageBufferPool::release(std::vector<double>& buffer)
{
    if (buffer.capacity() == 0)
        return;
    kept_.clear();
    kept_.swap(buffer);
    kept_.clear();
    std::vector<double>().swap(buffer);
}

void StageBufferPool::clear() { std::vector<double>().swap(kept_); }

}  // namespace auralune

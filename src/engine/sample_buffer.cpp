#include "engine/sample_buffer.h"

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

void StageBufferPool::acquire(SampleBuffer& buffer, std::uint64_t count)
{
    SampleBuffer().swap(buffer);
    if (fits(kept_.capacity(), count)) {
        buffer.swap(kept_);
        // Within the capacity: no allocation, no page fault, only the zeroing.
        buffer.assign(count, 0.0);
        return;
    }
    clear();
    buffer.resize(count);
}

void StageBufferPool::release(SampleBuffer& buffer)
{
    if (buffer.capacity() == 0)
        return;
    kept_.clear();
    kept_.swap(buffer);
    kept_.clear();
    SampleBuffer().swap(buffer);
}

void StageBufferPool::clear() { SampleBuffer().swap(kept_); }

}  // namespace auralune

#pragma once

#include "engine/stage_memory.h"

#include <cstdint>

namespace auralune {

// The allocator of a job's large working buffers (stage buffers of some
// hundred MB to a few GB). Their cost is the kernel's: every fresh page is
// zeroed on its first touch, which takes more time than the conversion
// itself on a loaded machine. So a released buffer is kept for the next
// request of its size instead of being returned to the system and another
// one faulted in.
//
// Transparent huge pages (madvise(MADV_HUGEPAGE) on 2 MiB-aligned memory)
// are not asked for: on the 2-core build machine they cut the faults of a
// 10-minute conversion from 517,000 to 209,000 but raised its system time
// from 1.6-1.8 s to 2.7-3.0 s, the huge pages being slower to clear.
//
// Every buffer handed out is zero-filled, as the stages expect: a stage
// buffer is often larger than what a stage writes (the room for a restored
// rate, the unused channels of a six-channel decoder, the tail of a
// shortened wind-up) and the metrics and the writer read the rest as
// silence.
class StageBufferPool {
public:
    // Gives `buffer` exactly `count` zeroed samples, from the kept buffer
    // when its size fits, or else from the system (the kept one is then
    // released first, so it never adds to the peak). Throws std::bad_alloc
    // or std::length_error like std::vector, leaving `buffer` empty.
    void acquire(SampleBuffer& buffer, std::uint64_t count);
    // Takes the buffer's memory back (keeping it for the next request) and
    // leaves `buffer` empty.
    void release(SampleBuffer& buffer);
    // Returns the kept buffer to the system.
    void clear();

    // Samples held by the kept buffer (0 when none).
    std::uint64_t keptSamples() const { return kept_.capacity(); }

private:
    SampleBuffer kept_;
};

}  // namespace auralune

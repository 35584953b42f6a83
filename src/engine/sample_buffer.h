#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace auralune {

// The allocator of a job's large working buffers (stage buffers of some
// hundred MB to a few GB). Two costs dominate such buffers, and both are
// the kernel's: faulting in a fresh buffer 4 KiB at a time, and returning
// it to the system only to fault the next one in again. So each fresh
// buffer asks for transparent huge pages (2 MiB: 512 times fewer faults;
// Debian runs them in "madvise" mode), and one released buffer is kept for
// the next request of its size.
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
    void acquire(std::vector<double>& buffer, std::uint64_t count);
    // Takes the buffer's memory back (keeping it for the next request) and
    // leaves `buffer` empty.
    void release(std::vector<double>& buffer);
    // Returns the kept buffer to the system.
    void clear();

    // Samples held by the kept buffer (0 when none).
    std::uint64_t keptSamples() const { return kept_.capacity(); }

private:
    std::vector<double> kept_;
};

// Smallest buffer worth huge pages: two of them, so that at least one whole
// aligned 2 MiB page lies inside.
inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Asks for transparent huge pages on the whole 2 MiB pages inside
// [data, data + bytes). Advice only: refused advice changes nothing.
void adviseHugePages(void* data, std::size_t bytes);

}  // namespace auralune

#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace auralune {

// Flushes denormal results to zero and treats denormal inputs as zero on
// the calling thread while it lives, then restores the previous mode. A
// recursive filter decaying into silence otherwise runs through values
// below 2.2e-308, where each multiply can cost a hundred times more. The
// samples sit on the integer scale (full scale 32768 or 8388608), so
// nothing audible lives anywhere near that range. The processing pass
// holds one for its whole run.
class DenormalsFlushedToZero {
public:
    DenormalsFlushedToZero() : saved_(readMode()) { writeMode(saved_ | kFlushBits); }
    ~DenormalsFlushedToZero() { writeMode(saved_); }
    DenormalsFlushedToZero(const DenormalsFlushedToZero&) = delete;
    DenormalsFlushedToZero& operator=(const DenormalsFlushedToZero&) = delete;

private:
#if defined(__x86_64__) || defined(__i386__)
    // MXCSR: FTZ (bit 15) and DAZ (bit 6).
    static constexpr std::uint64_t kFlushBits = 0x8040;
    static std::uint64_t readMode() { return _mm_getcsr(); }
    static void writeMode(std::uint64_t mode) { _mm_setcsr(static_cast<unsigned>(mode)); }
#elif defined(__aarch64__)
    // FPCR: FZ (bit 24) covers both inputs and results.
    static constexpr std::uint64_t kFlushBits = std::uint64_t{1} << 24;
    static std::uint64_t readMode()
    {
        std::uint64_t mode;
        asm volatile("mrs %0, fpcr" : "=r"(mode));
        return mode;
    }
    static void writeMode(std::uint64_t mode) { asm volatile("msr fpcr, %0" : : "r"(mode)); }
#else
    static constexpr std::uint64_t kFlushBits = 0;
    static std::uint64_t readMode() { return 0; }
    static void writeMode(std::uint64_t) {}
#endif

    std::uint64_t saved_;
};

}  // namespace auralune

#include "support/failing_allocation.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

std::atomic<std::size_t> gMinBytes{std::numeric_limits<std::size_t>::max()};
std::atomic<int> gCountdown{0};
std::atomic<bool> gFailed{false};

}  // namespace

void* operator new(std::size_t size)
{
    if (size >= gMinBytes.load(std::memory_order_relaxed) && gCountdown.fetch_sub(1) == 1) {
        gFailed = true;
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace auralune::test {

FailingAllocation::FailingAllocation(std::size_t minBytes, int failAt)
{
    gFailed = false;
    gCountdown = failAt;
    gMinBytes = minBytes;
}

FailingAllocation::~FailingAllocation()
{
    gMinBytes = std::numeric_limits<std::size_t>::max();
}

bool FailingAllocation::failed() const { return gFailed; }

}  // namespace auralune::test

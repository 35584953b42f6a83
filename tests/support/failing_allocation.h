#pragma once

#include <cstddef>

namespace auralune::test {

// While alive, makes the `failAt`-th allocation (counting from 1) of at
// least `minBytes` bytes throw std::bad_alloc, through the test binary's
// replacement of operator new. Large thresholds leave the test framework's
// own small allocations alone.
class FailingAllocation {
public:
    FailingAllocation(std::size_t minBytes, int failAt);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;

    // Whether the chosen allocation has been refused.
    bool failed() const;
};

}  // namespace auralune::test

#pragma once

#include "engine/stage_memory.h"

#include <algorithm>
#include <vector>

namespace auralune {

// Stage buffers compare with plain vectors of the same values (found by
// argument-dependent lookup, either way round).
template <class T>
bool operator==(const StageVector<T>& staged, const std::vector<T>& values)
{
    return std::equal(staged.begin(), staged.end(), values.begin(), values.end());
}

}  // namespace auralune

namespace auralune::test {

// Copies between the job's stage buffers and plain vectors.
template <class T, class A>
StageVector<T> staged(const std::vector<T, A>& values)
{
    return StageVector<T>(values.begin(), values.end());
}

template <class T, class A>
std::vector<T> plain(const std::vector<T, A>& values)
{
    return std::vector<T>(values.begin(), values.end());
}

}  // namespace auralune::test

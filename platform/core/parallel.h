#pragma once
// Work split over the machine's cores: for a search or a sort over every card of
// a base, which the calling thread would otherwise do alone.

#include <cstddef>
#include <functional>

namespace rt {

// Calls work(begin, end) on consecutive parts of [0, n), each at least `grain`
// long, on as many threads as there are cores (the calling thread among them),
// and returns when all are done. Parts of one call never overlap.
void parallelFor(size_t n, size_t grain, const std::function<void(size_t, size_t)>& work);

// The number of parts parallelFor makes of n.
size_t parallelParts(size_t n, size_t grain);

}  // namespace rt

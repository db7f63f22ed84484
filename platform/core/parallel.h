#pragma once
// Work split over the machine's cores: for a search or a sort over every card of
// a base, which the calling thread would otherwise do alone.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <vector>

namespace rt {

// Calls work(begin, end) on consecutive parts of [0, n), each at least `grain`
// long, on as many threads as there are cores (the calling thread among them),
// and returns when all are done. Parts of one call never overlap.
void parallelFor(size_t n, size_t grain, const std::function<void(size_t, size_t)>& work);

// The number of parts parallelFor makes of n.
size_t parallelParts(size_t n, size_t grain);

// Sorts [first, last) as std::sort does, on every core: parts of at least
// `grain` elements sorted at once, then merged two by two.
template <typename It, typename Less>
void parallelSort(It first, It last, Less less, size_t grain = 16384) {
    const size_t count = size_t(std::distance(first, last));
    const size_t parts = parallelParts(count, grain);
    std::vector<size_t> bounds;
    for (size_t p = 0; p <= parts; ++p)
        bounds.push_back(count * p / parts);
    auto at = [first](size_t i) { return first + std::ptrdiff_t(i); };
    parallelFor(parts, 1, [&](size_t begin, size_t end) {
        for (size_t p = begin; p < end; ++p)
            std::sort(at(bounds[p]), at(bounds[p + 1]), less);
    });
    while (bounds.size() > 2) {
        parallelFor((bounds.size() - 1) / 2, 1, [&](size_t begin, size_t end) {
            for (size_t p = begin; p < end; ++p)
                std::inplace_merge(at(bounds[2 * p]), at(bounds[2 * p + 1]), at(bounds[2 * p + 2]),
                                   less);
        });
        std::vector<size_t> merged;
        for (size_t i = 0; i < bounds.size(); i += 2)
            merged.push_back(bounds[i]);
        if (merged.back() != bounds.back())
            merged.push_back(bounds.back());
        bounds = std::move(merged);
    }
}

}  // namespace rt

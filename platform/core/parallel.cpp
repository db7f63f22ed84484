#include "parallel.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace rt {

size_t parallelParts(size_t n, size_t grain) {
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    if (grain == 0)
        grain = 1;
    return std::clamp<size_t>(n / grain, 1, cores);
}

void parallelFor(size_t n, size_t grain, const std::function<void(size_t, size_t)>& work) {
    if (n == 0)
        return;
    const size_t parts = parallelParts(n, grain);
    if (parts == 1) {
        work(0, n);
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(parts - 1);
    for (size_t p = 1; p < parts; ++p)
        threads.emplace_back([&work, n, parts, p] { work(n * p / parts, n * (p + 1) / parts); });
    work(0, n / parts);
    for (auto& t : threads)
        t.join();
}

}  // namespace rt

#pragma once
// Elements kept in blocks that never move: what points into them stays valid
// while more is added, and two stores join by handing over their blocks, with
// nothing copied. For the texts a list keeps of every card of a base.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace rt {

template <typename T>
class Blocks {
  public:
    // Room for n more elements in one piece.
    T* extend(size_t n) {
        if (blocks_.empty() || used_ + n > sizes_.back()) {
            // Small at first, as a probe of a few values is; then in blocks of
            // the largest size.
            const size_t size =
                std::max(n, sizes_.empty() ? kFirst : std::min(kLargest, 2 * sizes_.back()));
            blocks_.push_back(std::make_unique_for_overwrite<T[]>(size));
            sizes_.push_back(size);
            used_ = 0;
        }
        T* p = blocks_.back().get() + used_;
        used_ += n;
        return p;
    }
    // Takes back the last n elements of the last extend, unused.
    void shrink(size_t n) { used_ -= n; }
    // Adds the blocks of another store to this one, and empties it.
    void take(Blocks&& other) {
        if (other.blocks_.empty())
            return;
        for (auto& b : other.blocks_)
            blocks_.push_back(std::move(b));
        sizes_.insert(sizes_.end(), other.sizes_.begin(), other.sizes_.end());
        used_ = other.used_;
        other.clear();
    }
    // The memory the blocks take.
    size_t bytes() const {
        size_t n = 0;
        for (size_t s : sizes_)
            n += s * sizeof(T);
        return n;
    }
    void clear() {
        blocks_.clear();
        sizes_.clear();
        used_ = 0;
    }

  private:
    static constexpr size_t kFirst = 256;
    static constexpr size_t kLargest = size_t(1) << 16;
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::vector<size_t> sizes_;
    size_t used_ = 0;  // of the last block
};

}  // namespace rt

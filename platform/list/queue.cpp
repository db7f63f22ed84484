#include "queue.h"

#include <cstring>

namespace lst {

QueueClass::QueueClass(void* buffer, std::size_t rowSize)
    : buffer_(static_cast<std::byte*>(buffer)), rowSize_(rowSize) {}

void QueueClass::addField(const QString& name, FieldRef r) {
    const auto* p = static_cast<const std::byte*>(r.ptr);
    Q_ASSERT(p >= buffer_ && p < buffer_ + rowSize_);
    offsets_.push_back(std::size_t(p - buffer_));
    fields_.push_back({name, r});
}

int QueueClass::fieldIndex(QStringView name) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    // Without its prefix: only when one field has that name.
    int found = -1;
    for (size_t i = 0; i < fields_.size(); ++i) {
        const QString& n = fields_[i].name;
        const qsizetype colon = n.indexOf(u':');
        if (colon >= 0 && QStringView(n).mid(colon + 1).compare(name, Qt::CaseInsensitive) == 0) {
            if (found >= 0)
                return -1;
            found = int(i);
        }
    }
    return found;
}

int QueueClass::fieldIndex(const FieldRef& bufferField) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].ref.ptr == bufferField.ptr)
            return int(i);
    }
    return -1;
}

bool QueueClass::get(int n) {
    if (n < 1 || n > int(count_))
        return false;
    std::memcpy(buffer_, row(n), rowSize_);
    pointer_ = n;
    return true;
}

void QueueClass::add() {
    add(int(count_) + 1);
}

void QueueClass::add(int n) {
    n = std::clamp(n, 1, int(count_) + 1);
    const std::size_t at = std::size_t(n - 1) * rowSize_;
    data_.insert(data_.begin() + std::ptrdiff_t(at), buffer_, buffer_ + rowSize_);
    ++count_;
    pointer_ = n;
    ++version_;
}

bool QueueClass::put(int n) {
    if (n < 1 || n > int(count_))
        return false;
    std::memcpy(row(n), buffer_, rowSize_);
    pointer_ = n;
    ++version_;
    return true;
}

bool QueueClass::del(int n) {
    if (n < 1 || n > int(count_))
        return false;
    const std::size_t at = std::size_t(n - 1) * rowSize_;
    data_.erase(data_.begin() + std::ptrdiff_t(at), data_.begin() + std::ptrdiff_t(at + rowSize_));
    --count_;
    pointer_ = 0;
    ++version_;
    return true;
}

void QueueClass::free() {
    data_.clear();
    count_ = 0;
    pointer_ = 0;
    ++version_;
}

void QueueClass::move(int from, int to) {
    if (from < 1 || from > int(count_) || to < 1 || to > int(count_) || from == to)
        return;
    std::vector<std::byte> keep(row(from), row(from) + rowSize_);
    const std::size_t at = std::size_t(from - 1) * rowSize_;
    data_.erase(data_.begin() + std::ptrdiff_t(at), data_.begin() + std::ptrdiff_t(at + rowSize_));
    const std::size_t dest = std::size_t(to - 1) * rowSize_;
    data_.insert(data_.begin() + std::ptrdiff_t(dest), keep.begin(), keep.end());
    ++version_;
}

FieldRef QueueClass::at(int r, int field) const {
    FieldRef f = fields_[size_t(field)].ref;
    f.ptr = const_cast<std::byte*>(row(r)) + offsets_[size_t(field)];
    return f;
}

Value QueueClass::value(int r, int field) const {
    if (r < 1 || r > int(count_) || field < 0 || field >= int(fields_.size()))
        return {};
    return at(r, field).get();
}

void QueueClass::clearBuffer() {
    for (const Field& f : fields_)
        f.ref.clear();
}

}  // namespace lst

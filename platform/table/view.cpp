#include "view.h"

#include <algorithm>

#include "collation.h"
#include "driver.h"

namespace {
constexpr int kBatch = 256;
}

ViewClass::ViewClass(TableFile& file) : file_(file), seeker_(std::make_unique<tbl::Seeker>(file)) {}

ViewClass::~ViewClass() = default;

void ViewClass::addField(FieldRef field) {
    const int i = file_.fieldIndex(field);
    if (i >= 0 && std::find(fields_.begin(), fields_.end(), i) == fields_.end())
        fields_.push_back(i);
    reset();
}

void ViewClass::setFileOrder() {
    mode_ = Mode::File;
    key_ = -1;
    reset();
}

void ViewClass::setOrder(const KEY& key) {
    mode_ = Mode::Key;
    key_ = key.index;
    reset();
}

void ViewClass::setOrder(std::vector<OrderField> fields) {
    mode_ = Mode::Fields;
    orderFields_.clear();
    for (const auto& f : fields) {
        const int i = file_.fieldIndex(f.field);
        if (i >= 0)
            orderFields_.emplace_back(i, f.descending);
    }
    reset();
}

void ViewClass::setOrder(std::function<Value()> expression, bool descending) {
    mode_ = Mode::Expression;
    expression_ = std::move(expression);
    expressionDescending_ = descending;
    reset();
}

void ViewClass::setRange(FieldRef field, const Value& equal) {
    setRange(field, equal, equal);
}

void ViewClass::setRange(FieldRef field, const Value& low, const Value& high) {
    const int i = file_.fieldIndex(field);
    if (i < 0)
        return;
    ranges_.erase(std::remove_if(ranges_.begin(), ranges_.end(),
                                 [i](const Range& r) { return r.field == i; }),
                  ranges_.end());
    ranges_.push_back({i, low, high});
    reset();
}

void ViewClass::clearRange() {
    ranges_.clear();
    reset();
}

void ViewClass::setFilter(std::function<bool()> predicate) {
    filter_ = std::move(predicate);
    reset();
}

void ViewClass::addCondition(FieldRef field, Compare op, const Value& value, bool noCase) {
    const int i = file_.fieldIndex(field);
    if (i < 0)
        return;
    conditions_.push_back({i, op, value, noCase});
    reset();
}

void ViewClass::clearConditions() {
    conditions_.clear();
    reset();
}

void ViewClass::reset() {
    built_ = false;
    entries_.clear();
    streaming_ = false;
    batch_.clear();
    configure();
}

void ViewClass::configure() {
    const bool materialised = !keyOrder();
    seeker_->setOrder(materialised ? -1 : key_);
    std::vector<int> fields = fields_;
    if (mode_ == Mode::Expression) {
        fields.clear();  // an expression may read any field
    } else if (!fields.empty()) {
        for (const auto& [f, desc] : orderFields_) {
            if (std::find(fields.begin(), fields.end(), f) == fields.end())
                fields.push_back(f);
        }
    }
    seeker_->setFields(fields);
    seeker_->clearConditions();
    for (const Range& r : ranges_) {
        const auto& f = file_.fields()[size_t(r.field)];
        if (compare(r.low, r.high) == 0) {
            seeker_->addCondition(tbl::quoted(f.name) + QStringLiteral("=?"),
                                  {tbl::valueArg(f.ref, r.low)});
        } else {
            seeker_->addCondition(tbl::quoted(f.name) + QStringLiteral(" BETWEEN ? AND ?"),
                                  {tbl::valueArg(f.ref, r.low), tbl::valueArg(f.ref, r.high)});
        }
    }
    // Conditions that compare columns as they stand go first: rows they leave
    // out never pay for the upper case of the others.
    for (const bool upper : {false, true}) {
        for (const Condition& c : conditions_) {
            const auto& f = file_.fields()[size_t(c.field)];
            if ((c.noCase && f.ref.isText()) != upper)
                continue;
            tbl::Args values;
            seeker_->addCondition(tbl::conditionSql(f, int(c.op), c.value, c.noCase, &values),
                                  values);
        }
    }
}

int ViewClass::compareEntry(const std::vector<Value>& a, RecordPointer pa,
                            const std::vector<Value>& b, RecordPointer pb, size_t n) const {
    const size_t count = std::min({n, a.size(), b.size()});
    for (size_t i = 0; i < count; ++i) {
        int c = tbl::compareOrderValues(a[i], b[i], true);
        const bool desc =
            mode_ == Mode::Expression ? expressionDescending_ : orderFields_[i].second;
        if (desc)
            c = -c;
        if (c != 0)
            return c;
    }
    if (n < a.size())
        return 0;  // a prefix of the values: the pointer does not count
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

namespace {

// An order value prepared for sorting: a text as the weights of its letters
// (so that Russian order is a plain comparison), a number as itself.
struct SortKey {
    bool text = false;
    double number = 0;
    std::u32string weights;
};

SortKey sortKey(const Value& v) {
    SortKey k;
    k.text = v.isText();
    if (!k.text) {
        k.number = v.toReal();
        return k;
    }
    const QString t = v.toText();
    const int n = rt::clippedLength(t);
    k.weights.resize(size_t(n));
    for (int i = 0; i < n; ++i)
        k.weights[size_t(i)] = char32_t(tbl::russianWeight(t[i].unicode()));
    return k;
}

// The same order as tbl::compareOrderValues without case.
int compareKeys(const SortKey& a, const SortKey& b) {
    if (a.text != b.text)
        return a.text ? 1 : -1;
    if (!a.text)
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    const int c = a.weights.compare(b.weights);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

bool ViewClass::build() {
    entries_.clear();
    // Without a filter a field order needs only its own fields, read as values
    // and never put into the record buffer.
    const bool onlyOrder = mode_ == Mode::Fields && !filter_;
    if (onlyOrder) {
        std::vector<int> order;
        for (const auto& [f, desc] : orderFields_)
            order.push_back(f);
        seeker_->setFields(order);
    }
    const std::int64_t expected = seeker_->count();
    if (expected > 0)
        entries_.reserve(size_t(expected));
    const int n =
        seeker_->read(nullptr, true, true, -1,
                      [this, onlyOrder](const ViewPosition& pos, const tbl::Seeker::Row& row) {
                          Entry e{pos.ptr, {}};
                          if (onlyOrder) {
                              for (const auto& [f, desc] : orderFields_)
                                  e.keys.push_back(row.value(f));
                              entries_.push_back(std::move(e));
                              return true;
                          }
                          row.fill();
                          if (filter_ && !filter_())
                              return true;
                          if (mode_ == Mode::Expression) {
                              e.keys.push_back(expression_());
                          } else {
                              for (const auto& [f, desc] : orderFields_)
                                  e.keys.push_back(file_.fields()[size_t(f)].ref.get());
                          }
                          entries_.push_back(std::move(e));
                          return true;
                      });
    if (onlyOrder)
        configure();
    if (n < 0)
        return false;
    const size_t all = mode_ == Mode::Expression ? 1 : orderFields_.size();
    std::vector<std::vector<SortKey>> keys(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        keys[i].reserve(all);
        for (size_t k = 0; k < all && k < entries_[i].keys.size(); ++k)
            keys[i].push_back(sortKey(entries_[i].keys[k]));
    }
    std::vector<std::uint32_t> order(entries_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = std::uint32_t(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const size_t count = std::min(keys[a].size(), keys[b].size());
        for (size_t k = 0; k < count; ++k) {
            int c = compareKeys(keys[a][k], keys[b][k]);
            const bool desc =
                mode_ == Mode::Expression ? expressionDescending_ : orderFields_[k].second;
            if (c != 0)
                return desc ? c > 0 : c < 0;
        }
        return entries_[a].ptr < entries_[b].ptr;
    });
    std::vector<Entry> sorted;
    sorted.reserve(entries_.size());
    for (std::uint32_t i : order)
        sorted.push_back(std::move(entries_[i]));
    entries_ = std::move(sorted);
    built_ = true;
    return true;
}

bool ViewClass::readProjected(RecordPointer ptr) {
    QStringList cols;
    const auto& fs = file_.fields();
    std::vector<int> list = fields_;
    if (list.empty()) {
        for (size_t i = 0; i < fs.size(); ++i)
            list.push_back(int(i));
    }
    for (int i : list)
        cols << tbl::quoted(fs[size_t(i)].name);
    sqlite3_stmt* st =
        file_.connection()->statement(QStringLiteral("SELECT %1 FROM %2 WHERE \"_ptr\"=?")
                                          .arg(cols.join(u','), tbl::quoted(file_.name())));
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, ptr);
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    if (found) {
        for (size_t c = 0; c < list.size(); ++c)
            tbl::readField(st, int(c), fs[size_t(list[c])].ref);
    }
    sqlite3_reset(st);
    return found;
}

int ViewClass::read(const ViewPosition* from, bool forward, bool inclusive, int n,
                    const RowFn& onRow) {
    if (n == 0)
        return 0;
    int given = 0;
    if (keyOrder()) {
        const int rc = seeker_->read(from, forward, inclusive, filter_ ? -1 : n,
                                     [&](const ViewPosition& pos, const tbl::Seeker::Row& row) {
                                         row.fill();
                                         if (filter_ && !filter_())
                                             return true;
                                         ++given;
                                         return onRow(pos) && (n < 0 || given < n);
                                     });
        return rc < 0 ? -1 : given;
    }
    if (!file_.ensureOpen())
        return -1;
    if (!built_ && !build())
        return -1;
    const size_t all = mode_ == Mode::Expression ? 1 : orderFields_.size();
    std::vector<Value> keys;
    RecordPointer ptr = 0;
    std::ptrdiff_t i;
    if (!from) {
        i = forward ? 0 : std::ptrdiff_t(entries_.size()) - 1;
    } else {
        keys = from->keys;
        ptr = from->ptr;
        if (keys.size() != all) {
            auto it = std::find_if(entries_.begin(), entries_.end(),
                                   [ptr](const Entry& e) { return e.ptr == ptr; });
            if (it == entries_.end())
                return 0;
            keys = it->keys;
        }
        auto less = [&](const Entry& e, int) {
            return compareEntry(e.keys, e.ptr, keys, ptr, all) < 0;
        };
        auto lessEq = [&](const Entry& e, int) {
            return compareEntry(e.keys, e.ptr, keys, ptr, all) <= 0;
        };
        const auto lb = std::lower_bound(entries_.begin(), entries_.end(), 0, less);
        const auto ub = std::lower_bound(entries_.begin(), entries_.end(), 0, lessEq);
        if (forward)
            i = (inclusive ? lb : ub) - entries_.begin();
        else
            i = (inclusive ? ub : lb) - entries_.begin() - 1;
    }
    for (; i >= 0 && i < std::ptrdiff_t(entries_.size()); i += forward ? 1 : -1) {
        const Entry& e = entries_[size_t(i)];
        if (!readProjected(e.ptr))
            continue;  // deleted since the order was built
        if (filter_ && !filter_())
            continue;
        ++given;
        if (!onRow(ViewPosition{e.keys, e.ptr}) || (n > 0 && given >= n))
            break;
    }
    rt::clearError();
    return given;
}

ViewPosition ViewClass::edge(bool forward) {
    ViewPosition p;
    read(nullptr, forward, true, 1, [&p](const ViewPosition& pos) {
        p = pos;
        return false;
    });
    return p;
}

ViewPosition ViewClass::locate(const std::vector<Value>& values) {
    ViewPosition from;
    from.keys = values;
    from.ptr = 0;
    if (mode_ == Mode::Key) {
        for (size_t i = 0; i < from.keys.size() && i < file_.key(key_).parts.size(); ++i)
            from.keys[i] = tbl::keyValue(file_, key_, int(i), values[i]);
    }
    ViewPosition p;
    if (!keyOrder()) {
        if (!file_.ensureOpen() || (!built_ && !build()))
            return p;
        auto it = std::lower_bound(entries_.begin(), entries_.end(), 0, [&](const Entry& e, int) {
            return compareEntry(e.keys, e.ptr, values, 0, values.size()) < 0;
        });
        if (it != entries_.end())
            from = ViewPosition{it->keys, it->ptr};
        else
            return p;
    }
    read(&from, true, true, 1, [&p](const ViewPosition& pos) {
        p = pos;
        return false;
    });
    return p;
}

std::int64_t ViewClass::count() {
    if (keyOrder() && !filter_)
        return seeker_->count();
    if (!keyOrder()) {
        if (!file_.ensureOpen() || (!built_ && !build()))
            return -1;
        if (!filter_)
            return std::int64_t(entries_.size());
    }
    std::int64_t n = 0;
    if (read(nullptr, true, true, -1, [&n](const ViewPosition&) {
            ++n;
            return true;
        }) < 0)
        return -1;
    return n;
}

bool ViewClass::fetch(const ViewPosition& position) {
    return file_.readRecord(position.ptr);
}

// ---------------------------------------------------------------------------
// One row at a time

void ViewClass::start(const ViewPosition* from) {
    streaming_ = true;
    started_ = false;
    hasStart_ = from != nullptr;
    start_ = from ? *from : ViewPosition{};
    last_ = {};
    batch_.clear();
    batchAt_ = 0;
    batchEnd_ = false;
    rt::clearError();
}

bool ViewClass::step(bool forward) {
    if (!streaming_) {
        rt::setError(ErrCode::RecordNotAvailable, file_.messageLabel());
        return false;
    }
    if (batchAt_ >= batch_.size() || batchForward_ != forward) {
        if (batchForward_ == forward && batchEnd_ && !batch_.empty()) {
            rt::setError(ErrCode::RecordNotAvailable, file_.messageLabel());
            return false;
        }
        const ViewPosition* from = started_ ? &last_ : (hasStart_ ? &start_ : nullptr);
        const bool inclusive = !started_ && hasStart_;
        std::vector<int> list = fields_;
        if (list.empty()) {
            for (size_t i = 0; i < file_.fields().size(); ++i)
                list.push_back(int(i));
        }
        batch_.clear();
        batchAt_ = 0;
        batchForward_ = forward;
        const int n = read(from, forward, inclusive, kBatch, [&](const ViewPosition& pos) {
            Buffered b{pos, {}};
            for (int f : list)
                b.values.push_back(file_.fields()[size_t(f)].ref.get());
            batch_.push_back(std::move(b));
            return true;
        });
        if (n < 0)
            return false;
        batchEnd_ = n < kBatch;
        if (batch_.empty()) {
            rt::setError(ErrCode::RecordNotAvailable, file_.messageLabel());
            return false;
        }
        // The buffer holds the batch's last row now; put the wanted one back.
        size_t c = 0;
        for (int f : list)
            file_.fields()[size_t(f)].ref.set(batch_.front().values[c++]);
    } else {
        size_t c = 0;
        std::vector<int> list = fields_;
        if (list.empty()) {
            for (size_t i = 0; i < file_.fields().size(); ++i)
                list.push_back(int(i));
        }
        for (int f : list)
            file_.fields()[size_t(f)].ref.set(batch_[batchAt_].values[c++]);
    }
    last_ = batch_[batchAt_++].pos;
    file_.setCurrent(last_.ptr);
    started_ = true;
    rt::clearError();
    return true;
}

bool ViewClass::atEnd() {
    if (!streaming_)
        return true;
    if (started_ && batchAt_ < batch_.size())
        return false;
    if (started_ && batchEnd_)
        return true;
    const ViewPosition* from = started_ ? &last_ : (hasStart_ ? &start_ : nullptr);
    const RecordImage keep = file_.saveRecord();
    const int n =
        read(from, true, !started_ && hasStart_, 1, [](const ViewPosition&) { return false; });
    file_.restoreRecord(keep);
    return n <= 0;
}

void SET(ViewClass& view) {
    view.start(nullptr);
}

void SET(ViewClass& view, const ViewPosition& from) {
    view.start(&from);
}

void NEXT(ViewClass& view) {
    view.step(true);
}

void PREVIOUS(ViewClass& view) {
    view.step(false);
}

bool Eof(ViewClass& view) {
    return view.atEnd();
}

QString POSITION(ViewClass& view) {
    return view.current().toString();
}

void RESET(ViewClass& view, QStringView position) {
    const ViewPosition p = ViewPosition::fromString(position);
    view.start(&p);
}

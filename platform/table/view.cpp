#include "view.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>

#include "collation.h"
#include "core/blocks.h"
#include "core/fold.h"
#include "core/fuzzy.h"
#include "core/parallel.h"
#include "driver.h"

namespace {

constexpr int kBatch = 256;

// Order values of a built order. A text is kept folded (each code unit as
// QChar::toCaseFolded gives it), in blocks that never move: its Russian order
// without case is then a plain comparison of the folded units' weights.
struct Cell {
    union {
        double number;
        const char16_t* units;
    };
    std::int32_t length;  // a text's length; -1 a number, -2 a whole number
    bool text() const { return length >= 0; }
    static Cell ofNumber(double v, bool whole) {
        Cell c;
        c.number = v;
        c.length = whole ? -2 : -1;
        return c;
    }
    static Cell ofText(const char16_t* units, int length) {
        Cell c;
        c.units = units;
        c.length = length;
        return c;
    }
};

// tbl::russianWeight of the unit this one was folded from.
inline std::uint32_t weightOf(char16_t folded) {
    return folded == u'ё' ? 2u * u'е' + 1u : 2u * folded;
}

inline char16_t foldUnit(char16_t c) {
    const char16_t f = rt::quickFold(c);
    return f != rt::kQtFolds ? f : char16_t(QChar::toCaseFolded(char32_t(c)));
}

// The order of tbl::compareOrderValues without case: a number before a text.
int compareCells(const Cell& x, const Cell& y) {
    if (x.text() != y.text())
        return x.text() ? 1 : -1;
    if (!x.text())
        return x.number < y.number ? -1 : (x.number > y.number ? 1 : 0);
    const char16_t* p = x.units;
    const char16_t* q = y.units;
    const int n = std::min(x.length, y.length);
    for (int i = 0; i < n; ++i) {
        if (p[i] != q[i])
            return weightOf(p[i]) < weightOf(q[i]) ? -1 : 1;
    }
    return x.length < y.length ? -1 : (x.length > y.length ? 1 : 0);
}

// A number as one ordered as the numbers are.
std::uint64_t numberOrder(double number) {
    const auto u = std::bit_cast<std::uint64_t>(number == 0 ? 0.0 : number);
    return (u >> 63) != 0 ? ~u : (u | (std::uint64_t(1) << 63));
}

// Texts are sorted a few units at a time: a row's next units as two numbers
// ordered as the texts are (each unit's weight, 0 past the end).
constexpr int kChunkUnits = 6;

struct SortItem {
    std::uint64_t hi = 0, lo = 0;
    std::uint32_t row = 0;
};

// The units from `depth` on of a text, or a number's order.
void chunkOf(const Cell& c, int depth, SortItem& it) {
    if (!c.text()) {
        it.hi = numberOrder(c.number);
        it.lo = 0;
        return;
    }
    std::uint64_t w[kChunkUnits];
    for (int i = 0; i < kChunkUnits; ++i) {
        const int at = depth + i;
        w[i] = at < c.length ? weightOf(c.units[at]) + 1 : 0;
    }
    it.hi = (w[0] << 42) | (w[1] << 21) | w[2];
    it.lo = (w[3] << 42) | (w[4] << 21) | w[5];
}

inline bool sameChunk(const SortItem& x, const SortItem& y) {
    return x.hi == y.hi && x.lo == y.lo;
}

// Calls run(begin, end) for each run of more than one row alike so far.
template <typename Run>
void forRuns(const std::vector<SortItem>& items, size_t begin, size_t end, Run run) {
    while (begin < end) {
        size_t e = begin + 1;
        while (e < end && sameChunk(items[begin], items[e]))
            ++e;
        if (e - begin > 1)
            run(begin, e);
        begin = e;
    }
}

// A whole number's text as Value::toText gives it.
void appendNumber(FuzzyCorpus& corpus, std::int64_t v) {
    char16_t buf[24];
    int i = 24;
    std::uint64_t u = v < 0 ? 0 - std::uint64_t(v) : std::uint64_t(v);
    do {
        buf[--i] = char16_t(u'0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0)
        buf[--i] = u'-';
    corpus.append(QStringView(buf + i, 24 - i));
}

// A field's text as its value's text (FieldRef::get().toText()) gives it.
void appendField(FuzzyCorpus& corpus, const FieldRef& f) {
    if (f.guard == nullptr && f.kind == Kind::String) {
        const QStringView t(static_cast<const char16_t*>(f.ptr), f.size);
        const int n = rt::clippedLength(t);
        corpus.append(t.first(n));
        corpus.appendBlanks(f.size - n);
        return;
    }
    const Value v = f.get();
    if (v.type() == Value::Type::Integer)
        appendNumber(corpus, v.toInt());
    else
        corpus.append(v.toText());
}

// A STRING field's text, as appendField joins it from the record buffer, from
// its column (stored without its padding).
void appendStored(FuzzyCorpus& corpus, sqlite3_stmt* st, int column, int size) {
    const auto* p = static_cast<const char16_t*>(sqlite3_column_text16(st, column));
    QStringView t(p, p ? sqlite3_column_bytes16(st, column) / 2 : 0);
    // As much as the field holds, without half a pair of surrogates.
    if (t.size() > size) {
        t = t.first(size);
        if (size > 0 && QChar::isHighSurrogate(t[size - 1].unicode()))
            t.chop(1);
    }
    const int n = rt::clippedLength(t);
    corpus.append(t.first(n));
    corpus.appendBlanks(size - n);
}

// A pass over a whole table spends most of its time decrypting pages, one
// after the other. Split by record pointer, its parts are read at once on
// connections of their own, one a core. They keep little cache and are closed
// after the pass: the pages read are not kept in anyone's memory.
constexpr std::int64_t kSplitRows = 20000;  // fewer rows: the view's own connection
constexpr size_t kRowsPerPart = 8192;
constexpr const char* kSplitCache = "PRAGMA cache_size = -128";

// The record pointers that split the table's rows into `parts` ranges of about
// the same number of rows: bounds[p] <= pointer < bounds[p + 1].
bool splitBounds(TableFile& file, size_t parts, std::vector<RecordPointer>* bounds) {
    // Each of its own: min and max together would read the whole table.
    const QString table = tbl::quoted(file.name());
    sqlite3_stmt* st = file.connection()->statement(
        QStringLiteral("SELECT (SELECT min(\"_ptr\") FROM %1), (SELECT max(\"_ptr\") FROM %1)")
            .arg(table));
    if (!st || sqlite3_step(st) != SQLITE_ROW || sqlite3_column_type(st, 0) == SQLITE_NULL) {
        if (st)
            sqlite3_reset(st);
        return false;
    }
    const std::int64_t low = sqlite3_column_int64(st, 0);
    const std::int64_t span = sqlite3_column_int64(st, 1) - low + 1;
    sqlite3_reset(st);
    bounds->clear();
    for (size_t p = 0; p <= parts; ++p)
        bounds->push_back(low + std::int64_t(double(span) * double(p) / double(parts)));
    bounds->back() = low + span;
    return true;
}

using SplitRow = std::function<void(size_t part, RecordPointer ptr, sqlite3_stmt* st)>;

// Reads the rows of each range of pointers (in pointer order) that meet the
// conditions, on a connection of its own and all ranges at once: onRow gets
// each row's statement with the fields' columns from column 1 on, on the
// thread reading its part. False when a part could not be read.
bool readSplit(TableFile& file, const std::vector<std::pair<QString, tbl::Args>>& conditions,
               const std::vector<RecordPointer>& bounds, const std::vector<int>& fields,
               const SplitRow& onRow) {
    const QString path = file.connection()->path();
    QStringList columns{QStringLiteral("\"_ptr\"")};
    for (int f : fields)
        columns << tbl::quoted(file.fields()[size_t(f)].name);
    QStringList where;
    tbl::Args args;
    for (const auto& [sql, a] : conditions) {
        where << u'(' + sql + u')';
        args.insert(args.end(), a.begin(), a.end());
    }
    where << QStringLiteral("\"_ptr\">=? AND \"_ptr\"<?");
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY \"_ptr\"")
            .arg(columns.join(u','), tbl::quoted(file.name()), where.join(QStringLiteral(" AND ")));
    std::atomic<bool> failed{false};
    rt::parallelFor(bounds.size() - 1, 1, [&](size_t begin, size_t end) {
        for (size_t p = begin; p < end && !failed; ++p) {
            int code = 0;
            QString detail;
            // A reader only: it never makes the file, and what an open does for
            // the file (journals, reservations) the view's own open did.
            const auto c = tbl::openSecondary(path, file, &code, &detail);
            sqlite3_stmt* st = c && c->run(kSplitCache) ? c->statement(sql) : nullptr;
            if (!st) {
                failed = true;
                return;
            }
            int i = 1;
            for (const tbl::Arg& a : args)
                tbl::bind(st, i++, a);
            sqlite3_bind_int64(st, i, bounds[p]);
            sqlite3_bind_int64(st, i + 1, bounds[p + 1]);
            int rc = SQLITE_DONE;
            while (!failed && (rc = sqlite3_step(st)) == SQLITE_ROW)
                onRow(p, sqlite3_column_int64(st, 0), st);
            if (rc != SQLITE_DONE)
                failed = true;
            sqlite3_reset(st);
        }
    });
    return !failed;
}

}  // namespace

struct ViewClass::Built {
    Mode mode = Mode::Fields;
    QString shape;  // what was read: fields, ranges, conditions
    Stamp stamp;
    bool keep = false;  // may serve a later build while the file is unchanged
    size_t keys = 0;
    std::vector<RecordPointer> ptrs;  // rows in pointer order
    std::vector<Cell> cells;          // `keys` a row
    rt::Blocks<char16_t> texts;
    std::unique_ptr<FuzzyCorpus> corpus;
    // The order last made of the rows: each key's direction.
    bool sorted = false;
    std::vector<bool> descending;
    std::vector<std::uint8_t> ties;  // per place of the order: 1 when the next row equals it

    void addText(QStringView t) {
        const int n = rt::clippedLength(t);
        char16_t* units = texts.extend(size_t(n));
        for (int i = 0; i < n; ++i)
            units[i] = foldUnit(t[i].unicode());
        cells.push_back(Cell::ofText(units, n));
    }
    void addValue(const Value& v) {
        if (v.isText()) {
            addText(v.toText());
            return;
        }
        cells.push_back(Cell::ofNumber(v.toReal(), v.type() == Value::Type::Integer));
    }
    const Cell& cell(std::uint32_t row, size_t k) const { return cells[size_t(row) * keys + k]; }

    // A row of a field order read straight from its columns (1 on).
    void addColumns(RecordPointer ptr, sqlite3_stmt* st, const TableFile& file,
                    const std::vector<int>& fields) {
        ptrs.push_back(ptr);
        for (size_t i = 0; i < fields.size(); ++i) {
            const auto& f = file.fields()[size_t(fields[i])].ref;
            const int column = int(i) + 1;
            if (f.isText()) {
                const auto* t = static_cast<const char16_t*>(sqlite3_column_text16(st, column));
                const int bytes = sqlite3_column_bytes16(st, column);
                addText(QStringView(t, bytes / 2));
            } else {
                addValue(tbl::readValue(st, column, f));
            }
        }
    }
    // The rows of parts read one after the other, each part freed once taken
    // (its texts stay where they are).
    void take(std::vector<Built>& parts) {
        size_t rows = ptrs.size();
        for (const Built& p : parts)
            rows += p.ptrs.size();
        ptrs.reserve(rows);
        cells.reserve(rows * keys);
        if (corpus) {
            std::vector<const FuzzyCorpus*> more;
            for (const Built& p : parts) {
                if (p.corpus)
                    more.push_back(p.corpus.get());
            }
            corpus->reserveFor(more);
        }
        for (Built& p : parts) {
            ptrs.insert(ptrs.end(), p.ptrs.begin(), p.ptrs.end());
            cells.insert(cells.end(), p.cells.begin(), p.cells.end());
            texts.take(std::move(p.texts));
            if (corpus && p.corpus)
                corpus->take(std::move(*p.corpus));
            p = Built{};
        }
    }
};

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

void ViewClass::setOrder(MatchOrder order) {
    mode_ = Mode::Match;
    match_ = std::move(order);
    reset();
}

void ViewClass::reset() {
    built_ = false;
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
    for (const auto& [sql, args] : sqlConditions())
        seeker_->addCondition(sql, args);
}

std::vector<std::pair<QString, tbl::Args>> ViewClass::sqlConditions() const {
    std::vector<std::pair<QString, tbl::Args>> out;
    for (const Range& r : ranges_) {
        const auto& f = file_.fields()[size_t(r.field)];
        if (compare(r.low, r.high) == 0) {
            out.emplace_back(tbl::quoted(f.name) + QStringLiteral("=?"),
                             tbl::Args{tbl::valueArg(f.ref, r.low)});
        } else {
            out.emplace_back(tbl::quoted(f.name) + QStringLiteral(" BETWEEN ? AND ?"),
                             tbl::Args{tbl::valueArg(f.ref, r.low), tbl::valueArg(f.ref, r.high)});
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
            QString sql = tbl::conditionSql(f, int(c.op), c.value, c.noCase, &values);
            out.emplace_back(std::move(sql), std::move(values));
        }
    }
    return out;
}

size_t ViewClass::orderKeys() const {
    return mode_ == Mode::Fields ? orderFields_.size() : 1;
}

ViewClass::Stamp ViewClass::stamp() {
    Stamp s;
    s.generation = file_.generation();
    tbl::Connection* c = file_.connection();
    if (!c)
        return s;
    // Commits of other connections change the data version; this connection's
    // own writes its count of changes.
    if (sqlite3_stmt* st = c->statement(QStringLiteral("PRAGMA data_version"))) {
        if (sqlite3_step(st) == SQLITE_ROW)
            s.version = sqlite3_column_int64(st, 0);
        sqlite3_reset(st);
    }
    s.changes = sqlite3_total_changes(c->db());
    return s;
}

QString ViewClass::shape() const {
    QString s;
    for (const Range& r : ranges_)
        s += QStringLiteral("r%1=%2,%3;").arg(r.field).arg(r.low.toText(), r.high.toText());
    for (const Condition& c : conditions_) {
        s += QStringLiteral("c%1%2%3=%4;")
                 .arg(c.field)
                 .arg(int(c.op))
                 .arg(c.noCase ? 1 : 0)
                 .arg(c.value.toText());
    }
    if (mode_ == Mode::Fields) {
        for (const auto& [f, desc] : orderFields_)
            s += QStringLiteral("f%1;").arg(f);
    } else if (mode_ == Mode::Match) {
        for (const MatchPart& p : match_.text) {
            s += p.field.valid() ? QStringLiteral("m%1;").arg(file_.fieldIndex(p.field))
                                 : QStringLiteral("'%1';").arg(p.literal);
        }
        s += rt::fuzzyMatcher().NoCase() ? QStringLiteral("i") : QStringLiteral("c");
    }
    return s;
}

bool ViewClass::scanFields(Built& b) {
    // Without a filter a field order needs only its own fields, read as they
    // stand in the file and never put into the record buffer.
    const bool onlyOrder = mode_ == Mode::Fields && !filter_;
    std::vector<int> order;
    if (onlyOrder) {
        for (const auto& [f, desc] : orderFields_)
            order.push_back(f);
        const size_t parts = splitParts();
        std::vector<RecordPointer> bounds;
        if (parts > 0 && splitBounds(file_, parts, &bounds)) {
            std::vector<Built> read(parts);
            for (Built& p : read)
                p.keys = b.keys;
            if (readSplit(file_, sqlConditions(), bounds, order,
                          [&](size_t p, RecordPointer ptr, sqlite3_stmt* st) {
                              read[p].addColumns(ptr, st, file_, order);
                          })) {
                b.take(read);
                return true;
            }
        }
        seeker_->setFields(order);
    }
    const int n = seeker_->read(nullptr, true, true, -1,
                                [&](const ViewPosition& pos, const tbl::Seeker::Row& row) {
                                    if (onlyOrder) {
                                        b.addColumns(pos.ptr, row.st, file_, order);
                                        return true;
                                    }
                                    row.fill();
                                    if (filter_ && !filter_())
                                        return true;
                                    b.ptrs.push_back(pos.ptr);
                                    if (mode_ == Mode::Expression) {
                                        b.addValue(expression_());
                                    } else {
                                        for (const auto& [f, desc] : orderFields_)
                                            b.addValue(file_.fields()[size_t(f)].ref.get());
                                    }
                                    return true;
                                });
    if (onlyOrder)
        configure();
    return n >= 0;
}

bool ViewClass::scanMatch() {
    const FuzzyClass& matcher = rt::fuzzyMatcher();
    auto b = std::make_unique<Built>();
    b->corpus = std::make_unique<FuzzyCorpus>(matcher.NoCase());
    std::vector<int> fields;
    for (const MatchPart& p : match_.text) {
        const int f = p.field.valid() ? file_.fieldIndex(p.field) : -1;
        if (f >= 0 && std::find(fields.begin(), fields.end(), f) == fields.end())
            fields.push_back(f);
    }
    if (const size_t parts = filter_ ? 0 : splitParts(); parts > 0) {
        std::vector<RecordPointer> bounds;
        std::vector<Built> read(parts);
        // A STRING is joined from its column; each part puts the other fields
        // into fields of its own, laid out as the record buffer's, and joins
        // them from there as from the buffer.
        std::vector<std::vector<std::vector<std::uint64_t>>> store(parts);
        std::vector<std::vector<FieldRef>> refs(parts);
        for (size_t p = 0; p < parts; ++p) {
            read[p].corpus = std::make_unique<FuzzyCorpus>(matcher.NoCase());
            for (int f : fields) {
                FieldRef r = file_.fields()[size_t(f)].ref;
                store[p].emplace_back(size_t(std::max(r.size, 8)) / 4 + 2);
                r.ptr = store[p].back().data();
                r.guard = nullptr;
                refs[p].push_back(r);
            }
        }
        std::vector<int> partField;  // per part of the text: its place in `fields`, or -1
        for (const MatchPart& mp : match_.text) {
            const int f = mp.field.valid() ? file_.fieldIndex(mp.field) : -1;
            partField.push_back(
                f < 0 ? -1 : int(std::find(fields.begin(), fields.end(), f) - fields.begin()));
        }
        if (splitBounds(file_, parts, &bounds) &&
            readSplit(file_, sqlConditions(), bounds, fields,
                      [&](size_t p, RecordPointer ptr, sqlite3_stmt* st) {
                          Built& part = read[p];
                          for (size_t i = 0; i < fields.size(); ++i) {
                              if (refs[p][i].kind != Kind::String)
                                  tbl::readField(st, int(i) + 1, refs[p][i]);
                          }
                          part.ptrs.push_back(ptr);
                          for (size_t i = 0; i < match_.text.size(); ++i) {
                              const int f = partField[i];
                              if (f < 0)
                                  part.corpus->append(match_.text[i].literal);
                              else if (refs[p][size_t(f)].kind == Kind::String)
                                  appendStored(*part.corpus, st, f + 1, refs[p][size_t(f)].size);
                              else
                                  appendField(*part.corpus, refs[p][size_t(f)]);
                          }
                          part.corpus->endText();
                      })) {
            b->take(read);
            rows_ = std::move(b);
            return true;
        }
    }
    seeker_->setFields(fields);
    FuzzyCorpus& corpus = *b->corpus;
    const int n = seeker_->read(nullptr, true, true, -1,
                                [&](const ViewPosition& pos, const tbl::Seeker::Row& row) {
                                    row.fill();
                                    if (filter_ && !filter_())
                                        return true;
                                    b->ptrs.push_back(pos.ptr);
                                    for (const MatchPart& p : match_.text) {
                                        if (p.field.valid())
                                            appendField(corpus, p.field);
                                        else
                                            corpus.append(p.literal);
                                    }
                                    corpus.endText();
                                    return true;
                                });
    configure();
    if (n < 0)
        return false;
    rows_ = std::move(b);
    return true;
}

size_t ViewClass::splitParts() {
    tbl::Connection* c = file_.connection();
    // A range is a parent's rows, read through its index; a transaction's own
    // changes are seen by its connection alone.
    if (filter_ || !ranges_.empty() || !c || c->inTransaction())
        return 0;
    const std::int64_t rows = file_.countRecords();
    if (rows < kSplitRows)
        return 0;
    const size_t parts = rt::parallelParts(size_t(rows), kRowsPerPart);
    return parts > 1 ? parts : 0;
}

void ViewClass::sortRows(const std::vector<bool>& descending) {
    Built& b = *rows_;
    const size_t count = b.ptrs.size();
    const size_t keys = b.keys;
    if (b.sorted && order_.size() == count && b.descending.size() == descending.size()) {
        bool same = true, flipped = true;
        for (size_t k = 0; k < descending.size(); ++k) {
            same = same && b.descending[k] == descending[k];
            flipped = flipped && b.descending[k] != descending[k];
        }
        if (same)
            return;
        if (flipped && count > 0) {
            // The reverse order, with rows of equal values back in pointer order.
            std::reverse(order_.begin(), order_.end());
            std::reverse(b.ties.begin(), b.ties.end() - 1);
            for (size_t run = 0, i = 0; i < count; ++i) {
                if (b.ties[i] == 0) {
                    std::reverse(order_.begin() + std::ptrdiff_t(run),
                                 order_.begin() + std::ptrdiff_t(i + 1));
                    run = i + 1;
                }
            }
            b.descending = descending;
            return;
        }
    }
    std::vector<SortItem> items(count);
    for (size_t r = 0; r < count; ++r)
        items[r].row = std::uint32_t(r);
    const bool down = keys > 0 && descending[0];
    auto chunkLess = [down](const SortItem& x, const SortItem& y) {
        if (x.hi != y.hi)
            return down ? x.hi > y.hi : x.hi < y.hi;
        if (x.lo != y.lo)
            return down ? x.lo > y.lo : x.lo < y.lo;
        return x.row < y.row;  // rows are in pointer order
    };
    // Rows whose first values are equal: the other values, then the pointer.
    auto restLess = [&](const SortItem& x, const SortItem& y) {
        for (size_t k = 1; k < keys; ++k) {
            const int c = compareCells(b.cell(x.row, k), b.cell(y.row, k));
            if (c != 0)
                return descending[k] ? c > 0 : c < 0;
        }
        return x.row < y.row;
    };
    // Whether two rows have the same values from key `from` on.
    auto equalFrom = [&](std::uint32_t x, std::uint32_t y, size_t from) {
        for (size_t k = from; k < keys; ++k) {
            if (compareCells(b.cell(x, k), b.cell(y, k)) != 0)
                return false;
        }
        return true;
    };
    bool text = false, number = false;
    for (size_t r = 0; r < count && keys > 0; ++r)
        (b.cell(std::uint32_t(r), 0).text() ? text : number) = true;
    // Which rows equal the next: a reverse order keeps them in pointer order.
    b.ties.assign(count, 0);
    if (keys > 0 && text && number) {
        // Numbers and texts in one column: numbers first, each compared whole.
        rt::parallelSort(items.begin(), items.end(), [&](const SortItem& x, const SortItem& y) {
            const int c = compareCells(b.cell(x.row, 0), b.cell(y.row, 0));
            if (c != 0)
                return down ? c > 0 : c < 0;
            return restLess(x, y);
        });
        for (size_t i = 0; i + 1 < count; ++i)
            b.ties[i] = equalFrom(items[i].row, items[i + 1].row, 0) ? 1 : 0;
    } else if (keys > 0) {
        // The first values a few units at a time: rows are sorted by their
        // first units, then each run of rows alike so far by their next units,
        // so that no text is compared whole with another.
        rt::parallelFor(count, 16384, [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                chunkOf(b.cell(items[i].row, 0), 0, items[i]);
        });
        rt::parallelSort(items.begin(), items.end(), chunkLess);
        std::function<void(size_t, size_t, int)> refine = [&](size_t begin, size_t end, int depth) {
            const SortItem& first = items[begin];
            if (!b.cell(first.row, 0).text() || (first.hi == 0 && first.lo == 0)) {
                // Equal first values.
                if (keys > 1)
                    std::sort(items.begin() + std::ptrdiff_t(begin),
                              items.begin() + std::ptrdiff_t(end), restLess);
                for (size_t i = begin; i + 1 < end; ++i)
                    b.ties[i] = equalFrom(items[i].row, items[i + 1].row, 1) ? 1 : 0;
                return;
            }
            depth += kChunkUnits;
            for (size_t i = begin; i < end; ++i)
                chunkOf(b.cell(items[i].row, 0), depth, items[i]);
            std::sort(items.begin() + std::ptrdiff_t(begin), items.begin() + std::ptrdiff_t(end),
                      chunkLess);
            forRuns(items, begin, end, [&](size_t rb, size_t re) { refine(rb, re, depth); });
        };
        // Runs never straddle the parts the cores take.
        const size_t parts = rt::parallelParts(count, 16384);
        std::vector<size_t> bounds{0};
        for (size_t p = 1; p < parts; ++p) {
            size_t at = std::max(bounds.back(), count * p / parts);
            while (at > 0 && at < count && sameChunk(items[at - 1], items[at]))
                ++at;
            bounds.push_back(at);
        }
        bounds.push_back(count);
        rt::parallelFor(parts, 1, [&](size_t begin, size_t end) {
            for (size_t p = begin; p < end; ++p)
                forRuns(items, bounds[p], bounds[p + 1],
                        [&](size_t rb, size_t re) { refine(rb, re, 0); });
        });
    }
    order_.resize(count);
    for (size_t i = 0; i < count; ++i)
        order_[i] = items[i].row;
    b.sorted = true;
    b.descending = descending;
}

bool ViewClass::build() {
    const Stamp now = stamp();
    const QString what = shape();
    const bool reuse = rows_ && rows_->keep && !filter_ && rows_->mode == mode_ &&
                       rows_->stamp == now && rows_->shape == what;
    if (mode_ == Mode::Match) {
        if (!reuse && !scanMatch())
            return false;
        Built& b = *rows_;
        b.mode = mode_;
        b.shape = what;
        b.stamp = now;
        b.keep = !filter_;
        b.keys = 1;
        const std::vector<std::uint8_t> scores =
            rt::fuzzyMatcher().MatchAll(match_.query.get().toText(), *b.corpus);
        b.cells.resize(scores.size());
        b.texts.clear();
        // By score, each score's rows in pointer order.
        std::array<size_t, 257> start{};
        for (std::uint8_t s : scores)
            ++start[size_t(s) + 1];
        for (size_t i = 1; i < start.size(); ++i)
            start[i] += start[i - 1];
        order_.resize(scores.size());
        const size_t count = scores.size();
        for (size_t r = 0; r < count; ++r) {
            const std::uint8_t s = scores[r];
            b.cells[r] = Cell::ofNumber(double(match_.base - s), true);
            // Best first unless descending: highest score at the front.
            const size_t place = start[s]++;
            order_[match_.descending ? place : count - 1 - place] = std::uint32_t(r);
        }
        if (!match_.descending) {
            // Filled from the back: each score's rows are reversed; put them back.
            size_t run = 0;
            for (size_t i = 1; i <= count; ++i) {
                if (i == count || scores[order_[i]] != scores[order_[run]]) {
                    std::reverse(order_.begin() + std::ptrdiff_t(run),
                                 order_.begin() + std::ptrdiff_t(i));
                    run = i;
                }
            }
        }
        b.sorted = false;
        built_ = true;
        return true;
    }
    std::vector<bool> descending;
    if (mode_ == Mode::Fields) {
        for (const auto& [f, desc] : orderFields_)
            descending.push_back(desc);
    } else {
        descending.push_back(expressionDescending_);
    }
    if (!reuse) {
        auto b = std::make_unique<Built>();
        b->mode = mode_;
        b->shape = what;
        b->stamp = now;
        b->keys = orderKeys();
        // The expression may read anything: its values are never kept.
        b->keep = mode_ == Mode::Fields && !filter_;
        if (b->keep && ranges_.empty() && conditions_.empty()) {
            const std::int64_t expected = file_.countRecords();
            if (expected > 0) {
                b->ptrs.reserve(size_t(expected));
                b->cells.reserve(size_t(expected) * b->keys);
            }
        }
        rows_.reset();
        if (!scanFields(*b))
            return false;
        rows_ = std::move(b);
    }
    sortRows(descending);
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

ViewPosition ViewClass::positionOfRow(std::uint32_t row) const {
    const Built& b = *rows_;
    ViewPosition p;
    p.ptr = b.ptrs[row];
    p.keys.reserve(b.keys);
    for (size_t k = 0; k < b.keys; ++k) {
        const Cell& c = b.cell(row, k);
        if (c.text())
            p.keys.emplace_back(QString(reinterpret_cast<const QChar*>(c.units), c.length));
        else if (c.length == -2)
            p.keys.emplace_back(std::int64_t(c.number));
        else
            p.keys.emplace_back(c.number);
    }
    return p;
}

size_t ViewClass::lowerBound(const std::vector<Value>& keys, RecordPointer ptr,
                             bool orEqual) const {
    const Built& b = *rows_;
    Built probe;
    probe.keys = keys.size();
    for (const Value& v : keys)
        probe.addValue(v);
    const size_t n = std::min(keys.size(), b.keys);
    std::vector<bool> descending(b.keys, false);
    if (mode_ == Mode::Fields) {
        for (size_t k = 0; k < b.keys && k < orderFields_.size(); ++k)
            descending[k] = orderFields_[k].second;
    } else if (mode_ == Mode::Match) {
        descending[0] = match_.descending;
    } else {
        descending[0] = expressionDescending_;
    }
    auto compareRow = [&](std::uint32_t row) {
        for (size_t k = 0; k < n; ++k) {
            int c = compareCells(b.cell(row, k), probe.cells[k]);
            if (descending[k])
                c = -c;
            if (c != 0)
                return c;
        }
        if (keys.size() < b.keys)
            return 0;  // a prefix of the values: the pointer does not count
        const RecordPointer p = b.ptrs[row];
        return p < ptr ? -1 : (p > ptr ? 1 : 0);
    };
    const auto it = std::partition_point(order_.begin(), order_.end(), [&](std::uint32_t row) {
        const int c = compareRow(row);
        return orEqual ? c <= 0 : c < 0;
    });
    return size_t(it - order_.begin());
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
    const std::ptrdiff_t rows = std::ptrdiff_t(order_.size());
    std::ptrdiff_t i;
    if (!from) {
        i = forward ? 0 : rows - 1;
    } else {
        std::ptrdiff_t lb, ub;
        if (from->keys.size() != rows_->keys) {
            const auto it = std::find_if(order_.begin(), order_.end(), [&](std::uint32_t row) {
                return rows_->ptrs[row] == from->ptr;
            });
            if (it == order_.end())
                return 0;
            lb = it - order_.begin();
            ub = lb + 1;
        } else {
            lb = std::ptrdiff_t(lowerBound(from->keys, from->ptr, false));
            ub = std::ptrdiff_t(lowerBound(from->keys, from->ptr, true));
        }
        if (forward)
            i = inclusive ? lb : ub;
        else
            i = (inclusive ? ub : lb) - 1;
    }
    for (; i >= 0 && i < rows; i += forward ? 1 : -1) {
        const std::uint32_t row = order_[size_t(i)];
        if (!readProjected(rows_->ptrs[row]))
            continue;  // deleted since the order was built
        if (filter_ && !filter_())
            continue;
        ++given;
        if (!onRow(positionOfRow(row)) || (n > 0 && given >= n))
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
        const size_t at = lowerBound(values, 0, false);
        if (at >= order_.size())
            return p;
        from = positionOfRow(order_[at]);
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
            return std::int64_t(order_.size());
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

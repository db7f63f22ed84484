#pragma once
// ViewClass: an ordered, filtered, projected reading of one table, made for lists
// that load a page of rows at a time over tables of 100,000 records and more.
//
// Shape (set before reading; call reset() after changing it while reading):
//   - addField(KAL.NAME) ...  the fields each row puts into the record buffer (the
//     projection); none added means all fields. BLOBs are never read by a view.
//   - setOrder(KAL_K2)        key order: read through the key's index, so a page from
//                             any position costs the same as the first page. Records
//                             left out of an optional key are left out of the view.
//   - setOrder({{ref(KAL.NAME), false}, {ref(KAL.ID), true}})
//                             any fields, each ascending or descending; texts in
//                             Russian alphabetical order without case (Ё after Е).
//   - setOrder(expression)    a value computed from the buffer (after the row's
//                             fields are in it) for each row.
//   - setOrder(MatchOrder)    base minus the fuzzy score (core/fuzzy.h) of a text
//                             joined from the row's fields, against a query: the
//                             best matches first. Scored on every core.
//     The last three orders are built once as a sorted list of record pointers
//     (one pass over the table), kept until reset(); ties go by record pointer.
//     What a pass read (the values of a field order, the texts of a match order)
//     is kept while the file is unchanged, so the same or the reverse field
//     order, or another query, is built again without reading the table. The
//     pass of a field or match order over a big table without a filter or a
//     range is read in parts at once, each on a connection of its own (it sees
//     what is committed: not the changes of a transaction still open on the
//     thread, whose passes its own connection reads).
//   - setRange(ZAM.IDDOK, KAL.ID)        only rows whose field equals the value;
//     setRange(KAL.UTVDATA, low, high)   or lies between two values (both included).
//   - setFilter(predicate)    only rows for which the predicate, run with the row's
//                             fields in the buffer, returns true.
//   - addCondition(KAL.NAME, Compare::Contains, u"ЗАКОН", true)
//                             only rows whose field compares so with the value, read
//                             by the driver itself (no row reaches the buffer to be
//                             tested): far cheaper than a filter over a big table.
//
// Reading. A position (ViewPosition) names a row by its order values and record
// pointer; it stays meaningful after the row is changed or deleted (reading goes on
// from where the row was) and can be stored as text (toString / fromString).
//   - read(from, forward, inclusive, n, onRow): up to n rows after (or from, when
//     inclusive) `from`, forward or backward; from = nullptr starts at the first
//     (forward) or last (backward) row. For each row its fields are put into the
//     record buffer and onRow(position) is called; onRow returns false to stop.
//     Returns the number of rows given, -1 on failure (ERRORCODE() set).
//   - first(), last(): positions of the first and last rows (invalid when empty).
//   - locate(values): the first row whose order values are at or after `values`
//     (a prefix of the order's values may be given).
//   - count(): the rows of the view.
//   - fetch(position): reads the whole record at the position (all fields; BLOBs
//     when asked for) as GET by pointer does; false when it no longer exists.
//   - SET(view) / SET(view, position), NEXT(view), PREVIOUS(view), Eof(view),
//     POSITION(view), RESET(view, text): the same reading one row at a time.
//
// A view belongs to the thread whose table it reads; it opens nothing itself (the
// table must be open, and is opened on disk at the first read).

#include <functional>
#include <memory>
#include <vector>

#include "table.h"

namespace tbl {
class Seeker;
struct Arg;
}  // namespace tbl

class ViewClass {
  public:
    struct OrderField {
        FieldRef field;
        bool descending = false;
    };
    // The text of a row is its parts joined as they stand: a field as its
    // value's text (a STRING with its trailing blanks, a date as its day
    // number), a literal as it is.
    struct MatchPart {
        FieldRef field;  // not valid: the literal
        QString literal;
    };
    struct MatchOrder {
        FieldRef query;  // read at each build
        std::vector<MatchPart> text;
        std::int64_t base = 0;
        bool descending = false;
    };

    explicit ViewClass(TableFile& file);
    ~ViewClass();
    ViewClass(const ViewClass&) = delete;
    ViewClass& operator=(const ViewClass&) = delete;

    TableFile& file() const { return file_; }

    // ---- shape ----------------------------------------------------------------
    void addField(FieldRef field);
    template <typename T>
    void addField(T& var) {
        addField(ref(var));
    }
    void setFileOrder();
    void setOrder(const KEY& key);
    void setOrder(std::vector<OrderField> fields);
    void setOrder(std::function<Value()> expression, bool descending = false);
    void setOrder(MatchOrder order);
    void setRange(FieldRef field, const Value& equal);
    void setRange(FieldRef field, const Value& low, const Value& high);
    template <typename T>
    void setRange(T& field, const Value& equal) {
        setRange(ref(field), equal);
    }
    template <typename T>
    void setRange(T& field, const Value& low, const Value& high) {
        setRange(ref(field), low, high);
    }
    void clearRange();
    void setFilter(std::function<bool()> predicate);
    void clearFilter() { filter_ = nullptr; }
    // How a condition compares a field with its value, as the runtime compares
    // values of the field's type (texts by code unit, trailing blanks ignored; a
    // date as its day number, 0 for no date). Contains and BeginsWith are for
    // texts. With `noCase` texts compare by their upper-case form (any script).
    enum class Compare {
        Equal,
        NotEqual,
        Less,
        LessEqual,
        Greater,
        GreaterEqual,
        Contains,
        BeginsWith
    };
    void addCondition(FieldRef field, Compare op, const Value& value, bool noCase = false);
    template <typename T>
    void addCondition(T& field, Compare op, const Value& value, bool noCase = false) {
        addCondition(ref(field), op, value, noCase);
    }
    void clearConditions();
    // Forgets a built order and any reading in progress.
    void reset();

    // True when the order is a key's (pages are read through the index).
    bool keyOrder() const { return mode_ == Mode::File || mode_ == Mode::Key; }

    // ---- reading -----------------------------------------------------------------
    using RowFn = std::function<bool(const ViewPosition&)>;
    int read(const ViewPosition* from, bool forward, bool inclusive, int n, const RowFn& onRow);
    ViewPosition first() { return edge(true); }
    ViewPosition last() { return edge(false); }
    ViewPosition locate(const std::vector<Value>& values);
    std::int64_t count();
    bool fetch(const ViewPosition& position);

    // The row-at-a-time reading of the statements below.
    void start(const ViewPosition* from);
    bool step(bool forward);
    bool atEnd();
    const ViewPosition& current() const { return last_; }

    struct Built;
    struct Stamp {
        std::uint64_t generation = 0;
        std::int64_t version = -1;
        std::int64_t changes = -1;
        bool operator==(const Stamp&) const = default;
    };

  private:
    enum class Mode { File, Key, Fields, Expression, Match };
    void configure();
    std::vector<std::pair<QString, std::vector<tbl::Arg>>> sqlConditions() const;
    // The parts a pass over the whole view is read in at once, each on a
    // connection of its own; 0 when the view's own connection reads it.
    size_t splitParts();
    bool build();
    bool scanFields(Built& b);
    bool scanMatch();
    void sortRows(const std::vector<bool>& descending);
    ViewPosition edge(bool forward);
    ViewPosition positionOfRow(std::uint32_t row) const;
    // The place in the order of the first row at or after (a prefix of) the values
    // with the pointer; ptr < 0 compares the values alone.
    size_t lowerBound(const std::vector<Value>& keys, RecordPointer ptr, bool orEqual) const;
    bool readProjected(RecordPointer ptr);
    Stamp stamp();
    QString shape() const;
    size_t orderKeys() const;

    TableFile& file_;
    std::unique_ptr<tbl::Seeker> seeker_;
    Mode mode_ = Mode::File;
    int key_ = -1;
    std::vector<int> fields_;
    std::vector<std::pair<int, bool>> orderFields_;
    std::function<Value()> expression_;
    bool expressionDescending_ = false;
    struct Range {
        int field;
        Value low, high;
    };
    std::vector<Range> ranges_;
    struct Condition {
        int field;
        Compare op;
        Value value;
        bool noCase;
    };
    std::vector<Condition> conditions_;
    std::function<bool()> filter_;
    MatchOrder match_;
    bool built_ = false;
    // What the last passes read and the order built from them.
    std::unique_ptr<Built> rows_;
    std::vector<std::uint32_t> order_;  // rows of `built` in the order

    // row-at-a-time reading
    struct Buffered {
        ViewPosition pos;
        std::vector<Value> values;
    };
    bool streaming_ = false;
    bool started_ = false;
    ViewPosition start_;
    bool hasStart_ = false;
    ViewPosition last_;
    std::vector<Buffered> batch_;
    size_t batchAt_ = 0;
    bool batchForward_ = true;
    bool batchEnd_ = false;
};

void SET(ViewClass& view);
void SET(ViewClass& view, const ViewPosition& from);
void NEXT(ViewClass& view);
void PREVIOUS(ViewClass& view);
bool Eof(ViewClass& view);
QString POSITION(ViewClass& view);
void RESET(ViewClass& view, QStringView position);

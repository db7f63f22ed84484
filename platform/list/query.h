#pragma once
// Query by example: the user fills in, per item (a field expression with its
// title and picture), an operator and a value; the list shows the rows that
// meet every condition.
//
//   QueryListClass QBE8;
//   QueryListVisual QBV8;
//   QBE8.Init(QBV8, INIMgr, u"Browsekaldor", GlobalErrors);
//   QBE8.QkSupport = true;
//   QBE8.QkIcon = u"QkLoad.ico"_s;
//   QBE8.QkMenuIcon = u"QkQBE.ico"_s;
//   BRW1.QueryControl = QUERY;
//   BRW1.Query = &QBE8;
//   QBE8.AddItem(u"UPPER(KAL:name)", u"Краткое наименование", u"@s120", 1);
//
// The list's query button opens the query window on the list's thread; OK
// puts the conditions in force and the list reads its rows again (keeping its
// order); a query without conditions shows every row again; Cancel changes
// nothing. Conditions on a field (or on UPPER of a field) are read by the
// table driver itself, so that a query over 100,000 cards stays quick; other
// expressions are evaluated row by row.
//
// Values are held as the item's picture reads them: a text, a date (a day
// number, compared as a date), a number. Texts under UPPER compare without
// case, Cyrillic included. A row with no date never meets a date comparison
// other than "<>". A blank value (a number 0, no date) is no condition.
//
// Saved queries are kept in the INI file under the name given to Init, as is
// the last query put in force (the quick query brings it back).

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <memory>
#include <vector>

#include "core/values.h"

class ErrorClass;
class INIClass;
class TableFile;
class ViewClass;

namespace lst {

class Expression;
class QueryVisual;

// How a condition compares the item's value with the value given.
enum class QueryOp : int {
    None = 0,  // no condition
    Equal,
    NotEqual,
    Greater,
    Less,
    GreaterEqual,
    LessEqual,
    Contains,    // texts only
    BeginsWith,  // texts only
};

// The operator as the query window shows it ("=", "содержит") and back
// (None when the text names none).
QString queryOpText(QueryOp op);
QueryOp queryOpFromText(QStringView text);

// The items and conditions of a query and what they filter. One condition
// per item at most (QueryListClass allows more).
class QueryClass {
  public:
    struct Item {
        QString expression;   // "UPPER(KAL:wordkey)"
        QString title;        // "Ключевая фраза"
        QString picture;      // "@s240"; empty: "@s255"
        bool offered = true;  // shown in the query window
    };
    struct Condition {
        int item = 0;  // 1-based
        QueryOp op = QueryOp::None;
        Value value;
    };

    QueryClass();
    virtual ~QueryClass();
    QueryClass(const QueryClass&) = delete;
    QueryClass& operator=(const QueryClass&) = delete;

    // The query's window, the INI file and the name its queries are kept under
    // (the procedure's), and the error manager that reports faulty items.
    virtual void Init(QueryVisual& visual, INIClass& ini, QStringView family, ErrorClass& errors);
    virtual void Kill();

    // ---- items --------------------------------------------------------------
    // An item; `finalItem` 0 keeps it out of the query window (saved queries
    // and SetLimit still reach it). Its number, from 1.
    int AddItem(QStringView expression, QStringView title, QStringView picture = {},
                BYTE finalItem = 1);
    int Items() const { return int(items_.size()); }
    const Item& GetItem(int item) const;
    // The item whose expression (without case) or title is `name`; 0 none.
    int ItemOf(QStringView name) const;
    // Operators the item allows (contains and begins with only for texts).
    std::vector<QueryOp> Operators(int item) const;

    // ---- the query -----------------------------------------------------------
    // Drops every condition.
    virtual void ClearQuery();
    // The item's condition, replacing any it had; QueryOp::None or a blank
    // value drops it. False when the item or the operator does not fit.
    virtual bool SetLimit(int item, QueryOp op, const Value& value);
    // The item's (first) condition; None when it has none.
    QueryOp GetLimit(int item, Value* value = nullptr) const;
    const std::vector<Condition>& Conditions() const { return conditions_; }
    bool IsEmpty() const { return conditions_.empty(); }

    // The query as an expression over the table's fields ("" when empty), for
    // showing and for Expression.
    QString GetFilter() const;
    // The query as one line of text (items by expression, values through the
    // items' pictures) and back; SetText replaces the query and is false when
    // the text is not a query of these items (the query is then unchanged).
    QString Text() const;
    bool SetText(QStringView text);

    // ---- evaluation -----------------------------------------------------------
    // The table the items' fields belong to (the list sets it).
    void SetTable(const TableFile* table);
    const TableFile* Table() const { return table_; }
    // True when the record buffer meets every condition.
    bool Matches() const;
    // Puts the conditions that the table driver can read into `view`'s
    // conditions and returns a predicate for the rest (empty when none).
    std::function<bool()> Apply(ViewClass& view) const;

    // ---- the user ------------------------------------------------------------
    // Opens the query window; true when the user confirmed a query (possibly
    // empty: show every row), false when cancelled (the query is unchanged).
    virtual bool Ask();

    // ---- saved queries (INI file, section of the family name) ----------------
    QStringList SavedQueries() const;
    // Saves the current query under `name` (replacing one of that name,
    // compared without case). False for a blank name.
    bool Save(QStringView name);
    // Makes a saved query current; false when none has that name.
    bool Restore(QStringView name);
    void Delete(QStringView name);
    // The last query put in force (kept when the user confirms one).
    void SaveLast();
    bool RestoreLast();
    bool HasLast() const;

    QString Family() const { return family_; }
    INIClass* Ini() const { return ini_; }
    ErrorClass* Errors() const { return errors_; }
    QueryVisual* Visual() const { return visual_; }

    // Quick-query support: the query window offers the last query and the
    // saved ones for use at once; its icons.
    bool QkSupport = false;
    QString QkIcon;
    QString QkMenuIcon;

  protected:
    // The item's value type as its picture reads it.
    enum class Kind { Text, Date, Number };
    Kind KindOf(int item) const;
    // Adds a condition without replacing (QueryListClass).
    bool AddCondition(int item, QueryOp op, const Value& value);
    std::vector<Condition> conditions_;

  private:
    struct Compiled;
    void compile() const;
    bool matches(const std::vector<Condition>& conditions) const;
    void writeSaved(const QStringList& names, const QStringList& texts);
    void readSaved(QStringList* names, QStringList* texts) const;

    std::vector<Item> items_;
    QueryVisual* visual_ = nullptr;
    INIClass* ini_ = nullptr;
    ErrorClass* errors_ = nullptr;
    QString family_;
    const TableFile* table_ = nullptr;
    mutable std::vector<std::unique_ptr<Compiled>> compiled_;  // per item
    mutable bool compiledFor_ = false;
};

// The query as a list of conditions: an item may have several (a date
// between two others), all of which must hold.
class QueryListClass : public QueryClass {
  public:
    // Adds a condition after the others. False when it does not fit.
    bool AddLimit(int item, QueryOp op, const Value& value) {
        return AddCondition(item, op, value);
    }
    // Removes condition number `n` (1-based) of the list.
    void RemoveLimit(int n);
    int Limits() const { return int(conditions_.size()); }
};

// The window of a query.
class QueryVisual {
  public:
    virtual ~QueryVisual();
    // Shows the query for editing; true when the user confirmed it (the
    // query then holds what the user built), false when cancelled (the query
    // is as it was).
    virtual bool Ask(QueryClass& query) = 0;
};

// The query window: one row per offered item (title, operator, value typed
// through the item's picture), the saved queries, OK, Cancel and Clear; with
// quick-query support the last query and "show all" at one click. A window
// of the runtime on the calling procedure thread. It shows each item's first
// condition; OK makes the rows the conditions of the items shown (others,
// and items not offered, keep theirs). A value the picture cannot read is
// refused at OK with a message naming the item.
class QueryListVisual : public QueryVisual {
  public:
    QueryListVisual();
    ~QueryListVisual() override;
    bool Ask(QueryClass& query) override;

    // Window title; "Запрос по образцу" unless set.
    QString Title;

    // Control numbers of the window with `rows` offered items: row r's title,
    // operator and value, then the controls below the rows.
    static constexpr int TitleControl(int r) { return 3 * r - 2; }
    static constexpr int OpControl(int r) { return 3 * r - 1; }
    static constexpr int ValueControl(int r) { return 3 * r; }
    static constexpr int NameControl(int rows) { return 3 * rows + 2; }
    static constexpr int LoadControl(int rows) { return 3 * rows + 3; }
    static constexpr int SaveControl(int rows) { return 3 * rows + 4; }
    static constexpr int DeleteControl(int rows) { return 3 * rows + 5; }
    static constexpr int LastControl(int rows) { return 3 * rows + 6; }
    static constexpr int AllControl(int rows) { return 3 * rows + 7; }
    static constexpr int OkControl(int rows) { return 3 * rows + 8; }
    static constexpr int CancelControl(int rows) { return 3 * rows + 9; }
    static constexpr int ClearControl(int rows) { return 3 * rows + 10; }

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace lst

#pragma once
// BrowseClass: a list control over a view of a table, read a page at a time.
//
// The queue holds the rows that fit into the list; scrolling, paging, the
// thumb and the locator read other rows from the view through positions (the
// queue's VIEWPOSITION field), so that a list over 100,000 cards reads what it
// shows and never the whole table. Sort orders are keys (read through their
// index), fields or expressions (built once), each with an optional step
// object (for the thumb), locator and ranges. Whenever the current row
// changes, the whole record of that row is read back into the record buffer,
// before the program's handlers see the event.
//
//   BRW1.Init(BROWSE_1, ref(QUEUE_BROWSE_1.VIEWPOSITION), view, QUEUE_BROWSE_1,
//             *Relate_CONFIG, ThisWindow);
//   BRW1.AddSortOrder(nullptr, CON_K1);
//   BRW1.AddLocator(&BRW1_Sort1_Locator);
//   BRW1_Sort1_Locator.Init(0, ref(CON.KOD), true);
//   BRW1.AddField(CON.NAME, QUEUE_BROWSE_1.CON_NAME);
//   ...
//   BRW1.AskProcedure = 1;
//
// A companion of its window's manager (Init registers it): it takes the
// window's events (the update buttons, Enter, a double click, the Insert and
// Delete keys, the popup menu), calls the form through the manager's
// Run(number, request) and is a target of the toolbar. A window whose own
// request is ViewRecord gets no updates from its lists. The list attaches to
// its control when the manager's window is open.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "expression.h"
#include "filemanager.h"
#include "listcontrol.h"
#include "queue.h"
#include "steps.h"
#include "view.h"
#include "windowmanager.h"

class Window;

namespace lst {

class QueryClass;

// Directions of Fetch.
enum : int { FillForward = 1, FillBackward = 2 };

class BrowseClass : public WindowComponent {
  public:
    BrowseClass();
    virtual ~BrowseClass();
    BrowseClass(const BrowseClass&) = delete;
    BrowseClass& operator=(const BrowseClass&) = delete;

    // ---- set-up -------------------------------------------------------------
    // The list control, the queue's position field, the view, the queue, the
    // table's relation object and the window's manager.
    virtual void Init(int listControl, FieldRef position, ViewClass& view, QueueClass& queue,
                      RelationManager& relation, WindowManager& manager);
    void Kill() override;

    // A sort order by key (none: the view's file order) with a step object for
    // the thumb (none: the thumb shows only the top and the bottom). Its
    // number, from 1.
    int AddSortOrder(StepClass* step = nullptr, const KEY& key = {});
    int AddSortOrder(const KEY& key) { return AddSortOrder(nullptr, key); }
    // The locator of the last sort order added.
    void AddLocator(LocatorClass* locator);
    // A table field shown through a queue field (the view reads it).
    void AddField(FieldRef tableField, FieldRef queueField);
    template <typename T, typename Q>
    void AddField(T& tableField, Q& queueField) {
        AddField(ref(tableField), ref(queueField));
    }
    // The last sort order shows only the rows whose `field` equals the field
    // joined to it in the current record of `parent` (through the relation
    // between `child`, this list's table, and `parent`): the children of the
    // parent's current row. The list is read again whenever that value changes.
    void AddRange(FieldRef field, RelationManager& child, RelationManager& parent);
    template <typename T>
    void AddRange(T& field, RelationManager& child, RelationManager& parent) {
        AddRange(ref(field), child, parent);
    }
    // Appends order items to the last sort order: "+KAL:NAME,-KAL:ID", or an
    // expression ("200-FuzzyMatch(FuzzyQuery9,KAL:name)"), ascending unless
    // it starts with "-".
    void AppendOrder(const QString& order);
    // Only rows for which the filter holds (empty: all rows). Applied at the
    // next reset.
    void SetFilter(std::function<bool()> filter);
    bool SetFilter(const QString& expression, QString* error = nullptr);

    // ---- orders -------------------------------------------------------------
    // Puts sort order `order` in force and reads the list again (keeping the
    // current record) when it was not in force or when `force`. 1 when it did.
    virtual BYTE SetSort(int order, bool force);
    // Chooses the order to be in force; by default the one in force (or 1).
    virtual BYTE ResetSort(bool force);
    // Replaces the order in force by another ("+CON:NAME", "-KAL:UTVDATA") with
    // its own locator and step object, until RestoreSort or SetSort. A locator
    // moved to the new order's field (SetLocatorFromSort) searches its own field
    // again afterwards.
    void ReplaceSort(const QString& order, LocatorClass* locator, StepClass* step = nullptr);
    void RestoreSort();
    // The locator in force then searches the first field of the replacing order.
    void SetLocatorFromSort();
    int CurrentOrder() const { return order_; }
    bool SortReplaced() const { return replaced_.has_value(); }

    // ---- rows ---------------------------------------------------------------
    // Copies the view's fields of the row just read into the queue's buffer.
    virtual void SetQueueRecord();
    // Reads the page after (FillForward) or before (FillBackward) the rows shown.
    virtual void Fetch(int direction);
    // The whole record of the current row into the record buffer.
    virtual void UpdateViewRecord();
    // Reads the rows again; the current record stays current when it exists.
    virtual void ResetQueue();
    // Reads the rows again from the first.
    void ResetFromTop();
    // The current row, 0 none.
    int CurrentRow() const;
    int Records() const;

    // ---- events and updates --------------------------------------------------
    // Every event of the window, after the window's own handlers.
    int TakeEvent() override;
    // The window resets: the order is chosen again (ResetSort), and read again
    // with `force`.
    void Reset(bool force) override;
    // After every event: the order chosen again (a new tab, a parent row
    // moved) and the screen brought up to date.
    void UpdateWindow() override;
    // The current row's whole record into the record buffer.
    void Update() override { UpdateViewRecord(); }
    bool TakeToolbar(int button) override;
    // The keys and the popup menu of the list.
    void SetAlerts() override;
    void SetUsePopup(bool on) { UsePopup = on; }
    // Calls the form for a request through the manager, then shows the rows
    // again with the record it left current, and tells the list (NewSelection).
    virtual void Ask(int request);

    ListControl& List() { return list_; }
    ViewClass* View() const { return view_; }
    QueueClass* Queue() const { return queue_; }

    // ---- query by example ---------------------------------------------------
    // Opens the query window (the query button was pressed); when the user
    // confirms, puts the query in force. True when the query changed.
    virtual bool TakeQuery();
    // Puts the query's conditions in force (none: every row) and reads the
    // list again from the top, in the order in force.
    virtual void ApplyQuery();
    // True while a query with conditions limits the rows.
    bool QueryActive() const { return queryApplied_; }

    // The button that opens the query window (0: none) and the query.
    int QueryControl = 0;
    QueryClass* Query = nullptr;

    // The update buttons (0: none); the form number given to Run.
    int InsertControl = 0;
    int ChangeControl = 0;
    int DeleteControl = 0;
    int AskProcedure = 0;
    // The popup menu is used, and the keys and popup entries edit rows.
    bool UsePopup = true;
    bool EditViaPopup = true;

  private:
    struct Range {
        FieldRef field;
        FieldRef parentField;  // joined field of the parent's record
        Value used;            // the value of the last reading
    };
    struct Order {
        KEY key;
        StepClass* step = nullptr;
        LocatorClass* locator = nullptr;
        QString text;
        std::vector<Range> ranges;
    };
    struct Replacement {
        QString text;
        LocatorClass* locator = nullptr;
        StepClass* step = nullptr;
        FieldRef element;  // what the locator searched before
    };

    bool attach();
    int windowRequest() const;
    void show();
    bool takeInput(rt::Event& e);
    void applyOrder();
    bool rangesChanged() const;
    int pageSize() const;
    ViewPosition positionOf(int row) const;
    int readInto(const ViewPosition* from, bool forward, bool inclusive, int n, bool prepend);
    bool hasRowBefore(const ViewPosition& p);
    int fillFrom(const ViewPosition* from, bool inclusive, int rowsAbove);
    void fillAround(RecordPointer ptr, const ViewPosition& fallback, int row);
    int extend(bool forward, int want);
    void scrollRows(int delta);
    void scrollEnd(bool bottom);
    void dragTo(int percent);
    void locate(const Value& v);
    void updateThumb();
    void newSelection();
    StepClass* step() const;
    LocatorClass* locator() const;

    ListControl list_;
    WindowManager* manager_ = nullptr;
    ViewClass* view_ = nullptr;
    QueueClass* queue_ = nullptr;
    RelationManager* relation_ = nullptr;
    int control_ = 0;
    int positionField_ = -1;
    std::vector<std::pair<FieldRef, FieldRef>> fields_;
    std::vector<Order> orders_;
    int order_ = 0;
    bool applied_ = false;
    std::optional<Replacement> replaced_;
    std::unique_ptr<Expression> orderExpression_;
    std::function<bool()> filter_;
    std::unique_ptr<Expression> filterExpression_;
    std::function<bool()> queryFilter_;
    bool queryApplied_ = false;
    bool atTop_ = true;
    bool atBottom_ = true;
};

}  // namespace lst

#pragma once
// Column headers that sort a list, and columns that fit their contents.
//
// SortHeaderClassType: a click on a column header asks for the list in the
// order of that column's field ("+CON:NAME"), a second click on the same
// header for the reverse order ("-CON:NAME"), a third for no header sort ("").
// QueueResorted(sort string) is told each time; a list read a page at a time
// overrides it to put the order in force (BrowseClass::ReplaceSort, or
// RestoreSort for the empty string). ClearSort drops a header sort (a new key
// order was chosen). With an INI file and a procedure name the sort in force
// is kept there when the window closes and comes back when it opens; with
// empty names nothing is kept.
//
// AutoSizeColumnClassType: a double click on the divider of a column's header
// fits the column to what it shows; ResizeAll fits every column (after a new
// font size).

#include <QString>
#include <vector>

#include "format.h"
#include "queue.h"
#include "table.h"

class Window;
class ViewClass;

namespace lst {

class SortHeaderClassType {
  public:
    virtual ~SortHeaderClassType() = default;

    // The list (a control of the thread's current window) and its queue; the
    // names under which the sort is kept; the view and key are those the list
    // reads.
    void Init(QueueClass& queue, int listControl, const QString& iniFile, const QString& procedure,
              ViewClass* view = nullptr, const KEY& key = {});
    // 1 when the event was a click on the list's header (and was handled).
    int TakeEvents();
    void SetAlerts() {}
    // Drops the header sort: its mark goes and QueueResorted("") is told.
    void ClearSort();
    void Kill();
    virtual void QueueResorted(const QString& sortString);

    // The sort in force ("" none).
    QString SortString() const;

  private:
    void setMark();
    QString columnField(int column) const;

    Window* window_ = nullptr;
    QueueClass* queue_ = nullptr;
    int control_ = 0;
    Format format_;
    QString iniFile_;
    QString procedure_;
    int column_ = 0;  // 1-based; 0 none
    bool descending_ = false;
    QString pending_;  // a kept sort to bring back at the first event
};

class AutoSizeColumnClassType {
  public:
    void Init();
    // A list of the thread's current window.
    void AddListBox(int listControl, QueueClass& queue);
    // 1 when the event asked a column of one of the lists to fit (and it did).
    int TakeEvents();
    void ResizeAll();
    void Kill();

  private:
    struct Entry {
        Window* window;
        int control;
    };
    std::vector<Entry> lists_;
};

}  // namespace lst

#pragma once
// The list control as its procedure sees it: a window's `list` control showing
// a queue through its format string.
//
// The procedure thread owns the queue. display() turns the queue's rows into
// the texts, icons, styles and colours the format asks for and sends that
// snapshot to the GUI thread, which only draws it; the GUI sends back what the
// user does as events of the control:
//   NewSelection (value: the row now current), ScrollUp, ScrollDown, PageUp,
//   PageDown, ScrollTop, ScrollBottom, ScrollDrag (value: the thumb, 0..100),
//   Locate (value: the text typed), HeaderPressed (value: the column),
//   ColumnResize (value: the column whose divider was double-clicked),
//   Accepted (Enter: keycode Key::Enter; a double click: ListKey::MouseLeft2),
//   AlertKey (the keys alerted for the list, and the popup menu's entries).
//
// A list is either plain (the queue holds all its rows; the control scrolls
// them itself) or paged (the queue holds the rows that fit, and a reader such
// as BrowseClass loads others on the scroll events; the control then also
// reports ListEvent::PageSize, the number of rows that fit).
//
// List styles are indexed properties of the control:
//   QuickWindow[BROWSE_1](PROPSTYLE::FontName, 1) = u"Arial Cyr";
// icons come from PROP::IconList, line height from PROP::LineHeight.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "format.h"
#include "queue.h"
#include "ui/events.h"

class Window;
class WindowManager;
namespace rt {
struct Event;
}

namespace lst {

// Events the list adds to the runtime's.
namespace ListEvent {
enum : int {
    PageSize = 0x1F0,  // value: the rows that fit (paged lists only)
};
}

// Key codes the list adds: a double click of the left button.
namespace ListKey {
enum : int { MouseLeft2 = 5 };
}

// Style properties of a list, indexed by the style's number.
namespace PROPSTYLE {
inline constexpr PROP FontName = PROP(0x301);
inline constexpr PROP FontSize = PROP(0x302);
inline constexpr PROP FontStyle = PROP(0x303);  // FONT:: weight and flags
inline constexpr PROP TextColor = PROP(0x304);
inline constexpr PROP BackColor = PROP(0x305);
inline constexpr PROP TextSelected = PROP(0x306);
inline constexpr PROP BackSelected = PROP(0x307);
}  // namespace PROPSTYLE

// One cell as the screen shows it.
struct Cell {
    QString text;
    int icon = 0;                      // number in the icon list; 0 none
    int style = 0;                     // list style; 0 the list's own
    int colors[4] = {-1, -1, -1, -1};  // text, background, selected text, selected background
    friend bool operator==(const Cell& a, const Cell& b) {
        return a.text == b.text && a.icon == b.icon && a.style == b.style &&
               std::equal(std::begin(a.colors), std::end(a.colors), std::begin(b.colors));
    }
};
using Rows = std::vector<std::vector<Cell>>;

// What the GUI is sent to draw.
struct Snapshot {
    std::uint64_t seen = 0;            // input events of the list taken so far
    std::shared_ptr<const Rows> rows;  // null: the rows are those sent last
    int current = 0;                   // 1-based; 0 none
    bool paged = false;
    int thumb = 0;                       // 0..100
    bool atTop = true, atBottom = true;  // the first / last row of all is shown
};

// Makes the runtime build lists with the list layer's widget. Called by every
// ListControl; programs call it once at start so that lists opened before any
// ListControl exists get it too.
void installListControl();

class ListControl {
  public:
    ListControl();
    ~ListControl();
    ListControl(const ListControl&) = delete;
    ListControl& operator=(const ListControl&) = delete;

    // Attaches to `control` of `window` and its queue. The format string is read
    // now; a fault is reported (naming the control) and the list shows no
    // columns. False in that case.
    bool Init(Window& window, int control, QueueClass& queue);
    // For a companion of a window manager: Init on the manager's window as soon
    // as it is open (at once when it is), with `handler` as the input handler.
    // True once attached.
    bool attach(WindowManager& manager, int control, QueueClass& queue,
                std::function<bool(rt::Event&)> handler);
    bool attached() const;
    // Detaches (the window may go on without the list).
    void Kill();

    bool valid() const;
    const Format& format() const;
    Window* window() const;
    int control() const;
    QueueClass* queue() const;

    // The current row (1-based; 0 when the queue is empty).
    int current() const;
    void setCurrent(int row);

    // Paged lists: the rows that fit (0 until the GUI said).
    void setPaged(bool on);
    bool paged() const;
    int pageSize() const;
    void setThumb(int percent, bool atTop, bool atBottom);

    // Keys the list itself reports as AlertKey.
    void alert(int keycode);
    void alertClear();
    bool alerted(int keycode) const;
    // The popup menu: entries and the key each stands for (an empty text is a
    // separator). An empty list: no popup.
    void setPopup(const std::vector<std::pair<QString, int>>& entries);
    // The sort mark of a column's header (0: none).
    void setSortMark(int column, bool descending);
    // Fits a column (0: all) to its contents.
    void fitColumns(int column = 0);

    // Called on the owning thread for each input event of the list, after the
    // list took it and before the program sees it (a reader moves its page
    // here, so that the program's handlers see the row the event arrived at);
    // returns false to keep the event from the program.
    void setInputHandler(std::function<bool(rt::Event&)> handler);

    // Sends the rows and the current row to the screen if they changed.
    void display();
    // Forces the next display() to send everything.
    void invalidate();

    struct State;

  private:
    std::shared_ptr<State> s_;
};

}  // namespace lst

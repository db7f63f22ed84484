#pragma once
// What the GUI side's source files share: the process's GUI state and the
// helpers of more than one of them. Internal to the runtime; GUI thread only.
//
//   gui.cpp            the GUI state, its lookups, dialogs, the procedure side's entries
//   guiinput.cpp       the user's input (keys, mouse, focus) turned into events
//   guikeys.cpp        the key map
//   guiwindow.cpp      a window: building, menus, standard actions, focus, placement
//   guicontrols.cpp    the widget of each kind of control, its input and display
//   guiproperties.cpp  properties set by the procedure side

#include <QObject>
#include <QPointer>
#include <map>
#include <vector>

#include "gui.h"

namespace rt::detail {

struct DialogEntry {
    QPointer<QWidget> widget;
    int thread = 0;
    bool blocks = false;
};

// The process's GUI state: open windows, dialogs, the frame, SYSTEM settings.
class GuiHost : public QObject {
  public:
    std::map<quint64, GuiWindow*> windows;
    std::map<int, std::vector<quint64>> order;  // per thread, oldest first
    std::vector<DialogEntry> dialogs;
    QPointer<QMainWindow> frame;
    quint64 frameId = 0;
    bool noTips = false;
    int tipMs = -1;
    QObject* input = nullptr;  // the filter of the user's input (a child)

    // A thread's windows take input while neither a newer window of the
    // thread nor one of its blocking dialogs is open.
    void refreshBlocked(int thread);
    void dropDialog(QObject* o);
};

// Null while no GUI runs.
GuiHost* guiHost();

// The application-wide filter that turns the user's input into events.
QObject* makeInputFilter(QObject* parent);

// A title as shown: without the padding of the fixed-width fields it is
// often built from.
QString shownTitle(const QString& title);

}  // namespace rt::detail

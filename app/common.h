#pragma once
// What the program's windows share: the lists and forms of the catalogue and
// of the document library open, place and close themselves alike.

#include <QString>

#include "app/globals.h"
#include "resizer.h"
#include "windowmanager.h"

class ToolbarClass;
class Window;

// The resizer of the program's windows: the platform's Init, then every
// control takes part with the window's strategy.
class ParentDefaultsResizer : public WindowResizeClass {
  public:
    void Init(int appStrategy, bool setMinSize, bool setMaxSize) override {
        WindowResizeClass::Init(appStrategy, setMinSize, setMaxSize);
        SetParentDefaults();
    }
};

// The first steps of a window's Init: the procedure named in error reports,
// the request taken from GlobalRequest, the platform's Init (a level other
// than 0 is returned at once and the window does not open), the first field,
// the thread's VCRRequest and GlobalErrors, the toolbar, GlobalRequest and
// GlobalResponse cleared.
int BeginInit(WindowManager& w, const char16_t* procedure, int firstField, ToolbarClass& toolbar);

// The resizer (strategy 2, minimum size kept) and the placement the INI file
// keeps under the procedure's name, once the window is open.
void PlaceWindow(WindowManager& w, ParentDefaultsResizer& resizer, const char16_t* procedure,
                 Window& window);

// The last steps of Kill: the placement kept when the window was open, the
// procedure's name dropped from error reports.
void EndKill(WindowManager& w, const char16_t* procedure, Window& window);

// ---- forms ------------------------------------------------------------------

// The actions of a form by its request: viewing allows no update and cancels
// without asking; otherwise changes and cancels ask first, `okControl`
// completes, and PrimeUpdate prepares the record (a delete is carried out
// there). Not 0: the window does not open.
int SetFormActions(WindowManager& w, int okControl);

// "Просмотреть", "Добавить" or "Изменить" for the request; empty for others.
QString ActionMessage(int request);

// After the platform's TakeAccepted of a form: the controls into the record
// when `okControl` was pressed, and a viewing form closed by it.
void TakeFormOk(WindowManager& w, int okControl, Window& window);

#pragma once
// What the program's windows share: the lists and forms of the catalogue and
// of the document library open, place and close themselves alike, and the
// forms over one record run the same steps around their own.

#include <QString>
#include <memory>
#include <vector>

#include "app/globals.h"
#include "core/values.h"
#include "resizer.h"
#include "windowmanager.h"

class FileManager;
class RelationManager;
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

// A form over one record of one table (a base, a topic, a bookmark): what it
// declares for the steps below.
struct RecordForm {
    const char16_t* procedure;  // in error reports and the INI file
    int firstField;
    std::vector<FieldRef> record;   // the table's record buffer, field by field
    std::vector<FieldRef> history;  // the thread's history record: the same fields
    // The controls of history fields 1, 2, ... in turn; Ctrl+H restores them.
    std::vector<int> historyControls;
    FileManager* updateFile;   // inserts go there
    RelationManager* primary;  // opened with its related tables; changes and deletes
    int okControl;
    int cancelControl;
    std::vector<int> readOnlyWhenViewing;
    std::vector<int> disabledWhenViewing;
};

// The window manager of such a form; its ThisWindow derives from it and adds
// what is its own (Ask at least).
class RecordFormManager : public WindowManager {
  public:
    RecordFormManager(const RecordForm& form, ToolbarClass& toolbar, ParentDefaultsResizer& resizer,
                      Window& window)
        : form_(form), toolbar_(toolbar), resizer_(resizer), window_(window) {}
    using WindowManager::Run;
    // BeginInit, the history, the update file, the cancel control, the tables
    // opened, the actions (SetFormActions: not 0 and the window does not
    // open), the window opened (read-only and disabled controls when
    // viewing), placed, and its keys alerted.
    int Init() override;
    // The platform's, but a viewing form never completes.
    int Run() override;
    // The platform's, then TakeFormOk; the platform's level.
    int TakeAccepted() override;
    // The platform's (not 0: nothing else), the tables closed, EndKill.
    int Kill() override;

  private:
    const RecordForm& form_;
    ToolbarClass& toolbar_;
    ParentDefaultsResizer& resizer_;
    Window& window_;
};

// The body of a form procedure: its objects made, ThisWindow run with the
// answer in GlobalResponse, the window closed and the objects freed.
template <class Procedure>
void RunFormProcedure() {
    auto p = std::make_unique<Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

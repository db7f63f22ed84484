// UpDateRub: the form of one topic (a row of RUBRIKA), called by the topic
// list on its own thread to view, add, change or delete a topic. It writes
// through the topic's relation object: a new code is carried to the topic's
// bases, and a topic that still has bases is not deleted.

#include "controls/kaldo008.h"
#include "app/common.h"
#include "app/globals.h"
#include "bases.h"
#include "dictionary.h"
#include "toolbar.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo008 {

// The values the user last saved with this form on this thread, field by field
// (cleared when the thread starts).
thread_local RUBRIKA_Record HISTORY_RUB_RECORD;

std::vector<FieldRef> fieldsOf(RUBRIKA_Record& r) {
    return {ref(r.KOD), ref(r.NAME1), ref(r.NAME2), ref(r.RTG)};
}

struct Procedure;

class ThisWindowClass : public RecordFormManager {
  public:
    explicit ThisWindowClass(Procedure& p);
    void Ask() override;

  private:
    Procedure& p_;
};

struct Procedure {
    CSTRING<40> ActionMessage;
    Window QuickWindow{u"kaldor$kaldo008", u"P1$QUICKWINDOW"};
    ThisWindowClass ThisWindow{*this};
    ToolbarClass Toolbar;
    ParentDefaultsResizer Resizer;
    RecordForm Form{.procedure = u"UpDateRub",
                    .firstField = RUB_KOD_PROMPT,
                    .record = fieldsOf(RUB),
                    .history = fieldsOf(HISTORY_RUB_RECORD),
                    .historyControls = {RUB_KOD, RUB_NAME1, RUB_NAME2},
                    .updateFile = Access_RUBRIKA,
                    .primary = Relate_RUBRIKA,
                    .okControl = OK,
                    .cancelControl = CANCEL,
                    .readOnlyWhenViewing = {RUB_KOD, RUB_NAME1, RUB_NAME2},
                    .disabledWhenViewing = {}};

    Procedure() {
        QuickWindow.bind(RUB_KOD, ref(RUB.KOD));
        QuickWindow.bind(RUB_NAME1, ref(RUB.NAME1));
        QuickWindow.bind(RUB_NAME2, ref(RUB.NAME2));
    }
};

ThisWindowClass::ThisWindowClass(Procedure& p)
    : RecordFormManager(p.Form, p.Toolbar, p.Resizer, p.QuickWindow), p_(p) {}

void ThisWindowClass::Ask() {
    p_.ActionMessage = ActionMessage(Request);
    // The second zone of a status bar the window does not have: the title
    // stays the form's own.
    p_.QuickWindow(PROP::StatusText, 2) = p_.ActionMessage.str();
    WindowManager::Ask();
}

}  // namespace kaldo008

void UpDateRub() {
    RunFormProcedure<kaldo008::Procedure>();
}

// UpDateBD: the form of one document base (a row of CONFIG), called by the base
// lists on their own thread to view, add, change or delete a base. Its one
// control of its own chooses the base's folder in a folder dialog.

#include "controls/kaldo005.h"
#include "app/common.h"
#include "app/globals.h"
#include "bases.h"
#include "dictionary.h"
#include "toolbar.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo005 {

// The values the user last saved with this form on this thread, field by field
// (cleared when the thread starts).
thread_local CONFIG_Record HISTORY_CON_RECORD;

std::vector<FieldRef> fieldsOf(CONFIG_Record& r) {
    return {ref(r.KOD), ref(r.ID), ref(r.PATH), ref(r.NAME), ref(r.RTG), ref(r.ON_OFF)};
}

struct Procedure;

class ThisWindowClass : public RecordFormManager {
  public:
    explicit ThisWindowClass(Procedure& p);
    void Ask() override;
    int TakeAccepted() override;

  private:
    Procedure& p_;
};

struct Procedure {
    CSTRING<40> ActionMessage;
    Window QuickWindow{u"kaldor$kaldo005", u"P1$QUICKWINDOW"};
    ThisWindowClass ThisWindow{*this};
    ToolbarClass Toolbar;
    ParentDefaultsResizer Resizer;
    RecordForm Form{.procedure = u"UpDateBD",
                    .firstField = CON_KOD_PROMPT,
                    .record = fieldsOf(CON),
                    .history = fieldsOf(HISTORY_CON_RECORD),
                    .historyControls = {CON_KOD, CON_ID, CON_PATH, CON_NAME, CON_RTG, CON_ON_OFF},
                    .updateFile = Access_CONFIG,
                    .primary = Relate_CONFIG,
                    .okControl = OK,
                    .cancelControl = CANCEL,
                    .readOnlyWhenViewing = {CON_KOD, CON_ID, CON_PATH, CON_NAME, CON_RTG},
                    .disabledWhenViewing = {BUTTON3}};

    Procedure() {
        QuickWindow.bind(CON_KOD, ref(CON.KOD));
        QuickWindow.bind(CON_ID, ref(CON.ID));
        QuickWindow.bind(CON_PATH, ref(CON.PATH));
        QuickWindow.bind(CON_NAME, ref(CON.NAME));
        QuickWindow.bind(CON_RTG, ref(CON.RTG));
        QuickWindow.bind(CON_ON_OFF, ref(CON.ON_OFF));
    }
};

ThisWindowClass::ThisWindowClass(Procedure& p)
    : RecordFormManager(p.Form, p.Toolbar, p.Resizer, p.QuickWindow), p_(p) {}

void ThisWindowClass::Ask() {
    p_.ActionMessage = ActionMessage(Request);
    p_.QuickWindow[PROP::Text] = p_.ActionMessage.str();
    WindowManager::Ask();
}

int ThisWindowClass::TakeAccepted() {
    const int level = RecordFormManager::TakeAccepted();
    if (ACCEPTED() == BUTTON3) {
        // What was typed reaches the record first, so that it survives the
        // dialog whatever the user answers.
        Update();
        FILEDIALOG(u"Выбрать путь", ref(CON.PATH), u"", FILEDLG::Directory);
        DISPLAY();
    }
    return level;
}

}  // namespace kaldo005

void UpDateBD() {
    RunFormProcedure<kaldo005::Procedure>();
}

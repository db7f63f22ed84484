// UpDateRub: the form of one topic (a row of RUBRIKA), called by the topic
// list on its own thread to view, add, change or delete a topic. It writes
// through the topic's relation object: a new code is carried to the topic's
// bases, and a topic that still has bases is not deleted.

#include <memory>

#include "app/common.h"
#include "app/globals.h"
#include "bases.h"
#include "dictionary.h"
#include "toolbar.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo008 {

enum : int {
    CURRENTTAB = 1,
    TAB_1,
    RUB_KOD_PROMPT,
    RUB_KOD,
    RUB_NAME1_PROMPT,
    RUB_NAME1,
    RUB_NAME2,
    OK,
    CANCEL,
};

// The values the user last saved with this form on this thread, field by field.
thread_local RUBRIKA_Record HISTORY_RUB_RECORD;
thread_local bool historySetUp = false;

std::vector<FieldRef> fieldsOf(RUBRIKA_Record& r) {
    return {ref(r.KOD), ref(r.NAME1), ref(r.NAME2), ref(r.RTG)};
}

struct Procedure;

class ThisWindowClass : public WindowManager {
  public:
    explicit ThisWindowClass(Procedure& p) : p_(p) {}
    using WindowManager::Run;
    int Init() override;
    int Kill() override;
    void Ask() override;
    int Run() override;
    int TakeAccepted() override;

  private:
    Procedure& p_;
};

struct Procedure {
    CSTRING<40> ActionMessage;
    Window QuickWindow{u"kaldor$kaldo008", u"P1$QUICKWINDOW"};
    ThisWindowClass ThisWindow{*this};
    ToolbarClass Toolbar;
    ParentDefaultsResizer Resizer;

    Procedure() {
        QuickWindow.bind(RUB_KOD, ref(RUB.KOD));
        QuickWindow.bind(RUB_NAME1, ref(RUB.NAME1));
        QuickWindow.bind(RUB_NAME2, ref(RUB.NAME2));
    }
};

int ThisWindowClass::Init() {
    const int level = BeginInit(*this, u"UpDateRub", RUB_KOD_PROMPT, p_.Toolbar);
    if (level != Level::Benign)
        return level;
    HistoryKey = Key::Ctrl + Key::letter('H');
    AddHistoryFile(fieldsOf(RUB), fieldsOf(HISTORY_RUB_RECORD));
    AddHistoryField(RUB_KOD, 1);
    AddHistoryField(RUB_NAME1, 2);
    AddHistoryField(RUB_NAME2, 3);
    AddUpdateFile(*Access_RUBRIKA);
    AddItem(CANCEL, RequestCancelled);
    Relate_RUBRIKA->SetOpenRelated();
    Relate_RUBRIKA->Open();
    FilesOpened = true;
    Primary = Relate_RUBRIKA;
    if (SetFormActions(*this, OK) != Level::Benign)
        return Level::Notify;
    Open(p_.QuickWindow);
    if (Request == ViewRecord) {
        for (int c : {RUB_KOD, RUB_NAME1, RUB_NAME2})
            p_.QuickWindow[c][PROP::ReadOnly] = 1;
    }
    PlaceWindow(*this, p_.Resizer, u"UpDateRub", p_.QuickWindow);
    SetAlerts();
    return level;
}

void ThisWindowClass::Ask() {
    p_.ActionMessage = ActionMessage(Request);
    // The second zone of a status bar the window does not have: the title
    // stays the form's own.
    p_.QuickWindow(PROP::StatusText, 2) = p_.ActionMessage.str();
    WindowManager::Ask();
}

int ThisWindowClass::Run() {
    const int response = WindowManager::Run();
    return Request == ViewRecord ? int(RequestCancelled) : response;
}

int ThisWindowClass::TakeAccepted() {
    const int level = WindowManager::TakeAccepted();
    TakeFormOk(*this, OK, p_.QuickWindow);
    return level;
}

int ThisWindowClass::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    if (FilesOpened)
        Relate_RUBRIKA->Close();
    EndKill(*this, u"UpDateRub", p_.QuickWindow);
    return level;
}

}  // namespace kaldo008

void UpDateRub() {
    using namespace kaldo008;
    if (!historySetUp) {
        HISTORY_RUB_RECORD = RUBRIKA_Record();
        historySetUp = true;
    }
    auto p = std::make_unique<Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

// UpDateBD: the form of one document base (a row of CONFIG), called by the base
// lists on their own thread to view, add, change or delete a base. Its one
// control of its own chooses the base's folder in a folder dialog.

#include <memory>

#include "app/common.h"
#include "app/globals.h"
#include "bases.h"
#include "dictionary.h"
#include "toolbar.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo005 {

enum : int {
    CURRENTTAB = 1,
    TAB_1,
    CON_KOD_PROMPT,
    CON_KOD,
    CON_ID_PROMPT,
    CON_ID,
    CON_PATH_PROMPT,
    CON_PATH,
    BUTTON3,
    CON_NAME_PROMPT,
    CON_NAME,
    CON_RTG_PROMPT,
    CON_RTG,
    CON_ON_OFF,
    OK,
    CANCEL,
};

// The values the user last saved with this form on this thread, field by field.
thread_local CONFIG_Record HISTORY_CON_RECORD;
thread_local bool historySetUp = false;

std::vector<FieldRef> fieldsOf(CONFIG_Record& r) {
    return {ref(r.KOD), ref(r.ID), ref(r.PATH), ref(r.NAME), ref(r.RTG), ref(r.ON_OFF)};
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
    Window QuickWindow{u"kaldor$kaldo005", u"P1$QUICKWINDOW"};
    ThisWindowClass ThisWindow{*this};
    ToolbarClass Toolbar;
    ParentDefaultsResizer Resizer;

    Procedure() {
        QuickWindow.bind(CON_KOD, ref(CON.KOD));
        QuickWindow.bind(CON_ID, ref(CON.ID));
        QuickWindow.bind(CON_PATH, ref(CON.PATH));
        QuickWindow.bind(CON_NAME, ref(CON.NAME));
        QuickWindow.bind(CON_RTG, ref(CON.RTG));
        QuickWindow.bind(CON_ON_OFF, ref(CON.ON_OFF));
    }
};

int ThisWindowClass::Init() {
    const int level = BeginInit(*this, u"UpDateBD", CON_KOD_PROMPT, p_.Toolbar);
    if (level != Level::Benign)
        return level;
    HistoryKey = Key::Ctrl + Key::letter('H');
    AddHistoryFile(fieldsOf(CON), fieldsOf(HISTORY_CON_RECORD));
    AddHistoryField(CON_KOD, 1);
    AddHistoryField(CON_ID, 2);
    AddHistoryField(CON_PATH, 3);
    AddHistoryField(CON_NAME, 4);
    AddHistoryField(CON_RTG, 5);
    AddHistoryField(CON_ON_OFF, 6);
    AddUpdateFile(*Access_CONFIG);
    AddItem(CANCEL, RequestCancelled);
    Relate_CONFIG->SetOpenRelated();
    Relate_CONFIG->Open();
    FilesOpened = true;
    Primary = Relate_CONFIG;
    if (SetFormActions(*this, OK) != Level::Benign)
        return Level::Notify;
    Open(p_.QuickWindow);
    if (Request == ViewRecord) {
        for (int c : {CON_KOD, CON_ID, CON_PATH, CON_NAME, CON_RTG})
            p_.QuickWindow[c][PROP::ReadOnly] = 1;
        p_.QuickWindow.disable(BUTTON3);
    }
    PlaceWindow(*this, p_.Resizer, u"UpDateBD", p_.QuickWindow);
    SetAlerts();
    return level;
}

void ThisWindowClass::Ask() {
    p_.ActionMessage = ActionMessage(Request);
    p_.QuickWindow[PROP::Text] = p_.ActionMessage.str();
    WindowManager::Ask();
}

int ThisWindowClass::Run() {
    const int response = WindowManager::Run();
    return Request == ViewRecord ? int(RequestCancelled) : response;
}

int ThisWindowClass::TakeAccepted() {
    const int level = WindowManager::TakeAccepted();
    if (ACCEPTED() == BUTTON3) {
        // What was typed reaches the record first, so that it survives the
        // dialog whatever the user answers.
        Update();
        FILEDIALOG(u"Выбрать путь", ref(CON.PATH), u"", FILEDLG::Directory);
        DISPLAY();
    }
    TakeFormOk(*this, OK, p_.QuickWindow);
    return level;
}

int ThisWindowClass::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    if (FilesOpened)
        Relate_CONFIG->Close();
    EndKill(*this, u"UpDateBD", p_.QuickWindow);
    return level;
}

}  // namespace kaldo005

void UpDateBD() {
    using namespace kaldo005;
    if (!historySetUp) {
        HISTORY_CON_RECORD = CONFIG_Record();
        historySetUp = true;
    }
    auto p = std::make_unique<Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

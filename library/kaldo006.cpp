// UpdateZk: the form of one bookmark (a row of ZAMETKA), called by the bookmark
// list of the card form on its own thread to view, add, change or delete a
// bookmark of the card in the thread's KALDOR buffer.

#include <memory>

#include "app/common.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "dictionary.h"
#include "toolbar.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo006 {

enum : int {
    CURRENTTAB = 1,
    TAB_1,
    ZAM_ID_PROMPT,
    ZAM_ID,
    ZAM_IDDOK_PROMPT,
    ZAM_IDDOK,
    ZAM_ZAKLAD_PROMPT,
    ZAM_ZAKLAD,
    ZAM_POTEXT_PROMPT,
    ZAM_POTEXT,
    OK,
    CANCEL,
};

// The values the user last saved with this form on this thread, field by field.
thread_local ZAMETKA_Record HISTORY_ZAM_RECORD;
thread_local bool historySetUp = false;

std::vector<FieldRef> fieldsOf(ZAMETKA_Record& r) {
    return {ref(r.ID), ref(r.IDDOK), ref(r.ZAKLAD), ref(r.POTEXT)};
}

// Whether a card numbered `id` is there for a bookmark to belong to: the card
// in the thread's KALDOR buffer (the caller's, perhaps not written yet) or a
// card of the base. The caller's buffer and its current record are left as
// they were, since the card form writes that card later.
bool cardExists(LONG id) {
    if (id == 0)
        return false;
    if (KAL.ID == id)
        return true;
    const RecordPointer current = KALDOR.current();
    const RecordImage card = KALDOR.saveRecord();
    KAL.ID = id;
    const bool found = KALDOR.readByKey(KAL_K1.index);
    KALDOR.restoreRecord(card);
    KALDOR.setCurrent(current);
    return found;
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
    // A bookmark is written only for a card that is there; otherwise the user
    // is told and the card's number is to be corrected.
    bool cardLinkHolds();

    Procedure& p_;
};

struct Procedure {
    CSTRING<40> ActionMessage;
    Window QuickWindow{u"kaldor$kaldo006", u"P1$QUICKWINDOW"};
    ThisWindowClass ThisWindow{*this};
    ToolbarClass Toolbar;
    ParentDefaultsResizer Resizer;

    Procedure() {
        QuickWindow.bind(ZAM_ID, ref(ZAM.ID));
        QuickWindow.bind(ZAM_IDDOK, ref(ZAM.IDDOK));
        QuickWindow.bind(ZAM_ZAKLAD, ref(ZAM.ZAKLAD));
        QuickWindow.bind(ZAM_POTEXT, ref(ZAM.POTEXT));
    }
};

int ThisWindowClass::Init() {
    const int level = BeginInit(*this, u"UpdateZk", ZAM_ID_PROMPT, p_.Toolbar);
    if (level != Level::Benign)
        return level;
    HistoryKey = Key::Ctrl + Key::letter('H');
    AddHistoryFile(fieldsOf(ZAM), fieldsOf(HISTORY_ZAM_RECORD));
    AddHistoryField(ZAM_ID, 1);
    AddHistoryField(ZAM_IDDOK, 2);
    AddHistoryField(ZAM_ZAKLAD, 3);
    AddHistoryField(ZAM_POTEXT, 4);
    AddUpdateFile(*Access_ZAMETKA);
    AddItem(CANCEL, RequestCancelled);
    Relate_ZAMETKA->SetOpenRelated();
    Relate_ZAMETKA->Open();
    FilesOpened = true;
    Primary = Relate_ZAMETKA;
    if (SetFormActions(*this, OK) != Level::Benign)
        return Level::Notify;
    Open(p_.QuickWindow);
    if (Request == ViewRecord) {
        for (int c : {ZAM_ID, ZAM_IDDOK, ZAM_ZAKLAD, ZAM_POTEXT})
            p_.QuickWindow[c][PROP::ReadOnly] = 1;
    }
    PlaceWindow(*this, p_.Resizer, u"UpdateZk", p_.QuickWindow);
    SetAlerts();
    return level;
}

void ThisWindowClass::Ask() {
    if (const QString action = ActionMessage(Request); !action.isEmpty())
        p_.ActionMessage = action;
    p_.QuickWindow(PROP::StatusText, 2) = p_.ActionMessage.str();
    WindowManager::Ask();
}

int ThisWindowClass::Run() {
    const int response = WindowManager::Run();
    return Request == ViewRecord ? int(RequestCancelled) : response;
}

bool ThisWindowClass::cardLinkHolds() {
    if (cardExists(ZAM.IDDOK))
        return true;
    const QString text =
        ZAM.IDDOK == 0 ? QStringLiteral("Не указан iD документа, которому принадлежит закладка.")
                       : QStringLiteral(
                             "В базе нет документа с iD %1. Закладка должна принадлежать "
                             "документу базы.")
                             .arg(ZAM.IDDOK);
    MESSAGE(text, u"Форма редактирования закладки", ICON::Exclamation);
    p_.QuickWindow.select(ZAM_IDDOK);
    return false;
}

int ThisWindowClass::TakeAccepted() {
    // Checked before the platform writes the record: a bookmark of a card that
    // is not there would be listed under no card at all.
    if (ACCEPTED() == OK && (Request == InsertRecord || Request == ChangeRecord) &&
        !cardLinkHolds())
        return Level::Notify;
    const int level = WindowManager::TakeAccepted();
    TakeFormOk(*this, OK, p_.QuickWindow);
    return level;
}

int ThisWindowClass::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    if (FilesOpened)
        Relate_ZAMETKA->Close();
    EndKill(*this, u"UpdateZk", p_.QuickWindow);
    return level;
}

}  // namespace kaldo006

void UpdateZk() {
    using namespace kaldo006;
    if (!historySetUp) {
        HISTORY_ZAM_RECORD = ZAMETKA_Record();
        historySetUp = true;
    }
    auto p = std::make_unique<Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

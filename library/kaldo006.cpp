// UpdateZk: the form of one bookmark (a row of ZAMETKA), called by the bookmark
// list of the card form on its own thread to view, add, change or delete a
// bookmark of the card in the thread's KALDOR buffer.

#include "controls/kaldo006.h"
#include "app/common.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "dictionary.h"
#include "toolbar.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo006 {

// The values the user last saved with this form on this thread, field by field
// (cleared when the thread starts).
thread_local ZAMETKA_Record HISTORY_ZAM_RECORD;

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

class ThisWindowClass : public RecordFormManager {
  public:
    explicit ThisWindowClass(Procedure& p);
    void Ask() override;
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
    RecordForm Form{.procedure = u"UpdateZk",
                    .firstField = ZAM_ID_PROMPT,
                    .record = fieldsOf(ZAM),
                    .history = fieldsOf(HISTORY_ZAM_RECORD),
                    .historyControls = {ZAM_ID, ZAM_IDDOK, ZAM_ZAKLAD, ZAM_POTEXT},
                    .updateFile = Access_ZAMETKA,
                    .primary = Relate_ZAMETKA,
                    .okControl = OK,
                    .cancelControl = CANCEL,
                    .readOnlyWhenViewing = {ZAM_ID, ZAM_IDDOK, ZAM_ZAKLAD, ZAM_POTEXT},
                    .disabledWhenViewing = {}};

    Procedure() {
        QuickWindow.bind(ZAM_ID, ref(ZAM.ID));
        QuickWindow.bind(ZAM_IDDOK, ref(ZAM.IDDOK));
        QuickWindow.bind(ZAM_ZAKLAD, ref(ZAM.ZAKLAD));
        QuickWindow.bind(ZAM_POTEXT, ref(ZAM.POTEXT));
    }
};

ThisWindowClass::ThisWindowClass(Procedure& p)
    : RecordFormManager(p.Form, p.Toolbar, p.Resizer, p.QuickWindow), p_(p) {}

void ThisWindowClass::Ask() {
    if (const QString action = ActionMessage(Request); !action.isEmpty())
        p_.ActionMessage = action;
    p_.QuickWindow(PROP::StatusText, 2) = p_.ActionMessage.str();
    WindowManager::Ask();
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
    return RecordFormManager::TakeAccepted();
}

}  // namespace kaldo006

void UpdateZk() {
    RunFormProcedure<kaldo006::Procedure>();
}

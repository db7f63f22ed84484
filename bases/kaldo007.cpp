// BrowseRub: the catalogue of topics with the bases of each. The topic list on
// the left drives the base list on the right, which shows only the bases of
// the topic under the cursor; every event of the base list makes its current
// base the active base. Buttons add, change and delete topics and bases
// through their forms, and start the register report.

#include <memory>

#include "app/common.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "bases.h"
#include "browse.h"
#include "controls/kaldo007.h"
#include "dictionary.h"
#include "sortheader.h"
#include "toolbar.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo007 {

// The window's controls (controls/kaldo007.h, made from its declaration):
// SPINW and PUT are also the names of the process-wide variables they show,
// and those are written ::SPINW and ::PUT.

// The forms the lists ask for through Run(number, request).
enum : int { TopicForm = 1, BaseForm = 2 };

struct TopicRow {
    STRING<60> RUB_NAME1;
    LONG RUB_NAME1_ICON;
    STRING<60> RUB_NAME2;
    DECIMAL<2> RUB_KOD;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

struct BaseRow {
    STRING<60> CON_NAME;
    LONG CON_NAME_ICON;
    LONG CON_NAME_STYLE;
    STRING<255> CON_PATH;
    DECIMAL<2> CON_KOD;
    DECIMAL<2> CON_ID;
    BYTE CON_ON_OFF;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

struct Procedure;

// What both lists add to the platform's: their buttons, and a header sort that
// gives way to a new key order.
class RubBrowse : public lst::BrowseClass {
  public:
    RubBrowse(Procedure& p, int insert, int change, int del, lst::SortHeaderClassType& header,
              BYTE& lastSortOrder)
        : p_(p),
          insert_(insert),
          change_(change),
          delete_(del),
          header_(header),
          lastSortOrder_(lastSortOrder) {}
    void Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
              RelationManager& relation, WindowManager& manager) override;
    BYTE SetSort(int order, bool force) override;

  protected:
    Procedure& p_;

  private:
    int insert_, change_, delete_;
    lst::SortHeaderClassType& header_;
    BYTE& lastSortOrder_;
};

class BRW1Class : public RubBrowse {
  public:
    using RubBrowse::RubBrowse;
    void SetAlerts() override;
    void SetQueueRecord() override;
};

class BRW7Class : public RubBrowse {
  public:
    using RubBrowse::RubBrowse;
    void SetQueueRecord() override;
};

// A header click sorts its list by the column; cleared, the key order is back.
class SortHeaderClass : public lst::SortHeaderClassType {
  public:
    SortHeaderClass(lst::BrowseClass& list, lst::LocatorClass& locator)
        : list_(list), locator_(locator) {}
    void QueueResorted(const QString& sortString) override;

  private:
    lst::BrowseClass& list_;
    lst::LocatorClass& locator_;
};

class ThisWindowClass : public WindowManager {
  public:
    explicit ThisWindowClass(Procedure& p) : p_(p) {}
    using WindowManager::Run;
    int Init() override;
    int Kill() override;
    int Run(int number, int request) override;
    void SetAlerts() override;
    int TakeAccepted() override;
    int TakeEvent() override;
    int TakeFieldEvent() override;

  private:
    Procedure& p_;
};

// The objects of one run, made when it starts and freed when it returns.
struct Procedure {
    Window QuickWindow{u"kaldor$kaldo007", u"P1$QUICKWINDOW"};
    lst::QUEUE<TopicRow> QUEUE_BROWSE_1{[](TopicRow& r, lst::QueueFields& f) {
        f("RUB:NAME1", r.RUB_NAME1)("RUB:NAME1_ICON", r.RUB_NAME1_ICON)("RUB:NAME2", r.RUB_NAME2)(
            "RUB:KOD", r.RUB_KOD)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    lst::QUEUE<BaseRow> QUEUE_BROWSE{[](BaseRow& r, lst::QueueFields& f) {
        f("CON:NAME", r.CON_NAME)("CON:NAME_ICON", r.CON_NAME_ICON)(
            "CON:NAME_STYLE", r.CON_NAME_STYLE)("CON:PATH", r.CON_PATH)("CON:KOD", r.CON_KOD)(
            "CON:ID", r.CON_ID)("CON:ON_OFF", r.CON_ON_OFF)("MARK", r.MARK)("VIEWPOSITION",
                                                                            r.VIEWPOSITION);
    }};
    ViewClass BRW1_View{RUBRIKA};
    ViewClass BRW7_View{CONFIG};
    ThisWindowClass ThisWindow{*this};
    BYTE BRW1_LastSortOrder = 0;
    BYTE BRW7_LastSortOrder = 0;
    lst::StepRealClass BRW1_Sort0_StepClass;
    lst::StepLocatorClass BRW1_Sort0_Locator;
    lst::StepLocatorClass BRW7_Sort0_Locator;
    BRW1Class BRW1;
    BRW7Class BRW7;
    SortHeaderClass BRW1_SortHeader{BRW1, BRW1_Sort0_Locator};
    SortHeaderClass BRW7_SortHeader{BRW7, BRW7_Sort0_Locator};
    lst::AutoSizeColumnClassType BRW1_AutoSizeColumn;
    lst::AutoSizeColumnClassType BRW7_AutoSizeColumn;
    ParentDefaultsResizer Resizer;
    ToolbarClass Toolbar;

    Procedure()
        : BRW1(*this, INSERT_3, CHANGE_3, DELETE_3, BRW1_SortHeader, BRW1_LastSortOrder),
          BRW7(*this, INSERT, CHANGE, DELETE, BRW7_SortHeader, BRW7_LastSortOrder) {
        QuickWindow.bind(SPINW, ref(::SPINW));
        QuickWindow.bind(PUT, ref(::PUT));
    }
};

// List style 1 of the base list: a base that is off. No face of its own: the
// rows keep the list's.
void R_DEFINELISTBOXSTYLE(Window& w) {
    OffBaseStyle(w, LIST, u"");
}

// ---------------------------------------------------------------------------

int ThisWindowClass::Init() {
    const int level = BeginInit(*this, u"BrowseRub", BROWSE_1, p_.Toolbar);
    if (level != Level::Benign)
        return level;
    // The catalogue opens the topics with it, through their relation.
    Relate_CONFIG->SetOpenRelated();
    Relate_CONFIG->Open();
    FilesOpened = true;
    p_.BRW1.Init(BROWSE_1, ref(p_.QUEUE_BROWSE_1.VIEWPOSITION), p_.BRW1_View, p_.QUEUE_BROWSE_1,
                 *Relate_RUBRIKA, *this);
    p_.BRW7.Init(LIST, ref(p_.QUEUE_BROWSE.VIEWPOSITION), p_.BRW7_View, p_.QUEUE_BROWSE,
                 *Relate_CONFIG, *this);
    Window& w = p_.QuickWindow;
    Open(w);
    w[BROWSE_1][PROP::LineHeight] = 18;
    w[LIST][PROP::LineHeight] = 18;
    R_DEFINELISTBOXSTYLE(w);

    p_.BRW1_Sort0_StepClass.Init(ScrollSort::Limits);
    p_.BRW1.AddSortOrder(&p_.BRW1_Sort0_StepClass, RUB_K1);
    p_.BRW1.AddLocator(&p_.BRW1_Sort0_Locator);
    p_.BRW1_Sort0_Locator.Init(0, ref(RUB.KOD), true);
    w[BROWSE_1](PROP::IconList, 1) = u"~adr1.ico";
    p_.BRW1.AddField(RUB.NAME1, p_.QUEUE_BROWSE_1.RUB_NAME1);
    p_.BRW1.AddField(RUB.NAME2, p_.QUEUE_BROWSE_1.RUB_NAME2);
    p_.BRW1.AddField(RUB.KOD, p_.QUEUE_BROWSE_1.RUB_KOD);

    // The bases of the topic under the topic list's cursor.
    p_.BRW7.AddSortOrder(CON_K2);
    p_.BRW7.AddRange(CON.ID, *Relate_CONFIG, *Relate_RUBRIKA);
    p_.BRW7.AddLocator(&p_.BRW7_Sort0_Locator);
    p_.BRW7_Sort0_Locator.Init(0, ref(CON.ID), true);
    w[LIST](PROP::IconList, 1) = u"~adr1.ico";
    p_.BRW7.AddField(CON.NAME, p_.QUEUE_BROWSE.CON_NAME);
    p_.BRW7.AddField(CON.PATH, p_.QUEUE_BROWSE.CON_PATH);
    p_.BRW7.AddField(CON.KOD, p_.QUEUE_BROWSE.CON_KOD);
    p_.BRW7.AddField(CON.ID, p_.QUEUE_BROWSE.CON_ID);
    p_.BRW7.AddField(CON.ON_OFF, p_.QUEUE_BROWSE.CON_ON_OFF);

    PlaceWindow(*this, p_.Resizer, u"BrowseRub", w);
    p_.BRW1.AskProcedure = TopicForm;
    p_.BRW7.AskProcedure = BaseForm;
    p_.Toolbar.AddTarget(p_.BRW7, LIST);
    SetAlerts();
    p_.BRW1_AutoSizeColumn.Init();
    p_.BRW1_AutoSizeColumn.AddListBox(BROWSE_1, p_.QUEUE_BROWSE_1);
    p_.BRW7_AutoSizeColumn.Init();
    p_.BRW7_AutoSizeColumn.AddListBox(LIST, p_.QUEUE_BROWSE);
    // No storage names: a header sort lasts as long as the window.
    p_.BRW1_SortHeader.Init(p_.QUEUE_BROWSE_1, BROWSE_1, QString(), QString(), &p_.BRW1_View);
    p_.BRW7_SortHeader.Init(p_.QUEUE_BROWSE, LIST, QString(), QString(), &p_.BRW7_View);
    return level;
}

int ThisWindowClass::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    if (FilesOpened) {
        Relate_CONFIG->Close();
        p_.BRW1_SortHeader.Kill();
        p_.BRW7_SortHeader.Kill();
    }
    p_.BRW1_AutoSizeColumn.Kill();
    p_.BRW7_AutoSizeColumn.Kill();
    EndKill(*this, u"BrowseRub", p_.QuickWindow);
    return level;
}

int ThisWindowClass::Run(int number, int request) {
    WindowManager::Run(number, request);
    if (Request == ViewRecord)
        return RequestCancelled;
    GlobalRequest = BYTE(request);
    switch (number) {
        case TopicForm:
            UpDateRub();
            break;
        case BaseForm:
            UpDateBD();
            break;
        default:
            break;
    }
    return GlobalResponse;
}

void ThisWindowClass::SetAlerts() {
    WindowManager::SetAlerts();
    p_.BRW1_SortHeader.SetAlerts();
    p_.BRW7_SortHeader.SetAlerts();
}

int ThisWindowClass::TakeAccepted() {
    const int level = WindowManager::TakeAccepted();
    if (ACCEPTED() == BUTTON8) {
        Update();
        START(PrintRs, 25000);
        Reset(false);
    }
    return level;
}

int ThisWindowClass::TakeEvent() {
    if (p_.BRW1_SortHeader.TakeEvents() || p_.BRW7_SortHeader.TakeEvents() ||
        p_.BRW1_AutoSizeColumn.TakeEvents() || p_.BRW7_AutoSizeColumn.TakeEvents())
        return Level::Notify;
    return WindowManager::TakeEvent();
}

int ThisWindowClass::TakeFieldEvent() {
    Window& w = p_.QuickWindow;
    switch (FIELD()) {
        case BROWSE_1:
            // No topic left (the last one deleted): the buffer still holds it,
            // and the tip would name a topic that is gone.
            if (p_.BRW1.CurrentRow() != 0)
                w[BROWSE_1][PROP::Tip] =
                    RUB.NAME1.clip() + QStringLiteral("\r\n") + RUB.NAME2.clip();
            else
                w[BROWSE_1][PROP::Tip] = QString();
            break;
        case SPINW: {
            const int size = int(::SPINW.get().toInt());
            SETTARGET(w);
            w[BROWSE_1][PROP::LineHeight] = size + 10;
            w[BROWSE_1][PROP::FontSize] = size;
            w[LIST][PROP::LineHeight] = size + 10;
            w[LIST][PROP::FontSize] = size;
            SETTARGET();
            DISPLAY();
            break;
        }
        case LIST:
            // An empty list has no current base: the active base stays.
            if (p_.BRW7.CurrentRow() != 0) {
                SetActiveBase();
                w[LIST][PROP::Tip] = CON.NAME.clip();
            }
            break;
        default:
            break;
    }
    return WindowManager::TakeFieldEvent();
}

// ---------------------------------------------------------------------------

void RubBrowse::Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
                     RelationManager& relation, WindowManager& manager) {
    BrowseClass::Init(listControl, position, view, queue, relation, manager);
    if (manager.Request != ViewRecord) {
        InsertControl = insert_;
        ChangeControl = change_;
        DeleteControl = delete_;
    }
}

BYTE RubBrowse::SetSort(int order, bool force) {
    const BYTE rc = BrowseClass::SetSort(order, force);
    if (order != lastSortOrder_)
        header_.ClearSort();
    lastSortOrder_ = BYTE(order);
    return rc;
}

void BRW1Class::SetAlerts() {
    // The buttons edit the topics; the list's keys and popup menu do not.
    EditViaPopup = false;
    BrowseClass::SetAlerts();
}

void BRW1Class::SetQueueRecord() {
    BrowseClass::SetQueueRecord();
    p_.QUEUE_BROWSE_1.RUB_NAME1_ICON = 1;
}

void BRW7Class::SetQueueRecord() {
    BrowseClass::SetQueueRecord();
    p_.QUEUE_BROWSE.CON_NAME_ICON = 1;
    p_.QUEUE_BROWSE.CON_NAME_STYLE = CON.ON_OFF == 0 ? 1 : 0;
}

void SortHeaderClass::QueueResorted(const QString& sortString) {
    if (sortString.isEmpty()) {
        list_.RestoreSort();
        list_.ResetSort(true);
        return;
    }
    list_.ReplaceSort(sortString, &locator_);
    list_.SetLocatorFromSort();
}

}  // namespace kaldo007

void BrowseRub() {
    auto p = std::make_unique<kaldo007::Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

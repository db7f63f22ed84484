// BrowseBD: the catalogue of document bases as one list. Every event of the
// list makes its current base the active base; the buttons add, change and
// delete bases through the base form, and start the register report.

#include <memory>

#include "app/common.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "bases.h"
#include "browse.h"
#include "controls/kaldo004.h"
#include "dictionary.h"
#include "sortheader.h"
#include "toolbar.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo004 {

// The window's controls (controls/kaldo004.h, made from its declaration):
// SPINRTF, PUT and KOLDOC are also the names of the process-wide variables
// they show, and those are written ::SPINRTF, ::PUT, ::KOLDOC.

struct BrowseRow {
    LONG CON_RTG;
    STRING<60> CON_NAME;
    LONG CON_NAME_ICON;
    LONG CON_NAME_STYLE;
    STRING<255> CON_PATH;
    DECIMAL<2> CON_KOD;
    BYTE CON_ON_OFF;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

struct Procedure;

class BRW1Class : public lst::BrowseClass {
  public:
    explicit BRW1Class(Procedure& p) : p_(p) {}
    void Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
              RelationManager& relation, WindowManager& manager) override;
    void Fetch(int direction) override { BrowseClass::Fetch(direction); }
    BYTE ResetSort(bool force) override;
    void SetAlerts() override;
    void SetQueueRecord() override;
    BYTE SetSort(int order, bool force) override;

  private:
    Procedure& p_;
};

class SortHeaderClass : public lst::SortHeaderClassType {
  public:
    explicit SortHeaderClass(Procedure& p) : p_(p) {}
    void QueueResorted(const QString& sortString) override;

  private:
    Procedure& p_;
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
    int TakeWindowEvent() override;

  private:
    Procedure& p_;
};

// The objects of one run, made when it starts and freed when it returns.
struct Procedure {
    Window QuickWindow{u"kaldor$kaldo004", u"P1$QUICKWINDOW"};
    lst::QUEUE<BrowseRow> QUEUE_BROWSE_1{[](BrowseRow& r, lst::QueueFields& f) {
        f("CON:RTG", r.CON_RTG)("CON:NAME", r.CON_NAME)("CON:NAME_ICON", r.CON_NAME_ICON)(
            "CON:NAME_STYLE", r.CON_NAME_STYLE)("CON:PATH", r.CON_PATH)("CON:KOD", r.CON_KOD)(
            "CON:ON_OFF", r.CON_ON_OFF)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    ViewClass BRW1_View{CONFIG};
    ThisWindowClass ThisWindow{*this};
    BRW1Class BRW1{*this};
    lst::StepLocatorClass BRW1_Sort1_Locator;
    SortHeaderClass BRW1_SortHeader{*this};
    lst::AutoSizeColumnClassType BRW1_AutoSizeColumn;
    ParentDefaultsResizer Resizer;
    ToolbarClass Toolbar;
    BYTE BRW1_LastSortOrder = 0;

    Procedure() {
        QuickWindow.bind(SPINRTF, ref(::SPINRTF));
        QuickWindow.bind(PUT, ref(::PUT));
        QuickWindow.bind(KOLDOC, ref(::KOLDOC));
    }
};

// List style 1: a base that is off.
void DEFINELISTBOXSTYLE(Window& w) {
    OffBaseStyle(w, BROWSE_1, u"Arial Cyr");
}

// ---------------------------------------------------------------------------

int ThisWindowClass::Init() {
    const int level = BeginInit(*this, u"BrowseBD", BROWSE_1, p_.Toolbar);
    if (level != Level::Benign)
        return level;
    Relate_CONFIG->SetOpenRelated();
    Relate_CONFIG->Open();
    FilesOpened = true;
    p_.BRW1.Init(BROWSE_1, ref(p_.QUEUE_BROWSE_1.VIEWPOSITION), p_.BRW1_View, p_.QUEUE_BROWSE_1,
                 *Relate_CONFIG, *this);
    Open(p_.QuickWindow);
    p_.QuickWindow[BROWSE_1][PROP::LineHeight] = 18;
    DEFINELISTBOXSTYLE(p_.QuickWindow);
    p_.BRW1.AddSortOrder(nullptr, CON_K1);
    p_.BRW1.AddLocator(&p_.BRW1_Sort1_Locator);
    p_.BRW1_Sort1_Locator.Init(0, ref(CON.KOD), true);
    p_.QuickWindow[BROWSE_1](PROP::IconList, 1) = u"~adr1.ico";
    p_.BRW1.AddField(CON.RTG, p_.QUEUE_BROWSE_1.CON_RTG);
    p_.BRW1.AddField(CON.NAME, p_.QUEUE_BROWSE_1.CON_NAME);
    p_.BRW1.AddField(CON.PATH, p_.QUEUE_BROWSE_1.CON_PATH);
    p_.BRW1.AddField(CON.KOD, p_.QUEUE_BROWSE_1.CON_KOD);
    p_.BRW1.AddField(CON.ON_OFF, p_.QUEUE_BROWSE_1.CON_ON_OFF);
    PlaceWindow(*this, p_.Resizer, u"BrowseBD", p_.QuickWindow);
    p_.BRW1.AskProcedure = 1;
    SetAlerts();
    p_.BRW1_AutoSizeColumn.Init();
    p_.BRW1_AutoSizeColumn.AddListBox(BROWSE_1, p_.QUEUE_BROWSE_1);
    // No storage names: a header sort is neither restored nor kept.
    p_.BRW1_SortHeader.Init(p_.QUEUE_BROWSE_1, BROWSE_1, QString(), QString(), &p_.BRW1_View);
    return level;
}

int ThisWindowClass::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    if (FilesOpened) {
        Relate_CONFIG->Close();
        p_.BRW1_SortHeader.Kill();
    }
    p_.BRW1_AutoSizeColumn.Kill();
    EndKill(*this, u"BrowseBD", p_.QuickWindow);
    return level;
}

int ThisWindowClass::Run(int number, int request) {
    WindowManager::Run(number, request);
    if (Request == ViewRecord)
        return RequestCancelled;
    GlobalRequest = BYTE(request);
    UpDateBD();
    return GlobalResponse;
}

void ThisWindowClass::SetAlerts() {
    WindowManager::SetAlerts();
    p_.BRW1_SortHeader.SetAlerts();
}

int ThisWindowClass::TakeAccepted() {
    const int level = WindowManager::TakeAccepted();
    if (ACCEPTED() == BUTTON6) {
        Update();
        START(PrintRs, 25000);
        Reset(false);
    }
    return level;
}

int ThisWindowClass::TakeEvent() {
    if (p_.BRW1_SortHeader.TakeEvents())
        return Level::Notify;
    if (p_.BRW1_AutoSizeColumn.TakeEvents())
        return Level::Notify;
    return WindowManager::TakeEvent();
}

int ThisWindowClass::TakeFieldEvent() {
    Window& w = p_.QuickWindow;
    if (FIELD() == BROWSE_1) {
        w[BROWSE_1][PROP::Tip] = CON.NAME.clip();
        w[BROWSE_1][PROP::FontSize] = int(::SPINRTF.get().toInt());
        DISPLAY();
        ::KOLDOC = LONG(RECORDS(CONFIG));
        DISPLAY();
        // An empty list has no current base: the active base stays.
        if (p_.BRW1.CurrentRow() != 0)
            SetActiveBase();
    }
    const int level = WindowManager::TakeFieldEvent();
    if (FIELD() == SPINRTF) {
        SETTARGET(w);
        w[BROWSE_1][PROP::FontSize] = int(::SPINRTF.get().toInt());
        p_.BRW1_AutoSizeColumn.ResizeAll();
        SETTARGET();
        DISPLAY();
    }
    return level;
}

int ThisWindowClass::TakeWindowEvent() {
    const int level = WindowManager::TakeWindowEvent();
    // After the stored placement: the window opens just below the frame's top.
    if (EVENT() == EVENT::OpenWindow)
        p_.QuickWindow[PROP::YPos] = 10;
    return level;
}

// ---------------------------------------------------------------------------

void BRW1Class::Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
                     RelationManager& relation, WindowManager& manager) {
    BrowseClass::Init(listControl, position, view, queue, relation, manager);
    if (manager.Request != ViewRecord) {
        InsertControl = INSERT_4;
        ChangeControl = CHANGE_4;
        DeleteControl = DELETE_4;
    }
}

BYTE BRW1Class::ResetSort(bool force) {
    if (p_.QuickWindow.choice(CURRENTTAB) == 1)
        return SetSort(1, force);
    return BrowseClass::ResetSort(force);
}

void BRW1Class::SetAlerts() {
    // The buttons edit the bases; the list's keys and popup menu do not.
    EditViaPopup = false;
    BrowseClass::SetAlerts();
}

void BRW1Class::SetQueueRecord() {
    BrowseClass::SetQueueRecord();
    p_.QUEUE_BROWSE_1.CON_NAME_ICON = 1;
    p_.QUEUE_BROWSE_1.CON_NAME_STYLE = CON.ON_OFF == 0 ? 1 : 0;
}

BYTE BRW1Class::SetSort(int order, bool force) {
    const BYTE rc = BrowseClass::SetSort(order, force);
    if (order != p_.BRW1_LastSortOrder)
        p_.BRW1_SortHeader.ClearSort();
    p_.BRW1_LastSortOrder = BYTE(order);
    return rc;
}

void SortHeaderClass::QueueResorted(const QString& sortString) {
    if (sortString.isEmpty()) {
        p_.BRW1.RestoreSort();
        p_.BRW1.ResetSort(true);
        return;
    }
    if (p_.QuickWindow.choice(CURRENTTAB) == 1) {
        p_.BRW1.ReplaceSort(sortString, &p_.BRW1_Sort1_Locator);
        p_.BRW1.SetLocatorFromSort();
    }
}

}  // namespace kaldo004

void BrowseBD() {
    auto p = std::make_unique<kaldo004::Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

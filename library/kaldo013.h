#pragma once
// The document list Browsekaldor (kaldo013): its controls, objects and
// overrides, shared by the module's files and its tests.

#include <QString>

#include "browse.h"
#include "controls/kaldo013.h"
#include "core/step.h"
#include "dictionary.h"
#include "filedrop.h"
#include "query.h"
#include "resizer.h"
#include "rtf/rtfcontrol.h"
#include "sortheader.h"
#include "steps.h"
#include "toolbar.h"
#include "ui/window.h"
#include "view.h"
#include "windowmanager.h"

namespace kaldo013 {

// The window's controls (controls/kaldo013.h, made from its declaration):
// SORT, SPINRTF, SPINW and KOLDOC are also the names of the process-wide
// variables they show, and those are written ::SORT, ...

// Ctrl+Shift+right click on the window: the insert and delete buttons show.
constexpr int kShowUpdateButtons = Key::Ctrl + Key::Shift + Key::MouseRight;

// The transfer file of the card buffer's document text.
inline constexpr char16_t kTransferFile[] = u"c:\\kaldor\\testA.rtf";

// What the preview shows while no document is loaded.
QString PreviewHint();
// 1 while a fuzzy search is in force in the process.
BYTE FuzzySearchInForce();
// Raises by one the open count of every base whose folder is the active one
// (PUT); CONFIG is open on the calling thread.
void RaiseOpenCount();

struct BrowseRow {
    STRING<120> KAL_NAME;
    LONG KAL_NAME_NormalFG = -1;
    LONG KAL_NAME_NormalBG = -1;
    LONG KAL_NAME_SelectedFG = -1;
    LONG KAL_NAME_SelectedBG = -1;
    LONG KAL_NAME_Icon = 0;
    LONG KAL_ID = 0;
    STRING<12> KAL_NDOK;
    DATE KAL_UTVDATA;
    DATE KAL_VVODDATA;
    STRING<120> KAL_PNAME1;
    STRING<120> KAL_PNAME2;
    STRING<120> KAL_PNAME3;
    BYTE MARK = 0;
    STRING<1024> VIEWPOSITION;
};

struct ComboRow {
    STRING<100> ZAM_ZAKLAD;
    LONG ZAM_ZAKLAD_ICON = 0;
    STRING<100> ZAM_POTEXT;
    BYTE MARK = 0;
    STRING<1024> VIEWPOSITION;
};

struct Procedure;

class BRW1Class : public lst::BrowseClass {
  public:
    explicit BRW1Class(Procedure& p) : p_(p) {}
    void Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
              RelationManager& relation, WindowManager& manager) override;
    BYTE SetSort(int order, bool force) override;
    BYTE ResetSort(bool force) override;
    void SetQueueRecord() override;
    void Fetch(int direction) override { BrowseClass::Fetch(direction); }

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

class FDCB6Class : public lst::FileDropComboClass {
  public:
    explicit FDCB6Class(Procedure& p) : p_(p) {}
    void SetQueueRecord() override;
    BYTE ResetQueue(bool force) override { return FileDropComboClass::ResetQueue(force); }

  private:
    Procedure& p_;
};

class RTFControl2Class : public RTFControlClass {
  public:
    // The preview adds no entries of its own to the editor's context menu.
    QString ContextMenuText() override { return QString(); }
};

class ResizerClass : public WindowResizeClass {
  public:
    void Init(int appStrategy, bool setMinSize, bool setMaxSize) override;
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
    Procedure();
    ~Procedure();
    Procedure(const Procedure&) = delete;
    Procedure& operator=(const Procedure&) = delete;

    Window QuickWindow{u"kaldor$kaldo013", u"P1$QUICKWINDOW"};
    lst::QUEUE<BrowseRow> QUEUE_BROWSE_1{[](BrowseRow& r, lst::QueueFields& f) {
        f("KAL:NAME", r.KAL_NAME)("KAL:NAME_NormalFG", r.KAL_NAME_NormalFG)(
            "KAL:NAME_NormalBG", r.KAL_NAME_NormalBG)("KAL:NAME_SelectedFG", r.KAL_NAME_SelectedFG)(
            "KAL:NAME_SelectedBG", r.KAL_NAME_SelectedBG)("KAL:NAME_Icon", r.KAL_NAME_Icon)(
            "KAL:ID", r.KAL_ID)("KAL:NDOK", r.KAL_NDOK)("KAL:UTVDATA", r.KAL_UTVDATA)(
            "KAL:VVODDATA", r.KAL_VVODDATA)("KAL:PNAME1", r.KAL_PNAME1)("KAL:PNAME2", r.KAL_PNAME2)(
            "KAL:PNAME3", r.KAL_PNAME3)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    lst::QUEUE<ComboRow> QUEUE_FILEDROPCOMBO{[](ComboRow& r, lst::QueueFields& f) {
        f("ZAM:ZAKLAD", r.ZAM_ZAKLAD)("ZAM:ZAKLAD_ICON", r.ZAM_ZAKLAD_ICON)(
            "ZAM:POTEXT", r.ZAM_POTEXT)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    ViewClass BRW1_View{KALDOR};
    ViewClass FDCB6_View{ZAMETKA};
    ThisWindowClass ThisWindow{*this};
    BRW1Class BRW1{*this};
    lst::StepRealClass BRW1_Sort1_StepClass;
    StepLongClass BRW1_Sort0_StepClass;
    lst::StepLocatorClass BRW1_Sort1_Locator;
    lst::StepLocatorClass BRW1_Sort0_Locator;
    SortHeaderClass BRW1_SortHeader{*this};
    lst::AutoSizeColumnClassType BRW1_AutoSizeColumn;
    FDCB6Class FDCB6{*this};
    lst::QueryListClass QBE8;
    lst::QueryListVisual QBV8;
    RTFControl2Class RTFControl2;
    ResizerClass Resizer;
    ToolbarClass Toolbar;
    STRING<255> FuzzyQuery9;
    BYTE FuzzyOrder9 = 0;
    BYTE BRW1_LastSortOrder = 0;

    // The query by example of the query button.
    void InitQuery();
    void InitQueryButton();
    // The tips switch's label and the process's tips, by SORT.
    void ShowTipsSwitch();
    // The preview and the bookmark finder (kaldo013_preview.cpp).
    void ShowDocument();
    void FindBookmark();
    // The card buffer (kaldo013_buffer.cpp).
    void PutIntoBuffer();
    void InsertFromBuffer();
};

}  // namespace kaldo013

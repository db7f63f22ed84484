// Browsekaldor: the document cards of the active base. Two key orders by tab,
// a fuzzy search that reorders the cards by how well they match a free text,
// sorting by a column header, the fields of the card under the cursor, a
// rich-text preview of its document text with a bookmark finder, and the card
// buffer that copies a card into another base.

#include "kaldo013.h"

#include <memory>

#include "app/common.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "core/fuzzy.h"
#include "dictionary.h"
#include "ui/window.h"

namespace kaldo013 {

namespace {

// One search for the whole process: while it is in force every document list
// keeps the order it has, whatever tab is chosen.
Shared<BYTE> FUZZYMATCHED{BYTE(0)};

constexpr char16_t kFuzzyOrder[] =
    u"200-FuzzyMatch(FuzzyQuery9,KAL:name&' '&KAL:iD&' '&KAL:ndok&' '&KAL:utvdata&' '&"
    u"KAL:vvoddata&' '&KAL:pname1&' '&KAL:pname2&' '&KAL:pname3)";

}  // namespace

QString PreviewHint() {
    return QStringLiteral("\r\n...Для просмотра выберите инструмент [Показать документ]...");
}

BYTE FuzzySearchInForce() {
    return FUZZYMATCHED;
}

// ---------------------------------------------------------------------------

int ThisWindowClass::Init() {
    const int level = BeginInit(*this, u"Browsekaldor", BROWSE_1, p_.Toolbar);
    if (level != Level::Benign)
        return level;
    Window& w = p_.QuickWindow;
    BIND(QStringLiteral("FuzzyMatch"), FuzzyMatch);
    BIND(QStringLiteral("FuzzyQuery9"), ref(p_.FuzzyQuery9));
    // The document and bookmark tables of the base active now: the list stays
    // on them whatever base is chosen later.
    Relate_CONFIG->SetOpenRelated();
    Relate_CONFIG->Open();
    Relate_KALDOR->SetOpenRelated();
    Relate_KALDOR->Open();
    FilesOpened = true;
    // Tables that cannot be opened (no base chosen yet) are reported once, and
    // the list does not open: every reading of it would report them again.
    if (Access_KALDOR->UseFile() != Level::Benign || Access_ZAMETKA->UseFile() != Level::Benign)
        return Level::Notify;
    p_.BRW1.Init(BROWSE_1, ref(p_.QUEUE_BROWSE_1.VIEWPOSITION), p_.BRW1_View, p_.QUEUE_BROWSE_1,
                 *Relate_KALDOR, *this);
    p_.BRW1.SetUsePopup(false);
    Open(w);
    p_.RTFControl2.AddItem(RTFTOOL::Print, RTFTOOLPRINT);
    p_.RTFControl2.AddItem(RTFTOOL::Find, RTFTOOLFIND);
    p_.RTFControl2.AddItem(RTFTOOL::FindAndReplace, RTFTOOLFINDANDREPLACE);
    p_.RTFControl2.AddItem(RTFTOOL::Copy, RTFTOOLCOPY);
    w[BROWSE_1][PROP::LineHeight] = 20;
    p_.InitQuery();
    p_.BRW1_Sort1_StepClass.Init(ScrollSort::Limits);
    p_.BRW1.AddSortOrder(&p_.BRW1_Sort1_StepClass, KAL_K2);
    p_.BRW1.AddLocator(&p_.BRW1_Sort1_Locator);
    p_.BRW1_Sort1_Locator.Init(0, ref(KAL.UTVDATA), true);
    p_.BRW1_Sort0_StepClass.Init(ScrollSort::Limits);
    p_.BRW1.AddSortOrder(&p_.BRW1_Sort0_StepClass, KAL_K1);
    p_.BRW1.AddLocator(&p_.BRW1_Sort0_Locator);
    p_.BRW1_Sort0_Locator.Init(0, ref(KAL.ID), true);
    w[BROWSE_1](PROP::IconList, 1) = u"~adr1.ico";
    BrowseRow& q = p_.QUEUE_BROWSE_1;
    p_.BRW1.AddField(KAL.NAME, q.KAL_NAME);
    p_.BRW1.AddField(KAL.ID, q.KAL_ID);
    p_.BRW1.AddField(KAL.NDOK, q.KAL_NDOK);
    p_.BRW1.AddField(KAL.UTVDATA, q.KAL_UTVDATA);
    p_.BRW1.AddField(KAL.VVODDATA, q.KAL_VVODDATA);
    p_.BRW1.AddField(KAL.PNAME1, q.KAL_PNAME1);
    p_.BRW1.AddField(KAL.PNAME2, q.KAL_PNAME2);
    p_.BRW1.AddField(KAL.PNAME3, q.KAL_PNAME3);
    p_.Resizer.Init(Resize::Default, true, false);
    AddItem(p_.Resizer);
    w.bind(FUZZYQUERY, ref(p_.FuzzyQuery9));
    p_.FuzzyOrder9 = BYTE(p_.BRW1.AddSortOrder());
    p_.BRW1.AppendOrder(QString::fromUtf16(kFuzzyOrder));
    INIMgr.Fetch(u"Browsekaldor", w);
    p_.Resizer.Resize();
    p_.RTFControl2.Init(w, RTFTEXTBOX);
    p_.InitQueryButton();
    p_.BRW1.AskProcedure = 1;
    ComboRow& c = p_.QUEUE_FILEDROPCOMBO;
    p_.FDCB6.Init(ref(ZAM.ZAKLAD), ZAM_ZAKLAD, ref(c.VIEWPOSITION), p_.FDCB6_View,
                  p_.QUEUE_FILEDROPCOMBO, *Relate_ZAMETKA, *this, GlobalErrors, 0, 1, 0);
    p_.FDCB6.AddSortOrder(ZAM_K2);
    p_.FDCB6.AddRange(ZAM.IDDOK, *Relate_ZAMETKA, *Relate_KALDOR);
    p_.FDCB6.AddField(ZAM.ZAKLAD, c.ZAM_ZAKLAD);
    p_.FDCB6.AddField(ZAM.POTEXT, c.ZAM_POTEXT);
    w[ZAM_ZAKLAD](PROP::IconList, 1) = u"~adr1.ico";
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
        Relate_KALDOR->Close();
        p_.BRW1_SortHeader.Kill();
    }
    p_.RTFControl2.Kill();
    p_.BRW1_AutoSizeColumn.Kill();
    EndKill(*this, u"Browsekaldor", p_.QuickWindow);
    return level;
}

int ThisWindowClass::Run(int number, int request) {
    WindowManager::Run(number, request);
    GlobalRequest = BYTE(request);
    Updatekaldor();
    // The card form writes the card's bookmarks as they are made, whatever its
    // answer: the combo reads them again.
    p_.FDCB6.ResetQueue(true);
    return GlobalResponse;
}

void ThisWindowClass::SetAlerts() {
    WindowManager::SetAlerts();
    p_.BRW1_SortHeader.SetAlerts();
    // A right click in the preview puts the hint back; Ctrl+Shift+right click
    // on the window shows the insert and delete buttons.
    p_.QuickWindow.alert(Key::MouseRight);
    p_.QuickWindow.alert(kShowUpdateButtons);
}

int ThisWindowClass::TakeEvent() {
    p_.RTFControl2.TakeEvent();
    if (p_.BRW1_SortHeader.TakeEvents())
        return Level::Notify;
    if (p_.BRW1_AutoSizeColumn.TakeEvents())
        return Level::Notify;
    return WindowManager::TakeEvent();
}

int ThisWindowClass::TakeAccepted() {
    const int level = WindowManager::TakeAccepted();
    switch (ACCEPTED()) {
        case FUZZYGO:
        case FUZZYCLEAR:
            Update();
            p_.BRW1.ResetSort(true);
            break;
        case BUTTON13:
            Update();
            START(PrintRs, 25000);
            Reset(false);
            break;
        case BUTTON4:
            p_.ShowDocument();
            break;
        case ZAM_ZAKLAD:
            p_.FindBookmark();
            break;
        case BROWSE_1:
            p_.QuickWindow[RTFTEXTBOX][PROP::Text] = PreviewHint();
            for (int c = KAL_UTVDATA_PROMPT; c <= KAL_NDOK; ++c)
                p_.QuickWindow[c].hide();
            DISPLAY();
            break;
        case BUTTON15:
            p_.PutIntoBuffer();
            break;
        case BUTTON15_2:
            p_.InsertFromBuffer();
            break;
        default:
            break;
    }
    return level;
}

int ThisWindowClass::TakeFieldEvent() {
    Window& w = p_.QuickWindow;
    const int field = FIELD();
    if (field == BROWSE_1) {
        // The date and number fields show only for a card that has any.
        const bool any = LONG(KAL.VVODDATA) > 0 || LONG(KAL.UTVDATA) > 0 ||
                         rt::textToNumber(KAL.NDOK.view()) > 0;
        for (int c = KAL_UTVDATA_PROMPT; c <= KAL_NDOK; ++c) {
            if (any)
                w[c].unhide();
            else
                w[c].hide();
        }
        DISPLAY();
        const int size = int(::SPINW.get().toInt());
        w[BROWSE_1][PROP::LineHeight] = size + 10;
        w[BROWSE_1][PROP::FontSize] = size;
        DISPLAY();
        ::KOLDOC = LONG(RECORDS(KALDOR));
        DISPLAY();
    }
    const int level = WindowManager::TakeFieldEvent();
    switch (field) {
        case BROWSE_1:
            w[BROWSE_1][PROP::Tip] = CLIP(KAL.PNAME1.view()) + QStringLiteral("\r\n") +
                                     CLIP(KAL.PNAME2.view()) + QStringLiteral("\r\n") +
                                     CLIP(KAL.PNAME3.view());
            break;
        case SPINRTF:
            SETTARGET(w);
            w[RTFTEXTBOX][PROP::FontSize] = int(::SPINRTF.get().toInt());
            SETTARGET();
            DISPLAY();
            break;
        case SORT:
            p_.ShowTipsSwitch();
            break;
        case SPINW: {
            const int size = int(::SPINW.get().toInt());
            SETTARGET(w);
            w[BROWSE_1][PROP::LineHeight] = size + 10;
            w[BROWSE_1][PROP::FontSize] = size;
            SETTARGET();
            DISPLAY();
            break;
        }
        case RTFTEXTBOX:
            w[RTFTEXTBOX][PROP::FontSize] = int(::SPINRTF.get().toInt());
            DISPLAY();
            if (EVENT() == EVENT::AlertKey && KEYCODE() == Key::MouseRight)
                w[RTFTEXTBOX][PROP::Text] = PreviewHint();
            break;
        default:
            break;
    }
    return level;
}

int ThisWindowClass::TakeWindowEvent() {
    Window& w = p_.QuickWindow;
    switch (EVENT()) {
        case EVENT::OpenWindow:
            p_.ShowTipsSwitch();
            DISPLAY();
            break;
        case EVENT::CloseWindow:
            // Closing a document list turns the tips on again for the whole
            // process; the next list starts with the switch off.
            SYSTEM[PROP::NoTips] = 0;
            ::SORT = BYTE(0);
            break;
        default:
            break;
    }
    const int level = WindowManager::TakeWindowEvent();
    switch (EVENT()) {
        case EVENT::OpenWindow:
            w[ZAM_ZAKLAD][PROP::LineHeight] = 12;
            w[RTFTEXTBOX][PROP::FontSize] = int(::SPINRTF.get().toInt());
            w[RTFTEXTBOX][PROP::Text] = PreviewHint();
            w[BROWSE_1][PROP::FontSize] = int(::SPINW.get().toInt());
            w[PROP::Text] = QStringLiteral("Тема: ") + TEMA.get().str();
            DISPLAY();
            RaiseOpenCount();
            break;
        case EVENT::AlertKey:
            if (FIELD() == 0 && KEYCODE() == kShowUpdateButtons) {
                w[INSERT_3].unhide();
                w[DELETE_3].unhide();
            }
            break;
        default:
            break;
    }
    return level;
}

// A row that cannot be read ends the pass: the row read before it is not
// raised twice. The pass is one transaction of the catalogue: lists opening
// at once, on other threads or in other programs, wait for it instead of
// writing back a count read before this one raised it. A catalogue that
// cannot be locked in time keeps its counts.
void RaiseOpenCount() {
    const QString folder = ::PUT.get().str();
    LOGOUT(Access_CONFIG->LockRecover, {&CONFIG});
    if (ERRORCODE() != 0)
        return;
    SET(CONFIG);
    while (!Eof(CONFIG)) {
        NEXT(CONFIG);
        if (ERRORCODE() != 0)
            break;
        if (rt::compareText(CON.PATH.view(), folder) == 0) {
            CON.RTG = CON.RTG + 1;
            rt::PUT(CONFIG);
        }
    }
    COMMIT();
}

// ---------------------------------------------------------------------------

void BRW1Class::Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
                     RelationManager& relation, WindowManager& manager) {
    BrowseClass::Init(listControl, position, view, queue, relation, manager);
    InsertControl = INSERT_3;
    ChangeControl = CHANGE_3;
    DeleteControl = DELETE_3;
}

BYTE BRW1Class::ResetSort(bool force) {
    if (EVENT() == EVENT::Accepted) {
        if (ACCEPTED() == FUZZYGO && !p_.FuzzyQuery9.clip().isEmpty()) {
            FUZZYMATCHED = BYTE(1);
            return SetSort(p_.FuzzyOrder9, force);
        }
        if (ACCEPTED() == FUZZYCLEAR) {
            FUZZYMATCHED = BYTE(0);
            p_.FuzzyQuery9 = u"";
        }
    }
    if (FUZZYMATCHED == 1)
        return BrowseClass::ResetSort(force);
    if (p_.QuickWindow.choice(CURRENTTAB) == 2)
        return SetSort(1, force);
    return SetSort(2, force);
}

void BRW1Class::SetQueueRecord() {
    BrowseClass::SetQueueRecord();
    BrowseRow& q = p_.QUEUE_BROWSE_1;
    q.KAL_NAME_NormalFG = -1;
    q.KAL_NAME_NormalBG = -1;
    q.KAL_NAME_SelectedFG = -1;
    q.KAL_NAME_SelectedBG = -1;
    q.KAL_NAME_Icon = 1;
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
    if (p_.QuickWindow.choice(CURRENTTAB) == 2)
        p_.BRW1.ReplaceSort(sortString, &p_.BRW1_Sort1_Locator);
    else
        p_.BRW1.ReplaceSort(sortString, &p_.BRW1_Sort0_Locator);
    p_.BRW1.SetLocatorFromSort();
}

void ResizerClass::Init(int appStrategy, bool setMinSize, bool setMaxSize) {
    WindowResizeClass::Init(appStrategy, setMinSize, setMaxSize);
    SetParentDefaults();
    RemoveControl(FUZZYGROUP);
    RemoveControl(FUZZYQUERY);
    RemoveControl(FUZZYGO);
    RemoveControl(FUZZYCLEAR);
    SetStrategy(FUZZYGROUP, Resize::LockX | Resize::LockY, Resize::LockSize);
}

// ---------------------------------------------------------------------------

Procedure::Procedure() {
    QuickWindow.bind(KAL_UTVDATA, ref(KAL.UTVDATA));
    QuickWindow.bind(KAL_VVODDATA, ref(KAL.VVODDATA));
    QuickWindow.bind(KAL_NDOK, ref(KAL.NDOK));
    QuickWindow.bind(ZAM_ZAKLAD, ref(ZAM.ZAKLAD));
    QuickWindow.bind(KAL_PNAME3, ref(KAL.PNAME3));
    QuickWindow.bind(SPINRTF, ref(::SPINRTF));
    QuickWindow.bind(SORT, ref(::SORT));
    QuickWindow.bind(KOLDOC, ref(::KOLDOC));
    QuickWindow.bind(SPINW, ref(::SPINW));
    QuickWindow.bind(KAL_PNAME1, ref(KAL.PNAME1));
    QuickWindow.bind(KAL_PNAME2, ref(KAL.PNAME2));
}

Procedure::~Procedure() {
    UNBIND(QStringLiteral("FuzzyQuery9"));
    UNBIND(QStringLiteral("FuzzyMatch"));
}

void Procedure::ShowTipsSwitch() {
    const bool on = ::SORT == 1;
    QuickWindow[SORT][PROP::Text] =
        on ? QStringLiteral("[подсказки включены]") : QStringLiteral("[подсказки отключены]");
    SYSTEM[PROP::NoTips] = on ? 0 : 1;
}

void Procedure::InitQuery() {
    QBE8.Init(QBV8, INIMgr, u"Browsekaldor", GlobalErrors);
    QBE8.QkSupport = true;
    QBE8.QkIcon = QStringLiteral("QkLoad.ico");
    QBE8.QkMenuIcon = QStringLiteral("QkQBE.ico");
}

void Procedure::InitQueryButton() {
    BRW1.QueryControl = QUERY;
    BRW1.Query = &QBE8;
    // The key words are found only here: they are no column of the list.
    QBE8.AddItem(u"UPPER(KAL:wordkey)", u"Ключевая фраза", u"@s240", 1);
    QBE8.AddItem(u"UPPER(KAL:ndok)", u"№ документа", u"@s12", 1);
    QBE8.AddItem(u"UPPER(KAL:utvdata)", u"Дата утверждения", u"@d6.b", 1);
    QBE8.AddItem(u"UPPER(KAL:vvoddata)", u"Дата ввода", u"@d6.b", 1);
    QBE8.AddItem(u"UPPER(KAL:name)", u"Краткое наименование", u"@s120", 1);
}

}  // namespace kaldo013

void Browsekaldor() {
    auto p = std::make_unique<kaldo013::Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

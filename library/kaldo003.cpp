// Updatekaldor: the form of one document card (a row of KALDOR), called by the
// document list on its own thread to view, add, change or delete a card. Four
// tabs: the document text in a rich-text editor, the card's fields, the card's
// bookmarks (a list over ZAMETKA whose buttons call the bookmark form), and the
// working copy with the user's extracts in a second editor.
//
// The bodies never go straight between the record and an editor: a body is
// copied out of its BLOB into a temporary file ("Test.rtf", "zfile.rtf" in the
// current folder) which the editor loads, and the editor saves itself into that
// file, which is copied back into the BLOB. Every copy changes the record
// buffer only; the card reaches the table when the user saves it with "&Да".

#include <memory>

#include "app/common.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "browse.h"
#include "controls/kaldo003.h"
#include "copyfailure.h"
#include "dictionary.h"
#include "resizer.h"
#include "rtfcontrol.h"
#include "sortheader.h"
#include "steps.h"
#include "toolbar.h"
#include "ui/selectfile.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace kaldo003 {

// The window's controls (controls/kaldo003.h, made from its declaration):
// SPINRTF and SFILE are also the names of the process-wide variables they
// show, and those are written ::SPINRTF, ::SFILE.

// The source file a new card form offers.
const QString kDefaultSource = QStringLiteral("C:\\kaldor_demo\\1.rtf");
// How the failure messages name the two temporary files.
const QString kTextShown = QStringLiteral("Test.rtf");
const QString kExtractsShown = QStringLiteral("zFile.rtf");

// The card's fields as the user last saved them with this form on this thread.
thread_local KALDOR_Record HISTORY_KAL_RECORD;
thread_local bool historySetUp = false;

// Fields 1 to 11 of a card in the table's order.
std::vector<FieldRef> fieldsOf(KALDOR_Record& r) {
    return {ref(r.ID),       ref(r.KODTER),  ref(r.NAME), ref(r.PNAME1),
            ref(r.PNAME2),   ref(r.PNAME3),  ref(r.NDOK), ref(r.UTVDATA),
            ref(r.VVODDATA), ref(r.WORDKEY), ref(r.NFILE)};
}

// Bookmarks made for a card that was never added: its number goes back to the
// table, and the next card given it would take them over.
void dropBookmarksOf(LONG card) {
    CLEAR(ZAMETKA);
    ZAM.IDDOK = card;
    SET(ZAM_K2, ZAM_K2);
    for (NEXT(ZAMETKA); ERRORCODE() == 0 && ZAM.IDDOK == card; NEXT(ZAMETKA))
        ::DELETE(ZAMETKA);
}

struct BrowseRow {
    STRING<100> ZAM_ZAKLAD;
    STRING<100> ZAM_POTEXT;
    LONG ZAM_IDDOK;
    LONG ZAM_ID;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

struct Procedure;

class BRW4Class : public lst::BrowseClass {
  public:
    void Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
              RelationManager& relation, WindowManager& manager) override;
};

class ThisWindowClass : public WindowManager {
  public:
    explicit ThisWindowClass(Procedure& p) : p_(p) {}
    int Init() override;
    int Kill() override;
    void Ask() override;
    int Run() override;
    int Run(int number, int request) override;
    int TakeEvent() override;
    int TakeAccepted() override;
    int TakeSelected() override;
    int TakeFieldEvent() override;
    int TakeWindowEvent() override;

  private:
    void putSourceIntoText();
    void fillSourceName();
    Procedure& p_;
    LONG primedId_ = 0;  // the number reserved for a card being added
};

class ResizerClass : public WindowResizeClass {
  public:
    void Init(int appStrategy, bool setMinSize, bool setMaxSize) override {
        WindowResizeClass::Init(appStrategy, setMinSize, setMaxSize);
        SetParentDefaults();
    }
};

// The objects of one run, made when it starts and freed when it returns.
struct Procedure {
    CSTRING<40> ActionMessage;
    Window QuickWindow{u"kaldor$kaldo003", u"P1$QUICKWINDOW"};
    lst::QUEUE<BrowseRow> QUEUE_BROWSE{[](BrowseRow& r, lst::QueueFields& f) {
        f("ZAM:ZAKLAD", r.ZAM_ZAKLAD)("ZAM:POTEXT", r.ZAM_POTEXT)("ZAM:IDDOK", r.ZAM_IDDOK)(
            "ZAM:ID", r.ZAM_ID)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    ViewClass BRW4_View{ZAMETKA};
    ThisWindowClass ThisWindow{*this};
    BRW4Class BRW4;
    lst::StepLocatorClass BRW4_Sort0_Locator;
    lst::AutoSizeColumnClassType BRW4_AutoSizeColumn;
    RTFControlClass RTFControl9;
    RTFControlClass RTFControl12;
    SelectFileClass FileLookup5;
    ResizerClass Resizer;
    ToolbarClass Toolbar;

    Procedure() {
        QuickWindow.bind(SPINRTF, ::SPINRTF.fieldRef());
        QuickWindow.bind(KAL_ID, ref(KAL.ID));
        QuickWindow.bind(KAL_NFILE, ref(KAL.NFILE));
        QuickWindow.bind(KAL_KODTER, ref(KAL.KODTER));
        QuickWindow.bind(SFILE, ::SFILE.fieldRef());
        QuickWindow.bind(KAL_NAME, ref(KAL.NAME));
        QuickWindow.bind(KAL_PNAME1, ref(KAL.PNAME1));
        QuickWindow.bind(KAL_PNAME2, ref(KAL.PNAME2));
        QuickWindow.bind(KAL_PNAME3, ref(KAL.PNAME3));
        QuickWindow.bind(KAL_NDOK, ref(KAL.NDOK));
        QuickWindow.bind(KAL_UTVDATA, ref(KAL.UTVDATA));
        QuickWindow.bind(KAL_VVODDATA, ref(KAL.VVODDATA));
        QuickWindow.bind(KAL_WORDKEY, ref(KAL.WORDKEY));
    }
};

// ---------------------------------------------------------------------------

int ThisWindowClass::Init() {
    const int level = BeginInit(*this, u"Updatekaldor", RTFTEXTBOX, p_.Toolbar);
    if (level != Level::Benign)
        return level;
    HistoryKey = Key::Ctrl + Key::letter('H');
    AddHistoryFile(fieldsOf(KAL), fieldsOf(HISTORY_KAL_RECORD));
    AddHistoryField(KAL_ID, 1);
    AddHistoryField(KAL_NFILE, 11);
    AddHistoryField(KAL_KODTER, 2);
    AddHistoryField(KAL_NAME, 3);
    AddHistoryField(KAL_PNAME1, 4);
    AddHistoryField(KAL_PNAME2, 5);
    AddHistoryField(KAL_PNAME3, 6);
    AddHistoryField(KAL_NDOK, 7);
    AddHistoryField(KAL_UTVDATA, 8);
    AddHistoryField(KAL_VVODDATA, 9);
    AddHistoryField(KAL_WORDKEY, 10);
    AddUpdateFile(*Access_KALDOR);
    AddItem(CANCEL, RequestCancelled);
    Relate_KALDOR->SetOpenRelated();
    Relate_KALDOR->Open();
    FilesOpened = true;
    Primary = Relate_KALDOR;
    if (SetFormActions(*this, OK) != Level::Benign)
        return Level::Notify;
    if (Request == InsertRecord)
        primedId_ = KAL.ID;
    p_.BRW4.Init(LIST, ref(p_.QUEUE_BROWSE.VIEWPOSITION), p_.BRW4_View, p_.QUEUE_BROWSE,
                 *Relate_ZAMETKA, *this);
    Open(p_.QuickWindow);
    Window& w = p_.QuickWindow;

    RTFControlClass& text = p_.RTFControl9;
    text.AddItem(RTFTOOL::Find, RTFTOOLFIND);
    text.AddItem(RTFTOOL::FindAndReplace, RTFTOOLFINDANDREPLACE);
    text.AddItem(RTFTOOL::Undo, RTFTOOLUNDO);
    text.AddItem(RTFTOOL::Redo, RTFTOOLREDO);
    text.AddItem(RTFTOOL::FontName, RTFTOOLFONTNAME);
    text.AddItem(RTFTOOL::FontSize, RTFTOOLFONTSIZE);
    text.AddItem(RTFTOOL::FontScript, RTFTOOLFONTSCRIPT);
    text.AddItem(RTFTOOL::Bold, RTFTOOLBOLD);
    text.AddItem(RTFTOOL::Italic, RTFTOOLITALIC);
    text.AddItem(RTFTOOL::Underline, RTFTOOLUNDERLINE);
    text.AddItem(RTFTOOL::FontColor, RTFTOOLFONTCOLOR);
    text.AddItem(RTFTOOL::FontBkColor, RTFTOOLFONTBKCOLOR);
    RTFControlClass& extracts = p_.RTFControl12;
    extracts.AddItem(RTFTOOL::Find, RTFTOOLFIND_2);
    extracts.AddItem(RTFTOOL::FindAndReplace, RTFTOOLFINDANDREPLACE_2);
    extracts.AddItem(RTFTOOL::Undo, RTFTOOLUNDO_2);
    extracts.AddItem(RTFTOOL::Redo, RTFTOOLREDO_2);
    extracts.AddItem(RTFTOOL::Alignment, RTFTOOLALIGNMENT);
    extracts.AddItem(RTFTOOL::AlignmentJust, RTFTOOLALIGNMENTJUST);
    extracts.AddItem(RTFTOOL::FontName, RTFTOOLFONTNAME_2);
    extracts.AddItem(RTFTOOL::FontSize, RTFTOOLFONTSIZE_2);
    extracts.AddItem(RTFTOOL::FontScript, RTFTOOLFONTSCRIPT_2);
    extracts.AddItem(RTFTOOL::Bold, RTFTOOLBOLD_2);
    extracts.AddItem(RTFTOOL::Italic, RTFTOOLITALIC_2);
    extracts.AddItem(RTFTOOL::Underline, RTFTOOLUNDERLINE_2);
    extracts.AddItem(RTFTOOL::FontColor, RTFTOOLFONTCOLOR_2);
    extracts.AddItem(RTFTOOL::FontBkColor, RTFTOOLFONTBKCOLOR_2);

    w[LIST][PROP::LineHeight] = 12;
    if (Request == ViewRecord) {
        for (int c : {KAL_ID, KAL_NFILE, SFILE, KAL_NAME, KAL_PNAME1, KAL_PNAME2, KAL_PNAME3,
                      KAL_NDOK, KAL_UTVDATA, KAL_VVODDATA, KAL_WORDKEY})
            w[c][PROP::ReadOnly] = 1;
        for (int c : {BUTTON17,
                      BUTTON6,
                      RTFTOOLFIND,
                      RTFTOOLFINDANDREPLACE,
                      RTFTOOLUNDO,
                      RTFTOOLREDO,
                      RTFTOOLFONTNAME,
                      RTFTOOLFONTSIZE,
                      RTFTOOLFONTSCRIPT,
                      RTFTOOLFONTCOLOR,
                      RTFTOOLFONTBKCOLOR,
                      LOOKUPFILE,
                      BUTTON5,
                      INSERT,
                      CHANGE,
                      DELETE,
                      RTFTOOLFIND_2,
                      RTFTOOLFINDANDREPLACE_2,
                      RTFTOOLUNDO_2,
                      RTFTOOLREDO_2,
                      RTFTOOLFONTNAME_2,
                      RTFTOOLFONTSIZE_2,
                      RTFTOOLFONTSCRIPT_2,
                      RTFTOOLFONTCOLOR_2,
                      RTFTOOLFONTBKCOLOR_2,
                      BUTTON20,
                      BUTTON19})
            w.disable(c);
    }
    p_.Resizer.Init(Resize::Default, false, false);
    AddItem(p_.Resizer);

    p_.BRW4.AddSortOrder(nullptr, ZAM_K2);
    p_.BRW4.AddRange(ZAM.IDDOK, *Relate_ZAMETKA, *Relate_KALDOR);
    p_.BRW4.AddLocator(&p_.BRW4_Sort0_Locator);
    p_.BRW4_Sort0_Locator.Init(0, ref(ZAM.IDDOK), true);
    p_.BRW4.AddField(ZAM.ZAKLAD, p_.QUEUE_BROWSE.ZAM_ZAKLAD);
    p_.BRW4.AddField(ZAM.POTEXT, p_.QUEUE_BROWSE.ZAM_POTEXT);
    p_.BRW4.AddField(ZAM.IDDOK, p_.QUEUE_BROWSE.ZAM_IDDOK);
    p_.BRW4.AddField(ZAM.ID, p_.QUEUE_BROWSE.ZAM_ID);

    INIMgr.Fetch(u"Updatekaldor", w);
    p_.Resizer.Resize();

    text.Init(w, RTFTEXTBOX);
    extracts.Init(w, RTFTEXTBOX_2);
    p_.FileLookup5.Init();
    p_.FileLookup5.ClearOnCancel = true;
    p_.FileLookup5.Flags |= FILEDLG::LongName;
    p_.FileLookup5.AddMask(u"All Files", u"*.*");
    p_.FileLookup5.WindowTitle = QStringLiteral("Выбрать документ");

    p_.BRW4.AskProcedure = 1;
    p_.Toolbar.AddTarget(p_.BRW4, LIST);
    SetAlerts();
    p_.BRW4_AutoSizeColumn.Init();
    p_.BRW4_AutoSizeColumn.AddListBox(LIST, p_.QUEUE_BROWSE);
    return level;
}

void ThisWindowClass::Ask() {
    switch (Request) {
        case ViewRecord:
            p_.ActionMessage = u"Просмотр документа";
            break;
        case InsertRecord:
            p_.ActionMessage = u"Добавить";
            break;
        case ChangeRecord:
            p_.ActionMessage = u"Редактировать";
            break;
        default:
            break;
    }
    p_.QuickWindow[PROP::StatusText] = p_.ActionMessage.str();
    WindowManager::Ask();
}

int ThisWindowClass::Run() {
    const int response = WindowManager::Run();
    return Request == ViewRecord ? int(RequestCancelled) : response;
}

int ThisWindowClass::Run(int number, int request) {
    WindowManager::Run(number, request);
    if (Request == ViewRecord)
        return RequestCancelled;
    GlobalRequest = BYTE(request);
    UpdateZk();
    return GlobalResponse;
}

int ThisWindowClass::TakeEvent() {
    p_.RTFControl9.TakeEvent();
    p_.RTFControl12.TakeEvent();
    if (p_.BRW4_AutoSizeColumn.TakeEvents())
        return Level::Notify;
    return WindowManager::TakeEvent();
}

int ThisWindowClass::TakeAccepted() {
    const int level = WindowManager::TakeAccepted();
    switch (ACCEPTED()) {
        case BUTTON17:
            Update();
            bodyToEditor(KAL.ZAKON, ::NFILE.get().str(), p_.RTFControl9, kTextShown);
            break;
        case BUTTON6:
            // On the press, not when the button takes the focus: passing over
            // it must not store the editor (empty until shown) into the card.
            editorToBody(p_.RTFControl9, ::NFILE.get().str(), KAL.ZAKON, kTextShown);
            break;
        case LOOKUPFILE:
            Update();
            ::SFILE = p_.FileLookup5.Ask(false);
            DISPLAY();
            break;
        case BUTTON5:
            putSourceIntoText();
            break;
        case BUTTON20:
            Update();
            bodyToEditor(KAL.RABZAKON, ::ZFILE.get().str(), p_.RTFControl12, kExtractsShown);
            break;
        case BUTTON19:
            editorToBody(p_.RTFControl12, ::ZFILE.get().str(), KAL.RABZAKON, kExtractsShown);
            break;
        case OK:  // viewing: "&Да" only closes
            TakeFormOk(*this, OK, p_.QuickWindow);
            break;
        default:
            break;
    }
    return level;
}

int ThisWindowClass::TakeSelected() {
    const int level = WindowManager::TakeSelected();
    // Before the dialog: a card without a source name takes the one offered.
    if (SELECTED() == LOOKUPFILE)
        fillSourceName();
    return level;
}

int ThisWindowClass::TakeFieldEvent() {
    const int level = WindowManager::TakeFieldEvent();
    switch (FIELD()) {
        case RTFTEXTBOX:
        case SPINRTF:
            SETTARGET(p_.QuickWindow);
            p_.QuickWindow[RTFTEXTBOX][PROP::FontSize] = int(::SPINRTF.get().toInt());
            SETTARGET();
            DISPLAY();
            break;
        case SFILE:
            fillSourceName();
            break;
        default:
            break;
    }
    return level;
}

int ThisWindowClass::TakeWindowEvent() {
    const int level = WindowManager::TakeWindowEvent();
    switch (EVENT()) {
        case EVENT::CloseWindow:
            // Only when the window really goes: a user who keeps the form
            // keeps its source file too.
            if (level == Level::Benign)
                ::SFILE = QString();
            break;
        case EVENT::OpenWindow:
            SYSTEM[PROP::CharSet] = CHARSET::Cyrillic;
            ::SFILE = kDefaultSource;
            DISPLAY();
            break;
        default:
            break;
    }
    return level;
}

int ThisWindowClass::Kill() {
    const int level = WindowManager::Kill();
    if (level != Level::Benign)
        return level;
    if (primedId_ != 0 && Response != RequestCompleted)
        dropBookmarksOf(primedId_);
    if (FilesOpened)
        Relate_KALDOR->Close();
    p_.RTFControl9.Kill();
    p_.RTFControl12.Kill();
    p_.BRW4_AutoSizeColumn.Kill();
    EndKill(*this, u"Updatekaldor", p_.QuickWindow);
    return level;
}

// ---- the bodies -------------------------------------------------------------

void ThisWindowClass::putSourceIntoText() {
    Update();
    const QString source = ::SFILE.get().clip();
    if (fileToBlobShown(source, KAL.ZAKON, source) == 0) {
        // The card names the file its text came from.
        KAL.NFILE = source;
        DISPLAY();
    }
}

void ThisWindowClass::fillSourceName() {
    if (KAL.NFILE.clip().isEmpty())
        KAL.NFILE = ::SFILE.get();
    DISPLAY();
}

// ---------------------------------------------------------------------------

void BRW4Class::Init(int listControl, FieldRef position, ViewClass& view, lst::QueueClass& queue,
                     RelationManager& relation, WindowManager& manager) {
    BrowseClass::Init(listControl, position, view, queue, relation, manager);
    if (manager.Request != ViewRecord) {
        InsertControl = INSERT;
        ChangeControl = CHANGE;
        DeleteControl = DELETE;
    }
}

}  // namespace kaldo003

void Updatekaldor() {
    using namespace kaldo003;
    if (!historySetUp) {
        for (const FieldRef& f : fieldsOf(HISTORY_KAL_RECORD))
            f.clear();
        historySetUp = true;
    }
    auto p = std::make_unique<Procedure>();
    GlobalResponse = BYTE(p->ThisWindow.Run());
    p->QuickWindow.close();
}

#include "browse_support.h"

#include <QDir>

#include "filedrop.h"
#include "ui/gui.h"

namespace bt {

namespace {

const char16_t* kWords[] = {u"Закон",     u"Приказ",     u"Положение", u"Инструкция", u"Правила",
                            u"Регламент", u"Порядок",    u"Устав",     u"Договор",    u"Решение",
                            u"Указ",      u"Письмо",     u"Методика",  u"Перечень",   u"Стандарт",
                            u"Кодекс",    u"Соглашение", u"Протокол",  u"Акт",        u"Норматив"};

}  // namespace

QString itemName(int id) {
    switch (id) {
        case 1:
            return QStringLiteral("ёлка");
        case 2:
            return QStringLiteral("Елка");
        case 3:
            return QStringLiteral("ель");
        case 4:
            return QStringLiteral("Яблоко");
        case 5:
            return QStringLiteral("абрикос");
        default:
            return QString::fromUtf16(kWords[id % 20]) +
                   QStringLiteral(" %1").arg(id, 3, 10, QLatin1Char('0'));
    }
}

LONG itemDay(int id) {
    return id % 50 == 0 ? 0 : rt::dayNumber(2020, 1, 1) + id;
}

void buildData() {
    static QTemporaryDir* dir = nullptr;
    if (dir)
        return;
    dir = new QTemporaryDir;
    qputenv("KALDOR_DRIVE_C", dir->path().toLocal8Bit());
    QDir(dir->path()).mkpath(QStringLiteral("list"));
    Tables t;
    LOGOUT(10, {&t.items});
    for (int id = 1; id <= kItems; ++id) {
        t.items.clearRecord();
        t.ITM.ID = id;
        t.ITM.NAME = itemName(id);
        t.ITM.DAY = itemDay(id);
        t.ITM.GRP = id % (kGroups - 1) + 1;
        t.ITM.NOTE = QStringLiteral("примечание %1").arg(id);
        ADD(t.items);
    }
    COMMIT();
    for (int g = 1; g <= kGroups; ++g) {
        t.groups.clearRecord();
        t.GRP.ID = g;
        t.GRP.NAME = QStringLiteral("Группа %1").arg(g);
        ADD(t.groups);
    }
}

namespace {

struct Sorter : lst::SortHeaderClassType {
    lst::BrowseClass* brw = nullptr;
    Log* log = nullptr;
    lst::LocatorClass* locator = nullptr;
    void QueueResorted(const QString& s) override {
        {
            std::lock_guard<std::mutex> l(log->m);
            log->resorted.push_back(s);
        }
        if (s.isEmpty()) {
            brw->RestoreSort();
            brw->ResetSort(true);
        } else {
            brw->ReplaceSort(s, locator);
            brw->SetLocatorFromSort();
        }
    }
};

// The item list's window: a window manager as a list procedure has one.
class ItemWindow : public WindowManager {
  public:
    ItemWindow(Log& log, const Options& o) : log_(log), o_(o), ctx_{t_, brw_, w_, q_} {}
    using WindowManager::Run;

    int Init() override {
        Request = BYTE(o_.request);
        if (const int level = WindowManager::Init())
            return level;
        Open(w_);
        if (!w_.isOpen())
            return Level::Notify;
        w_[BROWSE](lst::PROPSTYLE::FontStyle, 1) = int(FONT::Bold);
        w_[BROWSE](lst::PROPSTYLE::TextColor, 1) = int(COLOR::Silver);
        w_[BROWSE](PROP::IconList, 1) = u"~adr1.ico";
        brw_.Init(BROWSE, ref(q_.VIEWPOSITION), view_, q_, t_.itemsRel, *this);
        step_.Init(ScrollSort::Limits);
        brw_.AddSortOrder(&step_, t_.ITM_K1);
        brw_.AddLocator(&byId_);
        byId_.Init(0, ref(t_.ITM.ID), true);
        brw_.AddSortOrder(t_.ITM_K2);
        brw_.AddLocator(&byName_);
        byName_.Init(0, ref(t_.ITM.NAME), true);
        brw_.AddField(t_.ITM.ID, q_.ID);
        brw_.AddField(t_.ITM.NAME, q_.NAME);
        brw_.AddField(t_.ITM.DAY, q_.DAY);
        view_.addField(t_.ITM.GRP);
        brw_.InsertControl = brw::INSERT;
        brw_.ChangeControl = brw::CHANGE;
        brw_.DeleteControl = brw::DELETE;
        brw_.AskProcedure = 1;
        brw_.EditViaPopup = o_.editViaPopup;
        SetAlerts();
        autosize_.Init();
        autosize_.AddListBox(BROWSE, q_);
        sorter_.brw = &brw_;
        sorter_.log = &log_;
        sorter_.locator = &byColumn_;
        sorter_.Init(q_, BROWSE, QString(), QString(), &view_);
        return Level::Benign;
    }
    int Kill() override {
        if (const int level = WindowManager::Kill())
            return level;
        sorter_.Kill();
        autosize_.Kill();
        w_.close();
        return Level::Benign;
    }
    int Run(int number, int request) override {
        WindowManager::Run(number, request);
        {
            std::lock_guard<std::mutex> l(log_.m);
            log_.runs.emplace_back(number, request);
        }
        return o_.form ? o_.form(ctx_, number, request) : int(RequestCancelled);
    }
    int TakeEvent() override {
        const rt::Event& e = rt::currentEvent();
        if (e.field == BROWSE) {
            // What a window's field-event handler sees: the row arrived at.
            std::lock_guard<std::mutex> l(log_.m);
            log_.arrived.push_back(t_.ITM.ID);
            log_.arrivedEvents.push_back(e.event);
            if (e.event == EVENT::NewSelection && !e.input)
                ++log_.newSelections;
        }
        if (e.event >= EVENT::User && o_.user)
            o_.user(ctx_, e.event);
        int level = Level::Benign;
        if (sorter_.TakeEvents() || autosize_.TakeEvents())
            level = Level::Notify;
        else
            level = WindowManager::TakeEvent();
        return level;
    }
    void Ask() override {
        Window& w = w_;
        while (w.accept()) {
            if (TakeEvent() == Level::Fatal)
                break;
            for (WindowComponent* c : Items())
                c->UpdateWindow();
            std::lock_guard<std::mutex> l(log_.m);
            log_.id = t_.ITM.ID;
            log_.note = t_.ITM.NOTE.clip();
        }
    }

  private:
    Log& log_;
    Options o_;
    Tables t_;
    ItemQueue q_;
    Window w_{u"browsetest", u"BROWSE"};
    ViewClass view_{t_.items};
    TestBrowse brw_{t_, q_};
    Ctx ctx_;
    StepLongClass step_;
    lst::StepLocatorClass byId_, byName_, byColumn_;
    Sorter sorter_;
    lst::AutoSizeColumnClassType autosize_;
};

}  // namespace

LONG openBrowse(Log& log, Options o) {
    buildData();
    return START([&log, o] {
        ItemWindow window(log, o);
        window.Run();
    });
}

namespace {

struct GroupRow {
    LONG ID;
    STRING<30> NAME;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};
struct ShortItemRow {
    LONG ID;
    STRING<40> NAME;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};
struct ChoiceRow {
    STRING<40> NAME;
    LONG NAME_ICON;
    LONG ID;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

class ChoiceCombo : public lst::FileDropComboClass {
  public:
    explicit ChoiceCombo(lst::QUEUE<ChoiceRow>& q) : q_(q) {}
    void SetQueueRecord() override {
        FileDropComboClass::SetQueueRecord();
        q_.NAME_ICON = 1;
    }

  private:
    lst::QUEUE<ChoiceRow>& q_;
};

// Groups and the items of the group chosen: two lists, one limited by the
// other's row.
class RangeWindow : public WindowManager {
  public:
    explicit RangeWindow(RangeLog& log) : log_(log) {}
    using WindowManager::Run;

    int Init() override {
        if (const int level = WindowManager::Init())
            return level;
        Open(w_);
        groups_.Init(GROUPS, ref(gq_.VIEWPOSITION), gv_, gq_, t_.groupsRel, *this);
        groups_.AddSortOrder(t_.GRP_K1);
        groups_.AddField(t_.GRP.ID, gq_.ID);
        groups_.AddField(t_.GRP.NAME, gq_.NAME);
        groups_.AskProcedure = 1;
        items_.Init(ITEMS, ref(iq_.VIEWPOSITION), iv_, iq_, t_.itemsRel, *this);
        items_.AddSortOrder(t_.ITM_K3);
        items_.AddRange(t_.ITM.GRP, t_.itemsRel, t_.groupsRel);
        items_.AddField(t_.ITM.ID, iq_.ID);
        items_.AddField(t_.ITM.NAME, iq_.NAME);
        items_.InsertControl = rng::INSERT;
        items_.DeleteControl = rng::DELETE;
        items_.AskProcedure = 2;
        w_.bind(rng::CHOICE, ref(t_.ITM.NAME));
        w_[rng::CHOICE](PROP::IconList, 1) = u"~adr1.ico";
        choice_.Init(ref(t_.ITM.NAME), rng::CHOICE, ref(cq_.VIEWPOSITION), cv_, cq_, t_.itemsRel,
                     *this, t_.errors, 0, 1, 0);
        choice_.AddSortOrder(t_.ITM_K3);
        choice_.AddRange(t_.ITM.GRP, t_.itemsRel, t_.groupsRel);
        choice_.AddField(t_.ITM.NAME, cq_.NAME);
        choice_.AddField(t_.ITM.ID, cq_.ID);
        SetAlerts();
        return Level::Benign;
    }
    int Kill() override {
        if (const int level = WindowManager::Kill())
            return level;
        w_.close();
        return Level::Benign;
    }
    int Run(int number, int request) override {
        if (number == 2 && request == DeleteRecord)
            return t_.itemsRel.Delete(0) == Level::Benign ? 1 : 2;
        if (number != 2 || request != InsertRecord)
            return RequestCancelled;
        {
            std::lock_guard<std::mutex> l(log_.m);
            log_.primedGroup = t_.ITM.GRP;
        }
        t_.ITM.NAME = "В группе";
        return t_.itemsAccess.Insert() == Level::Benign ? 1 : 2;
    }
    int TakeAccepted() override {
        if (ACCEPTED() == rng::CHOICE) {
            std::lock_guard<std::mutex> l(log_.m);
            log_.chosen = t_.ITM.NAME.clip();
        }
        return WindowManager::TakeAccepted();
    }
    void Ask() override {
        while (w_.accept()) {
            TakeEvent();
            for (WindowComponent* c : Items())
                c->UpdateWindow();
            std::lock_guard<std::mutex> l(log_.m);
            log_.group = t_.GRP.ID;
            log_.item = t_.ITM.ID;
        }
    }

  private:
    RangeLog& log_;
    Tables t_;
    lst::QUEUE<GroupRow> gq_{[](GroupRow& r, lst::QueueFields& f) {
        f("GRP:ID", r.ID)("GRP:NAME", r.NAME)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    lst::QUEUE<ShortItemRow> iq_{[](ShortItemRow& r, lst::QueueFields& f) {
        f("ITM:ID", r.ID)("ITM:NAME", r.NAME)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    lst::QUEUE<ChoiceRow> cq_{[](ChoiceRow& r, lst::QueueFields& f) {
        f("ITM:NAME", r.NAME)("ITM:NAME_ICON", r.NAME_ICON)("ITM:ID", r.ID)("MARK", r.MARK)(
            "VIEWPOSITION", r.VIEWPOSITION);
    }};
    Window w_{u"browsetest", u"RANGE"};
    ViewClass gv_{t_.groups}, iv_{t_.items}, cv_{t_.items};
    lst::BrowseClass groups_, items_;
    ChoiceCombo choice_{cq_};
};

}  // namespace

LONG openRange(RangeLog& log) {
    buildData();
    return START([&log] {
        RangeWindow window(log);
        window.Run();
    });
}

void closeWindow(LONG thread) {
    POST(EVENT::CloseWindow, 0, thread);
    rt::waitThreadEnd(thread, uitest::kWait);
}

}  // namespace bt

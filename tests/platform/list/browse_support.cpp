#include "browse_support.h"

#include <QDir>

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

struct Host : lst::BrowseHost {
    Window& w;
    int request;
    std::function<int(int, int)> run;
    Host(Window& win, int r) : w(win), request(r) {}
    Window& BrowseWindow() override { return w; }
    int BrowseRequest() const override { return request; }
    int Run(int number, int req) override { return run(number, req); }
};

struct Sorter : lst::SortHeaderClassType {
    TestBrowse* brw = nullptr;
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

}  // namespace

LONG openBrowse(Log& log, Options o) {
    buildData();
    return START([&log, o] {
        Tables t;
        ItemQueue q;
        Window w(u"listtest", u"BROWSE");
        ViewClass view(t.items);
        TestBrowse brw(t, q);
        Ctx ctx{t, brw, w, q};
        Host host(w, o.request);
        host.run = [&](int n, int r) {
            {
                std::lock_guard<std::mutex> l(log.m);
                log.runs.emplace_back(n, r);
            }
            return o.form ? o.form(ctx, n, r) : int(lst::Req::RequestCancelled);
        };
        lst::StepLongClass step;
        lst::StepLocatorClass byId, byName, byColumn;
        Sorter sorter;
        sorter.brw = &brw;
        sorter.log = &log;
        sorter.locator = &byColumn;
        lst::AutoSizeColumnClassType autosize;
        if (!w.open())
            return;
        w[BROWSE](lst::PROPSTYLE::FontStyle, 1) = int(FONT::Bold);
        w[BROWSE](lst::PROPSTYLE::TextColor, 1) = int(COLOR::Silver);
        w[BROWSE](PROP::IconList, 1) = u"~adr1.ico";
        brw.Init(BROWSE, ref(q.VIEWPOSITION), view, q, t.itemsRel, host);
        step.Init(lst::ScrollSort::Limits);
        brw.AddSortOrder(&step, t.ITM_K1);
        brw.AddLocator(&byId);
        byId.Init(0, ref(t.ITM.ID), true);
        brw.AddSortOrder(t.ITM_K2);
        brw.AddLocator(&byName);
        byName.Init(0, ref(t.ITM.NAME), true);
        brw.AddField(t.ITM.ID, q.ID);
        brw.AddField(t.ITM.NAME, q.NAME);
        brw.AddField(t.ITM.DAY, q.DAY);
        view.addField(t.ITM.GRP);
        brw.InsertControl = INSERT_;
        brw.ChangeControl = CHANGE_;
        brw.DeleteControl = DELETE_;
        brw.AskProcedure = 1;
        brw.EditViaPopup = o.editViaPopup;
        brw.SetAlerts();
        autosize.Init();
        autosize.AddListBox(BROWSE, q);
        sorter.Init(q, BROWSE, QString(), QString(), &view);
        while (ACCEPT()) {
            const rt::Event& e = rt::currentEvent();
            if (e.field == BROWSE) {
                std::lock_guard<std::mutex> l(log.m);
                log.arrived.push_back(t.ITM.ID);
                log.arrivedEvents.push_back(e.event);
                if (e.event == EVENT::NewSelection && !e.input)
                    ++log.newSelections;
            }
            if (e.event >= EVENT::User && o.user)
                o.user(ctx, e.event);
            if (!sorter.TakeEvents() && !autosize.TakeEvents())
                brw.TakeEvent();
            std::lock_guard<std::mutex> l(log.m);
            log.id = t.ITM.ID;
            log.note = t.ITM.NOTE.clip();
        }
        brw.Kill();
        sorter.Kill();
        autosize.Kill();
        w.close();
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

}  // namespace

LONG openRange(RangeLog& log) {
    buildData();
    return START([&log] {
        Tables t;
        lst::QUEUE<GroupRow> gq([](GroupRow& r, lst::QueueFields& f) {
            f("GRP:ID", r.ID)("GRP:NAME", r.NAME)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
        });
        lst::QUEUE<ShortItemRow> iq([](ShortItemRow& r, lst::QueueFields& f) {
            f("ITM:ID", r.ID)("ITM:NAME", r.NAME)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
        });
        Window w(u"listtest", u"RANGE");
        ViewClass gv(t.groups), iv(t.items);
        Host host(w, 0);
        host.run = [&](int number, int request) {
            if (number == 2 && request == lst::Req::DeleteRecord)
                return t.itemsRel.Delete(0) == Level::Benign ? 1 : 2;
            if (number != 2 || request != lst::Req::InsertRecord)
                return int(lst::Req::RequestCancelled);
            {
                std::lock_guard<std::mutex> l(log.m);
                log.primedGroup = t.ITM.GRP;
            }
            t.ITM.NAME = "В группе";
            return t.itemsAccess.Insert() == Level::Benign ? 1 : 2;
        };
        lst::BrowseClass groups, items;
        if (!w.open())
            return;
        groups.Init(GROUPS, ref(gq.VIEWPOSITION), gv, gq, t.groupsRel, host);
        groups.AddSortOrder(t.GRP_K1);
        groups.AddField(t.GRP.ID, gq.ID);
        groups.AddField(t.GRP.NAME, gq.NAME);
        groups.AskProcedure = 1;
        items.Init(ITEMS, ref(iq.VIEWPOSITION), iv, iq, t.itemsRel, host);
        items.AddSortOrder(t.ITM_K3);
        items.AddRange(t.ITM.GRP, t.itemsRel, t.groupsRel);
        items.AddField(t.ITM.ID, iq.ID);
        items.AddField(t.ITM.NAME, iq.NAME);
        items.InsertControl = RANGE_INSERT;
        items.DeleteControl = RANGE_DELETE;
        items.AskProcedure = 2;
        groups.SetAlerts();
        items.SetAlerts();
        while (ACCEPT()) {
            groups.TakeEvent();
            items.TakeEvent();
            std::lock_guard<std::mutex> l(log.m);
            log.group = t.GRP.ID;
            log.item = t.ITM.ID;
        }
        groups.Kill();
        items.Kill();
        w.close();
    });
}

void closeWindow(LONG thread) {
    POST(EVENT::CloseWindow, 0, thread);
    rt::waitThreadEnd(thread, uitest::kWait);
}

// ---------------------------------------------------------------------------

lst::ListWidget* listWidget(int thread, int control) {
    rt::GuiWindow* w = rt::gui::topWindow(thread);
    rt::GuiControl* c = w ? w->control(control) : nullptr;
    return c ? lst::ListWidget::of(*c) : nullptr;
}

QStringList column(int thread, int control, int col) {
    return uitest::onGui([&] {
        QStringList out;
        lst::ListWidget* l = listWidget(thread, control);
        if (!l || !l->rows())
            return out;
        for (const auto& r : *l->rows())
            out << (col - 1 < int(r.size()) ? r[size_t(col - 1)].text : QString());
        return out;
    });
}

int currentRow(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l && l->table()->currentIndex().isValid() ? l->table()->currentIndex().row() + 1 : 0;
    });
}

int thumb(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l ? l->thumb()->value() : -1;
    });
}

bool thumbEnabled(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l && l->thumb()->isVisible() && l->thumb()->isEnabled();
    });
}

namespace {

template <class F>
void onTable(int thread, int control, F f) {
    uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        if (!l)
            return;
        l->window()->activateWindow();
        QApplication::setActiveWindow(l->window());
        f(l, l->table());
    });
    uitest::waitIdle(thread);
}

}  // namespace

void clickRow(int thread, int control, int row) {
    onTable(thread, control, [row](lst::ListWidget*, QTableView* t) {
        const QRect r = t->visualRect(t->model()->index(row - 1, 0));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
    });
}

void doubleClickRow(int thread, int control, int row) {
    onTable(thread, control, [row](lst::ListWidget*, QTableView* t) {
        // A double click comes after the press of its first click.
        const QRect r = t->visualRect(t->model()->index(row - 1, 0));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, r.center());
    });
}

void clickHeader(int thread, int control, int col) {
    onTable(thread, control, [col](lst::ListWidget*, QTableView* t) {
        QHeaderView* h = t->horizontalHeader();
        const int x = h->sectionViewportPosition(col - 1) + h->sectionSize(col - 1) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() * 3 / 4));
    });
}

void dragThumb(int thread, int control, int value) {
    onTable(thread, control, [value](lst::ListWidget* l, QTableView*) {
        QScrollBar* s = l->thumb();
        s->setSliderDown(true);
        s->setValue(value);
        s->setSliderDown(false);
    });
}

void typeInto(int thread, int control, const QString& text) {
    onTable(thread, control, [&text](lst::ListWidget*, QTableView* t) {
        t->setFocus(Qt::OtherFocusReason);
        for (QChar ch : text) {
            if (ch.unicode() < 128)
                QTest::keyClick(t, char(ch.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, t, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    });
}

void scrollWheel(int thread, int control, int notches) {
    onTable(thread, control, [notches](lst::ListWidget*, QTableView* t) {
        const QPoint at = t->viewport()->rect().center();
        QWheelEvent e(at, t->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(t->viewport(), &e);
    });
}

}  // namespace bt

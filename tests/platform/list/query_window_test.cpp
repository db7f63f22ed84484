// The query window and the list's query button, driven as a user drives
// them: rows per item, typing through pictures, OK, Cancel, Clear, saved
// queries and the quick query; the list shows what the query leaves.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <mutex>

#include "browse.h"
#include "controls/querytest.h"
#include "core/ini.h"
#include "listdriver.h"
#include "query.h"
#include "query_support.h"
#include "thread_log.h"
#include "ui/window.h"
#include "uidriver.h"
#include "windowmanager.h"

using namespace uitest;
using namespace listtest;
using namespace qt;
using lst::QueryListVisual;
using lst::QueryOp;

namespace {

using namespace querytest;  // the window's controls
constexpr int kRows = 5;    // the five items of the document list

struct Row {
    LONG ID;
    STRING<120> NAME;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

// What the list's thread holds, for the test thread.
struct Seen : Guarded<Seen> {
    QString text;  // the query's text after each event
    bool active = false;
};

QString iniPath() {
    return QDir(qEnvironmentVariable("KALDOR_DRIVE_C")).filePath(u"q/kaldor.INI"_s);
}

class DocWindow : public WindowManager {
  public:
    DocWindow(Seen& s, int order, bool quick, bool filter)
        : s_(s), order_(order), quick_(quick), filter_(filter) {}
    using WindowManager::Run;

    int Init() override {
        if (const int level = WindowManager::Init())
            return level;
        ini_.Init(iniPath());
        OPEN(d_.file);
        Open(w_);
        brw_.Init(BROWSE, ref(q_.VIEWPOSITION), view_, q_, rel_, *this);
        brw_.AddSortOrder(d_.K1);
        brw_.AddSortOrder(d_.K2);
        brw_.AddField(d_.R.ID, q_.ID);
        brw_.AddField(d_.R.NAME, q_.NAME);
        qbe_.Init(qbv_, ini_, u"Browsekaldor", errors_);
        qbe_.QkSupport = quick_;
        qbe_.QkIcon = u"QkLoad.ico"_s;
        qbe_.QkMenuIcon = u"QkQBE.ico"_s;
        brw_.QueryControl = QUERY;
        brw_.Query = &qbe_;
        addItems(qbe_);
        if (filter_)
            brw_.SetFilter([this] { return d_.R.ID != 2; });  // the program's own filter
        brw_.SetSort(order_, true);
        return Level::Benign;
    }
    int Kill() override {
        if (const int level = WindowManager::Kill())
            return level;
        qbe_.Kill();
        w_.close();
        CLOSE(d_.file);
        return Level::Benign;
    }
    void Ask() override {
        while (w_.accept()) {
            TakeEvent();
            for (WindowComponent* c : Items())
                c->UpdateWindow();
            std::lock_guard<std::mutex> l(s_.m);
            s_.text = qbe_.Text();
            s_.active = brw_.QueryActive();
        }
    }

  private:
    Seen& s_;
    int order_;
    bool quick_;
    bool filter_;
    INIClass ini_;
    ErrorClass errors_;
    Docs d_;
    FileManager access_;
    RelationManager rel_;
    lst::QUEUE<Row> q_{[](Row& r, lst::QueueFields& f) {
        f("KAL:ID", r.ID)("KAL:NAME", r.NAME)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
    }};
    Window w_{u"querytest", u"DOCS"};
    ViewClass view_{d_.file};
    lst::BrowseClass brw_;
    lst::QueryListClass qbe_;
    QueryListVisual qbv_;
};

class QueryWindow : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    Seen s;
    LONG th = 0;

    void SetUp() override {
        qputenv("KALDOR_DRIVE_C", dir.path().toLocal8Bit());
        QDir(dir.path()).mkpath(u"q"_s);
        Docs d;
        OPEN(d.file);
        d.fill();
        CLOSE(d.file);
        d.file.release();
    }
    void TearDown() override {
        if (th) {
            POST(EVENT::CloseWindow, 0, th);
            rt::waitThreadEnd(th, kWait);
        }
    }
    void open(int order = 1, bool quick = true, bool filter = false) {
        th = START([this, order, quick, filter] {
            DocWindow w(s, order, quick, filter);
            w.Run();
        });
        ASSERT_TRUE(waitWindow(th));
    }
    QStringList ids() { return column(th, BROWSE, 1); }
    // Opens the query window with the query button.
    void ask() {
        click(th, QUERY);
        ASSERT_TRUE(waitFor([&] { return title(th) == u"Запрос по образцу"_s; }));
    }
    static int op(int r) { return QueryListVisual::OpControl(r); }
    static int value(int r) { return QueryListVisual::ValueControl(r); }
};

const QStringList kAll = {u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s};

}  // namespace

TEST_F(QueryWindow, OffersOneRowPerItemAndTheListShowsWhatTheQueryLeaves) {
    open();
    EXPECT_EQ(ids(), kAll);
    ask();
    const QStringList titles = {u"Ключевая фраза"_s, u"№ документа"_s, u"Дата утверждения"_s,
                                u"Дата ввода"_s, u"Краткое наименование"_s};
    for (int r = 1; r <= kRows; ++r)
        EXPECT_EQ(text(th, QueryListVisual::TitleControl(r)), titles[r - 1]);
    EXPECT_EQ(text(th, op(1)), u"содержит"_s);  // texts: contains unless chosen otherwise
    EXPECT_EQ(text(th, op(3)), u"="_s);         // dates: equal
    // Contains on the short name, without case; OK shows the rows left.
    type(th, value(NAME), u"закон"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"1"_s, u"2"_s, u"6"_s}));
    EXPECT_TRUE(s.get(&Seen::active));
    // The window shows the query in force; Clear and OK show every row again.
    ask();
    EXPECT_EQ(text(th, value(NAME)), u"закон"_s);
    click(th, QueryListVisual::ClearControl(kRows));
    EXPECT_EQ(text(th, value(NAME)), QString());
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), kAll);
    EXPECT_FALSE(s.get(&Seen::active));
}

TEST_F(QueryWindow, AQueryAddsToTheListsOwnFilter) {
    open(1, true, true);
    EXPECT_EQ(ids(), QStringList({u"1"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}));
    ask();
    type(th, value(NAME), u"закон"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"1"_s, u"6"_s}));
    ask();
    click(th, QueryListVisual::AllControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"1"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}));
}

TEST_F(QueryWindow, DatesAreTypedThroughThePictureAndCompareAsDates) {
    open();
    ask();
    chooseEntry(th, op(UTV), 5);  // ">="
    EXPECT_EQ(text(th, op(UTV)), u">="_s);
    type(th, value(UTV), u"29.12.2012"_s);
    EXPECT_EQ(text(th, value(UTV)), u"29.12.2012"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"2"_s, u"3"_s, u"5"_s, u"7"_s}));
    const QString before = s.get(&Seen::text);
    // A date that does not exist is refused by the entry.
    ask();
    type(th, value(VVOD), u"31.02.2020"_s);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).startsWith(u"Дата ввода: "_s)) << messageText(th).toStdString();
    answerMessage(th, BUTTON::Ok);
    EXPECT_EQ(s.get(&Seen::text), before);
    // Corrected, it counts with the other row.
    type(th, value(VVOD), u"01.03.2020"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"5"_s}));
    // Cancelled, nothing changes.
    ask();
    type(th, value(VVOD), u"31.02.2020"_s);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Ok);
    click(th, QueryListVisual::CancelControl(kRows));
    ASSERT_TRUE(waitFor([&] { return title(th) == u"Документы"_s; }));
    EXPECT_EQ(ids(), QStringList({u"5"_s}));
}

TEST_F(QueryWindow, CancelLeavesTheListAndTheQueryAsTheyWere) {
    open(2);  // by name
    const QStringList byName = ids();
    EXPECT_EQ(byName.first(), u"7"_s);  // "law" before the Cyrillic names
    ask();
    type(th, value(NAME), u"ЕЛОЧ"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"5"_s}));
    const QString before = s.get(&Seen::text);
    ask();
    type(th, value(NAME), u"закон"_s);
    chooseEntry(th, op(NDOK), 3);
    type(th, value(NDOK), u"126-фз"_s);
    click(th, QueryListVisual::CancelControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"5"_s}));
    EXPECT_EQ(s.get(&Seen::text), before);
    // Esc cancels.
    ask();
    type(th, value(NAME), u"закон"_s, false);
    pressKey(th, value(NAME), Key::Esc);
    ASSERT_TRUE(waitFor([&] { return title(th) == u"Документы"_s; }));
    EXPECT_EQ(ids(), QStringList({u"5"_s}));
    EXPECT_EQ(s.get(&Seen::text), before);
    // The close box cancels too.
    ask();
    type(th, value(NAME), u"закон"_s);
    POST(EVENT::CloseWindow, 0, th);
    ASSERT_TRUE(waitFor([&] { return title(th) == u"Документы"_s; }));
    EXPECT_EQ(ids(), QStringList({u"5"_s}));
    // Clearing keeps the list's order.
    ask();
    click(th, QueryListVisual::AllControl(kRows));
    EXPECT_EQ(ids(), byName);
}

TEST_F(QueryWindow, SavedAndQuickQueries) {
    open();
    ask();
    type(th, value(WORDS), u"ТРУДА"_s);
    type(th, QueryListVisual::NameControl(kRows), u"Охрана труда"_s);
    click(th, QueryListVisual::SaveControl(kRows));
    EXPECT_FALSE(waitDialog(th, 200)) << messageText(th).toStdString();
    click(th, QueryListVisual::ClearControl(kRows));
    type(th, value(NAME), u"закон"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"1"_s, u"2"_s, u"6"_s}));
    // The saved query is in the INI file under the procedure's name.
    INIClass ini;
    ini.Init(iniPath());
    EXPECT_EQ(ini.Fetch(u"Browsekaldor", u"QueryName1"), u"Охрана труда"_s);
    EXPECT_EQ(ini.Fetch(u"Browsekaldor", u"Query1"), u"UPPER(KAL:wordkey)|contains|ТРУДА"_s);
    // Loading it fills the rows; OK applies it.
    ask();
    type(th, QueryListVisual::NameControl(kRows), u"охрана труда"_s);
    click(th, QueryListVisual::LoadControl(kRows));
    EXPECT_EQ(text(th, value(WORDS)), u"ТРУДА"_s);
    EXPECT_EQ(text(th, value(NAME)), QString());
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"3"_s}));
    // Show all at once, then the last query at once.
    ask();
    click(th, QueryListVisual::AllControl(kRows));
    EXPECT_EQ(ids(), kAll);
    ask();
    EXPECT_TRUE(visible(th, QueryListVisual::LastControl(kRows)));
    click(th, QueryListVisual::LastControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"3"_s}));
    // Deleting it.
    ask();
    type(th, QueryListVisual::NameControl(kRows), u"Охрана труда"_s);
    click(th, QueryListVisual::DeleteControl(kRows));
    click(th, QueryListVisual::CancelControl(kRows));
    ini.Init(iniPath());
    EXPECT_EQ(ini.Fetch(u"Browsekaldor", u"Queries"), u"0"_s);
}

TEST_F(QueryWindow, ASavedRangeKeepsBothBoundsThoughTheWindowShowsOne) {
    {
        INIClass ini;
        ini.Init(iniPath());
        ini.Update(u"Browsekaldor", u"QueryName1", u"Утверждены в 2020");
        ini.Update(u"Browsekaldor", u"Query1",
                   u"UPPER(KAL:utvdata)|>=|2020-01-01;UPPER(KAL:utvdata)|<=|2020-12-31");
        ini.Update(u"Browsekaldor", u"Queries", u"1");
    }
    open();
    ask();
    chooseEntry(th, QueryListVisual::NameControl(kRows), 1);
    click(th, QueryListVisual::LoadControl(kRows));
    EXPECT_EQ(text(th, op(UTV)), u">="_s);
    EXPECT_EQ(text(th, value(UTV)), u"01.01.2020"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"3"_s, u"5"_s}));  // not 7, of 2021
    // Changing the row makes it the item's only condition.
    ask();
    type(th, value(UTV), u"01.01.2021"_s);
    click(th, QueryListVisual::OkControl(kRows));
    EXPECT_EQ(ids(), QStringList({u"7"_s}));
}

TEST_F(QueryWindow, WithoutQuickSupportTheQuickButtonsStayHidden) {
    open(1, false);
    ask();
    EXPECT_FALSE(visible(th, QueryListVisual::LastControl(kRows)));
    EXPECT_FALSE(visible(th, QueryListVisual::AllControl(kRows)));
    click(th, QueryListVisual::CancelControl(kRows));
    EXPECT_EQ(title(th), u"Документы"_s);
}

int main(int argc, char** argv) {
    return uitest::main(argc, argv, {QStringLiteral(KALDOR_LIST_TEST_RESOURCES)});
}

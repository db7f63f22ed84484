// Report procedures over a test table, driven through real widgets: the
// process's reading in key order a slice per tick, the report opened before
// the first row, progress by a step object, cancel between slices, a table
// that cannot be read, the preview and its closing; and the step class.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <thread>

#include "controls/reporttest.h"
#include "core/errors.h"
#include "core/paths.h"
#include "core/step.h"
#include "item_table.h"
#include "report/preview.h"
#include "report/previewhandle.h"
#include "report/process.h"
#include "report/reportmanager.h"
#include "report_preview.h"
#include "table/filemanager.h"
#include "table/view.h"
#include "thread_log.h"
#include "uidriver.h"

using namespace uitest;

namespace {

using namespace reporttest;  // the progress window's controls

ErrorClass gErrors;

// Reports of the table services, as the user would have seen them.
class Recorder : public ErrorReporter {
  public:
    bool report(const ErrorReport& r) override {
        texts_.add(r.text);
        return false;
    }
    QStringList texts() const { return texts_.lines(); }

  private:
    TextLog texts_;
};

// Fills a table file with items whose ids are `ids`, named so that the name
// order differs from the id order.
void makeTable(const QString& fileName, const std::vector<LONG>& ids) {
    std::thread([&] {
        rt::ThreadScope scope;
        ItemTable db(fileName, gErrors);
        db.relate.Open();
        LOGOUT(10, {&db.file});
        for (LONG id : ids) {
            db.file.clearRecord();
            db.R.ID = id;
            db.R.NAME = QStringLiteral("Item %1").arg(100000 - id);
            ADD(db.file);
        }
        COMMIT();
        db.relate.Close();
    }).join();
}

std::vector<LONG> range(LONG first, LONG last, LONG step = 1) {
    std::vector<LONG> v;
    for (LONG i = first; i <= last; i += step)
        v.push_back(i);
    return v;
}

// What a run did, for the test thread to look at.
struct Outcome : TextLog {  // "open after <n> rows", "row <id>", ...
    std::atomic<int> response{-1};
    std::atomic<bool> done{false};
    std::atomic<int> opens{0};
    std::atomic<int> rows{0};
    std::shared_ptr<rt::ReportDocument> document;
    std::int64_t processed = 0;
    std::int64_t toProcess = 0;
    int percent = -1;
};

struct Options {
    bool preview = false;
    bool step = true;
    bool quickScan = true;
    int rowDelayMs = 0;
    int stopAt = 0;  // the row whose TakeRecord answers `stopLevel`
    int stopLevel = Level::Benign;
    INIClass* ini = nullptr;
};

class ItemProcess : public ProcessClass {
  public:
    ItemProcess(ItemTable& db, rt::Report& report, Outcome& out, const Options& o)
        : db_(db), report_(report), out_(out), o_(o) {}
    int TakeRecord() override {
        const int level = ProcessClass::TakeRecord();
        const int n = ++out_.rows;
        out_.add(QStringLiteral("row %1").arg(db_.R.ID));
        report_.print(u"?DETAIL");
        if (o_.rowDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(o_.rowDelayMs));
        return n == o_.stopAt ? o_.stopLevel : level;
    }

  private:
    ItemTable& db_;
    rt::Report& report_;
    Outcome& out_;
    Options o_;
};

class ItemReport : public ReportManager {
    ItemTable& db_;
    rt::Report& report_;
    Outcome& out_;
    Options o_;

  public:
    ItemReport(ItemTable& db, rt::Report& report, Outcome& out, const Options& o)
        : db_(db), report_(report), out_(out), o_(o), process(db, report, out, o) {}

    Window window{u"reporttest", u"PROGRESS"};
    BYTE thermometer = 0;
    ViewClass view{db_.file};
    StepLongClass step;
    ItemProcess process;
    PrintPreviewHandle previewer;

    int Init() override {
        const int level = ReportManager::Init();
        if (level != Level::Benign)
            return level;
        db_.relate.Open();
        FilesOpened = true;
        view.addField(db_.R.ID);
        view.addField(db_.R.NAME);
        window.bind(BAR, ref(thermometer));
        Open(window);
        window[PROP::Timer] = 10;
        step.Init(ScrollSort::Numeric);
        if (o_.step)
            process.Init(view, db_.relate, PCT, ref(thermometer), &step, ref(db_.R.ID));
        else
            process.Init(view, db_.relate, PCT, ref(thermometer));
        process.AddSortOrder(db_.K1);
        AddItem(CANCEL, RequestCancelled);
        ReportManager::Init(process, report_, &previewer);
        db_.relate.SetQuickScan(o_.quickScan ? 1 : 0);
        SkipPreview = !o_.preview;
        previewer.setInitialZoom(100);
        previewer.setIniManager(o_.ini, u"ItemsPreview");
        previewer.setMaximize(true);
        return level;
    }
    int OpenReport() override {
        ++out_.opens;
        out_.add(QStringLiteral("open after %1 rows").arg(out_.rows.load()));
        return ReportManager::OpenReport();
    }
    int Kill() override {
        const int level = ReportManager::Kill();
        if (level != Level::Benign)
            return level;
        if (FilesOpened)
            db_.relate.Close();
        return level;
    }
};

class ReportManagerTest : public ::testing::Test {
  protected:
    Outcome out;
    QString file;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();

    void SetUp() override {
        static int n = 0;
        file = QStringLiteral("c:\\reports\\items%1.dat").arg(++n);
        ErrorClass::setReporter(recorder);
    }
    void TearDown() override { ErrorClass::setReporter(nullptr); }

    // Starts the report procedure on a thread of its own.
    int start(const Options& o) {
        const QString name = file;
        return START([this, name, o] {
            auto declaration = rt::ReportDeclaration::load(u"reporttest", u"ITEMS");
            ItemTable db(name, gErrors);
            rt::Report report(declaration);
            report.bind(u"ITM:ID", ref(db.R.ID));
            report.bind(u"ITM:NAME", ref(db.R.NAME));
            {
                ItemReport manager(db, report, out, o);
                out.response = manager.Run();
                out.document = manager.Document();
                out.processed = manager.process.RecordsProcessed;
                out.toProcess = manager.process.RecordsToProcess;
                out.percent = manager.process.PercentProgress;
            }
            out.done = true;
        });
    }
    bool waitDone(int ms = 20000) {
        const bool ok = waitFor([this] { return out.done.load(); }, ms);
        if (!ok)
            ADD_FAILURE() << out.lines().join(u'\n').toStdString();
        return ok;
    }
    static bool previewShown() {
        return onGui([] { return shownPreview() != nullptr; });
    }
    // Dialogs on the screen (GUI thread).
    static int openDialogs() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += qobject_cast<QDialog*>(w) && w->isVisible();
        return n;
    }
};

// The texts a page shows, in order.
QStringList pageTexts(const rt::ReportDocument& doc, int page) {
    QStringList out;
    for (const QString& t : doc.page(page)->texts)
        out << t.trimmed();
    return out;
}

}  // namespace

TEST_F(ReportManagerTest, ReadsEveryRowInKeyOrderAndNumbersThemAcrossPages) {
    // Inserted out of order: the report follows the key, not the file.
    std::vector<LONG> ids = range(1, 60);
    std::reverse(ids.begin(), ids.end());
    makeTable(file, ids);
    start({});
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCompleted);
    EXPECT_EQ(out.opens, 1);
    const QStringList log = out.lines();
    ASSERT_EQ(log.size(), 61);
    EXPECT_EQ(log[0], QStringLiteral("open after 0 rows"));
    for (int i = 1; i <= 60; ++i)
        EXPECT_EQ(log[i], QStringLiteral("row %1").arg(i));
    EXPECT_EQ(out.processed, 60);
    EXPECT_EQ(out.toProcess, 60);
    EXPECT_EQ(out.percent, 100);

    ASSERT_TRUE(out.document);
    EXPECT_TRUE(out.document->finished());
    EXPECT_FALSE(out.document->cancelled());
    ASSERT_EQ(out.document->pageCount(), 3);  // 25 rows a page
    // Page 2: header, 25 rows numbered 26..50, footer with its number.
    const QStringList p2 = pageTexts(*out.document, 1);
    EXPECT_EQ(p2.first(), QStringLiteral("Items"));
    EXPECT_EQ(p2[1], QStringLiteral("26"));
    EXPECT_EQ(p2[2], QStringLiteral("26"));
    EXPECT_EQ(p2[3], QStringLiteral("Item 99974"));
    EXPECT_EQ(p2[p2.size() - 2], QStringLiteral("Item 99950"));
    EXPECT_EQ(p2.last(), QStringLiteral("2"));
}

TEST_F(ReportManagerTest, WithoutQuickScanOrStepTheSameRowsAndTheShareOfRowsRead) {
    makeTable(file, range(1, 45));
    Options o;
    o.quickScan = false;
    o.step = false;
    start(o);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCompleted);
    EXPECT_EQ(out.rows, 45);
    EXPECT_EQ(out.percent, 100);
    EXPECT_EQ(out.document->pageCount(), 2);
}

TEST_F(ReportManagerTest, AnEmptyTableOpensTheReportAndThePreviewSaysSo) {
    QTemporaryDir config;
    INIClass ini;
    ini.Init(config.filePath(QStringLiteral("test.INI")));
    makeTable(file, {});
    Options o;
    o.preview = true;
    o.ini = &ini;
    const int t = start(o);
    ASSERT_TRUE(waitFor(previewShown));
    EXPECT_EQ(out.opens, 1);
    EXPECT_EQ(out.rows, 0);
    EXPECT_TRUE(onGui([] { return shownPreview()->showsEmptyMessage(); }));
    // The progress window made way for the preview.
    EXPECT_EQ(onGui([t] {
                  rt::GuiWindow* w = rt::gui::topWindow(t);
                  return w ? int(w->top()->isVisible()) : -1;
              }),
              0);
    onGui([] { shownPreview()->close(); });
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCompleted);
    ASSERT_TRUE(out.document);
    EXPECT_EQ(out.document->pageCount(), 0);
    EXPECT_TRUE(out.document->finished());
    ini.Kill();
}

TEST_F(ReportManagerTest, ThePreviewShowsThePagesMaximisedAndKeepsItsSettings) {
    QTemporaryDir config;
    INIClass ini;
    ini.Init(config.filePath(QStringLiteral("test.INI")));
    makeTable(file, range(1, 30));
    Options o;
    o.preview = true;
    o.ini = &ini;
    start(o);
    ASSERT_TRUE(waitFor(previewShown));
    EXPECT_TRUE(onGui([] { return shownPreview()->isMaximized(); }));
    EXPECT_EQ(onGui([] { return shownPreview()->zoom(); }), 100);
    EXPECT_TRUE(waitFor([] { return onGui([] { return shownPreview()->pagesShown(); }) == 2; }));
    EXPECT_EQ(out.response, -1);  // the run goes on while the preview is open
    onGui([] {
        shownPreview()->setZoom(150);
        shownPreview()->close();
    });
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCompleted);
    EXPECT_EQ(ini.Fetch(u"ItemsPreview", u"Zoom"), QStringLiteral("150"));
    EXPECT_EQ(onGui([] { return shownPreview(); }), nullptr);
    ini.Kill();
}

// Also while the user has one of the preview's dialogs open (the print dialog,
// or without a printer its message; the file dialog): the preview goes with its
// dialogs, and nothing is left running on a window that is gone.
TEST_F(ReportManagerTest, ClosingTheThreadsWindowWhileThePreviewShowsClosesThePreview) {
    makeTable(file, range(1, 5));
    for (const QString& button :
         {QString(), QStringLiteral("Печать..."), QStringLiteral("Сохранить в PDF...")}) {
        SCOPED_TRACE(button.toStdString());
        out.done = false;
        out.response = -1;
        Options o;
        o.preview = true;
        const int t = start(o);
        ASSERT_TRUE(waitFor(previewShown));
        if (!button.isEmpty()) {
            ASSERT_TRUE(waitFor(
                [] { return onGui([] { return shownPreview()->document()->finished(); }); }));
            // Pressed as the user presses it, from the GUI thread's event loop.
            onGui([&] {
                for (QAction* a : shownPreview()->findChildren<QAction*>()) {
                    if (a->text() == button)
                        QMetaObject::invokeMethod(a, &QAction::trigger, Qt::QueuedConnection);
                }
                return true;
            });
            ASSERT_TRUE(waitFor([] { return onGui([] { return openDialogs(); }) == 1; }));
            EXPECT_TRUE(waitDialog(t)) << "a dialog of the report's thread";
        }
        // As the frame does when it closes: the thread's window is asked to close.
        POST(EVENT::CloseWindow, 0, t);
        ASSERT_TRUE(waitDone());
        EXPECT_EQ(out.response, RequestCompleted);
        EXPECT_FALSE(previewShown());
        EXPECT_EQ(onGui([] { return openDialogs(); }), 0);
    }
}

TEST_F(ReportManagerTest, CancelStopsTheReadingBetweenSlicesAndDropsThePages) {
    makeTable(file, range(1, 3000));
    Options o;
    o.preview = true;
    o.rowDelayMs = 1;
    const int t = start(o);
    // Reading: the percentage has appeared and rows are being taken.
    ASSERT_TRUE(waitFor([&] { return out.rows.load() > 50; }, 10000));
    ASSERT_TRUE(waitIdle(t));
    EXPECT_TRUE(text(t, PCT).startsWith(QStringLiteral("Выполнено: ")));
    const int percent = text(t, PCT).section(u' ', 1).chopped(1).toInt();
    EXPECT_GT(percent, 0);
    EXPECT_LT(percent, 100);
    QElapsedTimer clock;
    clock.start();
    click(t, CANCEL);
    ASSERT_TRUE(waitDone());
    // One slice at most (a tenth of a second) before the cancel is taken.
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(out.response, RequestCancelled);
    EXPECT_LT(out.rows, 3000);
    ASSERT_TRUE(out.document);
    EXPECT_TRUE(out.document->cancelled());
    EXPECT_FALSE(previewShown());
}

TEST_F(ReportManagerTest, TheCloseBoxWhileReadingCancelsToo) {
    makeTable(file, range(1, 3000));
    Options o;
    o.rowDelayMs = 1;
    const int t = start(o);
    ASSERT_TRUE(waitFor([&] { return out.rows.load() > 10; }, 10000));
    POST(EVENT::CloseWindow, 0, t);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCancelled);
    EXPECT_TRUE(out.document->cancelled());
}

TEST_F(ReportManagerTest, TakeRecordMayEndTheReadingOrCancelTheRun) {
    makeTable(file, range(1, 40));
    Options o;
    o.stopAt = 7;
    o.stopLevel = Level::Notify;
    start(o);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCompleted);
    EXPECT_EQ(out.rows, 7);
    EXPECT_EQ(out.document->pageCount(), 1);

    out.done = false;
    out.rows = 0;
    o.stopLevel = Level::Cancel;
    start(o);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCancelled);
    EXPECT_EQ(out.rows, 7);
    EXPECT_TRUE(out.document->cancelled());
}

TEST_F(ReportManagerTest, ATableThatCannotBeReadIsReportedOnceAndCancelsTheRun) {
    // Not a table at all: the table services refuse it and tell the user.
    const QString native = rt::nativePath(file);
    QDir().mkpath(QFileInfo(native).path());
    {
        QFile f(native);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
    Options o;
    o.preview = true;
    start(o);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(out.response, RequestCancelled);
    EXPECT_EQ(out.rows, 0);
    EXPECT_EQ(recorder->texts().size(), 1) << recorder->texts().join(u'\n').toStdString();
    EXPECT_FALSE(previewShown());
}

TEST(ProcessClassTest, ProgressFollowsTheStepOfTheKeyValue) {
    const QString file = QStringLiteral("c:\\reports\\steps.dat");
    // Ids 10, 20, ... 1000: row n of 100 has id 10n.
    makeTable(file, range(10, 1000, 10));
    std::thread([&] {
        rt::ThreadScope scope;
        ItemTable db(file, gErrors);
        db.relate.Open();
        ViewClass view(db.file);
        StepLongClass step;
        step.Init(ScrollSort::Numeric);
        BYTE bar = 0;
        ProcessClass process;
        process.Init(view, db.relate, 0, ref(bar), &step, ref(db.R.ID));
        process.AddSortOrder(db.K1);
        // A budget of nothing takes one row a step.
        EXPECT_EQ(process.Next(0), Level::Benign);
        EXPECT_EQ(db.R.ID, 10);
        EXPECT_EQ(process.PercentProgress, 0);
        for (int i = 2; i <= 50; ++i)
            EXPECT_EQ(process.Next(0), Level::Benign);
        EXPECT_EQ(db.R.ID, 500);
        EXPECT_EQ(process.PercentProgress, 49);  // (500 - 10) / (1000 - 10)
        EXPECT_EQ(bar, 49);
        EXPECT_FALSE(process.Finished());
        int level;
        while ((level = process.Next(1000)) == Level::Benign) {
        }
        EXPECT_EQ(level, Level::Notify);
        EXPECT_TRUE(process.Finished());
        EXPECT_EQ(process.RecordsProcessed, 100);
        EXPECT_EQ(bar, 100);
        EXPECT_EQ(process.Next(1000), Level::Notify);  // stays done
        db.relate.Close();
    }).join();
}

TEST(StepLongClassTest, MapsValuesBetweenTheLimitsAndBack) {
    StepLongClass s;
    s.Init(ScrollSort::Numeric);
    EXPECT_EQ(s.options(), ScrollSort::Numeric);
    EXPECT_EQ(s.GetPercentile(5), 0);  // no range yet
    s.SetLimit(200, 100);              // either order
    EXPECT_EQ(s.GetPercentile(100), 0);
    EXPECT_EQ(s.GetPercentile(150), 50);
    EXPECT_EQ(s.GetPercentile(200), 100);
    EXPECT_EQ(s.GetPercentile(-7), 0);
    EXPECT_EQ(s.GetPercentile(1000), 100);
    EXPECT_EQ(s.GetValue(25).toInt(), 125);
    EXPECT_EQ(s.GetValue(300).toInt(), 200);
    // The whole LONG range without overflow.
    s.SetLimit(-2147483647 - 1, 2147483647);
    EXPECT_EQ(s.GetPercentile(0), 50);
    EXPECT_EQ(s.GetPercentile(2147483647), 100);
    s.SetLimit(7, 7);  // one value: nothing to measure
    EXPECT_EQ(s.GetPercentile(7), 0);
    s.Kill();
    EXPECT_EQ(s.GetPercentile(150), 0);
}

int main(int argc, char** argv) {
    QTemporaryDir drive;
    qputenv("KALDOR_DRIVE_C", drive.path().toLocal8Bit());
    QDir(drive.path()).mkpath(QStringLiteral("reports"));
    return uitest::main(argc, argv, {QStringLiteral(KALDOR_REPORT_TEST_RESOURCES)});
}

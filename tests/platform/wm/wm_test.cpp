// The window manager's protocol on a small form over a test table, driven
// through real widgets: call order, requests and responses, the delete
// confirmation, the cancel question, field history per thread, the resizer and
// the toolbar.

#include <gtest/gtest.h>

#include <QDir>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <atomic>
#include <functional>

#include "controls/wmtest.h"
#include "core/errors.h"
#include "item_table.h"
#include "resizer.h"
#include "table/filemanager.h"
#include "thread_log.h"
#include "toolbar.h"
#include "uidriver.h"
#include "windowmanager.h"

using namespace uitest;

namespace {

// The controls of the test windows. LAYOUT's serve CHILD too, which
// declares the same.
using namespace wmtest::FORM;
using namespace wmtest::TOOLS;
namespace layout = wmtest::LAYOUT;
static_assert(int(wmtest::CHILD::LIST) == layout::LIST &&
              int(wmtest::CHILD::RIGHT) == layout::RIGHT);

ErrorClass gErrors;
using Log = TextLog;

// The thread's history record, kept across the forms of one thread.
thread_local ItemTable::Record tHistory;

// A companion that logs what it is asked and answers a level.
class Probe : public WindowComponent {
  public:
    Probe(QString name, Log& log) : name_(std::move(name)), log_(log) {}
    int stopOn = -1;  // the field whose events it ends
    int TakeEvent() override {
        log_.add(QStringLiteral("%1:TakeEvent:%2:%3").arg(name_).arg(int(EVENT())).arg(FIELD()));
        return FIELD() == stopOn && EVENT() == EVENT::Accepted ? Level::Notify : Level::Benign;
    }
    void SetAlerts() override { log_.add(name_ + QStringLiteral(":SetAlerts")); }
    void Update() override { log_.add(name_ + QStringLiteral(":Update")); }
    void Reset(bool force) override {
        log_.add(name_ + QStringLiteral(":Reset:%1").arg(force ? 1 : 0));
    }
    void Kill() override { log_.add(name_ + QStringLiteral(":Kill")); }
    bool TakeToolbar(int button) override {
        log_.add(name_ + QStringLiteral(":Toolbar:%1").arg(button));
        return true;
    }

  private:
    QString name_;
    Log& log_;
};

// The form: a window manager as a form procedure writes it, logging each step.
class ItemForm : public WindowManager {
    ItemTable& db_;
    Log& log_;
    int request_;

  public:
    ItemForm(ItemTable& db, Log& log, int request) : db_(db), log_(log), request_(request) {}

    Window window{u"wmtest", u"FORM"};
    Probe first{QStringLiteral("A"), log_};
    Probe second{QStringLiteral("B"), log_};

    int Init() override {
        log_.add(QStringLiteral("Init"));
        Request = BYTE(request_);
        int level = WindowManager::Init();
        if (level != Level::Benign)
            return level;
        FirstField = ITM_NAME;
        Errors = &gErrors;
        HistoryKey = Key::Ctrl + Key::letter('H');
        AddHistoryFile(db_.file, {ref(tHistory.ID), ref(tHistory.NAME), ref(tHistory.NOTE)});
        AddHistoryField(ITM_ID, 1);
        AddHistoryField(ITM_NAME, 2);
        AddHistoryField(ITM_NOTE, 3);
        AddUpdateFile(db_.access);
        AddItem(CANCEL, RequestCancelled);
        db_.relate.SetOpenRelated();
        db_.relate.Open();
        FilesOpened = true;
        Primary = &db_.relate;
        if (Request == ViewRecord) {
            InsertAction = ChangeAction = DeleteAction = FormAction::None;
            CancelAction = FormAction::Plain;
            OkControl = 0;
        } else {
            ChangeAction = CancelAction = FormAction::Standard;
            OkControl = OK;
            if (PrimeUpdate() != Level::Benign)
                return Level::Notify;
        }
        window.bind(ITM_ID, ref(db_.R.ID));
        window.bind(ITM_NAME, ref(db_.R.NAME));
        window.bind(ITM_NOTE, ref(db_.R.NOTE));
        Open(window);
        if (Request == ViewRecord) {
            for (int c : {ITM_ID, ITM_NAME, ITM_NOTE})
                window[c][PROP::ReadOnly] = 1;
        }
        AddItem(first);
        AddItem(second);
        SetAlerts();
        return Level::Benign;
    }
    void Ask() override {
        log_.add(QStringLiteral("Ask"));
        window[PROP::Text] = Request == InsertRecord   ? QStringLiteral("Добавить")
                             : Request == ChangeRecord ? QStringLiteral("Изменить")
                                                       : QStringLiteral("Просмотреть");
        WindowManager::Ask();
    }
    int Kill() override {
        log_.add(QStringLiteral("Kill"));
        const int level = WindowManager::Kill();
        if (level != Level::Benign)
            return level;
        if (FilesOpened)
            db_.relate.Close();
        return level;
    }
    int Run() override {
        const int r = WindowManager::Run();
        return Request == ViewRecord ? RequestCancelled : r;
    }
    int TakeWindowEvent() override {
        log_.add(QStringLiteral("TakeWindowEvent:%1").arg(int(EVENT())));
        return WindowManager::TakeWindowEvent();
    }
    int TakeAccepted() override {
        log_.add(QStringLiteral("TakeAccepted:%1").arg(ACCEPTED()));
        const int level = WindowManager::TakeAccepted();
        if (ACCEPTED() == OK && Request == ViewRecord && !BatchProcessing)
            window.post(EVENT::CloseWindow);
        return level;
    }
    int TakeSelected() override {
        log_.add(QStringLiteral("TakeSelected:%1").arg(SELECTED()));
        return WindowManager::TakeSelected();
    }
    int TakeFieldEvent() override {
        log_.add(QStringLiteral("TakeFieldEvent:%1:%2").arg(int(EVENT())).arg(FIELD()));
        return WindowManager::TakeFieldEvent();
    }
};

class WindowManagerTest : public ::testing::Test {
  protected:
    Log log;
    std::atomic<int> response{-1};
    std::atomic<bool> done{false};
    QString file;

    void SetUp() override {
        static int n = 0;
        file = QStringLiteral("c:\\wm\\items%1.dat").arg(++n);
    }

    // Starts a thread that prepares its table with `prepare`, then runs the
    // form once per request, one after another.
    int start(std::vector<int> requests, std::function<void(ItemTable&)> prepare = {}) {
        const QString name = file;
        return START([this, requests, prepare, name] {
            ItemTable db(name, gErrors);
            db.relate.Open();
            if (prepare)
                prepare(db);
            for (int r : requests) {
                ItemForm form(db, log, r);
                response = form.Run();
                log.add(QStringLiteral("Response:%1").arg(int(response)));
            }
            db.relate.Close();
            done = true;
        });
    }
    bool waitDone() {
        const bool ok = waitFor([this] { return done.load(); }, 10000);
        if (!ok)
            ADD_FAILURE() << log.lines().join(u'\n').toStdString();
        return ok;
    }
    bool waitTitle(int thread, const QString& t) {
        return waitFor([&] { return title(thread) == t && waitIdle(thread); });
    }
    // Another window saves item `id` under `name`, on a thread of its own.
    void renameElsewhere(LONG id, const char* name) {
        const QString table = file;
        std::atomic<bool> finished{false};
        START([&] {
            ItemTable db(table, gErrors);
            db.relate.Open();
            if (db.fetch(id)) {
                db.R.NAME = name;
                EXPECT_EQ(db.relate.Update(), Level::Benign);
            }
            db.relate.Close();
            finished = true;
        });
        waitFor([&] { return finished.load(); });
    }
    // The items in the table, read on a thread of their own.
    QStringList names() {
        QStringList out;
        const QString name = file;
        std::atomic<bool> finished{false};
        START([&] {
            ItemTable db(name, gErrors);
            db.relate.Open();
            SET(db.K1);
            for (NEXT(db.file); ERRORCODE() == 0; NEXT(db.file))
                out << QStringLiteral("%1 %2").arg(db.R.ID).arg(db.R.NAME.clip());
            db.relate.Close();
            finished = true;
        });
        waitFor([&] { return finished.load(); });
        return out;
    }
};

}  // namespace

TEST_F(WindowManagerTest, EventsGoToTheWindowThenTheCompanionsInOrder) {
    const int t = start({ChangeRecord}, [](ItemTable& db) {
        db.add(1, "Первый");
        db.fetch(1);
    });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Изменить")));
    EXPECT_TRUE(hasFocus(t, ITM_NAME));  // FirstField
    click(t, PRESS);
    EXPECT_TRUE(
        log.inOrder({"Init", "A:SetAlerts", "B:SetAlerts", "Ask", "TakeWindowEvent:515",
                     "TakeAccepted:9", "TakeFieldEvent:1:9", "A:TakeEvent:1:9", "B:TakeEvent:1:9"}))
        << log.lines().join(u'\n').toStdString();
    log.clear();
    click(t, CANCEL);
    ASSERT_TRUE(waitDone());
    EXPECT_TRUE(log.inOrder(
        {"TakeAccepted:8", "TakeWindowEvent:513", "Kill", "A:Kill", "B:Kill", "Response:2"}))
        << log.lines().join(u'\n').toStdString();
}

TEST_F(WindowManagerTest, ACompanionThatTakesAnEventEndsIt) {
    const int t = START([this] {
        ItemTable db(file, gErrors);
        db.relate.Open();
        db.add(1, "Первый");
        db.fetch(1);
        ItemForm form(db, log, ChangeRecord);
        form.first.stopOn = PRESS;
        response = form.Run();
        db.relate.Close();
        done = true;
    });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Изменить")));
    click(t, PRESS);
    EXPECT_TRUE(log.has("A:TakeEvent:1:9"));
    EXPECT_FALSE(log.has("B:TakeEvent:1:9"));
    click(t, CANCEL);
    ASSERT_TRUE(waitDone());
}

TEST_F(WindowManagerTest, InsertPrimesANumberWritesOnOkAndCompletes) {
    const int t = start({InsertRecord}, [](ItemTable& db) { db.add(1, "Первый"); });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Добавить")));
    EXPECT_EQ(text(t, ITM_ID), QStringLiteral("2"));  // reserved for this form
    type(t, ITM_NAME, QStringLiteral("Второй"));
    click(t, OK);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(response, RequestCompleted);
    EXPECT_EQ(names(), QStringList({"1 Первый", "2 Второй"}));
}

TEST_F(WindowManagerTest, InsertKeepsWhatTheCallerPutIntoTheBuffer) {
    const int t = start({InsertRecord}, [](ItemTable& db) {
        db.file.clearRecord();
        db.R.NOTE = "из списка";  // a list's range field
    });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Добавить")));
    EXPECT_EQ(text(t, ITM_NOTE), QStringLiteral("из списка"));
    EXPECT_EQ(text(t, ITM_ID), QStringLiteral("1"));
    click(t, CANCEL);  // nothing typed: no question
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(response, RequestCancelled);
}

TEST_F(WindowManagerTest, CancelledInsertGivesItsNumberBack) {
    const int t = start({InsertRecord, InsertRecord});
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Добавить")));
    EXPECT_EQ(text(t, ITM_ID), QStringLiteral("1"));
    type(t, ITM_NAME, QStringLiteral("Брошенный"));
    click(t, CANCEL);
    // Typed into: the user is asked first.
    ASSERT_TRUE(waitDialog(t));
    EXPECT_EQ(messageText(t), QStringLiteral("Запись изменена. Отменить изменения?"));
    EXPECT_TRUE(answerMessage(t, BUTTON::Yes));
    // The second form gets the same number again.
    ASSERT_TRUE(waitFor([&] { return log.has("Response:2"); }));
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Добавить")));
    EXPECT_EQ(text(t, ITM_ID), QStringLiteral("1"));
    type(t, ITM_NAME, QStringLiteral("Первый"));
    click(t, OK);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(names(), QStringList({"1 Первый"}));
}

TEST_F(WindowManagerTest, CancelAsksOnlyWhenTheRecordChangedAndNoKeepsTheForm) {
    const int t = start({ChangeRecord, ChangeRecord}, [](ItemTable& db) {
        db.add(1, "Первый");
        db.fetch(1);
    });
    // Unchanged: closes at once.
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Изменить")));
    click(t, CANCEL);
    ASSERT_TRUE(waitFor([&] { return log.has("Response:2"); }));
    EXPECT_TRUE(onGui([t] { return rt::gui::dialogs(t).empty(); }));

    // Changed: asked; "no" keeps the form with the typing, the close box asks
    // again, "yes" abandons the change.
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Изменить")));
    type(t, ITM_NAME, QStringLiteral("Переименован"));
    click(t, CANCEL);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(answerMessage(t, BUTTON::No));
    ASSERT_TRUE(waitIdle(t));
    EXPECT_EQ(title(t), QStringLiteral("Изменить"));
    EXPECT_EQ(text(t, ITM_NAME), QStringLiteral("Переименован"));
    POST(EVENT::CloseWindow, 0, t);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(answerMessage(t, BUTTON::Yes));
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(response, RequestCancelled);
    EXPECT_EQ(names(), QStringList({"1 Первый"}));
}

TEST_F(WindowManagerTest, TheCloseBoxSeesTextTypedButNotCompleted) {
    const int t = start({ChangeRecord}, [](ItemTable& db) {
        db.add(1, "Первый");
        db.fetch(1);
    });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Изменить")));
    type(t, ITM_NAME, QStringLiteral("Недописанное"), false);
    onGui([&] { rt::gui::topWindow(t)->top()->close(); });
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(answerMessage(t, BUTTON::No));
    ASSERT_TRUE(waitIdle(t));
    EXPECT_EQ(text(t, ITM_NAME), QStringLiteral("Недописанное"));
    // The form has the keyboard again, in the entry the user was typing in.
    EXPECT_TRUE(waitFor([&] { return hasFocus(t, ITM_NAME); }, 2000));
    // Esc is the form's cancel: the same question, the typing kept on "no".
    type(t, ITM_NOTE, QStringLiteral("Заметка"), false);
    pressKey(t, ITM_NOTE, Key::Esc);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(answerMessage(t, BUTTON::No));
    ASSERT_TRUE(waitIdle(t));
    EXPECT_EQ(text(t, ITM_NOTE), QStringLiteral("Заметка"));
    EXPECT_TRUE(waitFor([&] { return hasFocus(t, ITM_NOTE); }, 2000));
    click(t, OK);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(names(), QStringList({"1 Недописанное"}));
}

TEST_F(WindowManagerTest, ChangeWritesThroughThePrimaryAndAFailedWriteKeepsTheForm) {
    const int t = start({ChangeRecord}, [](ItemTable& db) {
        db.add(1, "Первый");
        db.add(2, "Второй");
        db.fetch(2);
    });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Изменить")));
    // The name of another item: the unique key refuses it.
    type(t, ITM_NAME, QStringLiteral("Первый"));
    click(t, OK);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(messageText(t).contains(QStringLiteral("уже есть")))
        << messageText(t).toStdString();
    EXPECT_TRUE(answerMessage(t, BUTTON::Ok));
    ASSERT_TRUE(waitIdle(t));
    EXPECT_FALSE(done);
    EXPECT_EQ(text(t, ITM_NAME), QStringLiteral("Первый"));

    // Another window saves the item meanwhile: this save is refused and writes
    // nothing, and the form keeps what was typed until the user cancels it.
    renameElsewhere(2, "Чужой");
    type(t, ITM_NAME, QStringLiteral("Третий"));
    click(t, OK);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(messageText(t).contains(QStringLiteral("изменил или удалил другой пользователь")))
        << messageText(t).toStdString();
    EXPECT_TRUE(answerMessage(t, BUTTON::Ok));
    ASSERT_TRUE(waitIdle(t));
    EXPECT_FALSE(done);
    EXPECT_EQ(text(t, ITM_NAME), QStringLiteral("Третий"));
    EXPECT_EQ(names(), QStringList({"1 Первый", "2 Чужой"}));
    click(t, CANCEL);
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(answerMessage(t, BUTTON::Yes));
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(response, RequestCancelled);

    // Read again, it saves as before.
    done = false;
    const int again = start({ChangeRecord}, [](ItemTable& db) { db.fetch(2); });
    ASSERT_TRUE(waitTitle(again, QStringLiteral("Изменить")));
    EXPECT_EQ(text(again, ITM_NAME), QStringLiteral("Чужой"));
    type(again, ITM_NAME, QStringLiteral("Третий"));
    click(again, OK);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(response, RequestCompleted);
    EXPECT_EQ(names(), QStringList({"1 Первый", "2 Третий"}));
}

TEST_F(WindowManagerTest, DeleteConfirmedOrDeclinedNeverOpensTheWindow) {
    std::atomic<bool> opened{false};
    const int t = start({DeleteRecord, DeleteRecord}, [](ItemTable& db) {
        db.add(1, "Первый");
        db.add(2, "Второй");
        db.fetch(2);
    });
    // Declined first: nothing deleted.
    ASSERT_TRUE(waitDialog(t));
    EXPECT_EQ(messageText(t), QStringLiteral("Удалить эту запись?"));
    EXPECT_TRUE(answerMessage(t, BUTTON::No));
    ASSERT_TRUE(waitFor([&] { return log.has("Response:2"); }));
    // Then confirmed.
    ASSERT_TRUE(waitDialog(t));
    EXPECT_TRUE(answerMessage(t, BUTTON::Yes));
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(response, RequestCompleted);
    EXPECT_FALSE(log.has("Ask"));
    EXPECT_EQ(log.lines().count("Kill"), 2);  // Kill runs though Init stopped
    EXPECT_EQ(names(), QStringList({"1 Первый"}));
}

TEST_F(WindowManagerTest, ViewOkClosesWithoutWritingAndCancelNeverAsks) {
    const int t = start({ViewRecord, ViewRecord}, [](ItemTable& db) {
        db.add(1, "Первый");
        db.fetch(1);
    });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Просмотреть")));
    click(t, OK);
    ASSERT_TRUE(waitFor([&] { return log.has("Response:2"); }));
    // The second view: the buffer changed behind the form (as Ctrl+H would),
    // yet the cancel action is plain.
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Просмотреть")));
    click(t, CANCEL);
    ASSERT_TRUE(waitDone());
    EXPECT_TRUE(onGui([t] { return rt::gui::dialogs(t).empty(); }));
    EXPECT_EQ(response, RequestCancelled);
    EXPECT_EQ(names(), QStringList({"1 Первый"}));
}

TEST_F(WindowManagerTest, HistoryKeyRestoresTheLastConfirmedValuesOfItsThread) {
    // Thread one: confirm an insert, then Ctrl+H in a change form brings its
    // name back.
    const int t = start({InsertRecord, ChangeRecord}, [](ItemTable& db) { db.add(1, "Первый"); });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Добавить")));
    type(t, ITM_NAME, QStringLiteral("Запомненный"));
    type(t, ITM_NOTE, QStringLiteral("заметка"));
    click(t, OK);
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Изменить")));
    EXPECT_EQ(text(t, ITM_NAME), QStringLiteral("Запомненный"));  // the buffer as left
    type(t, ITM_NAME, QStringLiteral("Другое"), false);
    pressKey(t, ITM_NAME, Key::Ctrl + Key::letter('H'));
    EXPECT_EQ(text(t, ITM_NAME), QStringLiteral("Запомненный"));
    type(t, ITM_NOTE, QStringLiteral("иначе"));
    pressKey(t, ITM_NOTE, Key::Ctrl + Key::letter('H'));
    EXPECT_EQ(text(t, ITM_NOTE), QStringLiteral("заметка"));
    click(t, CANCEL);
    ASSERT_TRUE(waitDone());

    // Another thread has its own, still blank, history record.
    done = false;
    const int u = start({ChangeRecord}, [](ItemTable& db) { db.fetch(1); });
    ASSERT_TRUE(waitTitle(u, QStringLiteral("Изменить")));
    EXPECT_EQ(text(u, ITM_NAME), QStringLiteral("Первый"));
    pressKey(u, ITM_NAME, Key::Ctrl + Key::letter('H'));
    EXPECT_EQ(text(u, ITM_NAME), QString());
    // A blank name reads as changed: say "yes" to abandon it.
    click(u, CANCEL);
    ASSERT_TRUE(waitDialog(u));
    answerMessage(u, BUTTON::Yes);
    ASSERT_TRUE(waitDone());
}

TEST_F(WindowManagerTest, HistoryKeyLeavesReadOnlyFieldsAlone) {
    const int t = start({ViewRecord}, [](ItemTable& db) {
        db.add(1, "Первый");
        db.fetch(1);
    });
    ASSERT_TRUE(waitTitle(t, QStringLiteral("Просмотреть")));
    pressKey(t, ITM_NAME, Key::Ctrl + Key::letter('H'));
    EXPECT_EQ(text(t, ITM_NAME), QStringLiteral("Первый"));
    click(t, CANCEL);
    ASSERT_TRUE(waitDone());
}

TEST_F(WindowManagerTest, SetResponseStoresAndClosesAndRunOfAListAnswersCancelled) {
    std::atomic<int> asked{0};
    const int t = START([&] {
        struct Plain : WindowManager {
            Window window{u"wmtest", u"FORM"};
            int Init() override {
                const int level = WindowManager::Init();
                Open(window);
                return level;
            }
            int TakeAccepted() override {
                if (ACCEPTED() == PRESS)
                    SetResponse(RequestCompleted);
                return WindowManager::TakeAccepted();
            }
        } w;
        asked = w.Run(1, InsertRecord);
        response = w.Run();
        done = true;
    });
    ASSERT_TRUE(waitWindow(t));
    EXPECT_EQ(asked, RequestCancelled);
    click(t, PRESS);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(response, RequestCompleted);
}

// ---- resizer ----------------------------------------------------------------

namespace {

// A window with a resizer, run on its own thread until closed.
struct Layout : WindowManager {
    explicit Layout(const char16_t* label = u"LAYOUT") : window(u"wmtest", label) {}
    Window window;
    WindowResizeClass resizer;
    int strategy = Resize::Spread;
    bool minSize = true, maxSize = false;
    std::function<void(WindowResizeClass&)> setup;
    int Init() override {
        WindowManager::Init();
        Open(window);
        resizer.Init(strategy, minSize, maxSize);
        resizer.SetParentDefaults();
        if (setup)
            setup(resizer);
        AddItem(resizer);
        resizer.Resize();
        return Level::Benign;
    }
};

void resizeWindow(int thread, int width, int height) {
    onGui([&] {
        QWidget* top = rt::gui::topWindow(thread)->top();
        top->resize(width, height);
    });
    waitIdle(thread);
}

QSize clientSize(int thread) {
    return onGui([&] { return rt::gui::topWindow(thread)->client()->size(); });
}

}  // namespace

TEST(Resizer, ListsGrowButtonsFollowTheBottomAndTheWindowKeepsItsMinimum) {
    std::atomic<bool> finished{false};
    const int t = START([&] {
        Layout w;
        w.setup = [](WindowResizeClass& r) {
            r.RemoveControl(layout::STRING);
            r.SetStrategy(layout::GROUP, Resize::LockX | Resize::LockY, Resize::LockSize);
        };
        w.Run();
        finished = true;
    });
    ASSERT_TRUE(waitWindow(t));
    const QSize start = clientSize(t);
    const QRect list0 = geometry(t, layout::LIST), text0 = geometry(t, layout::TEXT);
    const QRect left0 = geometry(t, layout::LEFT), right0 = geometry(t, layout::RIGHT);
    const QRect entry0 = geometry(t, layout::ENTRY), string0 = geometry(t, layout::STRING);
    const QRect group0 = geometry(t, layout::GROUP);

    // Twice the size.
    onGui([&] {
        QWidget* top = rt::gui::topWindow(t)->top();
        top->resize(top->size() + start);
    });
    ASSERT_TRUE(waitFor([&] { return geometry(t, layout::LIST).width() > list0.width() * 3 / 2; }));
    waitIdle(t);
    const QSize big = clientSize(t);
    const QRect list1 = geometry(t, layout::LIST), text1 = geometry(t, layout::TEXT);
    const QRect left1 = geometry(t, layout::LEFT), right1 = geometry(t, layout::RIGHT);
    // Lists and text controls grow with the window, side by side, not over
    // each other.
    EXPECT_NEAR(list1.height(), list0.height() * 2, 8);
    EXPECT_LT(list1.right(), text1.left());
    EXPECT_NEAR(text1.right(), big.width() - (start.width() - text0.right()) * 2, 10);
    // Buttons keep their size and their distance to the bottom.
    EXPECT_EQ(left1.size(), left0.size());
    EXPECT_NEAR(big.height() - left1.bottom(), start.height() - left0.bottom(), 4);
    EXPECT_NEAR(big.height() - right1.bottom(), start.height() - right0.bottom(), 4);
    EXPECT_GT(right1.left(), right0.left());
    // The entry (application strategy Spread) widens; the removed string and
    // the locked group stay as declared.
    EXPECT_GT(geometry(t, layout::ENTRY).width(), entry0.width());
    EXPECT_EQ(geometry(t, layout::STRING), string0);
    EXPECT_EQ(geometry(t, layout::GROUP), group0);

    // Smaller than declared: refused by the minimum size.
    resizeWindow(t, 50, 50);
    const QSize small = clientSize(t);
    EXPECT_GE(small.width(), start.width());
    EXPECT_GE(small.height(), start.height());
    POST(EVENT::CloseWindow, 0, t);
    ASSERT_TRUE(waitFor([&] { return finished.load(); }));
}

TEST(Resizer, TheDefaultStrategyKeepsEntriesAndAMaximumHoldsTheWindow) {
    for (const bool maxSize : {false, true}) {
        std::atomic<bool> finished{false};
        const int t = START([&] {
            Layout w;
            w.strategy = Resize::Default;
            w.minSize = false;
            w.maxSize = maxSize;
            w.Run();
            finished = true;
        });
        ASSERT_TRUE(waitWindow(t));
        const QSize start = clientSize(t);
        const QRect list0 = geometry(t, layout::LIST), entry0 = geometry(t, layout::ENTRY);
        onGui([&] {
            QWidget* top = rt::gui::topWindow(t)->top();
            top->resize(top->size() + start);
        });
        waitIdle(t);
        if (maxSize) {
            EXPECT_EQ(clientSize(t), start);
            EXPECT_EQ(geometry(t, layout::LIST), list0);
        } else {
            ASSERT_TRUE(waitFor([&] { return geometry(t, layout::LIST).width() > list0.width(); }));
            EXPECT_EQ(geometry(t, layout::ENTRY).size(), entry0.size());
        }
        POST(EVENT::CloseWindow, 0, t);
        ASSERT_TRUE(waitFor([&] { return finished.load(); }));
    }
}

TEST(Resizer, TileMaximiseAndRestoreLayTheChildrenOutForEachSize) {
    const int frame = START([] {
        Window w(u"wmtest", u"FRAME");
        w.open();
        while (ACCEPT()) {
        }
        w.close();
    });
    ASSERT_TRUE(waitWindow(frame));
    std::vector<int> children;
    for (int i = 0; i < 2; ++i) {
        children.push_back(START([] { Layout(u"CHILD").Run(); }));
        ASSERT_TRUE(waitWindow(children.back()));
    }
    const int t = children.front();
    const QSize declared = clientSize(t);
    const QRect right0 = geometry(t, layout::RIGHT);
    // Every control inside the window, the bottom buttons at their distance
    // from its bottom: laid out for the size the window has now.
    const auto laidOut = [&](const char* after) {
        for (int c : children) {
            waitIdle(c);
            const QRect client(QPoint(0, 0), clientSize(c));
            for (int n = layout::LIST; n <= layout::RIGHT; ++n)
                EXPECT_TRUE(client.contains(geometry(c, n))) << after << ": control " << n;
            const QRect right = geometry(c, layout::RIGHT);
            EXPECT_NEAR(client.height() - right.bottom(), declared.height() - right0.bottom(), 3)
                << after;
        }
    };
    const auto sub = [](int thread) {
        return qobject_cast<QMdiSubWindow*>(rt::gui::topWindow(thread)->top());
    };
    // The keyboard stays where it was all along.
    focus(t, layout::LEFT);
    onGui([] { qobject_cast<QMdiArea*>(rt::gui::frame()->centralWidget())->tileSubWindows(); });
    laidOut("tile");
    const QSize tiled = clientSize(t);
    onGui([&] { sub(t)->showMaximized(); });
    ASSERT_TRUE(waitFor([&] { return clientSize(t).width() > tiled.width(); }));
    laidOut("maximise");
    EXPECT_TRUE(waitFor([&] { return focusedControl(t) == layout::LEFT; }, 2000))
        << focusedControl(t);
    onGui([&] { sub(t)->showNormal(); });
    ASSERT_TRUE(waitFor([&] { return clientSize(t) == tiled; }));
    laidOut("restore");
    EXPECT_TRUE(waitFor([&] { return focusedControl(t) == layout::LEFT; }, 2000))
        << focusedControl(t);
    for (int c : children) {
        POST(EVENT::CloseWindow, 0, c);
        ASSERT_TRUE(rt::waitThreadEnd(c, kWait));
    }
    POST(EVENT::CloseWindow, 0, frame);
    ASSERT_TRUE(rt::waitThreadEnd(frame, kWait));
}

// ---- toolbar ----------------------------------------------------------------

TEST(Toolbar, ButtonsGoToTheTargetWhoseControlHadTheFocusLast) {
    Log log;
    std::atomic<bool> finished{false};
    const int t = START([&] {
        struct Tools : WindowManager {
            Window window{u"wmtest", u"TOOLS"};
            ToolbarClass toolbar;
            Probe one, two;
            Tools(Log& l) : one(QStringLiteral("one"), l), two(QStringLiteral("two"), l) {}
            int Init() override {
                WindowManager::Init();
                Open(window);
                toolbar.AddTarget(one, LIST1);
                toolbar.AddTarget(two, LIST2);
                toolbar.AddButton(INSERTBTN, ToolbarButton::Insert);
                AddItem(toolbar);
                return Level::Benign;
            }
        } w(log);
        w.Run();
        finished = true;
    });
    ASSERT_TRUE(waitWindow(t));
    click(t, INSERTBTN);
    EXPECT_TRUE(log.has("one:Toolbar:1"));
    focus(t, LIST2);
    click(t, INSERTBTN);
    EXPECT_TRUE(log.has("two:Toolbar:1"));
    POST(EVENT::CloseWindow, 0, t);
    ASSERT_TRUE(waitFor([&] { return finished.load(); }));
}

int main(int argc, char** argv) {
    QTemporaryDir drive;
    qputenv("KALDOR_DRIVE_C", drive.path().toLocal8Bit());
    QDir(drive.path()).mkpath(QStringLiteral("wm"));
    return uitest::main(argc, argv, {QStringLiteral(KALDOR_WM_TEST_RESOURCES)});
}

// The bookmark form UpdateZk as the card form calls it: on a thread of its own,
// with the card in the thread's KALDOR buffer and the bookmark in its ZAMETKA
// buffer, over a base in a temporary drive C; driven as a user drives it.

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <optional>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo006.h"
#include "core/paths.h"
#include "dictionary.h"
#include "doclist_support.h"
#include "program_environment.h"
#include "table_support.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "uidriver.h"
#include "windowmanager.h"

using namespace uitest;

namespace {

using namespace kaldo006;  // the bookmark form's controls

const QString kTitle = QStringLiteral("Форма редактирования закладки");
const int kCtrlH = Key::Ctrl + Key::letter('H');
// How long a form's thread may take to open its window or to end: generous,
// for a loaded machine under the sanitizers.
constexpr int kSlow = 20000;

struct Mark {
    LONG id;
    LONG card;
    QString name;
    QString passage;
};

struct Card {
    LONG id;
    QString name;
};

const std::vector<Card> kCards = {
    {7, QStringLiteral("Трудовой кодекс")},
    {8, QStringLiteral("Гражданский кодекс")},
};

const std::vector<Mark> kMarks = {
    {1, 7, QStringLiteral("Отпуск"), QStringLiteral("Ежегодный основной оплачиваемый отпуск")},
    {2, 7, QStringLiteral("Увольнение"), QStringLiteral("Расторжение трудового договора")},
    {3, 8, QStringLiteral("Сделки"), QStringLiteral("Сделками признаются действия граждан")},
};

// A fresh base in a folder of its own, active for the threads that open its
// tables from now on (thread 1).
void makeBase(const std::vector<Card>& cards, const std::vector<Mark>& marks) {
    static int n = 0;
    const QString folder = QStringLiteral("c:\\zk%1\\").arg(++n);
    QDir(rt::driveFolder(u'C')).mkpath(QStringLiteral("zk%1").arg(n));
    std::vector<doclist::Card> written;
    for (const Card& c : cards) {
        doclist::Card d;
        d.id = c.id;
        d.name = c.name;
        // Both bodies tell whose they are.
        d.text = "{\\rtf1 text of " + QByteArray::number(c.id) + "}";
        d.work = "{\\rtf1 extracts of " + QByteArray::number(c.id) + "}";
        written.push_back(d);
    }
    std::vector<doclist::Bookmark> bookmarks;
    for (const Mark& m : marks)
        bookmarks.push_back({m.card, m.name, m.passage, m.id});
    ASSERT_TRUE(doclist::writeBase(folder, written, bookmarks));
    PUT1 = folder + QStringLiteral("KALDOR.TPS");
    PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
    PUT = folder;
}

// The bookmark numbered `id` as stored (thread 1).
std::optional<ZAMETKA_Record> storedMark(LONG id) {
    Relate_ZAMETKA->Open();
    CLEAR(ZAMETKA);
    ZAM.ID = id;
    std::optional<ZAMETKA_Record> r;
    if (Access_ZAMETKA->TryFetch(ZAM_K1) == Level::Benign)
        r = ZAM;
    Relate_ZAMETKA->Close();
    return r;
}

std::int64_t markCount() {
    Relate_ZAMETKA->Open();
    const auto n = RECORDS(ZAMETKA);
    Relate_ZAMETKA->Close();
    return n;
}

// The name of card `id` as stored; empty when there is no such card. With
// `text`, the card's document text.
QString storedCardName(LONG id, QByteArray* text = nullptr) {
    Relate_KALDOR->Open();
    CLEAR(KALDOR);
    KAL.ID = id;
    QString name;
    if (Access_KALDOR->TryFetch(KAL_K1) == Level::Benign) {
        name = KAL.NAME.clip();
        if (text)
            *text = KAL.ZAKON.data();
    }
    Relate_KALDOR->Close();
    return name;
}

// What a form's thread saw.
struct Call {
    std::atomic<int> response{-1};
    std::atomic<bool> done{false};
};

// Starts UpdateZk as the card form does: its thread opens the card's tables,
// reads card `card` into KALDOR (`prepareCard` may then change the buffer, as
// a card being edited), puts bookmark `mark` into ZAMETKA (for an insert a
// blank bookmark of the card), sets the request and calls the form. `after`
// runs on that thread once the form has returned.
LONG startForm(BYTE request, LONG card, LONG mark, Call& call,
               std::function<void()> prepareCard = {}, std::function<void()> after = {}) {
    const LONG th = START([=, &call] {
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        CLEAR(KALDOR);
        KAL.ID = card;
        Access_KALDOR->TryFetch(KAL_K1);
        if (prepareCard)
            prepareCard();
        CLEAR(ZAMETKA);
        if (request == InsertRecord) {
            ZAM.IDDOK = KAL.ID;
        } else {
            ZAM.ID = mark;
            Access_ZAMETKA->TryFetch(ZAM_K1);
        }
        GlobalRequest = request;
        UpdateZk();
        call.response = GlobalResponse;
        if (after)
            after();
        Relate_KALDOR->Close();
        call.done = true;
    });
    return th;
}

bool finished(LONG th, Call& call) {
    return rt::waitThreadEnd(th, kSlow) && call.done.load();
}

// The bookmark numbered `id` is stored with this card, name and passage.
void expectMark(LONG id, LONG card, const QString& name, const QString& passage) {
    const auto m = storedMark(id);
    ASSERT_TRUE(m) << id;
    EXPECT_EQ(m->IDDOK, card);
    EXPECT_EQ(m->ZAKLAD.clip(), name);
    EXPECT_EQ(m->POTEXT.clip(), passage);
}

// Types a name and a passage into the form, saves it and waits for its end.
void saveMark(LONG th, Call& call, const QString& name, const QString& passage) {
    type(th, ZAM_ZAKLAD, name);
    type(th, ZAM_POTEXT, passage);
    click(th, kaldo006::OK);
    ASSERT_TRUE(finished(th, call));
    EXPECT_EQ(call.response.load(), int(RequestCompleted));
}

// The text of zone `zone` (from 1) of the status bar of a thread's window.
QString statusZone(int th, int zone) {
    return onGui([&] {
        rt::GuiWindow* w = rt::gui::topWindow(th);
        QStatusBar* bar = w ? w->top()->findChild<QStatusBar*>() : nullptr;
        if (!bar)
            return QStringLiteral("<no status bar>");
        const QList<QLabel*> zones = bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        return zone >= 1 && zone <= zones.size() ? zones[zone - 1]->text() : QString();
    });
}

// Presses a button that shows a message box, and waits for the box.
bool clickForMessage(LONG th, int control) {
    click(th, control, 100);
    return waitDialog(th, kSlow);
}

}  // namespace

// ---- what the form shows -------------------------------------------------------

TEST(BookmarkForm, ChangeShowsTheBookmarkAsDeclaredAndSavesIt) {
    makeBase(kCards, kMarks);
    Call call;
    const LONG th = startForm(ChangeRecord, 7, 2, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(title(th), kTitle);
    // The form opens with the cursor in the bookmark's number, the entry that
    // its first field, the number's prompt, names.
    EXPECT_TRUE(hasFocus(th, ZAM_ID));
    EXPECT_EQ(text(th, CURRENTTAB), QStringLiteral("Закладка"));  // the tab shown
    EXPECT_EQ(text(th, ZAM_ID_PROMPT), QStringLiteral("iD закладки"));
    EXPECT_EQ(text(th, ZAM_IDDOK_PROMPT), QStringLiteral("iD документа"));
    EXPECT_EQ(text(th, ZAM_ZAKLAD_PROMPT), QStringLiteral("Имя закладки"));
    EXPECT_EQ(text(th, ZAM_POTEXT_PROMPT), QStringLiteral("Текст в документе"));
    EXPECT_EQ(text(th, kaldo006::OK), QStringLiteral("Сохранить"));
    EXPECT_EQ(text(th, kaldo006::CANCEL), QStringLiteral("Отменить"));
    EXPECT_EQ(tip(th, ZAM_ID), QStringLiteral("iD закладки"));
    EXPECT_EQ(tip(th, ZAM_IDDOK), QStringLiteral("iD документа"));
    EXPECT_EQ(tip(th, ZAM_ZAKLAD), QStringLiteral("Имя закладки"));
    EXPECT_EQ(tip(th, ZAM_POTEXT), QStringLiteral("Выдержка текса документа"));
    EXPECT_EQ(tip(th, kaldo006::OK), QStringLiteral("Accept data and close the window"));
    EXPECT_EQ(tip(th, kaldo006::CANCEL), QStringLiteral("Cancel operation"));
    EXPECT_EQ(statusZone(th, 2), QStringLiteral("Изменить"));
    focus(th, ZAM_POTEXT);
    EXPECT_EQ(statusZone(th, 1), QStringLiteral("Выдержка текса документа"));
    // The numbers stand to the right of their entries.
    const QRect id = geometry(th, ZAM_ID);
    EXPECT_LT(id.width(), geometry(th, ZAM_ZAKLAD).width());
    EXPECT_TRUE(onGui([&] {
        return bool(widget(th, ZAM_IDDOK)->property("alignment").toInt() & Qt::AlignRight);
    }));

    EXPECT_EQ(text(th, ZAM_ID), QStringLiteral("2"));
    EXPECT_EQ(text(th, ZAM_IDDOK), QStringLiteral("7"));
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QStringLiteral("Увольнение"));
    EXPECT_EQ(text(th, ZAM_POTEXT), QStringLiteral("Расторжение трудового договора"));
    saveMark(th, call, QStringLiteral("Прекращение договора"),
             QStringLiteral("Основания прекращения трудового договора"));
    expectMark(2, 7, QStringLiteral("Прекращение договора"),
               QStringLiteral("Основания прекращения трудового договора"));
    EXPECT_EQ(storedMark(1)->ZAKLAD.clip(), QStringLiteral("Отпуск"));
    EXPECT_EQ(markCount(), 3);
}

TEST(BookmarkForm, AViewOnlyShowsAndAnswersCancelled) {
    makeBase(kCards, kMarks);
    Call call;
    LONG th = startForm(ViewRecord, 8, 3, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(statusZone(th, 2), QStringLiteral("Просмотреть"));
    for (int c : {ZAM_ID, ZAM_IDDOK, ZAM_ZAKLAD, ZAM_POTEXT}) {
        const QString was = text(th, c);
        type(th, c, QStringLiteral("9"));
        EXPECT_EQ(text(th, c), was) << c;
    }
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QStringLiteral("Сделки"));
    pressKey(th, ZAM_POTEXT, kCtrlH);  // no history put into a field that is only shown
    EXPECT_EQ(text(th, ZAM_POTEXT), QStringLiteral("Сделками признаются действия граждан"));
    click(th, kaldo006::OK);  // "Сохранить" only closes
    ASSERT_TRUE(finished(th, call));
    EXPECT_EQ(call.response.load(), int(RequestCancelled));
    EXPECT_EQ(storedMark(3)->ZAKLAD.clip(), QStringLiteral("Сделки"));

    // "Отменить" closes a viewed bookmark without a question.
    Call again;
    th = startForm(ViewRecord, 8, 3, again);
    ASSERT_TRUE(waitWindow(th, kSlow));
    click(th, kaldo006::CANCEL);
    ASSERT_TRUE(finished(th, again));
    EXPECT_EQ(again.response.load(), int(RequestCancelled));
}

TEST(BookmarkForm, AZeroNumberShowsAsAnEmptyEntry) {
    makeBase(kCards, {{4, 0, QStringLiteral("Ничья"), QStringLiteral("Без документа")}});
    Call call;
    const LONG th = startForm(ViewRecord, 7, 4, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(text(th, ZAM_ID), QStringLiteral("4"));
    EXPECT_EQ(text(th, ZAM_IDDOK), QString());
    click(th, kaldo006::CANCEL);
    ASSERT_TRUE(finished(th, call));
}

// ---- insert -----------------------------------------------------------------------

TEST(BookmarkForm, InsertNumbersTheBookmarkAndKeepsItsCard) {
    makeBase(kCards, kMarks);
    Call call;
    const LONG th = startForm(InsertRecord, 7, 0, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(statusZone(th, 2), QStringLiteral("Добавить"));
    EXPECT_EQ(text(th, ZAM_ID), QStringLiteral("4"));
    EXPECT_EQ(text(th, ZAM_IDDOK), QStringLiteral("7"));
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QString());
    EXPECT_EQ(text(th, ZAM_POTEXT), QString());
    saveMark(th, call, QStringLiteral("Сверхурочная работа"),
             QStringLiteral("Работа за пределами рабочего времени"));
    expectMark(4, 7, QStringLiteral("Сверхурочная работа"),
               QStringLiteral("Работа за пределами рабочего времени"));
    EXPECT_EQ(markCount(), 4);
}

TEST(BookmarkForm, TheFirstBookmarkOfAnEmptyBaseIsNumberOne) {
    makeBase(kCards, {});
    Call call;
    const LONG th = startForm(InsertRecord, 8, 0, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(text(th, ZAM_ID), QStringLiteral("1"));
    type(th, ZAM_ZAKLAD, QStringLiteral("Первая"));
    click(th, kaldo006::OK);
    ASSERT_TRUE(finished(th, call));
    ASSERT_TRUE(storedMark(1));
    EXPECT_EQ(storedMark(1)->IDDOK, 8);
}

TEST(BookmarkForm, NamesAndPassagesStopAtAHundredCharacters) {
    makeBase(kCards, kMarks);
    Call call;
    const LONG th = startForm(InsertRecord, 7, 0, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    QString longName;
    while (longName.size() < 120)
        longName += QStringLiteral("Статья 81 ТК РФ ");
    longName.truncate(120);
    type(th, ZAM_ZAKLAD, longName);
    type(th, ZAM_POTEXT, longName);
    EXPECT_EQ(text(th, ZAM_ZAKLAD), longName.left(100));
    EXPECT_EQ(text(th, ZAM_POTEXT), longName.left(100));
    click(th, kaldo006::OK);
    ASSERT_TRUE(finished(th, call));
    const auto m = storedMark(4);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->ZAKLAD.str(), longName.left(100));
    EXPECT_EQ(m->POTEXT.str(), longName.left(100));
}

TEST(BookmarkForm, ANumberTypedIsWrittenAsTypedAndAnEmptyOneIsNumbered) {
    makeBase(kCards, kMarks);
    // The bookmark number is no unique key: a number already used is written as
    // typed, beside the bookmark that has it.
    Call typed;
    LONG th = startForm(InsertRecord, 7, 0, typed);
    ASSERT_TRUE(waitWindow(th, kSlow));
    type(th, ZAM_ID, QStringLiteral("1"));
    type(th, ZAM_ZAKLAD, QStringLiteral("Второй номер один"));
    click(th, kaldo006::OK);
    ASSERT_TRUE(finished(th, typed));
    EXPECT_EQ(typed.response.load(), int(RequestCompleted));
    EXPECT_EQ(markCount(), 4);
    EXPECT_EQ(storedMark(1)->ZAKLAD.clip(), QStringLiteral("Отпуск"));  // the first one stays

    Call emptied;
    th = startForm(InsertRecord, 8, 0, emptied);
    ASSERT_TRUE(waitWindow(th, kSlow));
    type(th, ZAM_ID, QStringLiteral("0"));
    EXPECT_EQ(text(th, ZAM_ID), QString());  // zero shows as nothing
    type(th, ZAM_ZAKLAD, QStringLiteral("Без номера"));
    click(th, kaldo006::OK);
    ASSERT_TRUE(finished(th, emptied));
    EXPECT_EQ(emptied.response.load(), int(RequestCompleted));
    EXPECT_EQ(markCount(), 5);
    Relate_ZAMETKA->Open();
    CLEAR(ZAMETKA);
    ZAM.IDDOK = 8;
    SET(ZAM_K2, ZAM_K2);
    LONG numbered = 0;
    for (NEXT(ZAMETKA); ERRORCODE() == 0 && ZAM.IDDOK == 8; NEXT(ZAMETKA)) {
        if (ZAM.ZAKLAD.clip() == QStringLiteral("Без номера"))
            numbered = ZAM.ID;
    }
    Relate_ZAMETKA->Close();
    EXPECT_GT(numbered, 3);
}

TEST(BookmarkForm, AFailedWriteIsReportedUnderTheFormsNameAndTheFormStaysOpen) {
    makeBase(kCards, kMarks);
    Call call;
    const LONG th = startForm(ChangeRecord, 7, 2, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    auto recorder = std::make_shared<RecordingReporter>();  // answers "yes"
    ErrorClass::setReporter(recorder);
    // Another window deletes the bookmark while the form shows it.
    Relate_ZAMETKA->Open();
    CLEAR(ZAMETKA);
    ZAM.ID = 2;
    ASSERT_EQ(Access_ZAMETKA->Fetch(ZAM_K1), Level::Benign);
    DELETE(ZAMETKA);
    Relate_ZAMETKA->Close();

    type(th, ZAM_ZAKLAD, QStringLiteral("Исчезнувшая"));
    click(th, kaldo006::OK);
    ASSERT_EQ(recorder->reports().size(), 1u);
    EXPECT_EQ(recorder->reports()[0].procedure, QStringLiteral("UpdateZk"));
    EXPECT_EQ(title(th), kTitle);
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QStringLiteral("Исчезнувшая"));
    click(th, kaldo006::CANCEL);  // asks, and the recorder says yes
    ASSERT_TRUE(finished(th, call));
    rt::installMessageReporter();
    EXPECT_EQ(call.response.load(), int(RequestCancelled));
    EXPECT_EQ(markCount(), 2);
    EXPECT_FALSE(storedMark(2));
}

// ---- cancel and delete ------------------------------------------------------------

TEST(BookmarkForm, CancelAsksOnlyWhenSomethingWasTypedAndLeavesTheTable) {
    makeBase(kCards, kMarks);
    Call untouched;
    LONG th = startForm(InsertRecord, 7, 0, untouched);
    ASSERT_TRUE(waitWindow(th, kSlow));
    click(th, kaldo006::CANCEL);  // nothing typed: no question
    ASSERT_TRUE(finished(th, untouched));
    EXPECT_EQ(untouched.response.load(), int(RequestCancelled));
    EXPECT_EQ(markCount(), 3);

    Call typed;
    th = startForm(InsertRecord, 7, 0, typed);
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(text(th, ZAM_ID), QStringLiteral("4"));  // the number given back is used again
    type(th, ZAM_ZAKLAD, QStringLiteral("Передумал"));
    ASSERT_TRUE(clickForMessage(th, kaldo006::CANCEL));
    answerMessage(th, BUTTON::No);  // stay
    waitIdle(th);
    EXPECT_EQ(title(th), kTitle);
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QStringLiteral("Передумал"));
    // The close box asks the same.
    POST(EVENT::CloseWindow, 0, th);
    ASSERT_TRUE(waitDialog(th, kSlow));
    answerMessage(th, BUTTON::Yes);
    ASSERT_TRUE(finished(th, typed));
    EXPECT_EQ(typed.response.load(), int(RequestCancelled));
    EXPECT_EQ(markCount(), 3);
    EXPECT_FALSE(storedMark(4));

    // A change abandoned leaves the bookmark as it was.
    Call changed;
    th = startForm(ChangeRecord, 7, 1, changed);
    ASSERT_TRUE(waitWindow(th, kSlow));
    type(th, ZAM_POTEXT, QStringLiteral("Не сохранять"));
    ASSERT_TRUE(clickForMessage(th, kaldo006::CANCEL));
    answerMessage(th, BUTTON::Yes);
    ASSERT_TRUE(finished(th, changed));
    EXPECT_EQ(changed.response.load(), int(RequestCancelled));
    EXPECT_EQ(storedMark(1)->POTEXT.clip(),
              QStringLiteral("Ежегодный основной оплачиваемый отпуск"));
}

TEST(BookmarkForm, DeleteAsksAndNeverShowsTheForm) {
    makeBase(kCards, kMarks);
    Call declined;
    LONG th = startForm(DeleteRecord, 7, 2, declined);
    ASSERT_TRUE(waitDialog(th, kSlow));
    EXPECT_FALSE(onGui([th] {
        rt::GuiWindow* w = rt::gui::topWindow(th);
        return w && w->top()->windowTitle() == kTitle;
    }));
    answerMessage(th, BUTTON::No);
    ASSERT_TRUE(finished(th, declined));
    EXPECT_EQ(declined.response.load(), int(RequestCancelled));
    EXPECT_TRUE(storedMark(2));

    Call confirmed;
    th = startForm(DeleteRecord, 7, 2, confirmed);
    ASSERT_TRUE(waitDialog(th, kSlow));
    answerMessage(th, BUTTON::Yes);
    ASSERT_TRUE(finished(th, confirmed));
    EXPECT_EQ(confirmed.response.load(), int(RequestCompleted));
    EXPECT_FALSE(storedMark(2));
    EXPECT_EQ(markCount(), 2);
    EXPECT_EQ(storedCardName(7), QStringLiteral("Трудовой кодекс"));  // the card stays
}

// ---- history ------------------------------------------------------------------------

TEST(BookmarkForm, CtrlHPutsBackWhatWasLastSavedOnTheThread) {
    makeBase(kCards, kMarks);
    // Two forms on one thread, one after the other, as one card form calls them.
    std::atomic<int> responses[2] = {-1, -1};
    const LONG th = START([&responses] {
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        CLEAR(KALDOR);
        KAL.ID = 7;
        Access_KALDOR->Fetch(KAL_K1);
        CLEAR(ZAMETKA);
        ZAM.IDDOK = KAL.ID;
        GlobalRequest = InsertRecord;
        UpdateZk();
        responses[0] = GlobalResponse;
        CLEAR(ZAMETKA);
        ZAM.ID = 3;
        Access_ZAMETKA->Fetch(ZAM_K1);
        GlobalRequest = ChangeRecord;
        UpdateZk();
        responses[1] = GlobalResponse;
        Relate_KALDOR->Close();
    });
    ASSERT_TRUE(waitWindow(th, kSlow));
    // The thread's first form: the history copy is blank.
    type(th, ZAM_POTEXT, QStringLiteral("Набрано"), false);
    pressKey(th, ZAM_POTEXT, kCtrlH);
    EXPECT_EQ(text(th, ZAM_POTEXT), QString());
    type(th, ZAM_ZAKLAD, QStringLiteral("Испытательный срок"));
    type(th, ZAM_POTEXT, QStringLiteral("Срок испытания не может превышать трех месяцев"));
    click(th, kaldo006::OK);
    ASSERT_TRUE(waitFor([&] { return responses[0].load() != -1; }));
    EXPECT_EQ(responses[0].load(), int(RequestCompleted));

    ASSERT_TRUE(waitWindow(th, kSlow));
    ASSERT_TRUE(waitFor([th] { return text(th, ZAM_ZAKLAD) == QStringLiteral("Сделки"); }));
    pressKey(th, ZAM_POTEXT, kCtrlH);
    EXPECT_EQ(text(th, ZAM_POTEXT),
              QStringLiteral("Срок испытания не может превышать трех месяцев"));
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QStringLiteral("Сделки"));  // only the field asked for
    pressKey(th, ZAM_ZAKLAD, kCtrlH);
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QStringLiteral("Испытательный срок"));
    click(th, kaldo006::OK);
    ASSERT_TRUE(rt::waitThreadEnd(th, kSlow));
    EXPECT_EQ(responses[1].load(), int(RequestCompleted));
    const auto m = storedMark(3);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->IDDOK, 8);
    EXPECT_EQ(m->ZAKLAD.clip(), QStringLiteral("Испытательный срок"));

    // Another thread starts with a blank copy of its own.
    Call other;
    const LONG next = startForm(ChangeRecord, 7, 1, other);
    ASSERT_TRUE(waitWindow(next, kSlow));
    pressKey(next, ZAM_ZAKLAD, kCtrlH);
    EXPECT_EQ(text(next, ZAM_ZAKLAD), QString());
    click(next, kaldo006::CANCEL, 100);
    ASSERT_TRUE(waitDialog(next, kSlow));
    answerMessage(next, BUTTON::Yes);
    ASSERT_TRUE(finished(next, other));
    EXPECT_EQ(storedMark(1)->ZAKLAD.clip(), QStringLiteral("Отпуск"));
}

// ---- the link to the card ---------------------------------------------------------

TEST(BookmarkForm, ABookmarkIsWrittenOnlyForACardOfTheBase) {
    makeBase(kCards, kMarks);
    Call call;
    QString nameAfter;
    QByteArray textAfter, extractsAfter;
    // The card form has changed the card's name and its text and not saved
    // them yet; the working copy it has not read at all.
    const LONG th = startForm(
        ChangeRecord, 7, 2, call,
        [] {
            KAL.NAME = "Трудовой кодекс (правка)";
            KAL.ZAKON.setData("{\\rtf1 edited text of 7}");
        },
        [&] {
            nameAfter = KAL.NAME.clip();
            textAfter = KAL.ZAKON.data();
            extractsAfter = KAL.RABZAKON.data();
            Relate_KALDOR->Update();  // the card form saves its card afterwards
        });
    ASSERT_TRUE(waitWindow(th, kSlow));
    type(th, ZAM_IDDOK, QStringLiteral("99"));
    ASSERT_TRUE(clickForMessage(th, kaldo006::OK));
    EXPECT_EQ(messageText(th),
              QStringLiteral("В базе нет документа с iD 99. Закладка должна принадлежать "
                             "документу базы."));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    EXPECT_EQ(title(th), kTitle);
    // The cursor goes to the card's number, for the user to correct it.
    EXPECT_TRUE(waitFor([th] {
        return onGui([th] {
            QWidget* w = widget(th, ZAM_IDDOK);
            return w && w->window()->focusWidget() == w;
        });
    }));
    EXPECT_EQ(storedMark(2)->IDDOK, 7);

    // Ctrl+H in the thread's first form empties the number: no card at all.
    pressKey(th, ZAM_IDDOK, kCtrlH);
    EXPECT_EQ(text(th, ZAM_IDDOK), QString());
    ASSERT_TRUE(clickForMessage(th, kaldo006::OK));
    EXPECT_EQ(messageText(th),
              QStringLiteral("Не указан iD документа, которому принадлежит закладка."));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    EXPECT_EQ(storedMark(2)->IDDOK, 7);

    // Another card of the base takes the bookmark.
    type(th, ZAM_IDDOK, QStringLiteral("8"));
    click(th, kaldo006::OK);
    ASSERT_TRUE(finished(th, call));
    EXPECT_EQ(call.response.load(), int(RequestCompleted));
    EXPECT_EQ(storedMark(2)->IDDOK, 8);
    // The card being edited stayed in the buffer, and it is that card the card
    // form wrote.
    EXPECT_EQ(nameAfter, QStringLiteral("Трудовой кодекс (правка)"));
    EXPECT_EQ(textAfter, QByteArray("{\\rtf1 edited text of 7}"));
    EXPECT_EQ(extractsAfter, QByteArray("{\\rtf1 extracts of 7}"));
    QByteArray text;
    EXPECT_EQ(storedCardName(7, &text), QStringLiteral("Трудовой кодекс (правка)"));
    EXPECT_EQ(text, QByteArray("{\\rtf1 edited text of 7}"));
    EXPECT_EQ(storedCardName(8, &text), QStringLiteral("Гражданский кодекс"));
    EXPECT_EQ(text, QByteArray("{\\rtf1 text of 8}"));
}

TEST(BookmarkForm, ANewCardTakesBookmarksBeforeItIsSaved) {
    makeBase(kCards, kMarks);
    Call call;
    LONG newCard = 0;
    // A card being added: numbered, not written yet.
    const LONG th = startForm(
        InsertRecord, 0, 0, call,
        [&newCard] {
            Access_KALDOR->PrimeRecord();
            newCard = KAL.ID;
            KAL.NAME = "Новый документ";
        },
        [] { Access_KALDOR->Insert(); });
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(newCard, 9);
    EXPECT_EQ(text(th, ZAM_IDDOK), QStringLiteral("9"));
    type(th, ZAM_ZAKLAD, QStringLiteral("Закладка нового документа"));
    click(th, kaldo006::OK);
    ASSERT_TRUE(finished(th, call));
    EXPECT_EQ(call.response.load(), int(RequestCompleted));
    ASSERT_TRUE(storedMark(4));
    EXPECT_EQ(storedMark(4)->IDDOK, 9);
    EXPECT_EQ(storedCardName(9), QStringLiteral("Новый документ"));
}

// ---- the window's place and the error manager ----------------------------------------

TEST(BookmarkForm, TheFormOpensWhereItWasLeftAndGivesBackTheProcedureName) {
    makeBase(kCards, kMarks);
    QString nameAfter;
    Call first;
    LONG th = startForm(
        ViewRecord, 7, 1, first, [] { GlobalErrors.SetProcedureName(u"Updatekaldor"); },
        [&nameAfter] {
            nameAfter = GlobalErrors.GetProcedureName();
            GlobalErrors.SetProcedureName();
        });
    ASSERT_TRUE(waitWindow(th, kSlow));
    onGui([th] { rt::gui::topWindow(th)->top()->move(140, 90); });
    waitIdle(th);
    const QPoint left = onGui([th] { return rt::gui::topWindow(th)->top()->pos(); });
    click(th, kaldo006::CANCEL);
    ASSERT_TRUE(finished(th, first));
    EXPECT_EQ(nameAfter, QStringLiteral("Updatekaldor"));
    EXPECT_TRUE(INIMgr.TryFetch(u"UpdateZk", u"XPos"));

    Call second;
    th = startForm(ViewRecord, 7, 1, second);
    ASSERT_TRUE(waitWindow(th, kSlow));
    EXPECT_EQ(onGui([th] { return rt::gui::topWindow(th)->top()->pos(); }), left);
    click(th, kaldo006::CANCEL);
    ASSERT_TRUE(finished(th, second));
}

TEST(BookmarkForm, TheEntriesWidenWithTheWindowWhichKeepsItsDeclaredSizeAtLeast) {
    makeBase(kCards, kMarks);
    Call call;
    const LONG th = startForm(ChangeRecord, 7, 1, call);
    ASSERT_TRUE(waitWindow(th, kSlow));
    const QRect name = geometry(th, ZAM_ZAKLAD);
    const QRect ok = geometry(th, kaldo006::OK);
    const QSize declared = onGui([th] { return rt::gui::topWindow(th)->client()->minimumSize(); });
    EXPECT_GT(declared.width(), 0);
    onGui([th] {
        QWidget* top = rt::gui::topWindow(th)->top();
        top->resize(top->width() + 200, top->height() + 60);
    });
    EXPECT_TRUE(waitFor([&] { return geometry(th, ZAM_ZAKLAD).width() > name.width() + 100; }));
    EXPECT_EQ(geometry(th, ZAM_ZAKLAD).height(), name.height());
    EXPECT_GT(geometry(th, kaldo006::OK).x(), ok.x());  // the buttons keep to the right
    onGui([th] { rt::gui::topWindow(th)->top()->resize(100, 50); });
    waitIdle(th);
    EXPECT_GE(onGui([th] { return rt::gui::topWindow(th)->client()->width(); }), declared.width());
    click(th, kaldo006::CANCEL);
    ASSERT_TRUE(finished(th, call));
}

TEST(BookmarkForm, TwoFormsAddingAtOnceGetNumbersOfTheirOwn) {
    makeBase(kCards, kMarks);
    Call first, second;
    const LONG a = startForm(InsertRecord, 7, 0, first);
    ASSERT_TRUE(waitWindow(a, kSlow));
    const LONG b = startForm(InsertRecord, 8, 0, second);
    ASSERT_TRUE(waitWindow(b, kSlow));
    EXPECT_EQ(text(a, ZAM_ID), QStringLiteral("4"));
    EXPECT_EQ(text(b, ZAM_ID), QStringLiteral("5"));
    EXPECT_EQ(text(b, ZAM_IDDOK), QStringLiteral("8"));  // each thread its own buffers
    saveMark(b, second, QStringLiteral("Вторая"), QStringLiteral("Позже открыта"));
    EXPECT_EQ(text(a, ZAM_IDDOK), QStringLiteral("7"));
    saveMark(a, first, QStringLiteral("Первая"), QStringLiteral("Раньше открыта"));
    expectMark(4, 7, QStringLiteral("Первая"), QStringLiteral("Раньше открыта"));
    expectMark(5, 8, QStringLiteral("Вторая"), QStringLiteral("Позже открыта"));
}

int main(int argc, char** argv) {
    enterSandbox({});
    return runProgramTests(argc, argv);
}

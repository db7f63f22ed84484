// The card form as the document list calls it: on a thread of its own, with the
// request in GlobalRequest and the card in the thread's record buffer, over a
// base in a temporary drive C; driven as a user drives it (the tests run on
// thread 1).

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <atomic>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo003.h"
#include "controls/kaldo006.h"
#include "copyfailure.h"
#include "core/paths.h"
#include "core/threads.h"
#include "dictionary.h"
#include "doclist_support.h"
#include "files.h"
#include "listdriver.h"
#include "program_environment.h"
#include "qt_print.h"
#include "rtf.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "uidriver.h"
#include "windowmanager.h"

using namespace uitest;
using namespace listtest;

namespace {

// Controls of the card form. SPINRTF and SFILE are also process-wide
// variables: those are written ::SPINRTF, ::SFILE.
using namespace kaldo003;
// Tabs of the sheet.
enum { TextTab = 1, CardTab, BookmarkTab, ExtractsTab };

const QString kBase = QStringLiteral("c:\\cards\\");
const QString kDefaultSource = QStringLiteral("C:\\kaldor_demo\\1.rtf");

// The folder where the temporary texts are made.
QString work() {
    return sandbox().path() + QStringLiteral("/work");
}

QByteArray rtfOf(const QString& text) {
    QTextDocument d;
    QTextCursor c(&d);
    QTextCharFormat f;
    f.setFontFamilies({QStringLiteral("Times New Roman")});
    f.setFontPointSize(12);
    c.insertText(text, f);
    return rt::writeRtf(d);
}

QString plainOf(const QByteArray& rtf) {
    QTextDocument d;
    rt::readRtf(rtf, &d);
    return d.toPlainText();
}

QByteArray corpus(const char* name) {
    return fileBytes(qEnvironmentVariable("KALDOR_TEST_DATA") + QStringLiteral("/rtf/") +
                     QString::fromUtf8(name));
}

// A card as the tests write and read it: the bodies are `text` (the document
// text) and `work` (the working copy).
struct Card : doclist::Card {
    bool found = false;  // read: the base holds it
};

struct Bookmark {
    LONG id, card;
    QString name, passage;
};

// Runs f on a thread of its own with the test base's tables open.
void onBase(const std::function<void()>& f) {
    PUT1 = kBase + QStringLiteral("KALDOR.TPS");
    PUT2 = kBase + QStringLiteral("ZAMETKA.TPS");
    std::thread([&] {
        rt::ThreadScope scope;
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        f();
        Relate_KALDOR->Close();
    }).join();
}

// The base holds these cards and bookmarks and nothing else (bookmarks are
// numbered from 1 in their order, as kBookmarks numbers them).
void setBase(const std::vector<Card>& cards, const std::vector<Bookmark>& bookmarks) {
    const std::vector<doclist::Card> cs(cards.begin(), cards.end());
    std::vector<doclist::Bookmark> bs;
    for (const Bookmark& b : bookmarks)
        bs.push_back({b.card, b.name, b.passage});
    ASSERT_TRUE(doclist::writeBase(kBase, cs, bs));
    PUT1 = kBase + QStringLiteral("KALDOR.TPS");
    PUT2 = kBase + QStringLiteral("ZAMETKA.TPS");
}

Card readCard(LONG id) {
    Card c;
    onBase([&] {
        CLEAR(KALDOR);
        KAL.ID = id;
        if (Access_KALDOR->TryFetch(KAL_K1) != Level::Benign)
            return;
        static_cast<doclist::Card&>(c) = doclist::bufferCard();
        c.found = true;
    });
    return c;
}

std::int64_t cardCount() {
    std::int64_t n = 0;
    onBase([&] { n = RECORDS(KALDOR); });
    return n;
}

std::int64_t bookmarkCount() {
    std::int64_t n = 0;
    onBase([&] { n = RECORDS(ZAMETKA); });
    return n;
}

const QString kPassage = QStringLiteral("Настоящий закон регулирует отношения");

std::vector<Card> cards() {
    Card a;
    a.id = 1;
    a.status = 2;
    a.name = QStringLiteral("Закон о порядке");
    a.pname1 = QStringLiteral("Федеральный закон");
    a.pname2 = QStringLiteral("О порядке рассмотрения обращений");
    a.ndok = QStringLiteral("59-ФЗ");
    a.approved = rt::dayNumber(2006, 5, 2);
    a.wordkey = QStringLiteral("обращения граждан");
    a.nfile = QStringLiteral("C:\\src\\59.rtf");
    a.text = rtfOf(kPassage + QStringLiteral(", связанные с обращениями граждан."));
    a.work = rtfOf(QStringLiteral("Выдержка: статья 1"));
    Card b;
    b.id = 2;
    b.status = 0;
    b.name = QStringLiteral("Положение");
    b.pname1 = QStringLiteral("Положение о реестре");
    b.ndok = QStringLiteral("14-П");
    Card c;
    c.id = 3;
    c.status = 3;
    c.name = QStringLiteral("Утративший силу приказ");
    return {a, b, c};
}

const std::vector<Bookmark> kBookmarks = {
    {1, 1, QStringLiteral("Предмет"), QStringLiteral("регулирует отношения")},
    {2, 2, QStringLiteral("Реестр"), QStringLiteral("ведение реестра")},
    {3, 1, QStringLiteral("Обращения"), QStringLiteral("обращениями граждан")},
};

// The card form of card `id` (none for an insert) on a thread of its own, as
// the document list calls it; `response` receives its answer.
LONG openCard(int request, LONG id, std::atomic<int>& response, bool waitForWindow = true) {
    response = -1;
    PUT1 = kBase + QStringLiteral("KALDOR.TPS");
    PUT2 = kBase + QStringLiteral("ZAMETKA.TPS");
    const LONG th = START([request, id, &response] {
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        CLEAR(KALDOR);
        if (request != InsertRecord) {
            KAL.ID = id;
            Access_KALDOR->Fetch(KAL_K1);
        }
        GlobalRequest = BYTE(request);
        Updatekaldor();
        response = GlobalResponse;
        Relate_KALDOR->Close();
    });
    if (waitForWindow) {
        EXPECT_TRUE(waitWindow(th));
    }
    return th;
}

// Waits for the form's thread to end and gives its answer.
int finished(LONG th, std::atomic<int>& response) {
    EXPECT_TRUE(rt::waitThreadEnd(th, kWait));
    return response.load();
}

QTextEdit* editOf(int th, int control) {
    return qobject_cast<QTextEdit*>(widget(th, control));
}

// Types text at the start of an editor, as the user would.
void typeIntoEditor(int th, int control, const QString& s) {
    onGui([&] {
        QTextEdit* e = editOf(th, control);
        QTextCursor c(e->document());
        c.insertText(s);
    });
    waitIdle(th);
}

QString statusText(int th) {
    return onGui([th] {
        rt::GuiWindow* w = rt::gui::topWindow(th);
        QStatusBar* bar = w ? w->top()->findChild<QStatusBar*>() : nullptr;
        if (!bar)
            return QString();
        const QList<QLabel*> zones = bar->findChildren<QLabel*>();
        return zones.isEmpty() ? bar->currentMessage() : zones.first()->text();
    });
}

double firstLineHeight(int th, int control) {
    return onGui([&] {
        QTextDocument* d = editOf(th, control)->document();
        return d->documentLayout()->blockBoundingRect(d->begin()).height();
    });
}

QString tempFile(const QString& name) {
    return rt::currentFolder() + name;
}

// True when no one but the owner of the file may read or change it.
bool ownersOnly(const QString& file) {
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    return QFileInfo::exists(file) && (QFileInfo(file).permissions() & others) == 0;
}

class CardForm : public ::testing::Test {
  protected:
    void SetUp() override {
        QDir().mkpath(work());
        rt::setCurrentFolder(work());
        QFile::remove(tempFile(QStringLiteral("Test.rtf")));
        QFile::remove(tempFile(QStringLiteral("zfile.rtf")));
        ::SPINRTF = 8;
        setBase(cards(), kBookmarks);
    }
    std::atomic<int> response{-1};
};

}  // namespace

// ---- the failure message ------------------------------------------------------

TEST(CopyFailure, TheFileNameThenTheRuleThenTheCode) {
    EXPECT_EQ(copyFailureText(u"Test.rtf", 2),
              QStringLiteral("Test.rtf не скопирован - ошибка: 2"));
    EXPECT_EQ(copyFailureText(u"", 5), QStringLiteral(" не скопирован - ошибка: 5"));
    EXPECT_EQ(copyFailureText(u"c:\\документы\\закон.rtf", 92),
              QStringLiteral("c:\\документы\\закон.rtf не скопирован - ошибка: 92"));
}

// ---- modes --------------------------------------------------------------------

TEST_F(CardForm, ChangeShowsTheCardAndSavesItsFields) {
    const LONG th = openCard(ChangeRecord, 1, response);
    EXPECT_EQ(title(th),
              QStringLiteral("Форма редактирования [выделение важных частей документа]"));
    EXPECT_EQ(statusText(th), QStringLiteral("Редактировать"));
    selectTab(th, CURRENTTAB, CardTab);
    EXPECT_EQ(text(th, KAL_ID), QStringLiteral("1"));
    EXPECT_EQ(text(th, KAL_NAME), QStringLiteral("Закон о порядке"));
    EXPECT_EQ(text(th, KAL_PNAME2), QStringLiteral("О порядке рассмотрения обращений"));
    EXPECT_EQ(text(th, KAL_NDOK), QStringLiteral("59-ФЗ"));
    EXPECT_EQ(text(th, KAL_UTVDATA), QStringLiteral("02.05.2006"));
    EXPECT_EQ(text(th, KAL_VVODDATA), QString());                     // no date
    EXPECT_EQ(text(th, KAL_KODTER_RADIO1 + 1), QStringLiteral("1"));  // "Действует"
    EXPECT_EQ(text(th, kaldo003::SFILE), kDefaultSource);
    EXPECT_FALSE(visible(th, KAL_NFILE));
    // Both editors stay empty until asked.
    EXPECT_EQ(text(th, RTFTEXTBOX), QString());

    type(th, KAL_NAME, QStringLiteral("Закон об обращениях"));
    type(th, KAL_WORDKEY, QStringLiteral("жалобы предложения"));
    click(th, KAL_KODTER_RADIO3);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    const Card c = readCard(1);
    EXPECT_EQ(c.name, QStringLiteral("Закон об обращениях"));
    EXPECT_EQ(c.wordkey, QStringLiteral("жалобы предложения"));
    EXPECT_EQ(c.status, 3);
    EXPECT_EQ(c.text, cards()[0].text);  // bodies untouched
    EXPECT_EQ(c.work, cards()[0].work);
    EXPECT_EQ(c.nfile, QStringLiteral("C:\\src\\59.rtf"));
}

TEST_F(CardForm, AStatusOfZeroShowsNoRadioChosen) {
    const LONG th = openCard(ChangeRecord, 2, response);
    selectTab(th, CURRENTTAB, CardTab);
    for (int r = KAL_KODTER_RADIO1; r <= KAL_KODTER_RADIO3; ++r)
        EXPECT_EQ(text(th, r), QStringLiteral("0")) << r;
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
}

TEST_F(CardForm, InsertNumbersTheNewCardAndWritesIt) {
    const LONG th = openCard(InsertRecord, 0, response);
    EXPECT_EQ(statusText(th), QStringLiteral("Добавить"));
    selectTab(th, CURRENTTAB, CardTab);
    EXPECT_EQ(text(th, KAL_ID), QStringLiteral("4"));
    selectTab(th, CURRENTTAB, BookmarkTab);
    EXPECT_TRUE(column(th, LIST, 1).isEmpty());
    selectTab(th, CURRENTTAB, CardTab);
    type(th, KAL_NAME, QStringLiteral("Новый документ"));
    type(th, KAL_UTVDATA, QStringLiteral("01.02.2024"));
    click(th, KAL_KODTER_RADIO1);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    const Card c = readCard(4);
    ASSERT_TRUE(c.found);
    EXPECT_EQ(c.name, QStringLiteral("Новый документ"));
    EXPECT_EQ(c.approved, rt::dayNumber(2024, 2, 1));
    EXPECT_EQ(c.status, 1);
    EXPECT_TRUE(c.text.isEmpty());
    EXPECT_EQ(cardCount(), 4);
}

// What the bookmark form adds for the card on the form's thread, added here
// from another thread while the form is open.
void addBookmark(LONG id, LONG card) {
    onBase([&] {
        CLEAR(ZAMETKA);
        ZAM.ID = id;
        ZAM.IDDOK = card;
        ZAM.ZAKLAD = QStringLiteral("Закладка новой карточки");
        ADD(ZAMETKA);
    });
}

TEST_F(CardForm, AnInsertNotSavedLeavesNoBookmarksForTheNumberItGivesBack) {
    LONG th = openCard(InsertRecord, 0, response);
    selectTab(th, CURRENTTAB, CardTab);
    ASSERT_EQ(text(th, KAL_ID), QStringLiteral("4"));
    addBookmark(10, 4);
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
    EXPECT_EQ(bookmarkCount(), 3);  // the other cards' stay

    // Saved, the card keeps them.
    th = openCard(InsertRecord, 0, response);
    selectTab(th, CURRENTTAB, CardTab);
    ASSERT_EQ(text(th, KAL_ID), QStringLiteral("4"));  // the number given back
    addBookmark(11, 4);
    type(th, KAL_NAME, QStringLiteral("С закладкой"));
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    EXPECT_EQ(bookmarkCount(), 4);
}

TEST_F(CardForm, ViewShowsReadOnlyAndAnswersCancelled) {
    const LONG th = openCard(ViewRecord, 1, response);
    EXPECT_EQ(statusText(th), QStringLiteral("Просмотр документа"));
    // The 27 controls that change the card or its bodies: buttons, the editors'
    // tools but bold, italic, underline and alignment, the list's buttons.
    const int disabled[] = {BUTTON17,
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
                            kaldo003::INSERT,
                            kaldo003::CHANGE,
                            kaldo003::DELETE,
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
                            BUTTON19};
    for (int c : disabled)
        EXPECT_FALSE(enabled(th, c)) << c;
    // The editors, the spin, the status and the list stay usable.
    for (int c :
         {RTFTEXTBOX, RTFTOOLBOLD, RTFTOOLITALIC, RTFTOOLUNDERLINE, kaldo003::SPINRTF, KAL_KODTER,
          LIST, RTFTEXTBOX_2, RTFTOOLALIGNMENT, RTFTOOLALIGNMENTLEFT, RTFTOOLALIGNMENTJUST,
          RTFTOOLBOLD_2, RTFTOOLITALIC_2, RTFTOOLUNDERLINE_2, kaldo003::OK, kaldo003::CANCEL})
        EXPECT_TRUE(enabled(th, c)) << c;
    selectTab(th, CURRENTTAB, CardTab);
    for (int c : {KAL_ID, kaldo003::SFILE, KAL_NAME, KAL_PNAME1, KAL_PNAME3, KAL_NDOK, KAL_UTVDATA,
                  KAL_VVODDATA, KAL_WORDKEY}) {
        const QString was = text(th, c);
        type(th, c, QStringLiteral("7"));
        EXPECT_EQ(text(th, c), was) << c;
    }
    selectTab(th, CURRENTTAB, BookmarkTab);
    EXPECT_EQ(column(th, LIST, 1).size(), 2);
    doubleClickRow(th, LIST, 1);  // no bookmark form
    EXPECT_EQ(title(th),
              QStringLiteral("Форма редактирования [выделение важных частей документа]"));
    click(th, kaldo003::OK);  // "&Да" only closes
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
    EXPECT_EQ(readCard(1).name, QStringLiteral("Закон о порядке"));
}

TEST_F(CardForm, DeleteAsksFirstAndTakesTheBookmarksAlong) {
    LONG th = openCard(DeleteRecord, 1, response, false);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(onGui([th] { return rt::gui::topWindow(th) == nullptr; }));  // no form
    answerMessage(th, BUTTON::No);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
    EXPECT_EQ(cardCount(), 3);

    th = openCard(DeleteRecord, 1, response, false);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    EXPECT_FALSE(readCard(1).found);
    EXPECT_EQ(cardCount(), 2);
    EXPECT_EQ(bookmarkCount(), 1);  // only card 2's is left
}

TEST_F(CardForm, CancelLeavesTheTableAsItWas) {
    const LONG th = openCard(ChangeRecord, 1, response);
    click(th, BUTTON17);
    typeIntoEditor(th, RTFTEXTBOX, QStringLiteral("Поправка. "));
    click(th, BUTTON6);
    selectTab(th, CURRENTTAB, CardTab);
    type(th, KAL_NAME, QStringLiteral("Не сохранять"));
    click(th, kaldo003::CANCEL, 100);
    ASSERT_TRUE(waitDialog(th));  // the card was changed: leave it?
    answerMessage(th, BUTTON::No);
    waitIdle(th);
    EXPECT_TRUE(rt::threadAlive(th));  // kept
    EXPECT_EQ(text(th, kaldo003::SFILE), kDefaultSource);
    click(th, kaldo003::CANCEL, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
    const Card c = readCard(1);
    EXPECT_EQ(c.name, QStringLiteral("Закон о порядке"));
    EXPECT_EQ(c.text, cards()[0].text);
    EXPECT_EQ(::SFILE.get().str(), QString());  // a closed form leaves no source
}

TEST_F(CardForm, AFailedWriteKeepsTheFormOpenAndNeverAnswersCompleted) {
    const LONG th = openCard(ChangeRecord, 1, response);
    selectTab(th, CURRENTTAB, CardTab);
    type(th, KAL_ID, QStringLiteral("2"));  // the number of another card
    type(th, KAL_NAME, QStringLiteral("Двойник"));
    click(th, kaldo003::OK, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    EXPECT_TRUE(rt::threadAlive(th));
    EXPECT_EQ(text(th, KAL_NAME), QStringLiteral("Двойник"));  // as typed
    click(th, kaldo003::CANCEL, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
    EXPECT_EQ(readCard(1).name, QStringLiteral("Закон о порядке"));
    EXPECT_EQ(readCard(2).name, QStringLiteral("Положение"));

    // The texts applied here ("Применить", "Сохранить выдержки") while another
    // window saved the card's text: this save is refused, the other text stands
    // byte for byte, and the form keeps what was typed.
    const LONG mine = openCard(ChangeRecord, 1, response);
    click(mine, BUTTON17);
    typeIntoEditor(mine, RTFTEXTBOX, QStringLiteral("Моя правка. "));
    click(mine, BUTTON6);
    selectTab(mine, CURRENTTAB, ExtractsTab);
    click(mine, BUTTON20);
    typeIntoEditor(mine, RTFTEXTBOX_2, QStringLiteral("Моя выдержка. "));
    click(mine, BUTTON19);
    const QByteArray theirs = rtfOf(QStringLiteral("Текст, сохранённый в другом окне"));
    onBase([&] {
        KAL.ID = 1;
        ASSERT_EQ(Access_KALDOR->Fetch(KAL_K1), Level::Benign);
        KAL.ZAKON.setData(theirs);
        ASSERT_EQ(Relate_KALDOR->Update(), Level::Benign);
    });
    click(mine, kaldo003::OK, 100);
    ASSERT_TRUE(waitDialog(mine));
    EXPECT_TRUE(messageText(mine).contains(QStringLiteral("изменил или удалил")))
        << messageText(mine).toStdString();
    answerMessage(mine, BUTTON::Ok);
    waitIdle(mine);
    EXPECT_TRUE(rt::threadAlive(mine));
    EXPECT_TRUE(text(mine, RTFTEXTBOX_2).startsWith(QStringLiteral("Моя выдержка. ")));
    const Card stored = readCard(1);
    EXPECT_EQ(stored.text, theirs);
    EXPECT_EQ(stored.work, cards()[0].work);
    EXPECT_EQ(stored.name, QStringLiteral("Закон о порядке"));
    click(mine, kaldo003::CANCEL, 100);
    ASSERT_TRUE(waitDialog(mine));
    answerMessage(mine, BUTTON::Yes);
    EXPECT_EQ(finished(mine, response), int(RequestCancelled));
}

TEST_F(CardForm, CtrlHPutsBackWhatWasLastSavedOnTheThread) {
    std::atomic<int> second{-1};
    PUT1 = kBase + QStringLiteral("KALDOR.TPS");
    PUT2 = kBase + QStringLiteral("ZAMETKA.TPS");
    // Two forms one after the other on one thread, as one document list calls them.
    std::atomic<int> stage{0};
    const LONG th = START([&] {
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        for (LONG id : {1, 2}) {
            CLEAR(KALDOR);
            KAL.ID = id;
            Access_KALDOR->Fetch(KAL_K1);
            GlobalRequest = ChangeRecord;
            Updatekaldor();
            (id == 1 ? response : second) = GlobalResponse;
            ++stage;
        }
        Relate_KALDOR->Close();
    });
    ASSERT_TRUE(waitWindow(th));
    const int ctrlH = Key::Ctrl + Key::letter('H');
    selectTab(th, CURRENTTAB, CardTab);
    pressKey(th, KAL_NAME, ctrlH);  // nothing saved yet on this thread
    EXPECT_EQ(text(th, KAL_NAME), QString());
    type(th, KAL_NAME, QStringLiteral("Сохранённое имя"));
    click(th, kaldo003::OK);
    ASSERT_TRUE(waitFor([&] { return stage.load() == 1; }));
    ASSERT_TRUE(waitWindow(th));
    selectTab(th, CURRENTTAB, CardTab);
    EXPECT_EQ(text(th, KAL_NAME), QStringLiteral("Положение"));
    pressKey(th, KAL_NAME, ctrlH);
    EXPECT_EQ(text(th, KAL_NAME), QStringLiteral("Сохранённое имя"));
    pressKey(th, KAL_NDOK, ctrlH);
    EXPECT_EQ(text(th, KAL_NDOK), QStringLiteral("59-ФЗ"));
    click(th, kaldo003::OK);
    EXPECT_TRUE(rt::waitThreadEnd(th, kWait));
    EXPECT_EQ(response.load(), int(RequestCompleted));
    EXPECT_EQ(second.load(), int(RequestCompleted));
    EXPECT_EQ(readCard(2).name, QStringLiteral("Сохранённое имя"));
    EXPECT_EQ(readCard(2).ndok, QStringLiteral("59-ФЗ"));
}

// ---- bookmarks ------------------------------------------------------------------

TEST_F(CardForm, TheListShowsOnlyTheCardsBookmarks) {
    LONG th = openCard(ChangeRecord, 1, response);
    selectTab(th, CURRENTTAB, BookmarkTab);
    EXPECT_EQ(column(th, LIST, 1),
              (QStringList{QStringLiteral("Предмет"), QStringLiteral("Обращения")}));
    EXPECT_EQ(column(th, LIST, 3), (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
    EXPECT_TRUE(enabled(th, kaldo003::INSERT));
    click(th, kaldo003::CHANGE);  // the bookmark form opens over the card form, on its thread
    ASSERT_TRUE(
        waitFor([&] { return title(th) == QStringLiteral("Форма редактирования закладки"); }));
    EXPECT_EQ(text(th, kaldo006::ZAM_ZAKLAD), QStringLiteral("Предмет"));
    click(th, kaldo006::CANCEL);  // nothing typed: it closes without asking
    ASSERT_TRUE(waitFor([&] {
        return title(th) ==
               QStringLiteral("Форма редактирования [выделение важных частей документа]");
    }));
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));

    th = openCard(ChangeRecord, 3, response);
    selectTab(th, CURRENTTAB, BookmarkTab);
    EXPECT_TRUE(column(th, LIST, 1).isEmpty());
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
}

// ---- the bodies -------------------------------------------------------------------

TEST_F(CardForm, TheDocumentTextGoesThroughTestRtfAndBack) {
    const QByteArray cyrillic = corpus("lo-cp1251-polozhenie.rtf");
    ASSERT_FALSE(cyrillic.isEmpty());
    std::vector<Card> cs = cards();
    cs[0].text = cyrillic;
    setBase(cs, kBookmarks);
    const QString original = plainOf(cyrillic);

    LONG th = openCard(ChangeRecord, 1, response);
    click(th, BUTTON17);
    // The body exactly as stored, in the current folder, and in the editor.
    QFile shown(tempFile(QStringLiteral("Test.rtf")));
    ASSERT_TRUE(shown.open(QIODevice::ReadOnly));
    EXPECT_EQ(shown.readAll(), cyrillic);
    shown.close();
    EXPECT_EQ(text(th, RTFTEXTBOX).simplified(), original.simplified());

    typeIntoEditor(th, RTFTEXTBOX, QStringLiteral("Примечание юриста: см. статью 5. "));
    click(th, BUTTON6);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    const QString stored = plainOf(readCard(1).text);
    EXPECT_TRUE(stored.startsWith(QStringLiteral("Примечание юриста: см. статью 5. ")))
        << stored.toStdString();
    EXPECT_EQ(stored.mid(33).simplified(), original.simplified());

    // Shown again: the edited text.
    th = openCard(ChangeRecord, 1, response);
    click(th, BUTTON17);
    EXPECT_TRUE(text(th, RTFTEXTBOX).startsWith(QStringLiteral("Примечание юриста")));
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
    // Readable by its owner only, through every write; gone when the program ends.
    EXPECT_TRUE(ownersOnly(tempFile(QStringLiteral("Test.rtf"))));
    removeTemporaryFiles();
    EXPECT_FALSE(QFileInfo::exists(tempFile(QStringLiteral("Test.rtf"))));
}

TEST_F(CardForm, TheWorkingCopyGoesThroughZfileAndBack) {
    LONG th = openCard(ChangeRecord, 2, response);  // no working copy yet
    selectTab(th, CURRENTTAB, ExtractsTab);
    click(th, BUTTON20);
    EXPECT_TRUE(QFileInfo::exists(tempFile(QStringLiteral("zfile.rtf"))));
    EXPECT_EQ(QFileInfo(tempFile(QStringLiteral("zfile.rtf"))).size(), 0);
    EXPECT_TRUE(ownersOnly(tempFile(QStringLiteral("zfile.rtf"))));
    EXPECT_EQ(text(th, RTFTEXTBOX_2), QString());
    typeIntoEditor(th, RTFTEXTBOX_2, QStringLiteral("Выдержка: реестр ведётся в электронном виде"));
    click(th, BUTTON19);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    Card c = readCard(2);
    EXPECT_EQ(plainOf(c.work), QStringLiteral("Выдержка: реестр ведётся в электронном виде"));
    EXPECT_TRUE(c.text.isEmpty());  // the document text is another body

    th = openCard(ChangeRecord, 2, response);
    selectTab(th, CURRENTTAB, ExtractsTab);
    click(th, BUTTON20);
    EXPECT_EQ(text(th, RTFTEXTBOX_2),
              QStringLiteral("Выдержка: реестр ведётся в электронном виде"));
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
}

TEST_F(CardForm, ShowingAnEmptyBodyWritesAnEmptyFileAndAnEmptyEditor) {
    const LONG th = openCard(ChangeRecord, 3, response);
    click(th, BUTTON17);
    EXPECT_EQ(QFileInfo(tempFile(QStringLiteral("Test.rtf"))).size(), 0);
    EXPECT_EQ(text(th, RTFTEXTBOX), QString());
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
}

TEST_F(CardForm, ApplyingTakesAPressNotTheFocus) {
    const LONG th = openCard(ChangeRecord, 1, response);
    // Focus alone on the saving buttons stores nothing: the empty editors
    // would wipe the bodies.
    focus(th, BUTTON6);
    selectTab(th, CURRENTTAB, ExtractsTab);
    focus(th, BUTTON19);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    Card c = readCard(1);
    EXPECT_EQ(c.text, cards()[0].text);
    EXPECT_EQ(c.work, cards()[0].work);

    // A press stores the editor as it is, every time it is pressed.
    const LONG again = openCard(ChangeRecord, 1, response);
    click(again, BUTTON17);
    typeIntoEditor(again, RTFTEXTBOX, QStringLiteral("Первая правка. "));
    click(again, BUTTON6);
    typeIntoEditor(again, RTFTEXTBOX, QStringLiteral("Вторая правка. "));
    click(again, BUTTON6);
    click(again, kaldo003::OK);
    EXPECT_EQ(finished(again, response), int(RequestCompleted));
    EXPECT_TRUE(plainOf(readCard(1).text)
                    .startsWith(QStringLiteral("Вторая правка. Первая правка. ") + kPassage));

    // Also an editor never filled: pressed, it stores its empty text.
    const LONG empty = openCard(ChangeRecord, 1, response);
    click(empty, BUTTON6);
    selectTab(empty, CURRENTTAB, ExtractsTab);
    click(empty, BUTTON19);
    click(empty, kaldo003::OK);
    EXPECT_EQ(finished(empty, response), int(RequestCompleted));
    c = readCard(1);
    EXPECT_EQ(plainOf(c.text), QString());
    EXPECT_EQ(plainOf(c.work), QString());
}

TEST_F(CardForm, ATextTypedIntoTheEditorBeforeAnyShowIsStoredOnApply) {
    const LONG th = openCard(ChangeRecord, 3, response);  // a card without text
    typeIntoEditor(th, RTFTEXTBOX, QStringLiteral("Текст набран вручную"));
    click(th, BUTTON6);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    EXPECT_EQ(plainOf(readCard(3).text), QStringLiteral("Текст набран вручную"));
}

TEST_F(CardForm, AFailedShowNamesTestRtfAndShowsNoStaleText) {
    // A text another card left in the temporary file, and a file that cannot be
    // replaced: "Test.rtf" is a folder.
    const LONG th = openCard(ChangeRecord, 1, response);
    QDir(work()).mkdir(QStringLiteral("Test.rtf"));
    click(th, BUTTON17, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).startsWith(QStringLiteral("Test.rtf не скопирован - ошибка: ")))
        << messageText(th).toStdString();
    EXPECT_NE(messageText(th).mid(33).toInt(), 0);
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    EXPECT_EQ(text(th, RTFTEXTBOX), QString());
    // Applying fails the same way and leaves the body alone.
    click(th, BUTTON6, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).startsWith(QStringLiteral("Test.rtf не скопирован - ошибка: ")));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    EXPECT_EQ(readCard(1).text, cards()[0].text);
    QDir(work()).rmdir(QStringLiteral("Test.rtf"));
}

TEST_F(CardForm, ABodyTheEditorCannotReadIsNeitherShownNorOverwritten) {
    std::vector<Card> cs = cards();
    cs[1].text = QByteArray("\x01\x02\x00\xff binary", 12);
    setBase(cs, kBookmarks);
    const LONG th = openCard(ChangeRecord, 2, response);
    click(th, BUTTON17, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_EQ(messageText(th), QStringLiteral("Test.rtf не скопирован - ошибка: 47"));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    EXPECT_EQ(readCard(2).text, cs[1].text);
}

TEST_F(CardForm, AFailedWorkingCopyNamesZfile) {
    const LONG th = openCard(ChangeRecord, 1, response);
    QDir(work()).mkdir(QStringLiteral("zfile.rtf"));
    selectTab(th, CURRENTTAB, ExtractsTab);
    click(th, BUTTON20, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).startsWith(QStringLiteral("zFile.rtf не скопирован - ошибка: ")));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    click(th, BUTTON19, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).startsWith(QStringLiteral("zFile.rtf не скопирован - ошибка: ")));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    EXPECT_EQ(readCard(1).work, cards()[0].work);
    QDir(work()).rmdir(QStringLiteral("zfile.rtf"));
}

TEST_F(CardForm, ArchivingPutsTheSourceIntoTheTextAndNamesIt) {
    const QString source = sandbox().path() + QStringLiteral("/источник.rtf");
    const QByteArray bytes = corpus("pandoc-rasporyazhenie.rtf");
    ASSERT_FALSE(bytes.isEmpty());
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    const LONG th = openCard(ChangeRecord, 1, response);
    selectTab(th, CURRENTTAB, CardTab);
    type(th, kaldo003::SFILE, source);
    click(th, BUTTON5);
    EXPECT_FALSE(waitDialog(th, 200));
    EXPECT_EQ(text(th, RTFTEXTBOX), QString());  // the editor is not reloaded
    selectTab(th, CURRENTTAB, TextTab);
    click(th, BUTTON17);
    EXPECT_EQ(text(th, RTFTEXTBOX).simplified(), plainOf(bytes).simplified());
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    const Card c = readCard(1);
    EXPECT_EQ(c.text, bytes);
    EXPECT_EQ(c.nfile, source);
}

TEST_F(CardForm, AMissingOrUnreadableSourceChangesNothing) {
    const QString missing = sandbox().path() + QStringLiteral("/нет такого.rtf");
    const QString folder = sandbox().path() + QStringLiteral("/папка.rtf");
    QDir().mkpath(folder);
    const LONG th = openCard(ChangeRecord, 1, response);
    selectTab(th, CURRENTTAB, CardTab);
    for (const QString& source : {missing, folder}) {
        type(th, kaldo003::SFILE, source);
        click(th, BUTTON5, 100);
        ASSERT_TRUE(waitDialog(th)) << source.toStdString();
        EXPECT_EQ(messageText(th), source + QStringLiteral(" не скопирован - ошибка: 2"));
        answerMessage(th, BUTTON::Ok);
        waitIdle(th);
    }
    // A cancelled choice leaves no name: the copy fails on it.
    click(th, LOOKUPFILE, 100);
    ASSERT_TRUE(waitDialog(th));
    answerFileDialog(th, QString());
    EXPECT_EQ(text(th, kaldo003::SFILE), QString());
    click(th, BUTTON5, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_EQ(messageText(th), QStringLiteral(" не скопирован - ошибка: 2"));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    const Card c = readCard(1);
    EXPECT_EQ(c.text, cards()[0].text);
    EXPECT_EQ(c.nfile, QStringLiteral("C:\\src\\59.rtf"));
}

TEST_F(CardForm, ACardWithoutSourceTakesTheOfferedNameBeforeTheDialog) {
    const QString chosen = sandbox().path() + QStringLiteral("/выбранный.rtf");
    {
        QFile f(chosen);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(rtfOf(QStringLiteral("Выбранный текст")));
    }
    const LONG th = openCard(ChangeRecord, 2, response);  // no source name
    selectTab(th, CURRENTTAB, CardTab);
    click(th, LOOKUPFILE, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_EQ(text(th, KAL_NFILE), kDefaultSource);  // taken on the focus
    answerFileDialog(th, chosen);
    EXPECT_FALSE(waitDialog(th, 100));
    EXPECT_EQ(text(th, kaldo003::SFILE), chosen);
    EXPECT_EQ(text(th, KAL_NFILE), kDefaultSource);  // a set name stays
    click(th, kaldo003::OK);
    EXPECT_EQ(finished(th, response), int(RequestCompleted));
    EXPECT_EQ(readCard(2).nfile, kDefaultSource);
    // The dialog left its folder current: the temporary texts go there now.
    EXPECT_EQ(rt::currentFolder(), sandbox().path() + u'/');

    // The next form offers the default again.
    const LONG next = openCard(ViewRecord, 2, response);
    selectTab(next, CURRENTTAB, CardTab);
    EXPECT_EQ(text(next, kaldo003::SFILE), kDefaultSource);
    click(next, kaldo003::CANCEL);
    EXPECT_EQ(finished(next, response), int(RequestCancelled));
    EXPECT_EQ(::SFILE.get().str(), QString());
}

TEST_F(CardForm, TheSpinSizesTheDocumentTextOnly) {
    const LONG th = openCard(ChangeRecord, 1, response);
    click(th, BUTTON17);
    selectTab(th, CURRENTTAB, ExtractsTab);
    click(th, BUTTON20);
    selectTab(th, CURRENTTAB, TextTab);
    spinTo(th, kaldo003::SPINRTF, 8);
    const double text8 = firstLineHeight(th, RTFTEXTBOX);
    const double extracts8 = firstLineHeight(th, RTFTEXTBOX_2);
    spinTo(th, kaldo003::SPINRTF, 12);
    EXPECT_EQ(::SPINRTF.get().toInt(), 12);
    EXPECT_NEAR(firstLineHeight(th, RTFTEXTBOX) / text8, 1.5, 0.2);
    EXPECT_DOUBLE_EQ(firstLineHeight(th, RTFTEXTBOX_2), extracts8);
    spinTo(th, kaldo003::SPINRTF, 20);  // beyond the range: its end
    EXPECT_EQ(::SPINRTF.get().toInt(), 14);
    spinTo(th, kaldo003::SPINRTF, 6);
    EXPECT_EQ(::SPINRTF.get().toInt(), 6);
    click(th, kaldo003::CANCEL);
    EXPECT_EQ(finished(th, response), int(RequestCancelled));
}

int main(int argc, char** argv) {
    enterSandbox({"cards", "kaldor_demo"});
    return runProgramTests(argc, argv);
}

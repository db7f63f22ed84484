// The document list Browsekaldor as a user meets it: started on a thread of
// its own over bases in a temporary drive C, driven through the window and
// list drivers. The tests share one process: each sets the process-wide
// switches it relies on (tips, font sizes, card buffer) as it needs them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>
#include <memory>
#include <ostream>
#include <string>

#include "app/globals.h"
#include "app/procedures.h"
#include "catalogue.h"
#include "controls/kaldo003.h"
#include "core/fuzzy.h"
#include "core/paths.h"
#include "dictionary.h"
#include "doclist_support.h"
#include "files.h"
#include "kaldo013.h"
#include "listdriver.h"
#include "listview.h"
#include "program_environment.h"
#include "qt_print.h"
#include "query.h"
#include "rtf.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "uidriver.h"
#include "window_steps.h"
#include "windowmanager.h"

using namespace uitest;
using namespace listtest;
namespace k = kaldo013;
using namespace kaldo013;  // the controls; SORT, SPINRTF, SPINW and KOLDOC are k::
using doclist::Bookmark;
using doclist::Card;

namespace {

const QString kBase = QStringLiteral("c:\\bases\\trud\\");
const QString kOther = QStringLiteral("c:\\bases\\dogovor\\");
const QString kBaseName = QStringLiteral("Трудовые отношения");

LONG day(int y, int m, int d) {
    return rt::dayNumber(y, m, d);
}

Card card(LONG id, const QString& name, const QString& pname1, const QString& pname2,
          const QString& pname3, const QString& ndok, LONG approved, LONG inForce) {
    Card c;
    c.id = id;
    c.name = name;
    c.pname1 = pname1;
    c.pname2 = pname2;
    c.pname3 = pname3;
    c.ndok = ndok;
    c.approved = approved;
    c.inForce = inForce;
    c.text = doclist::rtfOf(QStringLiteral("Текст документа: ") + name);
    return c;
}

// Five cards whose numbers and approval dates run in different orders.
std::vector<Card> fiveCards() {
    std::vector<Card> c;
    c.push_back(card(1, QStringLiteral("Положение о порядке приёма на работу"),
                     QStringLiteral("Положение о порядке приёма работников"),
                     QStringLiteral("на работу"), QString(), QStringLiteral("14-П"),
                     day(2021, 3, 15), day(2021, 4, 1)));
    c.back().wordkey = QStringLiteral("приём на работу");
    c.back().nfile = QStringLiteral("C:\\docs\\priem.rtf");
    c.push_back(card(2, QStringLiteral("Правила внутреннего трудового распорядка"),
                     QStringLiteral("Правила внутреннего трудового распорядка"), QString(),
                     QString(), QStringLiteral("№ 7"), day(2019, 6, 10), 0));
    c.back().wordkey = QStringLiteral("распорядок рабочего времени");
    c.push_back(card(3, QStringLiteral("Инструкция по охране труда"),
                     QStringLiteral("Инструкция по охране труда"),
                     QStringLiteral("для офисных работников"), QStringLiteral("(редакция 2)"),
                     QStringLiteral("12-ФЗ"), 0, 0));
    c.back().wordkey = QStringLiteral("охрана труда инструктаж");
    c.push_back(card(4, QStringLiteral("Трудовой договор (типовая форма)"), QString(), QString(),
                     QString(), QStringLiteral("0"), day(2023, 1, 9), day(2023, 2, 1)));
    c.push_back(card(5, QStringLiteral("Положение об оплате труда"), QString(), QString(),
                     QString(), QStringLiteral("-3"), day(2020, 11, 2), 0));
    return c;
}

const QString kHint = QStringLiteral("...Для просмотра выберите инструмент [Показать документ]...");
const QString kListTitle = QStringLiteral("Тема: ") + kBaseName;  // the title shows no padding

struct Base {
    int kod;
    QString path;
    QString name;
    LONG rtg;
};

// The catalogue holds these bases and nothing else, with their open counts
// (thread 1).
void setCatalogue(const std::vector<Base>& bases) {
    std::vector<cattest::Base> plain;
    for (const Base& b : bases)
        plain.push_back({b.kod, 1, b.path, b.name, 1});
    cattest::setCatalogue(plain);
    Relate_CONFIG->Open();
    for (const Base& b : bases) {
        CONFIG.clearRecord();
        CON.KOD = b.kod;
        ASSERT_EQ(Access_CONFIG->Fetch(CON_K1), Level::Benign);
        CON.RTG = b.rtg;
        ASSERT_EQ(Access_CONFIG->Update(), Level::Benign);
    }
    Relate_CONFIG->Close();
}

LONG openCount(int kod) {
    Relate_CONFIG->Open();
    CONFIG.clearRecord();
    CON.KOD = kod;
    const LONG rtg = Access_CONFIG->TryFetch(CON_K1) == Level::Benign ? CON.RTG : -1;
    Relate_CONFIG->Close();
    return rtg;
}

// The base with the five cards, active.
void standardBase(const std::vector<Bookmark>& bookmarks = {}) {
    ASSERT_TRUE(doclist::writeBase(kBase, fiveCards(), bookmarks));
    doclist::activate(kBase, kBaseName);
}

// How often each thread of raiseOpenCounts raises the open count.
constexpr int kRaises = 150;

// What every document list does when it opens, many times over, on a thread
// of its own (started with START): the active base's open count raised.
void raiseOpenCounts() {
    Relate_CONFIG->Open();
    for (int i = 0; i < kRaises; ++i)
        RaiseOpenCount();
    Relate_CONFIG->Close();
}

LONG openList() {
    return startProcedure(Browsekaldor, 50000);
}

void closeList(LONG th) {
    closeProcedure(th);
}

QStringList ids(LONG th) {
    return column(th, BROWSE_1, 2);
}

// The caption of a button or check box.
QString label(LONG th, int control) {
    return onGui([&] { return qobject_cast<QAbstractButton*>(widget(th, control))->text(); });
}

int lineHeight(LONG th) {
    return rowHeight(th, BROWSE_1);
}

bool cardFieldsShown(LONG th) {
    bool all = true, none = true;
    for (int c = KAL_UTVDATA_PROMPT; c <= KAL_NDOK; ++c) {
        const bool v = visible(th, c);
        all = all && v;
        none = none && !v;
    }
    EXPECT_TRUE(all || none) << "the date and number fields show and hide together";
    return all;
}

// Closes a card form the list opened, if any, and waits for the list again.
void leaveForm(LONG th) {
    if (title(th) != kListTitle) {
        POST(EVENT::CloseWindow, 0, th);
        waitFor([th] { return title(th) == kListTitle; });
    }
    waitIdle(th);
}

// The rows of the bookmark combo's drop list: column `col` of each.
QStringList comboColumn(LONG th, int col) {
    return listtest::comboColumn(th, ZAM_ZAKLAD, col);
}

// The find dialog of the preview, on the GUI thread; null when none is open.
QDialog* findDialog(LONG th) {
    for (QWidget* w : rt::gui::dialogs(th)) {
        if (w->objectName().startsWith(u"rtf"))
            return qobject_cast<QDialog*>(w);
    }
    return nullptr;
}

// What others than a file's owner may do with it.
constexpr QFileDevice::Permissions kNotTheOwners =
    QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
    QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

// Presses `button` of the list, which answers with a message box: its text,
// once answered (empty when none came).
QString pressForMessage(LONG th, int button) {
    click(th, button, 100);
    if (!waitDialog(th))
        return {};
    const QString said = messageText(th);
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    return said;
}

QString fileText(const QString& programName) {
    return QString::fromLatin1(fileBytes(rt::nativePath(programName)));
}

class DocListEnvironment : public ProgramEnvironment {
  public:
    // A second program started by a test leaves that test's catalogue alone.
    explicit DocListEnvironment(bool ownCatalogue) : ownCatalogue_(ownCatalogue) {}
    void SetUp() override {
        FuzzyMatcher.Init();
        FuzzyMatcher.SetOption(FuzzyClass::NOCASE, 1);
        FuzzyMatcher.SetOption(FuzzyClass::WORDONLY, 0);
        rt::setFuzzyMatcher(&FuzzyMatcher);
        ProgramEnvironment::SetUp();
        if (ownCatalogue_)
            setCatalogue({{1, kBase, kBaseName, 0}, {2, kOther, QStringLiteral("Договоры"), 0}});
    }
    void TearDown() override {
        ProgramEnvironment::TearDown();
        rt::setFuzzyMatcher(nullptr);
    }

  private:
    bool ownCatalogue_;
};

}  // namespace

// ---- the list, its orders and searches ----------------------------------------------

TEST(DocList, OpensInTheOrderOfTheNumbersWithIconsAndTheBaseInTheTitle) {
    standardBase();
    const LONG th = openList();
    EXPECT_EQ(title(th), kListTitle);
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(column(th, BROWSE_1, 1).at(2), QStringLiteral("Инструкция по охране труда"));
    EXPECT_EQ(column(th, BROWSE_1, 4).at(0), QStringLiteral("15.03.2021"));
    EXPECT_EQ(column(th, BROWSE_1, 5).at(1), QString());  // no date: blank
    // Every name with icon 1 and the list's own colours (-1, normal and selected).
    const QStringList looks = onGui([th] {
        QStringList out;
        for (const auto& r : *listWidget(th, BROWSE_1)->rows()) {
            out << QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(r[0].icon)
                       .arg(r[0].colors[0])
                       .arg(r[0].colors[1])
                       .arg(r[0].colors[2])
                       .arg(r[0].colors[3]);
        }
        return out;
    });
    EXPECT_EQ(looks, QStringList(5, QStringLiteral("1 -1 -1 -1 -1")));
    // ... which are those the window declares.
    const QStringList colours = onGui([th] {
        const QPalette p = widget(th, BROWSE_1)->palette();
        QStringList out;
        for (QPalette::ColorRole r :
             {QPalette::Text, QPalette::Base, QPalette::HighlightedText, QPalette::Highlight})
            out << p.color(QPalette::Active, r).name();
        return out;
    });
    EXPECT_EQ(colours, strings({"#004040", "#ffffff", "#ffffee", "#008040"}));
    // The list's first event has been: the count of cards and the fields of the first.
    EXPECT_EQ(text(th, k::KOLDOC), QStringLiteral("5"));
    EXPECT_EQ(::KOLDOC.get(), 5);
    EXPECT_EQ(text(th, KAL_PNAME1), QStringLiteral("Положение о порядке приёма работников"));
    EXPECT_EQ(text(th, KAL_NDOK), QStringLiteral("14-П"));
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(kHint));
    EXPECT_EQ(text(th, KOLDOC_PROMPT), QStringLiteral("Документов:"));
    closeList(th);
}

TEST(DocList, TheSecondTabOrdersByApprovalDateAndTheFirstBackByNumber) {
    standardBase();
    const LONG th = openList();
    selectTab(th, CURRENTTAB, 2);
    // The key of the dates leaves out the card without one.
    EXPECT_EQ(ids(th), strings({"2", "5", "1", "4"}));
    EXPECT_FALSE(visible(th, FUZZYGROUP));  // on the first tab only
    EXPECT_FALSE(visible(th, k::KOLDOC));
    // The locator of the order by date: a digit finds the first date from it.
    selectTab(th, CURRENTTAB, 1);
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    typeInto(th, BROWSE_1, QStringLiteral("4"));
    EXPECT_EQ(currentRow(th, BROWSE_1), 4);
    closeList(th);
}

TEST(DocList, TheFuzzySearchReordersEveryCardUntilCleared) {
    standardBase();
    const LONG th = openList();
    // A blank text changes nothing.
    click(th, FUZZYGO);
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(FuzzySearchInForce(), 0);

    type(th, FUZZYQUERY, QStringLiteral("оплате труда"));
    click(th, FUZZYGO);
    EXPECT_EQ(FuzzySearchInForce(), 1);
    QStringList found = ids(th);
    EXPECT_EQ(found.size(), 5);  // nobody is left out
    EXPECT_EQ(found.first(), QStringLiteral("5"));
    found.sort();
    EXPECT_EQ(found, strings({"1", "2", "3", "4", "5"}));
    // Another tab keeps the fuzzy order.
    const QStringList fuzzy = ids(th);
    selectTab(th, CURRENTTAB, 2);
    EXPECT_EQ(ids(th), fuzzy);
    selectTab(th, CURRENTTAB, 1);
    // A blank search while one is in force keeps it too.
    type(th, FUZZYQUERY, QString());
    click(th, FUZZYGO);
    EXPECT_EQ(ids(th), fuzzy);
    type(th, FUZZYQUERY, QStringLiteral("инструкция"));
    click(th, FUZZYGO);
    EXPECT_EQ(ids(th).first(), QStringLiteral("3"));

    click(th, FUZZYCLEAR);
    EXPECT_EQ(FuzzySearchInForce(), 0);
    EXPECT_EQ(text(th, FUZZYQUERY), QString());
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    selectTab(th, CURRENTTAB, 2);
    click(th, FUZZYCLEAR);  // on the hidden tab: the date order stays
    EXPECT_EQ(ids(th), strings({"2", "5", "1", "4"}));
    closeList(th);
}

TEST(DocList, AFuzzySearchLeftInForceHoldsTheOrderOfTheNextList) {
    standardBase();
    LONG th = openList();
    type(th, FUZZYQUERY, QStringLiteral("договор"));
    click(th, FUZZYGO);
    EXPECT_EQ(ids(th).first(), QStringLiteral("4"));
    closeList(th);
    EXPECT_EQ(FuzzySearchInForce(), 1);
    th = openList();
    // Its order is the one in force, none yet: the first, by date.
    const QStringList opened = ids(th);
    EXPECT_EQ(opened, strings({"2", "5", "1", "4"}));
    selectTab(th, CURRENTTAB, 2);
    selectTab(th, CURRENTTAB, 1);
    EXPECT_EQ(ids(th), opened);  // the tab does not change it
    click(th, FUZZYCLEAR);
    EXPECT_EQ(FuzzySearchInForce(), 0);
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    selectTab(th, CURRENTTAB, 2);
    EXPECT_EQ(ids(th), strings({"2", "5", "1", "4"}));
    closeList(th);
}

TEST(DocList, AHeaderSortLastsUntilANewOrderAndIsGoneInTheNextWindow) {
    standardBase();
    LONG th = openList();
    clickHeader(th, BROWSE_1, 1);
    pressKey(th, BROWSE_1, Key::Home);
    EXPECT_EQ(ids(th), strings({"3", "1", "5", "2", "4"}));
    // The locator searches the clicked column.
    typeInto(th, BROWSE_1, QStringLiteral("т"));
    EXPECT_EQ(text(th, KAL_NDOK), QStringLiteral("0"));
    // Another tab drops it.
    selectTab(th, CURRENTTAB, 2);
    EXPECT_EQ(ids(th), strings({"2", "5", "1", "4"}));
    // So does a fuzzy search.
    selectTab(th, CURRENTTAB, 1);
    clickHeader(th, BROWSE_1, 1);
    pressKey(th, BROWSE_1, Key::Home);
    EXPECT_EQ(column(th, BROWSE_1, 1).first(), QStringLiteral("Инструкция по охране труда"));
    type(th, FUZZYQUERY, QStringLiteral("распорядка"));
    click(th, FUZZYGO);
    EXPECT_EQ(ids(th).first(), QStringLiteral("2"));
    click(th, FUZZYCLEAR);
    // The third click clears a header sort: the tab's order again.
    clickHeader(th, BROWSE_1, 2);
    clickHeader(th, BROWSE_1, 2);
    pressKey(th, BROWSE_1, Key::Home);
    EXPECT_EQ(ids(th), strings({"5", "4", "3", "2", "1"}));
    clickHeader(th, BROWSE_1, 2);
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    clickHeader(th, BROWSE_1, 3);
    closeList(th);
    th = openList();
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    closeList(th);
}

TEST(DocList, TheRegisterButtonStartsTheReportOfTheBaseOnItsOwnThread) {
    standardBase();
    const LONG th = openList();
    click(th, BUTTON13);
    const int report = cattest::waitRegister(th);
    ASSERT_NE(report, 0);
    EXPECT_TRUE(windowEnabled(th));  // the list goes on meanwhile
    clickRow(th, BROWSE_1, 2);
    EXPECT_EQ(text(th, KAL_NDOK), QStringLiteral("№ 7"));
    EXPECT_TRUE(cattest::closeRegister(report));
    closeList(th);
}

TEST(DocList, TheButtonsCallTheCardFormOnTheListsThreadAndTheListFollows) {
    standardBase();
    const LONG th = openList();
    clickRow(th, BROWSE_1, 3);
    click(th, CHANGE_3);
    ASSERT_NE(title(th), kListTitle);
    const int name = controlOf(th, QStringLiteral("?KAL:NAME"));
    const int ok = controlOf(th, QStringLiteral("?OK"));
    ASSERT_NE(name, 0);
    ASSERT_NE(ok, 0);
    selectTab(th, controlOf(th, QStringLiteral("?CURRENTTAB")), 2);  // the card's fields
    EXPECT_EQ(text(th, name), QStringLiteral("Инструкция по охране труда"));
    type(th, name, QStringLiteral("Инструкция по охране труда (новая)"));
    click(th, ok);
    ASSERT_TRUE(waitFor([th] { return title(th) == kListTitle; }));
    waitIdle(th);
    EXPECT_EQ(doclist::readBase(kBase).at(2).name,
              QStringLiteral("Инструкция по охране труда (новая)"));
    EXPECT_EQ(column(th, BROWSE_1, 1).at(2), QStringLiteral("Инструкция по охране труда (новая)"));
    EXPECT_EQ(currentRow(th, BROWSE_1), 3);

    // The hidden insert button, once shown, asks for a new card.
    clickMouse(th, 0, kShowUpdateButtons);
    click(th, INSERT_3);
    ASSERT_NE(title(th), kListTitle);
    selectTab(th, controlOf(th, QStringLiteral("?CURRENTTAB")), 2);
    EXPECT_EQ(text(th, controlOf(th, QStringLiteral("?KAL:ID"))), QStringLiteral("6"));
    type(th, controlOf(th, QStringLiteral("?KAL:NAME")), QStringLiteral("Новый документ"));
    click(th, controlOf(th, QStringLiteral("?OK")));
    ASSERT_TRUE(waitFor([th] { return title(th) == kListTitle; }));
    waitIdle(th);
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(text(th, k::KOLDOC), QStringLiteral("6"));
    EXPECT_TRUE(fitsWhole(th, k::KOLDOC, QStringLiteral("100 000")));  // six digits, group space
    closeList(th);
    EXPECT_EQ(doclist::readBase(kBase).size(), 6u);
}

TEST(DocList, AReadOnlyBaseIsListedShownAndPrintedAndASaveSaysItIsReadOnly) {
    standardBase();
    const QString folder = rt::nativePath(kBase);
    const QString files[] = {folder + QStringLiteral("KALDOR.TPS"),
                             folder + QStringLiteral("ZAMETKA.TPS")};
    QByteArray before[2];
    for (int i = 0; i < 2; ++i) {
        QFile f(files[i]);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        before[i] = f.readAll();
        chmod(QFile::encodeName(files[i]).constData(), 0444);
    }
    chmod(QFile::encodeName(folder).constData(), 0555);  // a CD

    const LONG th = openList();
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    clickRow(th, BROWSE_1, 3);
    click(th, BUTTON4);
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(QStringLiteral("Инструкция по охране труда")));
    click(th, BUTTON13);
    const int report = cattest::waitRegister(th);
    EXPECT_NE(report, 0);
    EXPECT_TRUE(cattest::closeRegister(report));

    // A change is refused with a plain word, and the form keeps what was typed.
    click(th, CHANGE_3);
    ASSERT_NE(title(th), kListTitle);
    selectTab(th, controlOf(th, QStringLiteral("?CURRENTTAB")), 2);
    const int name = controlOf(th, QStringLiteral("?KAL:NAME"));
    type(th, name, QStringLiteral("Изменённое название"));
    click(th, controlOf(th, QStringLiteral("?OK")), 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).contains(QStringLiteral("только для чтения")))
        << messageText(th).toStdString();
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    EXPECT_NE(title(th), kListTitle);
    EXPECT_EQ(text(th, name), QStringLiteral("Изменённое название"));
    POST(EVENT::CloseWindow, 0, th);
    if (waitDialog(th, 2000))
        answerMessage(th, BUTTON::Yes);  // give up the change
    ASSERT_TRUE(waitFor([th] { return title(th) == kListTitle; }));
    closeList(th);

    chmod(QFile::encodeName(folder).constData(), 0755);
    for (int i = 0; i < 2; ++i) {
        chmod(QFile::encodeName(files[i]).constData(), 0644);
        QFile f(files[i]);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before[i]) << files[i].toStdString();
    }
    EXPECT_EQ(doclist::readBase(kBase).at(2).name, QStringLiteral("Инструкция по охране труда"));
}

TEST(DocList, TheFullNameColumnsShowSixtyCharacters) {
    std::vector<Card> cards = fiveCards();
    cards[0].pname1 = QString(70, u'а') + QStringLiteral("хвост");
    ASSERT_TRUE(doclist::writeBase(kBase, cards));
    doclist::activate(kBase, kBaseName);
    const LONG th = openList();
    EXPECT_EQ(column(th, BROWSE_1, 6).first(), QString(60, u'а'));
    EXPECT_EQ(text(th, KAL_PNAME1), QString(70, u'а') + QStringLiteral("хвост"));
    closeList(th);
}

// ---- display and opening -------------------------------------------------------------

TEST(DocListDisplay, TheDateAndNumberFieldsFollowTheCard) {
    standardBase();
    const LONG th = openList();
    EXPECT_TRUE(cardFieldsShown(th));  // card 1: dates
    EXPECT_EQ(text(th, KAL_UTVDATA), QStringLiteral("15.03.2021"));
    clickRow(th, BROWSE_1, 2);  // "№ 7", an approval date
    EXPECT_TRUE(cardFieldsShown(th));
    clickRow(th, BROWSE_1, 3);  // no dates, "12-ФЗ" reads as 12
    EXPECT_TRUE(cardFieldsShown(th));
    EXPECT_EQ(text(th, KAL_NDOK), QStringLiteral("12-ФЗ"));
    closeList(th);

    std::vector<Card> cards = fiveCards();
    for (Card& c : cards)
        c.approved = c.inForce = 0;
    ASSERT_TRUE(doclist::writeBase(kBase, cards));
    const LONG again = openList();
    EXPECT_TRUE(cardFieldsShown(again));  // "14-П" reads as 14
    clickRow(again, BROWSE_1, 2);         // "№ 7" reads as 0
    EXPECT_FALSE(cardFieldsShown(again));
    clickRow(again, BROWSE_1, 3);  // "12-ФЗ"
    EXPECT_TRUE(cardFieldsShown(again));
    clickRow(again, BROWSE_1, 4);  // "0"
    EXPECT_FALSE(cardFieldsShown(again));
    clickRow(again, BROWSE_1, 5);  // "-3"
    EXPECT_FALSE(cardFieldsShown(again));
    closeList(again);
}

TEST(DocListDisplay, TheListFontAndLineHeightFollowSpinW) {
    standardBase();
    ::SPINW = 8;
    // Until the list's first event it keeps the height it opened with: seen while
    // the window's open count waits for the catalogue, which another writer holds.
    Relate_CONFIG->Open();
    LOGOUT(10, {&CONFIG});
    CONFIG.clearRecord();
    CON.KOD = 2;
    ASSERT_EQ(Access_CONFIG->Fetch(CON_K1), Level::Benign);
    ASSERT_EQ(Access_CONFIG->Update(), Level::Benign);  // the write lock, until the commit
    const LONG th = START(Browsekaldor, 50000);
    const bool titled = waitFor([th] { return title(th) == kListTitle; });
    EXPECT_TRUE(titled);
    EXPECT_EQ(lineHeight(th), 20);
    EXPECT_EQ(font(th, BROWSE_1).pointSize(), 8);
    COMMIT();
    Relate_CONFIG->Close();
    ASSERT_TRUE(titled);
    waitIdle(th);
    EXPECT_EQ(font(th, BROWSE_1).pointSize(), 8);
    EXPECT_EQ(lineHeight(th), 18);  // after the list's first event
    spinTo(th, k::SPINW, 14);
    EXPECT_EQ(::SPINW.get().toInt(), 14);
    EXPECT_EQ(font(th, BROWSE_1).pointSize(), 14);
    EXPECT_EQ(lineHeight(th), 24);
    clickRow(th, BROWSE_1, 2);
    EXPECT_EQ(lineHeight(th), 24);
    spinTo(th, k::SPINW, 4);  // below the range: its lowest
    EXPECT_EQ(::SPINW.get().toInt(), 6);
    EXPECT_EQ(lineHeight(th), 16);
    spinTo(th, k::SPINRTF, 12);
    EXPECT_EQ(::SPINRTF.get().toInt(), 12);
    EXPECT_EQ(font(th, BROWSE_1).pointSize(), 6);  // the preview's size only
    closeList(th);
}

// (The screen shows the tip's CR LF as line breaks.)
TEST(DocListDisplay, TheListTipIsTheFullNameOnThreeLines) {
    standardBase();
    const LONG th = openList();
    EXPECT_EQ(tip(th, BROWSE_1),
              QStringLiteral("Положение о порядке приёма работников\nна работу\n"));
    clickRow(th, BROWSE_1, 4);  // three blank lines
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("\n\n"));
    clickRow(th, BROWSE_1, 3);
    EXPECT_EQ(tip(th, BROWSE_1),
              QStringLiteral("Инструкция по охране труда\nдля офисных работников\n(редакция 2)"));
    closeList(th);
}

TEST(DocListDisplay, CtrlShiftRightClickShowsTheInsertAndDeleteButtons) {
    standardBase();
    const LONG th = openList();
    EXPECT_FALSE(visible(th, INSERT_3));
    EXPECT_FALSE(visible(th, DELETE_3));
    EXPECT_TRUE(visible(th, CHANGE_3));
    EXPECT_FALSE(visible(th, RTFTOOLPRINT));
    clickMouse(th, 0, Key::MouseRight);  // a plain right click does nothing
    EXPECT_FALSE(visible(th, INSERT_3));
    clickMouse(th, 0, kShowUpdateButtons);
    EXPECT_TRUE(visible(th, INSERT_3));
    EXPECT_TRUE(visible(th, DELETE_3));
    clickMouse(th, 0, kShowUpdateButtons);
    EXPECT_TRUE(visible(th, INSERT_3));
    EXPECT_FALSE(visible(th, RTFTOOLPRINT));
    closeList(th);
}

TEST(DocListDisplay, TheTipsSwitchIsOnceForTheProcess) {
    standardBase();
    ::SORT = BYTE(1);  // as at the program's start
    SYSTEM[PROP::NoTips] = 0;
    const LONG first = openList();
    EXPECT_EQ(label(first, k::SORT), QStringLiteral("[подсказки включены]"));
    EXPECT_EQ(SYSTEM[PROP::NoTips].get().toInt(), 0);
    const LONG second = openList();
    EXPECT_EQ(label(second, k::SORT), QStringLiteral("[подсказки включены]"));
    // The switch turns the tips of every window off.
    click(second, k::SORT);
    EXPECT_EQ(::SORT.get(), 0);
    EXPECT_EQ(label(second, k::SORT), QStringLiteral("[подсказки отключены]"));
    EXPECT_EQ(SYSTEM[PROP::NoTips].get().toInt(), 1);
    click(second, k::SORT);
    EXPECT_EQ(SYSTEM[PROP::NoTips].get().toInt(), 0);
    click(second, k::SORT);
    EXPECT_EQ(SYSTEM[PROP::NoTips].get().toInt(), 1);
    // Closing one list turns them on for the other, whose label stays.
    closeList(first);
    EXPECT_EQ(SYSTEM[PROP::NoTips].get().toInt(), 0);
    EXPECT_EQ(::SORT.get(), 0);
    EXPECT_EQ(label(second, k::SORT), QStringLiteral("[подсказки отключены]"));
    closeList(second);
    // A list opened later starts with them off.
    const LONG later = openList();
    EXPECT_EQ(label(later, k::SORT), QStringLiteral("[подсказки отключены]"));
    EXPECT_EQ(SYSTEM[PROP::NoTips].get().toInt(), 1);
    closeList(later);
    EXPECT_EQ(SYSTEM[PROP::NoTips].get().toInt(), 0);
}

TEST(DocListDisplay, AGrowingWindowGrowsTheListAndThePreviewButNotTheSearchGroup) {
    standardBase();
    const LONG th = openList();
    const QRect list = geometry(th, BROWSE_1), preview = geometry(th, RTFTEXTBOX);
    const QRect sheet = geometry(th, CURRENTTAB);
    const QRect group = geometry(th, FUZZYGROUP), entry = geometry(th, FUZZYQUERY);
    onGui([th] {  // about as much as a maximised window grows
        QWidget* w = rt::gui::topWindow(th)->top();
        w->resize(w->width() + 600, w->height() + 500);
    });
    ASSERT_TRUE(waitFor([&] { return geometry(th, BROWSE_1).height() > list.height(); }));
    waitIdle(th);
    EXPECT_GT(geometry(th, BROWSE_1).width(), list.width());
    EXPECT_GT(geometry(th, RTFTEXTBOX).height(), preview.height());
    // The group keeps its size and its place on the sheet (which moves by a
    // hair); the controls in it keep theirs in the group, under its caption.
    const auto apart = [](QPoint a, QPoint b) { return (a - b).manhattanLength(); };
    const QRect grown = geometry(th, FUZZYGROUP);
    EXPECT_LE(apart(grown.topLeft() - geometry(th, CURRENTTAB).topLeft(),
                    group.topLeft() - sheet.topLeft()),
              2);
    EXPECT_LE(std::abs(grown.width() - group.width()) + std::abs(grown.height() - group.height()),
              6);
    EXPECT_EQ(geometry(th, FUZZYQUERY).size(), entry.size());
    EXPECT_LE(apart(geometry(th, FUZZYQUERY).topLeft() - grown.topLeft(),
                    entry.topLeft() - group.topLeft()),
              1);
    EXPECT_TRUE(grown.contains(geometry(th, FUZZYGO)));
    closeList(th);
}

TEST(DocListDisplay, TheWindowOpensWhereItWasClosed) {
    standardBase();
    LONG th = openList();
    const QPoint moved = onGui([th] {
        QWidget* w = rt::gui::topWindow(th)->top();
        w->move(w->pos() + QPoint(37, 23));
        return w->pos();
    });
    waitIdle(th);
    closeList(th);
    th = openList();
    // Kept in dialog units: within a unit's pixels.
    const QPoint back = onGui([th] { return rt::gui::topWindow(th)->top()->pos(); });
    EXPECT_LE((back - moved).manhattanLength(), 4) << back.x() << "," << back.y();
    closeList(th);
}

TEST(DocListDisplay, EachOpeningRaisesTheOpenCountOfTheActiveFolder) {
    setCatalogue({{1, kBase, kBaseName, 3},
                  {2, kOther, QStringLiteral("Договоры"), 0},
                  {3, kBase, QStringLiteral("Та же папка"), 10},
                  {4, kBase.toUpper(), QStringLiteral("Заглавными"), 0}});
    standardBase();
    closeList(openList());
    closeList(openList());
    EXPECT_EQ(openCount(1), 5);
    EXPECT_EQ(openCount(2), 0);
    EXPECT_EQ(openCount(3), 12);  // the same folder counts too
    EXPECT_EQ(openCount(4), 0);   // case counts
    // Lists opening at once, on two threads and in two programs, lose no count.
    const auto raiseAtOnce = [] {
        std::vector<LONG> threads;
        for (int t = 0; t < 2; ++t)
            threads.push_back(START(raiseOpenCounts, 50000));
        for (LONG th : threads)
            EXPECT_TRUE(rt::waitThreadEnd(th, 120000));
    };
    raiseAtOnce();
    EXPECT_EQ(openCount(1), 5 + 2 * kRaises);
    EXPECT_EQ(openCount(3), 12 + 2 * kRaises);
    std::vector<std::unique_ptr<QProcess>> programs;
    for (int n = 0; n < 2; ++n) {
        programs.push_back(std::make_unique<QProcess>());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KALDOR_RAISING_PROGRAM"), QStringLiteral("1"));
        programs.back()->setProcessEnvironment(env);
        programs.back()->start(QCoreApplication::applicationFilePath(),
                               {QStringLiteral("--gtest_filter=RaisingProgram.*")});
    }
    for (auto& p : programs) {
        ASSERT_TRUE(p->waitForFinished(120000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardOutput().toStdString();
    }
    EXPECT_EQ(openCount(1), 5 + 6 * kRaises);
    EXPECT_EQ(openCount(3), 12 + 6 * kRaises);
    for (int round = 0; round < 3; ++round) {
        const LONG one = START(Browsekaldor, 50000), two = START(Browsekaldor, 50000);
        ASSERT_TRUE(waitWindow(one) && waitWindow(two));
        closeList(one);
        closeList(two);
    }
    EXPECT_EQ(openCount(1), 5 + 6 * kRaises + 6);
    // No base chosen yet: the row with a blank folder is the one raised.
    setCatalogue({{1, kBase, kBaseName, 0}, {2, QString(), QStringLiteral("Пустая"), 0}});
    doclist::activate(QString(), QString());
    PUT1 = kBase + QStringLiteral("KALDOR.TPS");
    PUT2 = kBase + QStringLiteral("ZAMETKA.TPS");
    closeList(openList());
    EXPECT_EQ(openCount(1), 0);
    EXPECT_EQ(openCount(2), 1);
}

TEST(DocListDisplay, AnEmptyBaseOpensWithNoRows) {
    ASSERT_TRUE(doclist::writeBase(kOther, {}));
    doclist::activate(kOther, QStringLiteral("Договоры"));
    const LONG th = openList();
    EXPECT_TRUE(ids(th).isEmpty());
    EXPECT_EQ(title(th), QStringLiteral("Тема: Договоры"));
    click(th, BUTTON4);  // nothing to show: an empty text
    type(th, FUZZYQUERY, QStringLiteral("что-нибудь"));
    click(th, FUZZYGO);
    EXPECT_TRUE(ids(th).isEmpty());
    click(th, FUZZYCLEAR);
    closeList(th);

    // Emptied by deleting its last card: nothing of that card stays on the
    // screen, neither its fields nor its bookmark.
    ASSERT_TRUE(doclist::writeBase(kOther, {fiveCards()[2]},
                                   {{3, QStringLiteral("Закладка"), QStringLiteral("охране")}}));
    const LONG last = openList();
    chooseEntry(last, ZAM_ZAKLAD, 1);
    ASSERT_TRUE(waitDialog(last));
    onGui([last] { findDialog(last)->reject(); });
    waitIdle(last);
    EXPECT_EQ(text(last, ZAM_ZAKLAD), QStringLiteral("Закладка"));
    EXPECT_EQ(text(last, KAL_PNAME1), QStringLiteral("Инструкция по охране труда"));
    EXPECT_TRUE(cardFieldsShown(last));
    clickMouse(last, 0, kShowUpdateButtons);
    click(last, DELETE_3);
    ASSERT_TRUE(waitDialog(last));
    answerMessage(last, BUTTON::Yes);
    waitIdle(last);
    EXPECT_TRUE(ids(last).isEmpty());
    for (int field : {KAL_PNAME1, KAL_PNAME2, KAL_PNAME3})
        EXPECT_EQ(text(last, field), QString()) << field;
    EXPECT_FALSE(cardFieldsShown(last));
    EXPECT_EQ(text(last, ZAM_ZAKLAD), QString());
    EXPECT_TRUE(comboColumn(last, 1).isEmpty());
    // The window that asked has the keyboard again, on the button pressed.
    EXPECT_TRUE(waitFor([last] { return hasFocus(last, DELETE_3); }, 2000));
    closeList(last);
}

TEST(DocListDisplay, AListStaysOnItsBaseWhenAnotherIsChosen) {
    standardBase();
    std::vector<Card> other = {fiveCards()[0]};
    other[0].id = 42;
    ASSERT_TRUE(doclist::writeBase(kOther, other));
    const LONG th = openList();
    doclist::activate(kOther, QStringLiteral("Договоры"));
    click(th, FUZZYCLEAR);
    EXPECT_EQ(ids(th).size(), 5);
    EXPECT_EQ(title(th), kListTitle);
    const LONG second = openList();
    EXPECT_EQ(ids(second), strings({"42"}));
    closeList(second);
    closeList(th);
}

TEST(DocListDisplay, WithNoBaseChosenTheTablesAreReportedOnceAndTheListDoesNotOpen) {
    setCatalogue({{1, kBase, kBaseName, 0}, {2, kOther, QStringLiteral("Договоры"), 0}});
    PUT1 = u"";
    PUT2 = u"";
    PUT = u"";
    TEMA = u"";
    const LONG th = START(Browsekaldor, 50000);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).contains(QStringLiteral("kaldor")))
        << messageText(th).toStdString();
    answerMessage(th, BUTTON::Ok);
    EXPECT_TRUE(rt::waitThreadEnd(th, kWait));
    EXPECT_EQ(openCount(1), 0);
}

// ---- query by example --------------------------------------------------------------

TEST(DocListQuery, TheQueryOffersFiveItemsAndFindsByTheKeyWordsThatNoColumnShows) {
    standardBase();
    const LONG th = openList();
    using V = lst::QueryListVisual;
    click(th, QUERY);
    ASSERT_TRUE(waitFor([th] { return title(th) == QStringLiteral("Запрос по образцу"); }));
    QStringList items;
    for (int r = 1; r <= 5; ++r)
        items << text(th, V::TitleControl(r));
    EXPECT_EQ(items, strings({"Ключевая фраза", "№ документа", "Дата утверждения", "Дата ввода",
                              "Краткое наименование"}));
    const int contains = onGui([th] {
        auto* op = qobject_cast<QComboBox*>(widget(th, lst::QueryListVisual::OpControl(1)));
        return op ? op->findText(lst::queryOpText(lst::QueryOp::Contains)) + 1 : 0;
    });
    ASSERT_GT(contains, 0);
    chooseEntry(th, V::OpControl(1), contains);
    type(th, V::ValueControl(1), QStringLiteral("охрана"));
    click(th, V::OkControl(5));
    ASSERT_TRUE(waitFor([th] { return title(th) == kListTitle; }));
    waitIdle(th);
    EXPECT_EQ(ids(th), strings({"3"}));
    // The query holds in the other order too.
    selectTab(th, CURRENTTAB, 2);
    EXPECT_TRUE(ids(th).isEmpty());  // card 3 has no approval date
    selectTab(th, CURRENTTAB, 1);
    click(th, QUERY);
    ASSERT_TRUE(waitFor([th] { return title(th) == QStringLiteral("Запрос по образцу"); }));
    click(th, V::ClearControl(5));
    click(th, V::OkControl(5));
    ASSERT_TRUE(waitFor([th] { return title(th) == kListTitle; }));
    waitIdle(th);
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    closeList(th);
}

// ---- the preview and the bookmarks -----------------------------------------------

TEST(DocListPreview, ShowLoadsTheCardsTextUntilARowIsAcceptedOrTheRightButtonClicked) {
    standardBase();
    const LONG th = openList();
    clickRow(th, BROWSE_1, 3);
    click(th, BUTTON4);
    EXPECT_TRUE(text(th, RTFTEXTBOX)
                    .contains(QStringLiteral("Текст документа: Инструкция по охране труда")))
        << text(th, RTFTEXTBOX).toStdString();
    EXPECT_TRUE(fileText(QStringLiteral("Test.rtf")).startsWith(QStringLiteral("{\\rtf1")));
    // Another row keeps the text until shown again.
    clickRow(th, BROWSE_1, 1);
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(QStringLiteral("Инструкция")));
    click(th, BUTTON4);
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(QStringLiteral("Положение о порядке приёма")));
    // A right click in the preview puts the hint back, at the size chosen.
    spinTo(th, k::SPINRTF, 12);
    clickMouse(th, RTFTEXTBOX, Key::MouseRight);
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(kHint));
    EXPECT_EQ(onGui([th] {
                  return rt::gui::topWindow(th)->control(RTFTEXTBOX)->property(PROP::FontSize);
              }).toInt(),
              12);
    EXPECT_FALSE(text(th, RTFTEXTBOX).contains(QStringLiteral("Положение")));
    // So does accepting a row (which also asks for the card's form); the date
    // fields then follow the accepted card.
    click(th, BUTTON4);
    doubleClickRow(th, BROWSE_1, 3);
    leaveForm(th);
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(kHint));
    EXPECT_TRUE(cardFieldsShown(th));  // "12-ФЗ"
    closeList(th);
}

TEST(DocListPreview, AnotherThreadsPreviewNeverPutsItsCardIntoACardForm) {
    // The card form's BUTTON17 is "Показать", its BUTTON6 "Применить".
    standardBase();
    const LONG list = openList();
    clickRow(list, BROWSE_1, 1);
    const LONG other = openList();
    clickRow(other, BROWSE_1, 2);
    click(other, CHANGE_3);  // the form of card 2, on the second list's thread
    ASSERT_NE(title(other), kListTitle);
    // At once, over and over: one thread shows card 1 in its preview, the
    // other shows card 2 in its form and applies the editor to the card.
    for (int i = 0; i < 60; ++i) {
        POST(EVENT::Accepted, BUTTON4, list);
        POST(EVENT::Accepted, kaldo003::BUTTON17, other);
        POST(EVENT::Accepted, kaldo003::BUTTON6, other);
    }
    EXPECT_TRUE(waitIdle(list, 120000));
    EXPECT_TRUE(waitIdle(other, 120000));
    EXPECT_TRUE(text(list, RTFTEXTBOX).contains(fiveCards()[0].name));
    click(other, kaldo003::OK);
    ASSERT_EQ(title(other), kListTitle);
    closeList(other);
    closeList(list);
    QTextDocument stored;
    rt::readRtf(doclist::readBase(kBase).at(1).text, &stored);
    EXPECT_EQ(stored.toPlainText(), QStringLiteral("Текст документа: ") + fiveCards()[1].name);
    // The text went through files only its owner can read.
    EXPECT_EQ(QFileInfo(rt::nativePath(u"Test.rtf")).permissions() & kNotTheOwners,
              QFileDevice::Permissions());
}

TEST(DocListPreview, AFailedWriteIsReportedAndThePreviewStillLoads) {
    standardBase();
    const QString was = ::NFILE.get().str();
    ::NFILE = u"c:\\nowhere\\Test.rtf";
    const LONG th = openList();
    click(th, BUTTON4, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_EQ(messageText(th), QStringLiteral("Test.rtf не скопирован - ошибка: 3"));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    // There was no file to load: the preview is empty, the window goes on.
    EXPECT_EQ(text(th, RTFTEXTBOX), QString());
    ::NFILE = was;
    click(th, BUTTON4);
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(QStringLiteral("Текст документа")));
    closeList(th);
}

namespace {
// Another program that holds a writer's lock of SQLite's rollback journal on a
// file (its byte range) until it is killed; -1 when it could not take it.
pid_t holdWriterLock(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        struct flock l {};
        l.l_type = F_WRLCK;
        l.l_whence = SEEK_SET;
        l.l_start = 0x40000000;  // the pending, reserved and shared bytes
        l.l_len = 512;
        const int fd = ::open(name.constData(), O_RDWR);
        const char ok = fd >= 0 && fcntl(fd, F_SETLK, &l) == 0 ? 1 : 0;
        if (write(ready[1], &ok, 1) != 1 || !ok)
            _exit(1);
        for (;;)
            pause();
    }
    char ok = 0;
    const bool told = pid > 0 && read(ready[0], &ok, 1) == 1;
    close(ready[0]);
    close(ready[1]);
    if (pid > 0 && !(told && ok)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}
}  // namespace

TEST(DocListPreview, ABodyThatCannotBeReadIsReportedAndReadAgainNextTime) {
    // A base on a share: another machine's writer holds the file.
    const QString base = QStringLiteral("c:\\bases\\share\\");
    const QString folder = rt::nativePath(QStringLiteral("c:\\bases\\")) + QStringLiteral("share");
    QDir().mkpath(folder);
    qputenv("KALDOR_NETWORK_FOLDERS", folder.toLocal8Bit());
    ASSERT_TRUE(doclist::writeBase(base, fiveCards()));
    doclist::activate(base, kBaseName);
    const LONG th = openList();
    clickRow(th, BROWSE_1, 3);
    const pid_t writer = holdWriterLock(rt::nativePath(base + QStringLiteral("KALDOR.TPS")));
    ASSERT_GT(writer, 0);
    click(th, BUTTON4, 100);
    ASSERT_TRUE(waitDialog(th, 30000));
    EXPECT_EQ(messageText(th), QStringLiteral("Test.rtf не скопирован - ошибка: 32"));
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    EXPECT_FALSE(text(th, RTFTEXTBOX).contains(QStringLiteral("Инструкция")));
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    // The failure was not kept as an empty text.
    click(th, BUTTON4);
    EXPECT_TRUE(text(th, RTFTEXTBOX).contains(QStringLiteral("Инструкция по охране труда")))
        << text(th, RTFTEXTBOX).toStdString();
    closeList(th);
    qunsetenv("KALDOR_NETWORK_FOLDERS");
}

TEST(DocListBookmarks, TheComboListsTheCardsBookmarksAndAChoiceLooksForItsPassage) {
    const QString longPassage =
        QString(75, u'ж') + QStringLiteral(" конец") + QString(19, u' ');  // 100, blanks at the end
    const QString shortPassage = QStringLiteral("Текст документа");
    standardBase({{1, QStringLiteral("Длинная"), longPassage},
                  {1, QStringLiteral("Начало"), shortPassage},
                  {3, QStringLiteral("Чужая"), QStringLiteral("охране")}});
    const LONG th = openList();
    EXPECT_EQ(comboColumn(th, 1), strings({"Длинная", "Начало"}));
    EXPECT_EQ(comboColumn(th, 2).at(1), shortPassage);
    clickRow(th, BROWSE_1, 2);  // no bookmarks
    EXPECT_TRUE(comboColumn(th, 1).isEmpty());
    clickRow(th, BROWSE_1, 3);
    EXPECT_EQ(comboColumn(th, 1), strings({"Чужая"}));

    // Before a document is shown the dialog looks in the hint.
    chooseEntry(th, ZAM_ZAKLAD, 1);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_EQ(onGui([th] {
                  QDialog* d = findDialog(th);
                  auto* e = d ? d->findChild<QLineEdit*>(QStringLiteral("findText")) : nullptr;
                  return e ? e->text() : QString();
              }),
              QStringLiteral("охране"));
    onGui([th] { findDialog(th)->reject(); });
    waitIdle(th);
    // The list has the keyboard again, in the combo the dialog came from.
    EXPECT_TRUE(
        waitFor([th] { return activeThread() == th && focusedControl(th) == ZAM_ZAKLAD; }, 2000));

    // The bookmark chosen is card 3's: another card's combo shows none of it.
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QStringLiteral("Чужая"));
    clickRow(th, BROWSE_1, 1);
    EXPECT_EQ(text(th, ZAM_ZAKLAD), QString());
    click(th, BUTTON4);
    chooseEntry(th, ZAM_ZAKLAD, 1);
    ASSERT_TRUE(waitDialog(th));
    // The first 80 characters, without the blanks at their end.
    const QString sought = longPassage.left(80).trimmed();
    EXPECT_EQ(::ZAKLAD.get().clip(), sought);
    EXPECT_EQ(onGui([th] {
                  QDialog* d = findDialog(th);
                  auto* e = d ? d->findChild<QLineEdit*>(QStringLiteral("findText")) : nullptr;
                  return e ? e->text() : QString();
              }),
              sought);
    onGui([th] { findDialog(th)->reject(); });
    waitIdle(th);
    EXPECT_EQ(title(th), kListTitle);
    closeList(th);
}

// ---- the card buffer -----------------------------------------------------------------

TEST(DocListBuffer, ACardGoesIntoAnotherBaseWithTheNextFreeNumber) {
    standardBase();
    std::vector<Card> other;
    for (LONG id : {1, 2, 4}) {  // 3 was deleted: three cards, the highest 4
        other.push_back(card(id, QStringLiteral("Договор %1").arg(id), QString(), QString(),
                             QString(), QString(), 0, 0));
        other.back().status = 2;
        other.back().work = "working copy";
    }
    ASSERT_TRUE(doclist::writeBase(kOther, other));
    LONG th = openList();
    clickRow(th, BROWSE_1, 1);
    click(th, BUTTON15);
    EXPECT_EQ(::NAME.get().clip(), QStringLiteral("Положение о порядке приёма на работу"));
    EXPECT_EQ(::PNAME2.get().clip(), QStringLiteral("на работу"));
    EXPECT_EQ(::NDOK.get().clip(), QStringLiteral("14-П"));
    EXPECT_EQ(::UTDATA.get(), day(2021, 3, 15));
    EXPECT_EQ(::VVODDATA.get(), day(2021, 4, 1));
    EXPECT_EQ(::WORDKEY.get().clip(), QStringLiteral("приём на работу"));
    EXPECT_EQ(::NFILEBUF.get().str(), QStringLiteral("C:\\docs\\priem.rtf"));
    EXPECT_EQ(fileText(QString::fromUtf16(kTransferFile)).toLatin1(), fiveCards()[0].text);
    EXPECT_EQ(QFileInfo(rt::nativePath(kTransferFile)).permissions() & kNotTheOwners,
              QFileDevice::Permissions());
    closeList(th);

    doclist::activate(kOther, QStringLiteral("Договоры"));
    th = openList();
    clickRow(th, BROWSE_1, 2);
    click(th, BUTTON15_2);
    // Shown at once, with the count; the selected card stays selected.
    EXPECT_EQ(ids(th), strings({"1", "2", "4", "5"}));
    EXPECT_EQ(text(th, k::KOLDOC), QStringLiteral("4"));
    EXPECT_EQ(currentRow(th, BROWSE_1), 2);
    click(th, BUTTON15_2);  // the buffer stays: once more
    closeList(th);
    const std::vector<Card> after = doclist::readBase(kOther);
    ASSERT_EQ(after.size(), 5u);
    const Card& added = after[3];
    EXPECT_EQ(added.id, 5);  // not 4, which is taken
    EXPECT_EQ(after[4].id, 6);
    EXPECT_EQ(added.name, QStringLiteral("Положение о порядке приёма на работу"));
    EXPECT_EQ(added.pname1, QStringLiteral("Положение о порядке приёма работников"));
    EXPECT_EQ(added.ndok, QStringLiteral("14-П"));
    EXPECT_EQ(added.approved, day(2021, 3, 15));
    EXPECT_EQ(added.inForce, day(2021, 4, 1));
    EXPECT_EQ(added.wordkey, QStringLiteral("приём на работу"));
    EXPECT_EQ(added.nfile, QStringLiteral("C:\\docs\\priem.rtf"));
    EXPECT_EQ(added.text, fiveCards()[0].text);
    // What the buffer does not carry is not taken from the card selected here.
    EXPECT_EQ(added.status, 0);
    EXPECT_TRUE(added.work.isEmpty());
    EXPECT_EQ(after[1].work, QByteArray("working copy"));
    EXPECT_EQ(doclist::readBase(kBase).size(), 5u);  // the card stays in its base
}

TEST(DocListBuffer, ACardCopiedIntoItsOwnBaseIsASecondCard) {
    standardBase();
    const LONG th = openList();
    clickRow(th, BROWSE_1, 3);
    click(th, BUTTON15);
    // A second list of the base, opened before, inserts from the buffer first:
    // each insert is a card of its own, never written over another.
    const LONG other = openList();
    click(other, BUTTON15_2);
    closeList(other);
    click(th, BUTTON15_2);
    click(th, FUZZYCLEAR);  // the list reads again
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5", "6", "7"}));
    closeList(th);
    const std::vector<Card> cards = doclist::readBase(kBase);
    ASSERT_EQ(cards.size(), 7u);
    for (size_t copy : {5u, 6u}) {
        EXPECT_EQ(cards[copy].name, cards[2].name);
        EXPECT_EQ(cards[copy].pname3, QStringLiteral("(редакция 2)"));
        EXPECT_EQ(cards[copy].text, cards[2].text);
    }
}

TEST(DocListBuffer, AnEmptyBufferInsertsNothingAndSaysSo) {
    // A card put in, then a put from a list without cards: the buffer is empty
    // again, file and all, whatever an earlier test of this process put in.
    standardBase();
    LONG th = openList();
    clickRow(th, BROWSE_1, 1);
    click(th, BUTTON15);
    closeList(th);
    ASSERT_TRUE(doclist::writeBase(kOther, {}));
    doclist::activate(kOther, QStringLiteral("Договоры"));
    th = openList();
    EXPECT_EQ(pressForMessage(th, BUTTON15),
              QStringLiteral("Нет выбранного документа: буфер переноса пуст."));
    EXPECT_TRUE(::NAME.get().clip().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(rt::nativePath(kTransferFile)));
    // A transfer file an earlier run left is no card of this run's buffer.
    ASSERT_TRUE(writeFile(rt::nativePath(QString::fromUtf16(kTransferFile)),
                          doclist::rtfOf(QStringLiteral("С прошлого запуска"))));
    EXPECT_EQ(pressForMessage(th, BUTTON15_2),
              QStringLiteral("Буфер переноса пуст: сначала поместите в него запись с документом."));
    closeList(th);
    EXPECT_EQ(doclist::readBase(kBase).size(), 5u);
    EXPECT_TRUE(doclist::readBase(kOther).empty());
}

TEST(DocListBuffer, AFailedCopyIsReportedAndAddsNothing) {
    standardBase();
    ASSERT_TRUE(QDir(rt::nativePath(u"c:\\kaldor")).removeRecursively());
    const LONG th = openList();
    // A put whose text cannot be written leaves the buffer empty.
    clickRow(th, BROWSE_1, 1);
    EXPECT_EQ(pressForMessage(th, BUTTON15),
              QStringLiteral("c:\\kaldor\\testA.rtf не скопирован - ошибка: 3"));
    EXPECT_TRUE(::NDOK.get().clip().isEmpty());
    clickRow(th, BROWSE_1, 4);
    EXPECT_EQ(pressForMessage(th, BUTTON15_2),
              QStringLiteral("Буфер переноса пуст: сначала поместите в него запись с документом."));
    // A card in the buffer whose text has gone from the disk: the read fails,
    // the message names the transfer file, and no card comes of it.
    ASSERT_TRUE(QDir().mkpath(rt::nativePath(u"c:\\kaldor")));
    clickRow(th, BROWSE_1, 2);
    click(th, BUTTON15);
    EXPECT_EQ(::NDOK.get().clip(), QStringLiteral("№ 7"));
    ASSERT_TRUE(QDir(rt::nativePath(u"c:\\kaldor")).removeRecursively());
    EXPECT_EQ(pressForMessage(th, BUTTON15_2),
              QStringLiteral("c:\\kaldor\\testA.rtf не скопирован - ошибка: 3"));
    EXPECT_EQ(ids(th), strings({"1", "2", "3", "4", "5"}));
    closeList(th);
    ASSERT_TRUE(QDir().mkpath(rt::nativePath(u"c:\\kaldor")));
    const std::vector<Card> cards = doclist::readBase(kBase);
    ASSERT_EQ(cards.size(), 5u);
    EXPECT_FALSE(cards[3].text.isEmpty());
}

// A second program on the catalogue of the test that starts it (its drive C
// and settings are those it inherits): two threads raise the open count of
// the active base at once.
TEST(RaisingProgram, RaisesTheOpenCountOnTwoThreads) {
    doclist::activate(kBase, kBaseName);
    std::vector<LONG> threads;
    for (int t = 0; t < 2; ++t)
        threads.push_back(START(raiseOpenCounts, 50000));
    for (LONG th : threads)
        EXPECT_TRUE(rt::waitThreadEnd(th, 120000));
}

int main(int argc, char** argv) {
    const bool raising = qEnvironmentVariableIsSet("KALDOR_RAISING_PROGRAM");
    if (!raising) {
        enterSandbox({"kaldor_demo", "kaldor", "bases/trud", "bases/dogovor"});
        QDir::setCurrent(sandbox().path());
        // The second program's case runs only when a test starts it.
        ::testing::InitGoogleTest(&argc, argv);
        std::string filter = ::testing::GTEST_FLAG(filter);
        filter += filter.find('-') == std::string::npos ? "-" : ":";
        ::testing::GTEST_FLAG(filter) = filter + "RaisingProgram.*";
    }
    return runProgramTests(argc, argv, new DocListEnvironment(!raising));
}

// The register report as the user meets it: PrintRs started on a thread of its
// own over a base in a temporary drive C, its progress window, the preview of
// the pages and the PDF made from them (read back with pdftotext), cancel while
// the cards are read.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <random>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo011.h"
#include "core/paths.h"
#include "core/picture.h"
#include "dictionary.h"
#include "register_base.h"
#include "report/preview.h"
#include "report_preview.h"
#include "uidriver.h"
#include "windowmanager.h"

using namespace uitest;

namespace {

using namespace kaldo011;  // the progress window's controls

std::atomic<int> gResponse{-1};

bool previewShown() {
    return onGui([] { return shownPreview() != nullptr; });
}

// One entry of the register as printed: the texts of its controls by label.
struct Entry {
    QString npp, pname1, pname2, pname3, ndok, approved, inForce;
};

class PrintRsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static bool once = false;
        if (once)
            return;
        once = true;
        GlobalErrors.Init(GlobalErrorStatus);
        INIMgr.Init(u"kaldor.INI");
    }

    // Starts the report as the list windows do.
    static int startReport() {
        gResponse = -1;
        return START(
            [] {
                PrintRs();
                gResponse = GlobalResponse;
            },
            25000);
    }
    // Waits for the preview and returns its pages, all laid out.
    static std::shared_ptr<rt::ReportDocument> waitPages() {
        if (!waitFor(previewShown, 30000))
            return nullptr;
        auto doc = onGui([] { return shownPreview()->document(); });
        if (doc)
            doc->waitFinished(30000);
        return doc;
    }
    static bool closePreview(int thread) {
        onGui([] {
            if (PrintPreviewClass* p = shownPreview())
                p->close();
        });
        return rt::waitThreadEnd(thread, 10000);
    }

    // The texts of a band's control on a page.
    static QString textOf(const rt::ReportDocument& doc, const rt::ReportPage& page,
                          const rt::ReportPage::Placed& placed, const char16_t* label) {
        int b, c;
        if (!doc.declaration().control(label, &b, &c) || b != placed.band)
            return QStringLiteral("<none>");
        const int slot = doc.declaration().bands[size_t(b)].controls[size_t(c)].slot;
        return page.texts[size_t(placed.texts + slot)];
    }
    static std::vector<Entry> entries(const rt::ReportDocument& doc) {
        std::vector<Entry> out;
        const int detail = doc.declaration().band(u"?DETAIL");
        for (int i = 0; i < doc.pageCount(); ++i) {
            auto page = doc.page(i);
            for (const auto& placed : page->bands) {
                if (placed.band != detail)
                    continue;
                auto t = [&](const char16_t* label) {
                    return textOf(doc, *page, placed, label).trimmed();
                };
                out.push_back({t(u"?NPP"), t(u"?KAL:PNAME1"), t(u"?KAL:PNAME2"), t(u"?KAL:PNAME3"),
                               t(u"?KAL:NDOK"), t(u"?KAL:UTVDATA"), t(u"?KAL:VVODDATA")});
            }
        }
        return out;
    }
    static QString date(LONG day) { return day == 0 ? QString() : FORMAT(day, u"@d6.b"); }
};

}  // namespace

TEST_F(PrintRsTest, RegisterOfADemoBaseAsPdf) {
    std::vector<RegisterCard> cards = demoCards();
    ASSERT_EQ(cards.size(), 9u);
    const std::vector<RegisterCard> more = madeUpCards(30, 100);
    cards.insert(cards.end(), more.begin(), more.end());
    ASSERT_TRUE(makeBase(QStringLiteral("c:\\demo\\"), cards));
    setActiveBase(QStringLiteral("c:\\demo\\"), QStringLiteral("Демонстрационная база"));

    const int t = startReport();
    auto doc = waitPages();
    ASSERT_TRUE(doc);
    EXPECT_TRUE(onGui([] { return shownPreview()->isMaximized(); }));
    EXPECT_EQ(onGui([] { return shownPreview()->zoom(); }), 100);
    ASSERT_EQ(doc->pageCount(), 3);  // 19 entries a page

    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("register.pdf"));
    ASSERT_TRUE(onGui([&] { return shownPreview()->savePdf(pdf); }));
    ASSERT_TRUE(waitFor([] { return !onGui([] { return shownPreview()->outputRunning(); }); }));
    ASSERT_EQ(onGui([] { return shownPreview()->outputError(); }), QString());
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    const QStringList pages = text.split(u'\f', Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QString& page = pages[i];
        EXPECT_TRUE(page.contains(QStringLiteral("Реестр документов"))) << i;
        EXPECT_TRUE(
            page.contains(QRegularExpression(QStringLiteral("Тема:\\s*Демонстрационная база"))))
            << page.toStdString();
        EXPECT_TRUE(page.contains(QStringLiteral("Дата:"))) << i;
        EXPECT_TRUE(page.contains(QStringLiteral("Время:"))) << i;
        // The page number closes the footer, the page's last line.
        const QString last = page.trimmed().split(u'\n').last();
        EXPECT_TRUE(last.endsWith(QString::number(i + 1))) << last.toStdString();
    }
    // The layout of the extracted text may narrow or widen the gaps between
    // words: the texts are compared without them.
    const auto flat = [](QString s) { return s.remove(QRegularExpression(QStringLiteral("\\s"))); };
    const QString all = flat(text);
    for (const RegisterCard& c : cards) {
        for (const QString& line :
             {c.pname1, c.pname2, c.pname3, c.ndok, date(c.approved), date(c.inForce)}) {
            if (!line.isEmpty()) {
                EXPECT_TRUE(all.contains(flat(line))) << line.toStdString();
            }
        }
    }
    ASSERT_TRUE(closePreview(t));
    EXPECT_EQ(gResponse, RequestCompleted);
}

TEST_F(PrintRsTest, EntriesInIdOrderNumberedAcrossPagesWithBlanksAndStampedPages) {
    // Written in shuffled order; the list would show them by name or date.
    std::vector<RegisterCard> cards = madeUpCards(45);
    cards[9].pname2.clear();  // card 10: no second and third line, no dates
    cards[9].pname3.clear();
    cards[9].approved = 0;
    cards[9].inForce = 0;
    std::shuffle(cards.begin(), cards.end(), std::mt19937(7));
    ASSERT_TRUE(makeBase(QStringLiteral("c:\\order\\"), cards));
    setActiveBase(QStringLiteral("c:\\order\\"), QStringLiteral("Порядок"));

    const QString today = FORMAT(TODAY(), u"@D17");
    // In Russian, whatever the system's locale: "09.12.2026", never "9 Dec 2026".
    EXPECT_EQ(today, QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
    const int t = startReport();
    auto doc = waitPages();
    ASSERT_TRUE(doc);
    const std::vector<Entry> printed = entries(*doc);
    ASSERT_EQ(printed.size(), 45u);
    for (int i = 0; i < 45; ++i) {
        const RegisterCard c = madeUpCards(1, i + 1)[0];
        EXPECT_EQ(printed[size_t(i)].npp, QString::number(i + 1));
        EXPECT_EQ(printed[size_t(i)].pname1, c.pname1);
        EXPECT_EQ(printed[size_t(i)].ndok, c.ndok);
        if (i + 1 != 10) {
            EXPECT_EQ(printed[size_t(i)].approved, date(c.approved));
            EXPECT_EQ(printed[size_t(i)].inForce, date(c.inForce));
        }
    }
    const Entry& blank = printed[9];
    EXPECT_EQ(blank.pname2, QString());
    EXPECT_EQ(blank.pname3, QString());
    EXPECT_EQ(blank.approved, QString());
    EXPECT_EQ(blank.inForce, QString());

    // Every page: the header with the base, the footer with the moment the
    // report was opened and the page's own number.
    ASSERT_EQ(doc->pageCount(), 3);
    const int header = doc->declaration().header;
    const int footer = doc->declaration().footer;
    QString stamp;
    for (int i = 0; i < doc->pageCount(); ++i) {
        auto page = doc->page(i);
        const auto& h = page->bands.front();
        const auto& f = page->bands.back();
        ASSERT_EQ(h.band, header);
        ASSERT_EQ(f.band, footer);
        EXPECT_EQ(textOf(*doc, *page, h, u"?STRING15"), QStringLiteral("Тема:"));
        EXPECT_EQ(textOf(*doc, *page, h, u"?TEMA").trimmed(), QStringLiteral("Порядок"));
        EXPECT_EQ(textOf(*doc, *page, h, u"?REPORTTITLE"), QStringLiteral("Реестр документов"));
        EXPECT_EQ(textOf(*doc, *page, f, u"?REPORTDATESTAMP"), today);
        const QString time = textOf(*doc, *page, f, u"?REPORTTIMESTAMP");
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d?\\d:\\d\\d")).match(time).hasMatch())
            << time.toStdString();
        if (i == 0)
            stamp = time;
        EXPECT_EQ(time, stamp);
        EXPECT_EQ(textOf(*doc, *page, f, u"?PAGECOUNT").trimmed(), QString::number(i + 1));
    }
    // Entry 20 opens page 2: the count runs on.
    auto second = doc->page(1);
    EXPECT_EQ(textOf(*doc, *second, second->bands[1], u"?NPP").trimmed(), QStringLiteral("20"));
    ASSERT_TRUE(closePreview(t));
}

TEST_F(PrintRsTest, AnEmptyBaseShowsTheMessageInsteadOfPages) {
    // No table files yet: the report makes the base's table, empty.
    QDir(rt::driveFolder(u'C')).mkpath(QStringLiteral("empty"));
    setActiveBase(QStringLiteral("c:\\empty\\"), QStringLiteral("Пустая база"));
    const int t = startReport();
    auto doc = waitPages();
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->pageCount(), 0);
    EXPECT_TRUE(onGui([] { return shownPreview()->showsEmptyMessage(); }));
    EXPECT_TRUE(QFile::exists(rt::driveFolder(u'C') + QStringLiteral("/empty/KALDOR.TPS")));
    ASSERT_TRUE(closePreview(t));
    EXPECT_EQ(gResponse, RequestCompleted);
}

TEST_F(PrintRsTest, TheBaseActiveWhenTheReportStartsIsTheOnePrinted) {
    ASSERT_TRUE(makeBase(QStringLiteral("c:\\first\\"), madeUpCards(5)));
    ASSERT_TRUE(makeBase(QStringLiteral("c:\\second\\"), madeUpCards(7)));
    setActiveBase(QStringLiteral("c:\\first\\"), QStringLiteral("Первая"));
    const int t = startReport();
    ASSERT_TRUE(waitWindow(t));
    // Another base chosen while the report runs: the register stays the
    // first base's, cards and name.
    setActiveBase(QStringLiteral("c:\\second\\"), QStringLiteral("Вторая"));
    auto doc = waitPages();
    ASSERT_TRUE(doc);
    EXPECT_EQ(entries(*doc).size(), 5u);
    auto page = doc->page(0);
    EXPECT_EQ(textOf(*doc, *page, page->bands.front(), u"?TEMA").trimmed(),
              QStringLiteral("Первая"));
    ASSERT_TRUE(closePreview(t));
}

TEST_F(PrintRsTest, TwoReportsAtOnceEachOverItsOwnBase) {
    ASSERT_TRUE(makeBase(QStringLiteral("c:\\third\\"), madeUpCards(5)));
    ASSERT_TRUE(makeBase(QStringLiteral("c:\\fourth\\"), madeUpCards(30)));
    setActiveBase(QStringLiteral("c:\\third\\"), QStringLiteral("Первая"));
    const int first = START(PrintRs, 25000);
    ASSERT_TRUE(waitWindow(first));
    setActiveBase(QStringLiteral("c:\\fourth\\"), QStringLiteral("Вторая"));
    const int second = START(PrintRs, 25000);
    ASSERT_TRUE(waitFor(
        [] {
            return onGui([] {
                       int shown = 0;
                       for (QWidget* w : QApplication::topLevelWidgets())
                           shown += qobject_cast<PrintPreviewClass*>(w) && w->isVisible() ? 1 : 0;
                       return shown;
                   }) == 2;
        },
        30000));
    const auto docs = onGui([] {
        std::vector<std::shared_ptr<rt::ReportDocument>> out;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* p = qobject_cast<PrintPreviewClass*>(w); p && p->isVisible())
                out.push_back(p->document());
        }
        return out;
    });
    ASSERT_EQ(docs.size(), 2u);
    std::vector<size_t> sizes;
    for (const auto& d : docs) {
        ASSERT_TRUE(d->waitFinished(30000));
        sizes.push_back(entries(*d).size());
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<size_t>{5, 30}));
    onGui([] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<PrintPreviewClass*>(w))
                w->close();
        }
    });
    EXPECT_TRUE(rt::waitThreadEnd(first, 10000));
    EXPECT_TRUE(rt::waitThreadEnd(second, 10000));
}

TEST_F(PrintRsTest, CancelWhileReadingEndsTheReportAndKeepsTheWindowsPosition) {
    ASSERT_TRUE(makeBase(QStringLiteral("c:\\large\\"), madeUpCards(40000)));
    setActiveBase(QStringLiteral("c:\\large\\"), QStringLiteral("Большая база"));
    INIMgr.DeleteEntry(u"PrintRs", u"XPos");
    const int t = startReport();
    ASSERT_TRUE(waitWindow(t));
    EXPECT_EQ(title(t), QStringLiteral("Report kaldor"));
    EXPECT_EQ(text(t, PROGRESS_CANCEL), QStringLiteral("Cancel"));
    EXPECT_EQ(tip(t, PROGRESS_CANCEL), QStringLiteral("Cancel Report"));
    EXPECT_EQ(text(t, PROGRESS_USERSTRING), QString());
    // The cards are being read: the percentage moves.
    ASSERT_TRUE(waitFor([t] { return !text(t, PROGRESS_PCTTEXT).isEmpty(); }, 10000));
    const QString shown = text(t, PROGRESS_PCTTEXT);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Выполнено: "))) << shown.toStdString();
    EXPECT_FALSE(shown.endsWith(QStringLiteral(" 100%"))) << shown.toStdString();
    click(t, PROGRESS_CANCEL);
    ASSERT_TRUE(rt::waitThreadEnd(t, 10000));
    EXPECT_EQ(gResponse, RequestCancelled);
    EXPECT_FALSE(previewShown());
    EXPECT_TRUE(INIMgr.TryFetch(u"PrintRs", u"XPos").has_value());
}

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("KALDOR_DRIVE_C", (home.path() + QStringLiteral("/c")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    QDir(home.path()).mkpath(QStringLiteral("c"));
    for (const char* base : {"demo", "order", "first", "second", "third", "fourth", "large"})
        QDir(home.path() + QStringLiteral("/c")).mkpath(QString::fromLatin1(base));
    installThreadHooks();
    return uitest::main(argc, argv, {});
}

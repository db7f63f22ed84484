#include <gtest/gtest.h>

#include <QJsonDocument>
#include <atomic>
#include <thread>

#include "core/picture.h"
#include "core/threads.h"
#include "demo_register.h"
#include "qt_print.h"

using rt::Report;
using rt::ReportDeclaration;
using rt::ReportPage;

namespace {

// The texts a page shows for one control, in the order of the bands printed.
QStringList textsOf(const ReportDeclaration& d, const ReportPage& page, const char16_t* label) {
    int b, c;
    EXPECT_TRUE(d.control(label, &b, &c));
    const int slot = d.bands[size_t(b)].controls[size_t(c)].slot;
    QStringList out;
    for (const ReportPage::Placed& p : page.bands) {
        if (p.band == b)
            out << page.texts[size_t(p.texts + slot)];
    }
    return out;
}

int detailsOn(const ReportDeclaration& d, const ReportPage& page) {
    int n = 0;
    for (const ReportPage::Placed& p : page.bands)
        n += d.bands[size_t(p.band)].kind == rt::ReportBand::Kind::Detail;
    return n;
}

class RegisterLayout : public ::testing::Test {
  protected:
    void SetUp() override {
        decl = registerDeclaration();
        ASSERT_TRUE(decl);
        report = std::make_unique<Report>(decl);
        ASSERT_TRUE(reg.bind(*report));
        reg.TEMA = u"Трудовое право";
    }
    std::shared_ptr<const ReportDeclaration> decl;
    std::unique_ptr<Report> report;
    DemoRegister reg;
};

}  // namespace

TEST_F(RegisterLayout, EntriesNumberedWithoutGapAcrossPageBreaks) {
    ASSERT_TRUE(reg.print(*report, 40));
    auto doc = report->document();
    ASSERT_TRUE(doc->finished());
    EXPECT_FALSE(doc->cancelled());
    // 270 mm of detail area holds 19 entries of 14 mm; none is split.
    ASSERT_EQ(doc->pageCount(), 3);
    QStringList numbers;
    for (int i = 0; i < 3; ++i) {
        auto page = doc->page(i);
        EXPECT_EQ(page->number, i + 1);
        EXPECT_EQ(detailsOn(*decl, *page), i < 2 ? 19 : 2);
        for (const ReportPage::Placed& p : page->bands) {
            if (p.band == decl->band(u"DETAIL")) {
                EXPECT_GE(p.at.y(), 15);
                EXPECT_LE(p.at.y() + 14, 285 + 1e-9);
            }
        }
        for (const QString& n : textsOf(*decl, *page, u"?NPP"))
            numbers << n.trimmed();
        // Every page has its header and footer, with its own number.
        EXPECT_EQ(textsOf(*decl, *page, u"?TEMA"), QStringList{QStringLiteral("Трудовое право")});
        EXPECT_EQ(textsOf(*decl, *page, u"?REPORTTITLE"),
                  QStringList{QStringLiteral("Реестр документов")});
        EXPECT_EQ(textsOf(*decl, *page, u"?PAGECOUNT"), QStringList{FORMAT(i + 1, u"@p<<#p")});
        EXPECT_EQ(textsOf(*decl, *page, u"?REPORTDATESTAMP"),
                  QStringList{QStringLiteral("14.03.2024")});
        EXPECT_EQ(textsOf(*decl, *page, u"?REPORTTIMESTAMP"), QStringList{QStringLiteral("10:25")});
    }
    QStringList expected;
    for (int n = 1; n <= 40; ++n)
        expected << QString::number(n);
    EXPECT_EQ(numbers, expected);
    EXPECT_EQ(report->printed(decl->band(u"DETAIL")), 40);

    // A register longer than the pictures foresaw ("@n_5", "@p<<#p") still
    // numbers every entry and page whole.
    ASSERT_TRUE(reg.print(*report, 19 * 1000 + 1));
    doc = report->document();
    ASSERT_EQ(doc->pageCount(), 1001);
    const QStringList first = textsOf(*decl, *doc->page(526), u"?NPP");  // 9,995 to 10,013
    ASSERT_EQ(first.size(), 19);
    EXPECT_EQ(first[4], QStringLiteral("9 999"));
    EXPECT_EQ(first[5], QStringLiteral("10 000"));
    EXPECT_EQ(textsOf(*decl, *doc->page(1000), u"?NPP"), QStringList{QStringLiteral("19 001")});
    EXPECT_EQ(textsOf(*decl, *doc->page(998), u"?PAGECOUNT"), QStringList{QStringLiteral("999")});
    EXPECT_EQ(textsOf(*decl, *doc->page(1000), u"?PAGECOUNT"), QStringList{QStringLiteral("1001")});
}

TEST_F(RegisterLayout, BandKeepsTheValuesOfTheMomentItWasPrinted) {
    ASSERT_TRUE(report->open());
    reg.load(1);
    reg.PNAME1 = u"Первая строка";
    reg.UTVDATA = rt::dayNumber(2020, 2, 29);
    reg.VVODDATA = 0;
    reg.PNAME3 = u"";
    ASSERT_TRUE(report->print(u"DETAIL"));
    reg.PNAME1 = u"Изменено после печати";
    reg.UTVDATA = rt::dayNumber(2021, 1, 1);
    // The base's name is read for each page header: a later page shows a new one.
    for (int i = 0; i < 18; ++i)
        report->print(u"DETAIL");
    reg.TEMA = u"Другая база";
    report->print(u"DETAIL");
    report->close();

    auto doc = report->document();
    ASSERT_EQ(doc->pageCount(), 2);
    auto first = doc->page(0);
    EXPECT_EQ(textsOf(*decl, *first, u"?KAL:PNAME1").front(), QStringLiteral("Первая строка"));
    EXPECT_EQ(textsOf(*decl, *first, u"?KAL:UTVDATA").front(), QStringLiteral("29.02.2020"));
    // Blank dates and lines print as nothing.
    EXPECT_EQ(textsOf(*decl, *first, u"?KAL:VVODDATA").front(), QString());
    EXPECT_EQ(textsOf(*decl, *first, u"?KAL:PNAME3").front(), QString());
    EXPECT_EQ(textsOf(*decl, *first, u"?KAL:PNAME1")[1], QStringLiteral("Изменено после печати"));
    EXPECT_EQ(textsOf(*decl, *first, u"?TEMA").front(), QStringLiteral("Трудовое право"));
    EXPECT_EQ(textsOf(*decl, *doc->page(1), u"?TEMA").front(), QStringLiteral("Другая база"));
    // Text longer than the field's picture is cut to the picture.
    EXPECT_EQ(textsOf(*decl, *first, u"?KAL:NDOK").front(), reg.NDOK.clip());
}

TEST_F(RegisterLayout, RunWithoutRecordsHasNoPages) {
    ASSERT_TRUE(report->open());
    report->close();
    EXPECT_TRUE(report->document()->finished());
    EXPECT_FALSE(report->document()->cancelled());
    EXPECT_EQ(report->document()->pageCount(), 0);
}

TEST_F(RegisterLayout, OnlyAnOpenReportPrintsItsDetailBands) {
    EXPECT_FALSE(report->print(u"DETAIL"));  // not open yet
    ASSERT_TRUE(report->open());
    EXPECT_FALSE(report->open());
    EXPECT_FALSE(report->print(u"HEADER"));
    EXPECT_FALSE(report->print(u"FOOTER"));
    EXPECT_FALSE(report->print(u"NOSUCHBAND"));
    EXPECT_FALSE(report->print(99));
    EXPECT_FALSE(report->setText(u"?TEMA", u"not a string control"));
    EXPECT_FALSE(report->setText(u"?NOSUCH", u"x"));
    EXPECT_EQ(report->text(u"?REPORTTIMESTAMP"), QStringLiteral("<-- Time Stamp -->"));
    report->close();
    EXPECT_FALSE(report->print(u"DETAIL"));  // closed
}

TEST_F(RegisterLayout, ReopeningStartsCountsAndPagesAgain) {
    ASSERT_TRUE(reg.print(*report, 25));
    auto first = report->document();
    ASSERT_TRUE(reg.print(*report, 3));
    auto second = report->document();
    EXPECT_NE(first, second);
    EXPECT_EQ(first->pageCount(), 2);
    ASSERT_EQ(second->pageCount(), 1);
    EXPECT_EQ(textsOf(*decl, *second->page(0), u"?NPP").join(u',').remove(u' '),
              QStringLiteral("1,2,3"));
    EXPECT_EQ(textsOf(*decl, *second->page(0), u"?PAGECOUNT").front().trimmed(),
              QStringLiteral("1"));
}

TEST_F(RegisterLayout, UnboundVariableIsNamedWhenOpening) {
    Report bare(decl);
    EXPECT_TRUE(bare.bind(u"tema", ref(reg.TEMA)));  // names match without regard to case
    EXPECT_FALSE(bare.bind(u"NPP", ref(reg.NDOK)));  // the count total keeps its own count
    QString error;
    EXPECT_FALSE(bare.open(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("KAL:PNAME1"))) << error.toStdString();
    EXPECT_FALSE(error.contains(QStringLiteral("TEMA")));
}

TEST_F(RegisterLayout, CancelledOrAbandonedRunEndsItsDocument) {
    ASSERT_TRUE(report->open());
    for (int i = 0; i < 30; ++i)
        report->print(u"DETAIL");
    report->cancel();
    auto doc = report->document();
    EXPECT_TRUE(doc->finished());
    EXPECT_TRUE(doc->cancelled());
    EXPECT_EQ(doc->pageCount(), 1);  // the page in progress is dropped
    EXPECT_FALSE(report->print(u"DETAIL"));

    ASSERT_TRUE(report->open());
    report->print(u"DETAIL");
    doc = report->document();
    report.reset();
    EXPECT_TRUE(doc->waitFinished(0));
    EXPECT_TRUE(doc->cancelled());
}

TEST(ReportLayout, BandTallerThanTheAreaGetsAPageOfItsOwn) {
    auto d = ReportDeclaration::fromJson(QJsonDocument::fromJson(R"({
        "detailArea": [0, 10, 100, 50],
        "bands": [
          {"kind": "detail", "label": "TALL", "at": [0, 0, 100, 80],
           "controls": [{"kind": "count", "label": "N", "at": [0, 0, 10, 5]}]},
          {"kind": "detail", "label": "SHORT", "at": [5, 0, 100, 20],
           "controls": [{"kind": "count", "label": "M", "at": [0, 0, 10, 5]}]}]})")
                                             .object());
    ASSERT_TRUE(d);
    Report r(d);
    ASSERT_TRUE(r.open());
    EXPECT_TRUE(r.print(u"SHORT"));
    EXPECT_TRUE(r.print(u"TALL"));
    EXPECT_TRUE(r.print(u"TALL"));
    EXPECT_TRUE(r.print(u"SHORT"));
    EXPECT_TRUE(r.print(u"SHORT"));
    EXPECT_TRUE(r.print(u"SHORT"));
    r.close();
    auto doc = r.document();
    // SHORT | TALL | TALL | SHORT SHORT | SHORT: no empty page, nothing lost.
    ASSERT_EQ(doc->pageCount(), 5);
    const int perPage[] = {1, 1, 1, 2, 1};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(int(doc->page(i)->bands.size()), perPage[i]) << i;
    EXPECT_EQ(doc->page(0)->bands[0].at, QPointF(5, 10));  // band offset within the area
    EXPECT_EQ(doc->page(3)->bands[1].at, QPointF(5, 30));
    // Each count total counts its own band.
    EXPECT_EQ(doc->page(4)->texts[0], QStringLiteral("4"));
    EXPECT_EQ(doc->page(2)->texts[0], QStringLiteral("2"));
}

TEST_F(RegisterLayout, PagesCanBeReadWhileTheRunGoesOn) {
    std::atomic<bool> go{false};
    std::shared_ptr<rt::ReportDocument> doc;
    ASSERT_TRUE(report->open());
    doc = report->document();
    std::thread producer([&] {
        rt::ThreadScope scope;
        for (int n = 1; n <= 19 * 3; ++n) {
            reg.load(n);
            report->print(u"DETAIL");
            if (n == 19 + 1) {
                // The first page is finished once the twentieth entry needs a new one.
                while (!go.load())
                    std::this_thread::yield();
            }
        }
        report->close();
    });
    ASSERT_TRUE(doc->waitForPages(1, 10000));
    EXPECT_FALSE(doc->finished());
    EXPECT_EQ(doc->pageCount(), 1);
    const QImage first = doc->renderPage(0, 50);
    go = true;
    // Painting goes on while the producer adds pages.
    for (int i = 0; i < 5; ++i)
        doc->renderPage(0, 40);
    EXPECT_TRUE(doc->waitFinished(10000));
    producer.join();
    EXPECT_EQ(doc->pageCount(), 3);
    EXPECT_EQ(doc->renderPage(0, 50), first);
    EXPECT_FALSE(doc->waitForPages(4, 0));
}

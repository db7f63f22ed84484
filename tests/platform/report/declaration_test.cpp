#include <gtest/gtest.h>

#include <QJsonDocument>

#include "demo_register.h"
#include "qt_print.h"
#include "report/declaration.h"

using rt::ReportBand;
using rt::ReportControl;
using rt::ReportDeclaration;

namespace {

const ReportControl& controlOf(const ReportDeclaration& d, const char16_t* label) {
    int b = -1, c = -1;
    EXPECT_TRUE(d.control(label, &b, &c)) << QString::fromUtf16(label).toStdString();
    static const ReportControl none;
    return b < 0 ? none : d.bands[size_t(b)].controls[size_t(c)];
}

std::shared_ptr<const ReportDeclaration> parse(const char* json, QString* error = nullptr) {
    return ReportDeclaration::fromJson(QJsonDocument::fromJson(json).object(), error);
}

}  // namespace

TEST(ReportDeclaration, RegisterReportAsDeclared) {
    QString error;
    auto d = ReportDeclaration::load(u"kaldor$kaldo011", u"p1$report", &error);
    ASSERT_TRUE(d) << error.toStdString();
    EXPECT_EQ(d->title, QStringLiteral("kaldor Report"));
    EXPECT_EQ(d->pageSize(), QSizeF(210, 297));
    EXPECT_EQ(d->detailArea, QRectF(0, 15, 210, 270));
    EXPECT_EQ(d->font.face, QStringLiteral("Arial"));
    EXPECT_EQ(d->font.size, 8);
    EXPECT_EQ(d->font.charset, 204);

    ASSERT_EQ(d->bands.size(), 3u);
    ASSERT_GE(d->header, 0);
    ASSERT_GE(d->footer, 0);
    EXPECT_EQ(d->bands[size_t(d->header)].rect, QRectF(0, 6, 210, 6));
    EXPECT_EQ(d->bands[size_t(d->footer)].rect, QRectF(0, 280, 210, 6));
    const int detail = d->band(u"DETAIL");
    ASSERT_GE(detail, 0);
    EXPECT_EQ(d->bands[size_t(detail)].kind, ReportBand::Kind::Detail);
    EXPECT_EQ(d->bands[size_t(detail)].rect.height(), 14);

    const ReportControl& theme = controlOf(*d, u"?STRING15");
    EXPECT_EQ(theme.text, QStringLiteral("Тема:"));
    EXPECT_EQ(theme.font.face, QStringLiteral("Arial"));
    EXPECT_TRUE(theme.font.bold);
    EXPECT_EQ(theme.font.size, 7);

    const ReportControl& title = controlOf(*d, u"?REPORTTITLE");
    EXPECT_EQ(title.align, rt::ReportAlign::Center);
    EXPECT_EQ(title.font.face, QStringLiteral("Times New Roman"));
    EXPECT_EQ(title.font.size, 10);
    EXPECT_EQ(title.rect, QRectF(101, 0, 32, 6));

    const ReportControl& npp = controlOf(*d, u"?NPP");
    EXPECT_EQ(npp.kind, ReportControl::Kind::Count);
    EXPECT_EQ(npp.picture, QStringLiteral("@n_5"));
    EXPECT_EQ(npp.align, rt::ReportAlign::Right);
    EXPECT_FALSE(npp.font.bold);

    const ReportControl& ndok = controlOf(*d, u"?KAL:NDOK");
    EXPECT_EQ(ndok.use, QStringLiteral("KAL:NDOK"));
    EXPECT_EQ(ndok.align, rt::ReportAlign::Right);
    EXPECT_EQ(ndok.indent, 1);
    EXPECT_EQ(ndok.rect, QRectF(178, 1, 17, 4));
    EXPECT_EQ(controlOf(*d, u"?KAL:VVODDATA").picture, QStringLiteral("@d6.b"));

    const ReportControl& line = controlOf(*d, u"?LINE1");
    EXPECT_EQ(line.kind, ReportControl::Kind::Line);
    EXPECT_EQ(line.slot, -1);
    EXPECT_EQ(line.rect, QRectF(5, 13, 196, 0));

    const ReportControl& page = controlOf(*d, u"?PAGECOUNT");
    EXPECT_EQ(page.kind, ReportControl::Kind::PageNumber);
    EXPECT_EQ(page.picture, QStringLiteral("@p<<#p"));
    EXPECT_EQ(page.font.size, 8);
    EXPECT_EQ(controlOf(*d, u"?REPORTDATESTAMP").text, QStringLiteral("<-- Date Stamp -->"));
}

TEST(ReportDeclaration, ControlsTakeWhatTheirFontLeavesOutFromTheReport) {
    auto d = parse(R"({"detailArea": [0, 10, 200, 250],
        "font": {"face": "Times New Roman Cyr", "size": 9, "italic": true},
        "bands": [{"kind": "detail", "label": "D", "at": [0, 0, 200, 5], "controls": [
            {"kind": "string", "label": "A", "text": "a", "at": [0, 0, 10, 4],
             "font": {"bold": true, "color": 255}},
            {"kind": "line", "label": "B", "at": [0, 4, 10, 0], "color": 16711680}]}]})");
    ASSERT_TRUE(d);
    const ReportControl& a = d->bands[0].controls[0];
    EXPECT_EQ(a.font.face, QStringLiteral("Times New Roman"));
    EXPECT_EQ(a.font.size, 9);
    EXPECT_TRUE(a.font.italic);
    EXPECT_TRUE(a.font.bold);
    // Colours are 0xBBGGRR: 255 is red, 0xFF0000 blue.
    EXPECT_EQ(a.font.color, QColor(255, 0, 0));
    EXPECT_EQ(d->bands[0].controls[1].font.color, QColor(0, 0, 255));
    EXPECT_EQ(d->header, -1);
    EXPECT_EQ(d->footer, -1);
}

TEST(ReportDeclaration, RefusesWhatCannotBePrinted) {
    const char* bad[] = {
        R"({"units": "inches", "detailArea": [0, 0, 10, 10]})",
        R"({"paper": "B99", "detailArea": [0, 0, 10, 10]})",
        R"({"detailArea": [0, 0, 10]})",
        R"({"detailArea": [0, 0, 10, 0]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [{"kind": "body", "at": [0, 0, 1, 1]}]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [{"kind": "detail", "at": [0, 0, 1, 1],
            "controls": [{"kind": "text", "at": [0, 0, 1, 1]}]}]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [{"kind": "detail", "at": [0, 0, 1, 1],
            "controls": [{"kind": "text", "use": "X", "picture": "@q5", "at": [0, 0, 1, 1]}]}]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [{"kind": "detail", "at": [0, 0, 1, 1],
            "controls": [{"kind": "string", "align": "middle", "at": [0, 0, 1, 1]}]}]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [{"kind": "detail", "at": [0, 0, 1, -1]}]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [{"kind": "detail", "at": [0, 0, 1, 1],
            "controls": [{"kind": "line", "at": [0, 0, 1, 0], "color": -1}]}]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [
            {"kind": "footer", "at": [0, 0, 1, 1]}, {"kind": "footer", "at": [0, 5, 1, 1]}]})",
        R"({"detailArea": [0, 0, 10, 10], "bands": [{"kind": "detail", "label": "?D",
            "at": [0, 0, 1, 1], "controls": [{"kind": "string", "label": "d",
            "at": [0, 0, 1, 1]}]}]})",
        R"({"detailArea": [0, 0, 10, 10], "font": {"size": 0}})",
    };
    for (const char* json : bad) {
        QString error;
        EXPECT_FALSE(parse(json, &error)) << json;
        EXPECT_FALSE(error.isEmpty()) << json;
    }
}

TEST(ReportDeclaration, MissingModuleOrLabelIsAnError) {
    QString error;
    EXPECT_FALSE(ReportDeclaration::load(u"kaldo011", u"P1$NOSUCH", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("P1$NOSUCH"))) << error.toStdString();
    EXPECT_FALSE(ReportDeclaration::load(u"nosuchmodule", u"P1$REPORT", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ReportDeclaration, LabelsMatchWithoutQuestionMarkOrCase) {
    auto d = registerDeclaration();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->band(u"?DETAIL"), d->band(u"detail"));
    EXPECT_EQ(d->band(u"?NOBAND"), -1);
    int b, c;
    EXPECT_TRUE(d->control(u"kal:pname1", &b, &c));
    EXPECT_FALSE(d->control(u"?KAL:NAME", &b, &c));
}

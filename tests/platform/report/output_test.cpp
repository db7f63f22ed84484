#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <thread>

#include "core/picture.h"
#include "demo_register.h"
#include "qt_print.h"

namespace {

// Runs a poppler tool on a file; empty when the tool is missing.
QString poppler(const char* tool, const QStringList& args, bool* found = nullptr) {
    const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (found)
        *found = !exe.isEmpty();
    if (exe.isEmpty())
        return {};
    QProcess p;
    p.start(exe, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString& file) {
    const QString info = poppler("pdfinfo", {file});
    for (const QString& line : info.split(u'\n')) {
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

constexpr double kDpi = 300;
double px(double mm) {
    return mm * kDpi / 25.4;
}

// Left and right edges (mm) of the ink within a strip of the page; -1 when blank.
std::pair<double, double> inkSpan(const QImage& img, QRectF mm) {
    int left = -1, right = -1;
    const int y0 = int(px(mm.top())), y1 = int(px(mm.bottom()));
    const int x0 = int(px(mm.left())), x1 = std::min(img.width() - 1, int(px(mm.right())));
    for (int y = y0; y <= y1; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = x0; x <= x1; ++x) {
            if (qGray(row[x]) < 128) {
                if (left < 0 || x < left)
                    left = x;
                right = std::max(right, x);
            }
        }
    }
    if (left < 0)
        return {-1, -1};
    return {left * 25.4 / kDpi, (right + 1) * 25.4 / kDpi};
}

class RegisterOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        auto decl = registerDeclaration();
        ASSERT_TRUE(decl);
        report = std::make_unique<rt::Report>(decl);
        ASSERT_TRUE(reg.bind(*report));
        reg.TEMA = u"Демонстрационная база";
    }
    QTemporaryDir dir;
    std::unique_ptr<rt::Report> report;
    DemoRegister reg;
};

}  // namespace

TEST_F(RegisterOutput, PdfCarriesTheRegisterAsText) {
    ASSERT_TRUE(reg.print(*report, 45));
    const QString file = dir.filePath(QStringLiteral("реестр.pdf"));
    QString error;
    ASSERT_TRUE(report->document()->writePdf(file, &error)) << error.toStdString();

    bool found = false;
    const QString text =
        poppler("pdftotext", {QStringLiteral("-layout"), file, QStringLiteral("-")}, &found);
    if (!found)
        GTEST_SKIP() << "pdftotext is not installed";
    EXPECT_EQ(pdfPages(file), 3);
    const QStringList pages = text.split(u'\f', Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QString& page = pages[i];
        EXPECT_TRUE(page.contains(QStringLiteral("Реестр документов"))) << i;
        EXPECT_TRUE(
            page.contains(QRegularExpression(QStringLiteral("Тема:\\s*Демонстрационная база"))))
            << i;
        EXPECT_TRUE(page.contains(QRegularExpression(QStringLiteral("Дата:\\s*14\\.03\\.2024"))));
        EXPECT_TRUE(page.contains(QRegularExpression(QStringLiteral("Время:\\s*10:25"))));
        // The page number is the last thing on the page.
        EXPECT_TRUE(page.trimmed().endsWith(QString::number(i + 1)))
            << page.trimmed().right(40).toStdString();
    }
    for (int n = 1; n <= 45; ++n) {
        reg.load(n);
        const QString& page = pages[(n - 1) / 19];
        for (const QString& line : {reg.PNAME1.clip(), reg.PNAME2.clip(), reg.PNAME3.clip()}) {
            if (!line.isEmpty()) {
                EXPECT_TRUE(page.contains(line)) << n << ": " << line.toStdString();
            }
        }
        EXPECT_TRUE(page.contains(
            QRegularExpression(QStringLiteral("\\b%1\\s*%2")
                                   .arg(n)
                                   .arg(QRegularExpression::escape(reg.PNAME1.clip())))))
            << n;
        EXPECT_TRUE(page.contains(reg.NDOK.clip())) << n;
        EXPECT_TRUE(page.contains(FORMAT(reg.UTVDATA, u"@d6.b"))) << n;
        if (reg.VVODDATA != 0) {
            EXPECT_TRUE(page.contains(FORMAT(reg.VVODDATA, u"@d6.b"))) << n;
        }
    }
}

TEST_F(RegisterOutput, PdfEmbedsTheFacesTheDeclarationNames) {
    ASSERT_TRUE(reg.print(*report, 1));
    const QString file = dir.filePath(QStringLiteral("fonts.pdf"));
    ASSERT_TRUE(report->document()->writePdf(file));
    bool found = false;
    const QString fonts = poppler("pdffonts", {file}, &found);
    if (!found)
        GTEST_SKIP() << "pdffonts is not installed";
    // "Times New Roman CYR" and "Arial CYR" are the installed metric twins.
    EXPECT_TRUE(fonts.contains(QStringLiteral("LiberationSerif-Bold"))) << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(QStringLiteral("LiberationSerif"))) << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(QStringLiteral("LiberationSans-Bold"))) << fonts.toStdString();
}

TEST_F(RegisterOutput, ControlsStandWhereDeclared) {
    ASSERT_TRUE(report->open());
    reg.load(1);
    reg.NDOK = u"123-ФЗ";
    reg.PNAME1 = u"Закон";
    reg.UTVDATA = rt::dayNumber(2024, 3, 14);
    report->print(u"DETAIL");
    reg.NDOK = u"";
    reg.PNAME1 = QString(120, QChar(u'Ш'));  // far wider than its 157 mm
    report->print(u"DETAIL");
    report->close();
    const QImage page = report->document()->renderPage(0, kDpi);
    ASSERT_EQ(page.size(), QSize(int(std::ceil(px(210))), int(std::ceil(px(297)))));

    // Right-aligned one millimetre in from the box's right edge (178 + 17).
    const auto ndok = inkSpan(page, QRectF(176, 15 + 1, 30, 3.5));
    EXPECT_NEAR(ndok.second, 195 - 1, 0.4);
    EXPECT_GT(ndok.first, 178);
    const auto date = inkSpan(page, QRectF(176, 15 + 5, 30, 3.5));
    EXPECT_NEAR(date.second, 195 - 1, 0.4);
    // Left-aligned text starts at its box.
    EXPECT_NEAR(inkSpan(page, QRectF(19, 15 + 1, 20, 3.5)).first, 20, 0.4);
    // The count total, right-aligned in 9..18 mm.
    EXPECT_NEAR(inkSpan(page, QRectF(8, 15 + 1, 11, 3.5)).second, 18, 0.4);
    // The rule under the entry runs from 5 to 201 mm.
    const auto rule = inkSpan(page, QRectF(0, 15 + 12.8, 210, 0.4));
    EXPECT_NEAR(rule.first, 5, 0.3);
    EXPECT_NEAR(rule.second, 201, 0.3);
    // The title is centred in 101..133 mm.
    const auto title = inkSpan(page, QRectF(95, 6, 45, 6));
    EXPECT_NEAR((title.first + title.second) / 2, 117, 0.5);
    // An overlong line is cut at its box and does not run into the number's place.
    const auto longLine = inkSpan(page, QRectF(19, 15 + 14 + 1, 191, 3.5));
    EXPECT_NEAR(longLine.second, 177, 0.3);
    // Footer: page number right-aligned at 201 - 1 mm.
    EXPECT_NEAR(inkSpan(page, QRectF(185, 280 + 1.5, 25, 4)).second, 200, 0.4);
}

TEST_F(RegisterOutput, PdfIsWrittenOffTheGuiThreadAsOnIt) {
    ASSERT_TRUE(reg.print(*report, 30));
    auto doc = report->document();
    const QString here = dir.filePath(QStringLiteral("here.pdf"));
    const QString there = dir.filePath(QStringLiteral("there.pdf"));
    bool ok = false;
    std::thread worker([&] { ok = doc->writePdf(there); });
    ASSERT_TRUE(doc->writePdf(here));
    worker.join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(QFileInfo(here).size(), QFileInfo(there).size());
}

TEST_F(RegisterOutput, FailedSaveLeavesNoHalfFileAndSaysWhy) {
    ASSERT_TRUE(reg.print(*report, 2));
    QString error;
    EXPECT_FALSE(
        report->document()->writePdf(dir.filePath(QStringLiteral("no/such/dir/r.pdf")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(report->document()->writePdf(QString(), &error));

    // Overwriting goes through a new file: an existing one is replaced whole.
    const QString file = dir.filePath(QStringLiteral("r.pdf"));
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    ASSERT_TRUE(report->document()->writePdf(file));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("%PDF"));
}

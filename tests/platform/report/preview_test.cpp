#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "core/ini.h"
#include "core/threads.h"
#include "demo_register.h"
#include "qt_print.h"
#include "report/preview.h"

namespace {

// Runs the GUI thread's events until `done` holds or ten seconds pass.
template <typename F>
bool processUntil(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

QAction* action(PrintPreviewClass& p, const QString& text) {
    for (QAction* a : p.findChildren<QAction*>()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

class Preview : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        decl = registerDeclaration();
        ASSERT_TRUE(decl);
        report = std::make_unique<rt::Report>(decl);
        ASSERT_TRUE(reg.bind(*report));
        reg.TEMA = u"База для просмотра";
        ini.Init(dir.filePath(QStringLiteral("kaldor.INI")));
    }
    void TearDown() override { ini.Kill(); }
    std::shared_ptr<rt::ReportDocument> printed(int cards) {
        EXPECT_TRUE(reg.print(*report, cards));
        return report->document();
    }
    QTemporaryDir dir;
    std::shared_ptr<const rt::ReportDeclaration> decl;
    std::unique_ptr<rt::Report> report;
    DemoRegister reg;
    INIClass ini;
};

}  // namespace

TEST_F(Preview, ShowsTheFirstPageWhileTheRunGoesOn) {
    std::atomic<bool> go{false};
    ASSERT_TRUE(report->open());
    auto doc = report->document();
    std::thread producer([&] {
        rt::ThreadScope scope;
        for (int n = 1; n <= 100; ++n) {
            reg.load(n);
            report->print(u"DETAIL");
            while (n == 20 && !go.load())
                std::this_thread::yield();
        }
        report->close();
    });
    PrintPreviewClass preview;
    preview.display(doc);
    EXPECT_TRUE(processUntil([&] { return preview.pagesShown() == 1; }));
    EXPECT_FALSE(doc->finished());
    EXPECT_EQ(preview.currentPage(), 1);
    // Printing and saving wait for the whole run.
    EXPECT_FALSE(action(preview, QStringLiteral("Печать..."))->isEnabled());
    EXPECT_FALSE(action(preview, QStringLiteral("Сохранить в PDF..."))->isEnabled());
    preview.repaint();  // paints the page that is there
    go = true;
    EXPECT_TRUE(processUntil([&] { return doc->finished() && preview.pagesShown() == 6; }));
    producer.join();
    EXPECT_TRUE(action(preview, QStringLiteral("Печать..."))->isEnabled());
    EXPECT_TRUE(action(preview, QStringLiteral("Сохранить в PDF..."))->isEnabled());
    EXPECT_FALSE(preview.showsEmptyMessage());
    preview.showPage(4);
    EXPECT_EQ(preview.currentPage(), 4);
    preview.close();
}

TEST_F(Preview, RunWithoutRecordsSaysSo) {
    auto doc = printed(0);
    PrintPreviewClass preview;
    preview.display(doc);
    EXPECT_TRUE(preview.showsEmptyMessage());
    EXPECT_EQ(preview.pagesShown(), 0);
    EXPECT_EQ(preview.currentPage(), 0);
    EXPECT_FALSE(action(preview, QStringLiteral("Печать..."))->isEnabled());
    EXPECT_FALSE(action(preview, QStringLiteral("Сохранить в PDF..."))->isEnabled());
    EXPECT_EQ(PrintPreviewClass::emptyText(), QStringLiteral("Нет документов для печати"));
    preview.close();
}

TEST_F(Preview, ZoomStepsAndSettingsKeptInTheIniFile) {
    auto doc = printed(30);
    {
        PrintPreviewClass preview;
        preview.setIniManager(&ini, u"PrintPreview");
        preview.setInitialZoom(100);
        preview.setMaximize(true);
        preview.display(doc);
        EXPECT_TRUE(preview.isMaximized());
        EXPECT_EQ(preview.zoom(), 100);
        preview.zoomIn();
        EXPECT_EQ(preview.zoom(), 125);
        preview.zoomOut();
        preview.zoomOut();
        EXPECT_EQ(preview.zoom(), 75);
        for (int i = 0; i < 20; ++i)
            preview.zoomOut();
        EXPECT_EQ(preview.zoom(), PrintPreviewClass::zoomSteps().front());
        preview.setZoom(150);
        preview.showPage(2);
        EXPECT_EQ(preview.currentPage(), 2);
        preview.close();
    }
    EXPECT_EQ(ini.Fetch(u"PrintPreview", u"Zoom"), QStringLiteral("150"));
    EXPECT_EQ(ini.Fetch(u"PrintPreview", u"Maximize"), QStringLiteral("1"));
    {
        // The user's last zoom outranks the procedure's initial one.
        PrintPreviewClass preview;
        preview.setIniManager(&ini, u"PrintPreview");
        preview.setInitialZoom(100);
        preview.display(doc);
        EXPECT_EQ(preview.zoom(), 150);
        preview.close();
    }
    {
        // Without user zoom the procedure's zoom holds and nothing changes it.
        PrintPreviewClass preview;
        preview.setIniManager(&ini, u"PrintPreview");
        preview.setInitialZoom(75);
        preview.setUserZoom(false);
        preview.display(doc);
        EXPECT_EQ(preview.zoom(), 75);
        preview.zoomIn();
        preview.setZoom(200);
        EXPECT_EQ(preview.zoom(), 75);
        preview.close();
    }
    EXPECT_EQ(ini.Fetch(u"PrintPreview", u"Zoom"), QStringLiteral("150"));
}

TEST_F(Preview, SavesAndPrintsThePages) {
    auto doc = printed(50);  // three pages
    PrintPreviewClass preview;
    preview.display(doc);
    const QString pdf = dir.filePath(QStringLiteral("saved.pdf"));
    QString error;
    ASSERT_TRUE(preview.savePdf(pdf, &error)) << error.toStdString();
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_EQ(
        bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "),
        3);

    // A page range chosen in the print dialog is honoured.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString printed = dir.filePath(QStringLiteral("printed.pdf"));
    printer.setOutputFileName(printed);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    ASSERT_TRUE(preview.printPages(printer, &error)) << error.toStdString();
    QFile p(printed);
    ASSERT_TRUE(p.open(QIODevice::ReadOnly));
    const QByteArray pb = p.readAll();
    EXPECT_EQ(pb.count("/Type /Page\n") + pb.count("/Type /Page\r") + pb.count("/Type /Page "), 2);
    printer.setFromTo(5, 9);
    EXPECT_FALSE(preview.printPages(printer, &error));
    preview.close();
}

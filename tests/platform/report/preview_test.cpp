#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
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

// Waits for the preview's output to end; true when it succeeded.
bool finishOutput(PrintPreviewClass& p) {
    EXPECT_TRUE(processUntil([&] { return !p.outputRunning(); }));
    return p.outputError().isEmpty();
}

int pdfPages(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray b = f.readAll();
    return int(b.count("/Type /Page\n") + b.count("/Type /Page\r") + b.count("/Type /Page "));
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
    ASSERT_TRUE(preview.savePdf(pdf));
    EXPECT_FALSE(preview.savePdf(pdf));  // one output at a time
    EXPECT_FALSE(action(preview, QStringLiteral("Сохранить в PDF..."))->isEnabled());
    ASSERT_TRUE(finishOutput(preview)) << preview.outputError().toStdString();
    EXPECT_EQ(preview.outputDone(), 3);
    EXPECT_TRUE(action(preview, QStringLiteral("Сохранить в PDF..."))->isEnabled());
    EXPECT_EQ(pdfPages(pdf), 3);

    // A page range chosen in the print dialog is honoured.
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    const QString printed = dir.filePath(QStringLiteral("printed.pdf"));
    printer->setOutputFileName(printed);
    printer->setPrintRange(QPrinter::PageRange);
    printer->setFromTo(2, 3);
    ASSERT_TRUE(preview.printPages(printer));
    ASSERT_TRUE(finishOutput(preview)) << preview.outputError().toStdString();
    EXPECT_EQ(pdfPages(printed), 2);
    printer->setFromTo(5, 9);
    ASSERT_TRUE(preview.printPages(printer));
    EXPECT_FALSE(finishOutput(preview));
    EXPECT_EQ(preview.outputError(), QStringLiteral("нет страниц для печати"));
    EXPECT_NE(preview.findChild<QMessageBox*>(), nullptr);  // and the user is told
    preview.close();
}

TEST_F(Preview, SavingGoesOnBesideTheWindowUntilStoppedOrClosed) {
    auto doc = printed(5000);  // 264 pages
    PrintPreviewClass preview;
    preview.display(doc);
    const QString pdf = dir.filePath(QStringLiteral("kept.pdf"));
    auto write = [&] {
        QFile f(pdf);
        return f.open(QIODevice::WriteOnly) && f.write("older") == 5;
    };
    auto kept = [&] {
        QFile f(pdf);
        return f.open(QIODevice::ReadOnly) && f.readAll() == "older";
    };
    ASSERT_TRUE(write());
    int finished = 0;
    bool lastOk = true;
    QObject::connect(&preview, &PrintPreviewClass::outputFinished, [&](bool ok) {
        ++finished;
        lastOk = ok;
    });
    ASSERT_TRUE(preview.savePdf(pdf));
    // The window takes its events while the pages are written, and shows how far
    // the writing is.
    EXPECT_TRUE(processUntil([&] { return preview.outputDone() > 0; }));
    ASSERT_TRUE(preview.outputRunning());
    auto* bar = preview.findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    preview.showPage(200);
    EXPECT_EQ(preview.currentPage(), 200);
    QPushButton* cancel = nullptr;
    for (auto* b : preview.findChildren<QPushButton*>()) {
        if (b->text() == QStringLiteral("Отмена") && b->isVisible())
            cancel = b;
    }
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_TRUE(processUntil([&] { return !preview.outputRunning(); }));
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(lastOk);
    EXPECT_EQ(preview.outputError(), rt::ReportDocument::cancelledText());
    EXPECT_LT(preview.outputDone(), 264);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(preview.findChild<QMessageBox*>(), nullptr);  // a stop is no failure
    EXPECT_TRUE(kept()) << "a stopped saving leaves the older file whole";

    // Closing the window stops it too.
    ASSERT_TRUE(preview.savePdf(pdf));
    preview.close();
    EXPECT_TRUE(processUntil([&] { return !preview.outputRunning(); }));
    EXPECT_EQ(preview.outputError(), rt::ReportDocument::cancelledText());
    EXPECT_TRUE(kept());
    // So does deleting it, which waits for the writing thread.
    {
        PrintPreviewClass other;
        other.display(doc);
        ASSERT_TRUE(other.savePdf(pdf));
    }
    EXPECT_TRUE(kept());
}

// The dialogs wait on their own: the calls return at once, and the preview may
// be deleted with a dialog open (as the report's thread does when it ends).
TEST_F(Preview, DialogsAreItsChildrenAndNeverHoldTheCaller) {
    auto doc = printed(50);
    auto preview = std::make_unique<PrintPreviewClass>();
    preview->display(doc);
    preview->saveWithDialog();
    auto* file = preview->findChild<QFileDialog*>();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->isVisible());
    EXPECT_FALSE(action(*preview, QStringLiteral("Печать..."))->isEnabled());
    preview->saveWithDialog();  // one dialog at a time
    EXPECT_EQ(preview->findChildren<QFileDialog*>().size(), 1);
    const QString pdf = dir.filePath(QStringLiteral("chosen.pdf"));
    file->selectFile(pdf);
    QMetaObject::invokeMethod(file, "accept");  // as its "Сохранить" button does
    ASSERT_TRUE(finishOutput(*preview)) << preview->outputError().toStdString();
    EXPECT_EQ(pdfPages(pdf), 3);
    EXPECT_TRUE(processUntil([&] { return preview->findChild<QFileDialog*>() == nullptr; }));

    // Printing: the print dialog, or without a printer a message first.
    preview->printWithDialog();
    QPointer<QDialog> dialog = preview->findChild<QDialog*>();
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    preview.reset();
    EXPECT_TRUE(dialog.isNull());
}

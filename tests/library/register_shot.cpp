// The register report as a user sees it: `register_shot progress.png
// preview.png [saving.png dialogs.png printer.png]` runs the program with its
// frame, starts PrintRs as the list windows' buttons do over a large base
// (100,000 cards, so that the progress window is caught while it reads),
// photographs the screen mid-run and cancels; runs it again to the end and
// photographs its preview at the 10,000th entry while the PDF is being saved
// (the progress in the preview's status bar); then starts it over a demo base
// and photographs its preview, its file dialog and the printer set-up dialog.
// scripts/screenshot-report runs it under Xvfb.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo011.h"
#include "dictionary.h"
#include "register_base.h"
#include "report/preview.h"
#include "report_preview.h"
#include "ui/dialogs.h"
#include "uidriver.h"

namespace {

using namespace kaldo011;  // the progress window's controls

bool shoot(const QString& file) {
    return uitest::onGui(
        [&] { return QGuiApplication::primaryScreen()->grabWindow(0).save(file); });
}

// The percentage the progress window shows, -1 while none.
int percent(int thread) {
    const QString t = uitest::text(thread, PROGRESS_PCTTEXT);
    return t.isEmpty() ? -1 : t.section(u' ', 1).chopped(1).toInt();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(
            "usage: register_shot progress.png preview.png [saving.png dialog.png "
            "printer.png]\n",
            stderr);
        return 2;
    }
    const QString progressShot = QString::fromLocal8Bit(argv[1]);
    const QString previewShot = QString::fromLocal8Bit(argv[2]);
    const QStringList more = [&] {
        QStringList m;
        for (int i = 3; i < argc && i < 6; ++i)
            m << QString::fromLocal8Bit(argv[i]);
        return m;
    }();
    const int wanted = 2 + int(more.size());
    const QString drive = QDir::currentPath() + QStringLiteral("/drive_c");
    if (qEnvironmentVariableIsEmpty("KALDOR_DRIVE_C"))
        qputenv("KALDOR_DRIVE_C", drive.toLocal8Bit());
    const QString root = QString::fromLocal8Bit(qgetenv("KALDOR_DRIVE_C"));
    for (const char* base : {"kaldor_demo", "large", "demo"})
        QDir(root).mkpath(QString::fromLatin1(base));
    installThreadHooks();
    int saved = 0;
    rt::run(argc, argv, [&] {
        START([&] {
            uitest::waitFor(
                [] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); }, 20000);
            uitest::onGui([] {
                rt::gui::frame()->setGeometry(0, 0, 1280, 1000);
                return true;
            });
            if (!makeBase(QStringLiteral("c:\\large\\"), madeUpCards(100000)) ||
                !makeBase(QStringLiteral("c:\\demo\\"), demoCards())) {
                POST(EVENT::CloseWindow, 0, 1);
                return;
            }

            // Mid-run: the bar and the percentage have moved, the cards go on.
            setActiveBase(QStringLiteral("c:\\large\\"), QStringLiteral("Большая база"));
            int t = START(PrintRs, 25000);
            uitest::waitWindow(t, 20000);
            uitest::waitFor([t] { return percent(t) >= 20; }, 60000);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            saved += shoot(progressShot) ? 1 : 0;
            uitest::click(t, PROGRESS_CANCEL);
            rt::waitThreadEnd(t, 20000);

            // The whole register, saved as PDF beside the open windows.
            if (more.size() > 0) {
                t = START(PrintRs, 25000);
                uitest::waitFor(
                    [] {
                        return uitest::onGui([] {
                            return shownPreview() != nullptr &&
                                   shownPreview()->document()->finished();
                        });
                    },
                    120000);
                const QString pdf = QDir(root).filePath(QStringLiteral("large/register.pdf"));
                uitest::onGui([&] {
                    shownPreview()->showPage(527);  // entries 9,995 to 10,013
                    return shownPreview()->savePdf(pdf);
                });
                uitest::waitFor(
                    [] { return uitest::onGui([] { return shownPreview()->outputDone(); }) > 600; },
                    60000);
                saved += shoot(more[0]) ? 1 : 0;
                uitest::onGui([] { return shownPreview()->close(); });
                rt::waitThreadEnd(t, 20000);
            }

            // The preview of the demo base, as it opens.
            setActiveBase(QStringLiteral("c:\\demo\\"), QStringLiteral("Демонстрационная база"));
            t = START(PrintRs, 25000);
            uitest::waitFor([] { return uitest::onGui([] { return shownPreview() != nullptr; }); },
                            20000);
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            saved += shoot(previewShot) ? 1 : 0;
            if (more.size() > 1) {
                // Its file dialog, in Russian; the preview closes with it open.
                uitest::onGui([] {
                    QMetaObject::invokeMethod(shownPreview(), &PrintPreviewClass::saveWithDialog,
                                              Qt::QueuedConnection);
                    return true;
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
                saved += shoot(more[1]) ? 1 : 0;
            }
            uitest::onGui([] { return shownPreview()->close(); });
            rt::waitThreadEnd(t, 20000);
            if (more.size() > 2) {
                // The frame's printer set-up, in Russian.
                uitest::onGui([] {
                    rt::showPrinterSetup(1, rt::gui::frame());
                    return true;
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
                saved += shoot(more[2]) ? 1 : 0;
                uitest::onGui([] {
                    for (QWidget* w : rt::gui::dialogs(1))
                        w->close();
                    return true;
                });
            }
            POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
    });
    std::printf("%d of %d saved\n", saved, wanted);
    return saved == wanted ? 0 : 1;
}

// The document list as a user sees it: `doclist_shot out-folder` runs the
// program over the catalogue of drive C (scripts/screenshot-doclist makes the
// demo one first), opens the base list from the frame's menu (its first base
// becomes the active one), then the document list, shows the text of its
// first card with a bookmark's passage sought, and saves doclist.png; then
// doclist-query.png with the query window.

#include <QDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "dictionary.h"
#include "kaldo013.h"
#include "listdriver.h"
#include "query.h"
#include "uidriver.h"

namespace {

enum { BROWSEKALDOR = -10, BD = -12 };

// The thread of the window whose title starts with `title`; 0 none.
int threadOf(const QString& title) {
    for (int n = 2; n < 64; ++n) {
        if (rt::threadAlive(n) && uitest::onGui([n] { return rt::gui::topWindow(n) != nullptr; }) &&
            uitest::title(n).startsWith(title))
            return n;
    }
    return 0;
}

bool shoot(const QString& file) {
    return uitest::onGui(
        [&] { return QGuiApplication::primaryScreen()->grabWindow(0).save(file); });
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: doclist_shot out-folder\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    installThreadHooks();
    bool saved = false;
    rt::run(argc, argv, [&] {
        START([&] {
            uitest::waitFor(
                [] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); }, 20000);
            pause(500);
            uitest::chooseMenu(1, BD);
            int bases = 0;
            uitest::waitFor(
                [&] { return (bases = threadOf(QStringLiteral("Рубрикатор подтем ["))) != 0; },
                20000);
            uitest::waitIdle(bases);
            uitest::chooseMenu(1, BROWSEKALDOR);
            int list = 0;
            uitest::waitFor([&] { return (list = threadOf(QStringLiteral("Тема: "))) != 0; },
                            20000);
            uitest::waitIdle(list);
            uitest::onGui([] {
                QMainWindow* f = rt::gui::frame();
                f->setGeometry(0, 0, 1280, 1000);
                auto* area = qobject_cast<QMdiArea*>(f->centralWidget());
                for (QMdiSubWindow* s : area->subWindowList()) {
                    if (s->windowTitle().startsWith(QStringLiteral("Тема: "))) {
                        s->move(4, 4);
                        s->raise();
                        s->activateWindow();
                    } else {
                        s->showMinimized();
                    }
                }
            });
            listtest::clickRow(list, kaldo013::BROWSE_1, 1);
            uitest::click(list, kaldo013::BUTTON4);
            pause(700);
            saved = shoot(out + QStringLiteral("/doclist.png"));
            // The query window over it.
            uitest::click(list, kaldo013::QUERY);
            uitest::waitFor(
                [&] { return uitest::title(list) == QStringLiteral("Запрос по образцу"); }, 10000);
            pause(700);
            saved = shoot(out + QStringLiteral("/doclist-query.png")) && saved;
            uitest::click(list, lst::QueryListVisual::CancelControl(5));
            POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
    });
    std::printf("%s\n", saved ? "saved" : "not saved");
    return saved ? 0 : 1;
}

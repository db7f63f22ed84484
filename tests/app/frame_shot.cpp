// The frame as a user sees it: `frame_shot out.png` runs the program, opens a
// second list window from the menu next to the topic list shown at start,
// drops down the "...Окно..." menu (which lists them) and saves a picture of
// the screen. scripts/screenshot-frame runs it under Xvfb.

#include <QAction>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <thread>

#include "controls/kaldo001.h"
#include "dictionary.h"
#include "procedures.h"
#include "uidriver.h"

namespace {

bool childrenShown(int n) {
    return uitest::onGui([n] {
        QMainWindow* f = rt::gui::frame();
        auto* area = f ? qobject_cast<QMdiArea*>(f->centralWidget()) : nullptr;
        return area && int(area->subWindowList().size()) == n;
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: frame_shot out.png\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    installThreadHooks();
    bool saved = false;
    rt::run(argc, argv, [&] {
        START([&] {
            uitest::waitFor([] { return childrenShown(1); }, 20000);
            uitest::chooseMenu(1, kaldo001::BD);
            uitest::waitFor([] { return childrenShown(2); }, 20000);
            uitest::onGui([] {
                QMainWindow* f = rt::gui::frame();
                f->setGeometry(40, 40, 1100, 640);
                // Side by side, below the menu that drops down.
                auto* area = qobject_cast<QMdiArea*>(f->centralWidget());
                int x = 10;
                for (QMdiSubWindow* s : area->subWindowList()) {
                    s->move(x, 140);
                    x += s->width() + 20;
                }
                QAction* menu = rt::gui::topWindow(1)->menuItem(kaldo001::WINDOWMENU);
                f->menuBar()->setActiveAction(menu);
            });
            // An item under the pointer shows its status text.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            uitest::onGui([] {
                rt::GuiWindow* w = rt::gui::topWindow(1);
                if (QMenu* m = w->menuItem(kaldo001::WINDOWMENU)->menu())
                    m->setActiveAction(w->menuItem(kaldo001::TILE));
            });
            uitest::waitIdle(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            saved = uitest::onGui([&] {
                const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
                return shot.save(out);
            });
            uitest::onGui([] { rt::gui::frame()->menuBar()->setActiveAction(nullptr); });
            POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
    });
    std::printf("%s\n", saved ? "saved" : "not saved");
    return saved ? 0 : 1;
}

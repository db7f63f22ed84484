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
#include <chrono>
#include <thread>

#include "controls/kaldo001.h"
#include "shot.h"

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
    return shot::run(
        argc, argv, "frame_shot",
        [](const QString& out) {
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
            const bool saved = shot::grabScreen(out);
            uitest::onGui([] { rt::gui::frame()->menuBar()->setActiveAction(nullptr); });
            return saved;
        },
        "out.png");
}

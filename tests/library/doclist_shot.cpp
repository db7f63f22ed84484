// The document list as a user sees it: `doclist_shot out-folder` runs the
// program over the catalogue of drive C (scripts/screenshot-doclist makes the
// demo one first), opens the base list from the frame's menu (its first base
// becomes the active one), then the document list, shows the text of its
// first card with a bookmark's passage sought, and saves doclist.png; then
// doclist-query.png with the query window; then doclist-restored.png: the
// list tiled, maximised and restored, laid out for the size it has.

#include <QDialog>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <chrono>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo001.h"
#include "dictionary.h"
#include "kaldo013.h"
#include "listdriver.h"
#include "query.h"
#include "shot.h"
#include "uidriver.h"

namespace {

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
    return shot::run(argc, argv, "doclist_shot", [](const QString& out) {
        uitest::waitFor([] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); },
                        20000);
        pause(500);
        uitest::chooseMenu(1, kaldo001::BD);
        int bases = 0;
        uitest::waitFor(
            [&] {
                return (bases = shot::threadOf(QStringLiteral("Рубрикатор подтем ["), true)) != 0;
            },
            20000);
        uitest::waitIdle(bases);
        uitest::chooseMenu(1, kaldo001::BROWSEKALDOR);
        int list = 0;
        uitest::waitFor(
            [&] { return (list = shot::threadOf(QStringLiteral("Тема: "), true)) != 0; }, 20000);
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
        bool saved = shot::grabScreen(out + QStringLiteral("/doclist.png"));
        // The query window over it.
        uitest::click(list, kaldo013::QUERY);
        uitest::waitFor([&] { return uitest::title(list) == QStringLiteral("Запрос по образцу"); },
                        10000);
        pause(700);
        saved = shot::grabScreen(out + QStringLiteral("/doclist-query.png")) && saved;
        uitest::click(list, lst::QueryListVisual::CancelControl(5));
        uitest::waitFor([&] { return uitest::title(list).startsWith(QStringLiteral("Тема: ")); },
                        10000);
        // Window, Tile (the other windows lie iconised); then the list
        // maximised and restored.
        uitest::chooseMenu(1, kaldo001::TILE);
        uitest::onGui([list] {
            qobject_cast<QMdiSubWindow*>(rt::gui::topWindow(list)->top())->showMaximized();
        });
        uitest::waitIdle(list);
        uitest::onGui([list] {
            qobject_cast<QMdiSubWindow*>(rt::gui::topWindow(list)->top())->showNormal();
        });
        uitest::waitIdle(list);
        pause(700);
        return shot::grabScreen(out + QStringLiteral("/doclist-restored.png")) && saved;
    });
}

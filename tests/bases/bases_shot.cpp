// The base list and the base form as a user sees them: `bases_shot out-folder`
// runs the program over the catalogue of drive C (scripts/screenshot-bases
// makes the demo one first), opens the base list from the frame's menu, then
// the form of its first base, and saves browsebd.png and updatebd.png; then
// browsebd-sideways.png: the list scrolled sideways and sorted by a header
// click, still where the user scrolled it.

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <chrono>
#include <thread>

#include "controls/kaldo001.h"
#include "controls/kaldo004.h"
#include "controls/kaldo005.h"
#include "listdriver.h"
#include "shot.h"
#include "uidriver.h"

int main(int argc, char** argv) {
    return shot::run(argc, argv, "bases_shot", [](const QString& out) {
        const QString listTitle = QStringLiteral("Рубрикатор подтем [выбор БД]");
        uitest::waitFor([] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); },
                        20000);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        uitest::chooseMenu(1, kaldo001::BD);
        int list = 0;
        uitest::waitFor([&] { return (list = shot::threadOf(listTitle)) != 0; }, 20000);
        uitest::waitIdle(list);
        uitest::onGui([] {
            QMainWindow* f = rt::gui::frame();
            f->setGeometry(20, 20, 1200, 760);
            auto* area = qobject_cast<QMdiArea*>(f->centralWidget());
            for (QMdiSubWindow* s : area->subWindowList())
                s->move(
                    s->windowTitle().startsWith(QStringLiteral("Рубрикатор подтем [")) ? 10 : 560,
                    10);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        bool saved = shot::grab(list, out + QStringLiteral("/browsebd.png"));
        uitest::click(list, kaldo004::CHANGE_4);
        uitest::waitFor([&] { return uitest::title(list) == QStringLiteral("Изменить"); }, 10000);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        saved = shot::grab(list, out + QStringLiteral("/updatebd.png")) && saved;
        shot::grabScreen(out + QStringLiteral("/screen.png"));
        uitest::click(list, kaldo005::CANCEL);
        uitest::waitFor([&] { return uitest::title(list) == listTitle; }, 10000);
        listtest::scrollSideways(list, kaldo004::BROWSE_1, 90);
        listtest::clickHeader(list, kaldo004::BROWSE_1, 3);
        listtest::clickCell(list, kaldo004::BROWSE_1, 2, 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        return shot::grab(list, out + QStringLiteral("/browsebd-sideways.png")) && saved;
    });
}

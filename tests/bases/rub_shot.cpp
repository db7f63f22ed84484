// The topic window and the topic form as a user sees them: `rub_shot
// out-folder` runs the program over the catalogue of drive C
// (scripts/screenshot-rub makes the demo one first), waits for the topic
// window the frame opens at start, and saves browserub.png; then the form of
// the second topic, updaterub.png; the whole screen, rubscreen.png; the
// window grown, browserub-grown.png; the question of a topic's delete, its
// title whole (rub-delete.png), and the topic window in front again with the
// frame's status bar naming its list once it is answered (rub-answered.png).

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <chrono>
#include <thread>

#include "controls/kaldo007.h"
#include "controls/kaldo008.h"
#include "listdriver.h"
#include "shot.h"
#include "ui/events.h"
#include "uidriver.h"

namespace {

const QString kTitle = QStringLiteral("Рубрикатор тем/подтем [выбор БД]");
const QString kFormTitle = QStringLiteral("Редактировать рубрикатор темы");

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
    return shot::run(argc, argv, "rub_shot", [](const QString& out) {
        int topics = 0;
        uitest::waitFor([&] { return (topics = shot::threadOf(kTitle)) != 0; }, 20000);
        uitest::waitIdle(topics);
        uitest::onGui([] {
            QMainWindow* f = rt::gui::frame();
            f->setGeometry(20, 20, 1200, 760);
            auto* area = qobject_cast<QMdiArea*>(f->centralWidget());
            for (QMdiSubWindow* s : area->subWindowList())
                s->move(10, 10);
        });
        // A base that is off under the cursor.
        listtest::clickRow(topics, kaldo007::LIST, 2);
        pause(700);
        bool saved = shot::grab(topics, out + QStringLiteral("/browserub.png"));
        listtest::clickRow(topics, kaldo007::BROWSE_1, 2);
        uitest::click(topics, kaldo007::CHANGE_3);
        uitest::waitFor([&] { return uitest::title(topics) == kFormTitle; }, 10000);
        pause(700);
        saved = shot::grab(topics, out + QStringLiteral("/updaterub.png")) && saved;
        shot::grabScreen(out + QStringLiteral("/rubscreen.png"));
        uitest::click(topics, kaldo008::CANCEL);
        // Grown: the lists take the room, the buttons keep to their edges.
        uitest::onGui([] {
            auto* area = qobject_cast<QMdiArea*>(rt::gui::frame()->centralWidget());
            for (QMdiSubWindow* s : area->subWindowList())
                s->setGeometry(10, 10, 1150, 640);
        });
        uitest::waitIdle(topics);
        pause(700);
        saved = shot::grab(topics, out + QStringLiteral("/browserub-grown.png")) && saved;
        // Asked and answered.
        listtest::clickRow(topics, kaldo007::BROWSE_1, 3);
        uitest::click(topics, kaldo007::DELETE_3);
        uitest::waitDialog(topics);
        pause(700);
        saved = shot::grabScreen(out + QStringLiteral("/rub-delete.png")) && saved;
        uitest::answerMessage(topics, BUTTON::No);
        uitest::focus(topics, kaldo007::BROWSE_1);
        pause(700);
        return shot::grabScreen(out + QStringLiteral("/rub-answered.png")) && saved;
    });
}

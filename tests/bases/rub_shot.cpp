// The topic window and the topic form as a user sees them: `rub_shot
// out-folder` runs the program over the catalogue of drive C
// (scripts/screenshot-rub makes the demo one first), waits for the topic
// window the frame opens at start, and saves browserub.png; then the form of
// the second topic, updaterub.png; and the whole screen, rubscreen.png.

#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/procedures.h"
#include "dictionary.h"
#include "listdriver.h"
#include "uidriver.h"

namespace {

enum { BROWSE_1 = 1, CHANGE_3 = 3, LIST = 15 };
enum { CANCEL = 9 };

const QString kTitle = QStringLiteral("Рубрикатор тем/подтем [выбор БД]");

// The thread of the window whose title is `title`; 0 none.
int threadOf(const QString& title) {
    for (int n = 2; n < 64; ++n) {
        if (rt::threadAlive(n) && uitest::onGui([n] { return rt::gui::topWindow(n) != nullptr; }) &&
            uitest::title(n) == title)
            return n;
    }
    return 0;
}

// The window with its title bar, as the screen shows it.
bool grab(int thread, const QString& file) {
    return uitest::onGui([&] {
        rt::GuiWindow* gw = rt::gui::topWindow(thread);
        QWidget* w = gw ? gw->top() : nullptr;
        if (!w)
            return false;
        QRect r = w->frameGeometry();
        if (!w->isWindow())
            r.moveTopLeft(w->parentWidget()->mapToGlobal(r.topLeft()));
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
            .save(file);
    });
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: rub_shot out-folder\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    installThreadHooks();
    bool saved = false;
    rt::run(argc, argv, [&] {
        START([&] {
            int topics = 0;
            uitest::waitFor([&] { return (topics = threadOf(kTitle)) != 0; }, 20000);
            uitest::waitIdle(topics);
            uitest::onGui([] {
                QMainWindow* f = rt::gui::frame();
                f->setGeometry(20, 20, 1200, 760);
                auto* area = qobject_cast<QMdiArea*>(f->centralWidget());
                for (QMdiSubWindow* s : area->subWindowList())
                    s->move(10, 10);
            });
            listtest::clickRow(topics, LIST, 2);
            pause(700);
            saved = grab(topics, out + QStringLiteral("/browserub.png"));
            listtest::clickRow(topics, BROWSE_1, 2);
            uitest::click(topics, CHANGE_3);
            uitest::waitFor(
                [&] {
                    return uitest::title(topics) == QStringLiteral("Редактировать рубрикатор темы");
                },
                10000);
            pause(700);
            saved = grab(topics, out + QStringLiteral("/updaterub.png")) && saved;
            uitest::onGui([&] {
                QGuiApplication::primaryScreen()->grabWindow(0).save(
                    out + QStringLiteral("/rubscreen.png"));
            });
            uitest::click(topics, CANCEL);
            POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
    });
    std::printf("%s\n", saved ? "saved" : "not saved");
    return saved ? 0 : 1;
}

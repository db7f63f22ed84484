// The base list and the base form as a user sees them: `bases_shot out-folder`
// runs the program over the catalogue of drive C (scripts/screenshot-bases
// makes the demo one first), opens the base list from the frame's menu, then
// the form of its first base, and saves browsebd.png and updatebd.png.

#include <QDir>
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
#include "uidriver.h"

namespace {

enum { BD = -12 };
enum { BROWSE_1 = 1, CHANGE_4 = 4 };
enum { CANCEL = 16 };

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
bool grab(QWidget* w, const QString& file) {
    if (!w)
        return false;
    QRect r = w->frameGeometry();
    if (!w->isWindow())
        r.moveTopLeft(w->parentWidget()->mapToGlobal(r.topLeft()));
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
        .save(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: bases_shot out-folder\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    installThreadHooks();
    bool saved = false;
    rt::run(argc, argv, [&] {
        START([&] {
            const QString listTitle = QStringLiteral("Рубрикатор подтем [выбор БД]");
            uitest::waitFor(
                [] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); }, 20000);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            uitest::chooseMenu(1, BD);
            int list = 0;
            uitest::waitFor([&] { return (list = threadOf(listTitle)) != 0; }, 20000);
            uitest::waitIdle(list);
            uitest::onGui([list] {
                QMainWindow* f = rt::gui::frame();
                f->setGeometry(20, 20, 1200, 760);
                auto* area = qobject_cast<QMdiArea*>(f->centralWidget());
                for (QMdiSubWindow* s : area->subWindowList())
                    s->move(s->windowTitle().startsWith(QStringLiteral("Рубрикатор подтем ["))
                                ? 10
                                : 560,
                            10);
                (void)list;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            saved = uitest::onGui([&] {
                rt::GuiWindow* w = rt::gui::topWindow(list);
                return grab(w ? w->top() : nullptr, out + QStringLiteral("/browsebd.png"));
            });
            uitest::click(list, CHANGE_4);
            uitest::waitFor([&] { return uitest::title(list) == QStringLiteral("Изменить"); },
                            10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            saved = uitest::onGui([&] {
                        rt::GuiWindow* w = rt::gui::topWindow(list);
                        return grab(w ? w->top() : nullptr, out + QStringLiteral("/updatebd.png"));
                    }) &&
                    saved;
            uitest::onGui([&] {
                QGuiApplication::primaryScreen()->grabWindow(0).save(out +
                                                                     QStringLiteral("/screen.png"));
            });
            uitest::click(list, CANCEL);
            POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
    });
    std::printf("%s\n", saved ? "saved" : "not saved");
    return saved ? 0 : 1;
}

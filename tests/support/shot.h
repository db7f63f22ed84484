#pragma once
// What the picture programs of the program's windows share (GUI thread
// access through the window driver; call them from a procedure thread).

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <cstdio>
#include <functional>

#include "app/procedures.h"
#include "dictionary.h"
#include "uidriver.h"

namespace shot {

// The thread of the window whose title is `title` (with `prefix`, whose title
// starts with it); 0 none.
inline int threadOf(const QString& title, bool prefix = false) {
    for (int n = 2; n < 64; ++n) {
        if (!rt::threadAlive(n) || !uitest::onGui([n] { return rt::gui::topWindow(n) != nullptr; }))
            continue;
        const QString shown = uitest::title(n);
        if (prefix ? shown.startsWith(title) : shown == title)
            return n;
    }
    return 0;
}

// The newest window of `thread` with its title bar, as the screen shows it.
inline bool grab(int thread, const QString& file) {
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

// The screen saved whole into `file`.
inline bool grabScreen(const QString& file) {
    return uitest::onGui(
        [&] { return QGuiApplication::primaryScreen()->grabWindow(0).save(file); });
}

// The entry of a picture program `name out-folder` (or another `argument`): runs
// the program and, on a thread beside it, `take(out-folder)`; then closes the
// frame. 0 when `take` saved its pictures.
inline int run(int argc, char** argv, const char* name,
               const std::function<bool(const QString&)>& take,
               const char* argument = "out-folder") {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s %s\n", name, argument);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    installThreadHooks();
    bool saved = false;
    rt::run(argc, argv, [&] {
        START([&] {
            saved = take(out);
            POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
    });
    std::printf("%s\n", saved ? "saved" : "not saved");
    return saved ? 0 : 1;
}

}  // namespace shot

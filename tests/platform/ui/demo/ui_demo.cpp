// A window with every kind of control, in the frame, for looking at the runtime
// as a user would: `ui_demo --screenshot out.png` writes a picture of the screen
// once the window is up and quits. scripts/screenshot-ui runs it under Xvfb.

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "controls/uidemo.h"
#include "core/resources.h"
#include "ui/gui.h"
#include "ui/window.h"

namespace {

using namespace uidemo::DEMO;  // the window's controls

LONG id = 1024;
STRING<120> name(u"О библиотечном деле");
DATE approved;
LONG koldoc = 12345;
BYTE sortFlag = 1;
BYTE kodter = 2;
STRING<255> query(u"библиотека");
DECIMAL<2> spin = 8;
STRING<10> fontSize(u"10");
BYTE progress = 60;

void demoWindow() {
    approved = rt::dayNumber(1994, 12, 29);
    Window w(u"uidemo", u"DEMO");
    w.bind(KAL_ID, ref(id))
        .bind(KAL_NAME, ref(name))
        .bind(KAL_UTVDATA, ref(approved))
        .bind(KOLDOC, ref(koldoc));
    w.bind(SORT, ref(sortFlag)).bind(KAL_KODTER, ref(kodter)).bind(FUZZYQUERY, ref(query));
    w.bind(SPINRTF, ref(spin)).bind(FONTSIZE, ref(fontSize)).bind(PROGRESS, ref(progress));
    if (!w.open() || w.number(u"?BROWSE:1") != BROWSE_1)
        return;
    w(PROP::StatusText, 2) = u"Изменить";
    w.onGui(BROWSE_1, [](rt::GuiControl& c) {
        auto* view = c.as<QTableView>();
        auto* model = new QStandardItemModel(0, 2, view);
        model->setHorizontalHeaderLabels(
            {QStringLiteral("Категория документов"), QStringLiteral("iD")});
        const char16_t* rows[] = {u"Гражданское право", u"Трудовое право", u"Налоги и сборы",
                                  u"Архивное дело"};
        int n = 1;
        for (const char16_t* r : rows) {
            model->appendRow({new QStandardItem(QString::fromUtf16(r)),
                              new QStandardItem(QString::number(n++))});
        }
        view->setModel(model);
        view->selectRow(1);
    });
    while (ACCEPT()) {
    }
    w.close();
}

}  // namespace

int main(int argc, char** argv) {
    rt::addResourceFolder(QStringLiteral(KALDOR_UI_TEST_RESOURCES));
    QString shot;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--screenshot")
            shot = QString::fromLocal8Bit(argv[i + 1]);
    }
    return rt::run(argc, argv, [shot] {
        Window frame(u"uidemo", u"FRAME");
        if (!frame.open())
            return;
        const LONG demo = START(demoWindow, 0);
        if (!shot.isEmpty()) {
            // Let the windows settle, then take the whole screen.
            while (!rt::threadIdle(demo))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            bool saved = false;
            rt::gui::call([&] {
                QScreen* s = QGuiApplication::primaryScreen();
                saved = s->grabWindow(0).save(shot);
            });
            std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(shot));
            POST(EVENT::CloseWindow, 0, demo);
            frame.post(EVENT::CloseWindow);
        }
        while (ACCEPT()) {
        }
        frame.close();
    });
}

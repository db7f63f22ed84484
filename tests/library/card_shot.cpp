// The card form as a user sees it: `card_shot out-folder` runs the program
// over the catalogue of drive C (scripts/screenshot-card makes the demo one
// first), makes its first base active, opens the form of the base's first card
// as the document list does (change request, on a thread of its own), shows the
// document text and saves a picture of each tab: card-text.png, card-fields.png,
// card-bookmarks.png, card-extracts.png.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo003.h"
#include "dictionary.h"
#include "uidriver.h"
#include "windowmanager.h"

namespace {

// The window with its title bar, as the screen shows it.
bool grab(int thread, const QString& file) {
    return uitest::onGui([&] {
        rt::GuiWindow* g = rt::gui::topWindow(thread);
        QWidget* w = g ? g->top() : nullptr;
        if (!w)
            return false;
        const QRect r = w->frameGeometry();
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
            .save(file);
    });
}

void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: card_shot out-folder\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    installThreadHooks();
    std::atomic<bool> saved{false};
    rt::run(argc, argv, [&] {
        START([&] {
            uitest::waitFor(
                [] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); }, 20000);
            // The first base of the catalogue is the active one.
            Relate_CONFIG->Open();
            SET(CONFIG);
            NEXT(CONFIG);
            const QString folder = CON.PATH.clip();
            Relate_CONFIG->Close();
            PUT1 = folder + QStringLiteral("KALDOR.TPS");
            PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
            PUT = folder;
            const LONG form = START([] {
                Relate_KALDOR->SetOpenRelated();
                Relate_KALDOR->Open();
                SET(KALDOR);
                NEXT(KALDOR);
                GlobalRequest = ChangeRecord;
                Updatekaldor();
                Relate_KALDOR->Close();
            });
            if (!uitest::waitWindow(form, 20000)) {
                POST(EVENT::CloseWindow, 0, 1);
                return;
            }
            uitest::onGui([form] {
                if (rt::GuiWindow* g = rt::gui::topWindow(form))
                    g->top()->move(40, 30);
            });
            uitest::spinTo(form, kaldo003::SPINRTF, 11);
            uitest::click(form, kaldo003::BUTTON17);
            uitest::click(form, kaldo003::RTFTEXTBOX);  // the editor takes the reading size
            settle();
            bool ok = grab(form, out + QStringLiteral("/card-text.png"));
            uitest::selectTab(form, kaldo003::CURRENTTAB, 2);
            settle();
            ok = grab(form, out + QStringLiteral("/card-fields.png")) && ok;
            uitest::selectTab(form, kaldo003::CURRENTTAB, 3);
            settle();
            ok = grab(form, out + QStringLiteral("/card-bookmarks.png")) && ok;
            uitest::selectTab(form, kaldo003::CURRENTTAB, 4);
            uitest::click(form, kaldo003::BUTTON20);
            settle();
            ok = grab(form, out + QStringLiteral("/card-extracts.png")) && ok;
            saved = ok;
            uitest::click(form, kaldo003::CANCEL);
            rt::waitThreadEnd(form, 5000);
            POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
    });
    std::printf("%s\n", saved ? "saved" : "not saved");
    return saved ? 0 : 1;
}

// The card form as a user sees it: `card_shot out-folder` runs the program
// over the catalogue of drive C (scripts/screenshot-card makes the demo one
// first), makes its first base active, opens the form of the base's first card
// as the document list does (change request, on a thread of its own), shows the
// document text and saves a picture of each tab: card-text.png, card-fields.png,
// card-bookmarks.png, card-extracts.png.

#include <chrono>
#include <thread>

#include "app/globals.h"
#include "controls/kaldo003.h"
#include "shot.h"
#include "windowmanager.h"

namespace {

void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
}

}  // namespace

int main(int argc, char** argv) {
    return shot::run(argc, argv, "card_shot", [](const QString& out) {
        uitest::waitFor([] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); },
                        20000);
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
        if (!uitest::waitWindow(form, 20000))
            return false;
        uitest::onGui([form] {
            if (rt::GuiWindow* g = rt::gui::topWindow(form))
                g->top()->move(40, 30);
        });
        uitest::spinTo(form, kaldo003::SPINRTF, 11);
        uitest::click(form, kaldo003::BUTTON17);
        uitest::click(form, kaldo003::RTFTEXTBOX);  // the editor takes the reading size
        settle();
        bool ok = shot::grab(form, out + QStringLiteral("/card-text.png"));
        uitest::selectTab(form, kaldo003::CURRENTTAB, 2);
        settle();
        ok = shot::grab(form, out + QStringLiteral("/card-fields.png")) && ok;
        uitest::selectTab(form, kaldo003::CURRENTTAB, 3);
        settle();
        ok = shot::grab(form, out + QStringLiteral("/card-bookmarks.png")) && ok;
        uitest::selectTab(form, kaldo003::CURRENTTAB, 4);
        uitest::click(form, kaldo003::BUTTON20);
        settle();
        ok = shot::grab(form, out + QStringLiteral("/card-extracts.png")) && ok;
        uitest::click(form, kaldo003::CANCEL);
        rt::waitThreadEnd(form, 5000);
        return ok;
    });
}

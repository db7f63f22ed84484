// The bookmark form as a user sees it: `zk_shot out-folder` runs the program
// over the catalogue of drive C (scripts/screenshot-zk makes the demo one
// first), makes its first base active, calls UpdateZk on a thread of its own
// as the card form does (the card in KALDOR, its first bookmark in ZAMETKA)
// to change that bookmark, then to add one, and saves updatezk.png and
// updatezk-insert.png.

#include <chrono>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo006.h"
#include "dictionary.h"
#include "shot.h"
#include "uidriver.h"
#include "windowmanager.h"

namespace {

// The first base of the catalogue becomes the active one; false when there
// is none.
bool firstBaseActive() {
    Relate_CONFIG->Open();
    SET(CON_K1);
    NEXT(CONFIG);
    const bool found = ERRORCODE() == 0;
    if (found) {
        PUT = CON.PATH.clip();
        PUT1 = CON.PATH.clip() + QStringLiteral("KALDOR.TPS");
        PUT2 = CON.PATH.clip() + QStringLiteral("ZAMETKA.TPS");
        TEMA = CON.NAME.clip();
    }
    Relate_CONFIG->Close();
    return found;
}

// Calls the form with `request` for the first bookmark of the base and its card.
void callForm(BYTE request) {
    Relate_KALDOR->SetOpenRelated();
    Relate_KALDOR->Open();
    SET(ZAM_K1);
    NEXT(ZAMETKA);
    CLEAR(KALDOR);
    KAL.ID = ZAM.IDDOK;
    Access_KALDOR->TryFetch(KAL_K1);
    if (request == InsertRecord) {
        CLEAR(ZAMETKA);
        ZAM.IDDOK = KAL.ID;
    }
    GlobalRequest = request;
    UpdateZk();
    Relate_KALDOR->Close();
}

bool shoot(BYTE request, const QString& file) {
    const LONG th = START([request] { callForm(request); });
    if (!uitest::waitWindow(th, 20000))
        return false;
    uitest::onGui([th] { rt::gui::topWindow(th)->top()->move(120, 120); });
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    const bool saved = shot::grab(th, file);

    uitest::click(th, kaldo006::CANCEL);
    rt::waitThreadEnd(th, 10000);
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    return shot::run(argc, argv, "zk_shot", [](const QString& out) {
        uitest::waitFor([] { return uitest::onGui([] { return rt::gui::frame() != nullptr; }); },
                        20000);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (!firstBaseActive())
            return false;
        const bool saved = shoot(ChangeRecord, out + QStringLiteral("/updatezk.png"));
        return shoot(InsertRecord, out + QStringLiteral("/updatezk-insert.png")) && saved;
    });
}

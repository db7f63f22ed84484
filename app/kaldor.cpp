// The program body: the process-wide services around the frame.

#include "copyfailure.h"
#include "core/fuzzy.h"
#include "dictionary.h"
#include "globals.h"
#include "procedures.h"
#include "ui/dialogs.h"
#include "ui/winapi.h"
#include "ui/window.h"

void _main() {
    HELP(u"kaldor");
    GlobalErrors.Init(GlobalErrorStatus);
    FuzzyMatcher.Init();
    FuzzyMatcher.SetOption(FuzzyClass::NOCASE, 1);
    FuzzyMatcher.SetOption(FuzzyClass::WORDONLY, 0);
    rt::setFuzzyMatcher(&FuzzyMatcher);
    INIMgr.Init(u"kaldor.INI", 0, 0);
    DctInit();
    SYSTEM[PROP::Icon] = u"OSGeo4W.ico";

    // Windows are dragged as outlines while the program runs; the user's
    // setting comes back when it ends.
    LONG setting = 0;
    SystemParametersInfoA(SPI::GetDragFullWindows, 0, &setting, 0);
    LCURRENTFDSETTING = setting;
    LONG adjusted = LADJFDSETTING;
    if (LCURRENTFDSETTING == 1) {
        SystemParametersInfoA(SPI::SetDragFullWindows, 0, &adjusted,
                              SPI::UpdateIniFile | SPI::SendChange);
        LADJFDSETTING = adjusted;
    }

    Main();
    // The texts shown, edited or carried between bases in this run are not
    // left beside their bases, which may be encrypted.
    removeTemporaryFiles();

    INIMgr.Update();
    if (LCURRENTFDSETTING == 1) {
        SystemParametersInfoA(SPI::SetDragFullWindows, 1, &adjusted,
                              SPI::UpdateIniFile | SPI::SendChange);
        LADJFDSETTING = adjusted;
    }
    INIMgr.Kill();
    FuzzyMatcher.Kill();
    // Thread 1's table objects go with the thread (its Dictionary).
}

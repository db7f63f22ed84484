#include "app/globals.h"
#include "bases.h"
#include "dictionary.h"

void SetActiveBase() {
    // The folder is kept with its separator at the end: the file names follow it
    // directly. What does not fit the 128 characters of a name is cut.
    const QString folder = CON.PATH.clip();
    PUT1 = folder + QStringLiteral("KALDOR.TPS");
    PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
    PUT = folder;
    TEMA = CON.NAME.clip();
}

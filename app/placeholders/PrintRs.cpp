// Placeholder: goes away when the real PrintRs lands (see placeholder.h).

#include "placeholder.h"
#include "procedures.h"

void PrintRs() {
    runPlaceholder(u"PrintRs");
}

// Placeholder: goes away when the real BrowseBD lands (see placeholder.h).

#include "placeholder.h"
#include "procedures.h"

void BrowseBD() {
    runPlaceholder(u"BrowseBD");
}

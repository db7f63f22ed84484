// Placeholder: goes away when the real BrowseRub lands (see placeholder.h).

#include "placeholder.h"
#include "procedures.h"

void BrowseRub() {
    runPlaceholder(u"BrowseRub");
}

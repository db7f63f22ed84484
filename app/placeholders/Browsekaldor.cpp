// Placeholder: goes away when the real Browsekaldor lands (see placeholder.h).

#include "placeholder.h"
#include "procedures.h"

void Browsekaldor() {
    runPlaceholder(u"Browsekaldor");
}

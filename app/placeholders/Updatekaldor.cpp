// Placeholder: goes away when the real Updatekaldor lands (see placeholder.h). A form
// that is not there yet completes nothing.

#include "globals.h"
#include "procedures.h"

void Updatekaldor() {
    GlobalResponse = 2;
}

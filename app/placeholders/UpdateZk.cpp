// Placeholder: goes away when the real UpdateZk lands (see placeholder.h). A form
// that is not there yet completes nothing.

#include "globals.h"
#include "procedures.h"

void UpdateZk() {
    GlobalResponse = 2;
}

// The program's entry.

#include "dictionary.h"
#include "procedures.h"
#include "ui/runtime.h"

int main(int argc, char** argv) {
    // Every procedure thread, thread 1 included, gets its own table objects and
    // request variables. While the runtime runs, errors are reported in message
    // boxes of the thread that meets them (rt::run binds the reporter).
    installThreadHooks();
    return rt::run(argc, argv, _main);
}

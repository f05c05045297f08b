// The whole run of the setup executable, from the split command line to the
// process exit code.
#ifndef WYK_BOOTSTRAP_RUN_BOOTSTRAP_H
#define WYK_BOOTSTRAP_RUN_BOOTSTRAP_H

#include <windows.h>

int RunBootstrap(HMODULE module, int argc, char** argv);

#endif

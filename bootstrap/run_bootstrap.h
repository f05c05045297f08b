// The whole run of the setup executable, from the split command line to the
// process exit code.
#ifndef WYK_BOOTSTRAP_RUN_BOOTSTRAP_H
#define WYK_BOOTSTRAP_RUN_BOOTSTRAP_H

#include <windows.h>

#include "platform/process_runner.h"

int RunBootstrap(HMODULE module, int argc, char** argv);

// The process exit code a main-package engine run gives: the engine's own, or
// 1 when it could not be started.
int ExitCodeOfEngineRun(const ChildRun& run);

#endif

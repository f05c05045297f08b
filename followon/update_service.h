// The install of the update service after a successful kit install.
#ifndef WYK_FOLLOWON_UPDATE_SERVICE_H
#define WYK_FOLLOWON_UPDATE_SERVICE_H

#include <windows.h>

#include "platform/process_runner.h"

// True when an installed update service older than 2.1.5.1 is recorded.
bool NeedsOldUpdateServiceRemoval();

// Removes the older update service with the pumping wait.
ChildRun RemoveOldUpdateService();

// Stages au.cab and au.msi, removes an older service, installs the new one and
// runs its registration tool.
void InstallUpdateService(HMODULE module);

#endif

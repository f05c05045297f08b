// The platform's installer engine: version gate and location of msiexec.exe.
#ifndef WYK_PLATFORM_INSTALLER_ENGINE_H
#define WYK_PLATFORM_INSTALLER_ENGINE_H

#include "base/bounded_text.h"

// 1 when the engine library msi.dll in the system directory is 2.0.2600.0 or
// newer; 0 when it is older or its version cannot be read.
int CheckInstallerEngineVersion();

// Fills path with the full path of msiexec.exe: the system directory on 5.2,
// else the "InstallerLocation" folder. 0 when the folder is not found, is not
// an absolute folder, or the full path does not fit.
int LocateMsiexec(BoundedText& path);

#endif

// The silent install of the public runtime from the kit's home folder.
#ifndef WYK_FOLLOWON_PUBLIC_RUNTIME_H
#define WYK_FOLLOWON_PUBLIC_RUNTIME_H

#include "base/language.h"

// True when anything (a folder too) exists under path.
bool FileExists(const char* path);

// Installs "<kit home>\qor.msi" with all features when it exists, then deletes
// the package and both transforms from the kit's home folder.
void InstallPublicRuntimeSilently(const char* enginePath, LanguageId language,
                                  const char* publicRuntimeFolder);

#endif

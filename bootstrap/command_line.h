// Composes the installer engine's command line for the kit's main package.
#ifndef WYK_BOOTSTRAP_COMMAND_LINE_H
#define WYK_BOOTSTRAP_COMMAND_LINE_H

#include "base/bounded_text.h"
#include "base/language.h"

// "<engine>" /i "<package>" [TRANSFORMS=:<language> ]<arguments> WRAPPER=1
// English needs no transform; any other language names the transform embedded
// in the package under its decimal number. False when the line does not fit.
bool ComposeMainCommandLine(BoundedText& out, const char* enginePath, const char* packagePath,
                            LanguageId language, const char* arguments);

#endif

// The display language of this run, chosen from the user's interface language.
#ifndef WYK_BOOTSTRAP_DISPLAY_LANGUAGE_H
#define WYK_BOOTSTRAP_DISPLAY_LANGUAGE_H

#include "base/language.h"

// Reads the user's interface language and maps it by the kit's rules.
LanguageId SelectDisplayLanguage();

#endif

#include <windows.h>

#include "bootstrap/display_language.h"

// Only the kit's rules exist in this product, so the kind needs no test here.
LanguageId SelectDisplayLanguage() { return LanguageForUiLanguage(GetUserDefaultUILanguage()); }

#include "base/language.h"

LanguageId LanguageForUiLanguage(LanguageId uiLanguage) {
  if (uiLanguage == kLanguageChinesePrc) return kLanguageChinesePrc;
  // Every Japanese sub-language shares the primary language 0x11.
  if ((uiLanguage & 0xFF) == 0x11) return kLanguageJapanese;
  return kLanguageEnglish;
}

bool IsAcceptedLanguage(LanguageId language) {
  return language == kLanguageEnglish || language == kLanguageJapanese ||
         language == kLanguageChinesePrc;
}

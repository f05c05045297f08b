// Display language rules of the kit: which interface languages map to which
// installer transform, and which numbers "/lang=" may choose.
#ifndef WYK_BASE_LANGUAGE_H
#define WYK_BASE_LANGUAGE_H

typedef unsigned short LanguageId;

enum KnownLanguage {
  kLanguageEnglish = 1033,
  kLanguageJapanese = 1041,
  kLanguageChinesePrc = 2052
};

// Maps the user's interface language to the display language of the install.
LanguageId LanguageForUiLanguage(LanguageId uiLanguage);

bool IsAcceptedLanguage(LanguageId language);

#endif

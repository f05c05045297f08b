#include "bootstrap/options.h"

#include <limits.h>

namespace {

const char kLangOption[] = "/lang=";
const char kPublicFolderOption[] = "/INSTALLDIRPUBQOR=";
const char kAddLocal[] = "ADDLOCAL=";

const char* AfterFirstEquals(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == '=') return text + 1;
  }
  return text;
}

bool IsAtoiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Appends " <count bytes of text> " as one passed-on "/v" property list.
bool AppendFramed(BoundedText& out, const char* text, size_t count) {
  return out.AppendChar(' ') && out.AppendN(text, count) && out.AppendChar(' ');
}

}  // namespace

int SaturatingAtoi(const char* text) {
  while (IsAtoiSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = (*text == '-');
    ++text;
  }
  // Accumulate toward the sign's limit so the most negative value is reachable.
  long long value = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > limit) {
      value = limit;
      // Keep consuming digits; the answer is settled.
    }
  }
  return negative ? static_cast<int>(-value) : static_cast<int>(value);
}

bool ParseOptions(int argc, char** argv, BootstrapOptions& options, LanguageId& language) {
  bool fits = true;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (ContainsText(arg, kLangOption)) {
      LanguageId wanted = static_cast<LanguageId>(
          static_cast<unsigned int>(SaturatingAtoi(AfterFirstEquals(arg))) & 0xFFFFu);
      if (IsAcceptedLanguage(wanted)) language = wanted;
    } else if (StartsWith(arg, "/v\"")) {
      // The escaped form: drop "/v", the opening quote and the last character.
      size_t length = BoundedLength(arg, static_cast<size_t>(-1));
      size_t count = length >= 4 ? length - 4 : 0;
      fits = AppendFramed(options.packageArguments, arg + 3, count) && fits;
    } else if (StartsWith(arg, "/v")) {
      const char* rest = arg + 2;
      fits = AppendFramed(options.packageArguments, rest,
                          BoundedLength(rest, static_cast<size_t>(-1))) && fits;
    } else if (TextEquals(arg, "/s")) {
      options.silent = true;
    } else if (ContainsText(arg, kPublicFolderOption)) {
      // A later folder option replaces an earlier one; an overlong one refuses the
      // run all the same, since the user asked for a folder that cannot be used.
      bool folderFits = options.publicRuntimeFolder.Assign(AfterFirstEquals(arg));
      if (!folderFits) options.publicRuntimeFolder.Clear();
      fits = folderFits && fits;
    } else {
      if (ContainsText(arg, kAddLocal)) options.addLocalGiven = true;
      fits = options.packageArguments.Append(arg) && options.packageArguments.AppendChar(' ') &&
             fits;
    }
  }
  return fits;
}

bool ApplySilentDefaults(BootstrapOptions& options) {
  if (!options.silent) return true;
  BoundedText& text = options.packageArguments;
  if (!ContainsText(text.Text(), "/qn") && !text.Append(" /qn")) return false;
  if (!options.addLocalGiven && !text.Append(" ADDLOCAL=PublicqorFeature,ToolsFeature")) return false;
  return true;
}

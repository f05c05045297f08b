#include "bootstrap/command_line.h"

bool ComposeMainCommandLine(BoundedText& out, const char* enginePath, const char* packagePath,
                            LanguageId language, const char* arguments) {
  out.Clear();
  AppendQuoted(out, enginePath);
  out.Append(" /i ");
  AppendQuoted(out, packagePath);
  out.AppendChar(' ');
  if (language != kLanguageEnglish) {
    out.Append("TRANSFORMS=:");
    out.AppendDecimal(language);
    out.AppendChar(' ');
  }
  out.Append(arguments);
  out.Append(" WRAPPER=1");
  return out.Fits();
}

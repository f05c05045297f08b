#include "followon/followon_rules.h"

#include "base/bounded_text.h"

const char kOldUpdateServiceRemovalArguments[] =
    " /x {6C1E2B90-3D4F-4A7B-9E21-0B5D8C3F7A42} /qn";

namespace {
const char kLeastKeptUpdateServiceVersion[] = "2.1.5.1";
}

bool ComposeRuntimePackagePath(BoundedText& out, const char* kitHome) {
  return ComposeKitHomeFilePath(out, kitHome, "qor.msi");
}

bool ComposeKitHomeFilePath(BoundedText& out, const char* kitHome, const char* fileName) {
  out.Clear();
  out.Append(kitHome);
  out.AppendChar('\\');
  out.Append(fileName);
  return out.Fits();
}

bool ComposeRuntimeCommandLine(BoundedText& out, const char* enginePath, const char* packagePath,
                               const char* kitHome, LanguageId language,
                               const char* publicRuntimeFolder) {
  out.Clear();
  AppendQuoted(out, enginePath);
  out.Append(" /i ");
  AppendQuoted(out, packagePath);
  if (language != kLanguageEnglish) {
    out.Append(" TRANSFORMS=\"");
    out.Append(kitHome);
    out.Append("\\qor");
    out.AppendDecimal(language);
    out.Append(".MST\"");
  }
  out.Append(" /qn ADDLOCAL=ALL SDKSILENT=1");
  if (publicRuntimeFolder[0] != '\0') {
    out.Append(" INSTALLDIR=");
    const char* folder = publicRuntimeFolder;
    if (ContainsText(folder, " ") && !ContainsText(folder, "\"")) {
      AppendQuoted(out, publicRuntimeFolder);
    } else {
      out.Append(publicRuntimeFolder);
    }
  }
  return out.Fits();
}

bool ComposeUpdateServiceInstallLine(BoundedText& out, const char* enginePath,
                                     const char* packagePath) {
  out.Clear();
  AppendQuoted(out, enginePath);
  out.Append(" /i ");
  AppendQuoted(out, packagePath);
  out.Append(" ALLUSERS=1 /qn");
  return out.Fits();
}

bool ComposeRegistrationCommandLine(BoundedText& out, const char* commonFilesFolder,
                                    const char* buildString) {
  out.Clear();
  out.AppendChar('"');
  out.Append(commonFilesFolder);
  out.Append("\\Tavro\\Tavro Update\\tvaureg.exe\" -r qor ");
  out.Append(buildString);
  return out.Fits();
}

bool IsOlderUpdateServiceVersion(const char* recorded, size_t capacity, TextOrder order) {
  if (BoundedLength(recorded, capacity) >= capacity) return false;
  return order(recorded, kLeastKeptUpdateServiceVersion) < 0;
}

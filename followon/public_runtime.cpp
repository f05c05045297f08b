#include "followon/public_runtime.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/folder_rules.h"
#include "base/product_constants.h"
#include "followon/followon_rules.h"
#include "platform/process_runner.h"
#include "platform/vendor_values.h"

namespace {

void DeleteFromKitHome(const char* kitHome, const char* fileName) {
  FixedText<kLineCapacity> path;
  if (ComposeKitHomeFilePath(path, kitHome, fileName)) DeleteFileA(path.Text());
}

}  // namespace

bool FileExists(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

void InstallPublicRuntimeSilently(const char* enginePath, LanguageId language,
                                  const char* publicRuntimeFolder) {
  FixedText<kLineCapacity> kitHome;
  if (!ReadDevKitHome(kitHome.Data(), kitHome.Capacity()) || !kitHome.AdoptWritten()) return;
  // A home that is not absolute, or that has no exact 8-bit name, counts as
  // missing: run nothing, delete nothing (an empty one would point the
  // deletions at the root of the current drive, a best-fit one at a look-alike).
  if (!IsAbsoluteFolder(kitHome.Text())) return;

  FixedText<kLineCapacity> package;
  if (ComposeRuntimePackagePath(package, kitHome.Text()) && FileExists(package.Text())) {
    FixedText<kLineCapacity> commandLine;
    // A line that does not fit is not run: a cut line could install elsewhere.
    if (ComposeRuntimeCommandLine(commandLine, enginePath, package.Text(), kitHome.Text(), language,
                                  publicRuntimeFolder)) {
      RunAndWait(commandLine.Data());
    }
  }

  DeleteFromKitHome(kitHome.Text(), "qor.msi");
  DeleteFromKitHome(kitHome.Text(), "qor2052.MST");
  DeleteFromKitHome(kitHome.Text(), "qor1041.MST");
}

#include "followon/update_service.h"

#include <shlobj.h>

#include "bootstrap/bounded_text.h"
#include "bootstrap/product_constants.h"
#include "followon/followon_rules.h"
#include "payload/cache_folder.h"
#include "payload/cache_paths.h"
#include "payload/extract_resource.h"
#include "payload/payload_resource.h"
#include "platform/installer_engine.h"
#include "platform/process_runner.h"
#include "platform/vendor_values.h"

namespace {

// "<folder><file name>" into a path; false when it does not fit.
bool ComposeInFolder(BoundedText& out, const char* folder, const char* fileName) {
  out.Clear();
  return out.Append(folder) && out.Append(fileName);
}

int ExtractUpdateServiceFile(HMODULE module, WORD id, const char* path) {
  const PayloadResource* row = FindPayloadResource(id);
  return row == 0 ? 0 : ExtractResourceToFile(module, row->id, row->typeName, path);
}

}  // namespace

bool NeedsOldUpdateServiceRemoval() {
  char version[kLineCapacity];
  ZeroMemory(version, sizeof(version));
  if (!ReadUpdateServiceVersion(version, sizeof(version))) return false;
  return IsOlderUpdateServiceVersion(version, sizeof(version));
}

DWORD RemoveOldUpdateService() {
  FixedText<kLineCapacity> engine;
  LocateMsiexec(engine);
  // The platform may write into the command line, so it gets a copy.
  FixedText<64> argumentText;
  argumentText.Assign(kOldUpdateServiceRemovalArguments);
  return RunAndWaitPumping(engine.Text(), argumentText.Data());
}

void InstallUpdateService(HMODULE module) {
  FixedText<kPathCapacity> engine;
  FixedText<kPathCapacity> userData;
  FixedText<kPathCapacity> folder;
  FixedText<kPathCapacity> package;
  FixedText<kPathCapacity> cabinet;

  LocateMsiexec(engine);
  // Without a user data folder, or with paths that do not fit, the step is skipped:
  // composing from an empty folder would write to the root of the current drive.
  if (!GetUserDataFolder(userData) || userData.IsEmpty()) return;
  if (!ComposeUpdateServiceFolder(folder, userData.Text())) return;
  CreateDirectoryA(folder.Text(), NULL);
  if (!ComposeInFolder(package, folder.Text(), "au.msi") ||
      !ComposeInFolder(cabinet, folder.Text(), "au.cab")) {
    return;
  }

  ExtractUpdateServiceFile(module, kUpdateServiceCabinetId, cabinet.Text());
  if (!ExtractUpdateServiceFile(module, kUpdateServicePackageId, package.Text())) return;

  if (NeedsOldUpdateServiceRemoval()) RemoveOldUpdateService();

  FixedText<kLineCapacity> commandLine;
  if (ComposeUpdateServiceInstallLine(commandLine, engine.Text(), package.Text())) {
    RunAndWait(commandLine.Data());
  }

  char commonFiles[MAX_PATH];
  commonFiles[0] = '\0';
  if (FAILED(SHGetFolderPathA(NULL, CSIDL_PROGRAM_FILES_COMMON, NULL, 0, commonFiles))) return;
  if (ComposeRegistrationCommandLine(commandLine, commonFiles, kProduct.buildString)) {
    RunAndWait(commandLine.Data());
  }
}

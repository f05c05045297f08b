#include "followon/update_service.h"

#include "base/bounded_text.h"
#include "base/product_constants.h"
#include "followon/followon_rules.h"
#include "platform/system_info.h"
#include "cache/cache_paths.h"
#include "cache/cache_levels.h"
#include "payload/extract_resource.h"
#include "payload/payload_resource.h"
#include "platform/installer_engine.h"
#include "platform/process_runner.h"
#include "platform/vendor_values.h"

namespace {

// "<folder><file name of the row>" into a path; false when it does not fit.
bool ComposeInFolder(BoundedText& out, const char* folder, const PayloadResource& row) {
  out.Clear();
  return out.Append(folder) && out.Append(row.targetFileName);
}

// The platform's collation (it differs from byte order for "-", for letter
// case and other signs), as the versions were always meant to be compared.
int CollateLikeThePlatform(const char* a, const char* b) { return lstrcmpA(a, b); }

}  // namespace

bool NeedsOldUpdateServiceRemoval() {
  // Read raw, so a value without a terminating zero must find zeros, not stale bytes.
  FixedText<kLineCapacity> version;
  ZeroMemory(version.Data(), version.Capacity());
  if (!ReadUpdateServiceVersion(version.Data(), version.Capacity())) return false;
  return IsOlderUpdateServiceVersion(version.Text(), version.Capacity(), CollateLikeThePlatform);
}

ChildRun RemoveOldUpdateService() {
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
  // "<user data>\Halvec\" and "...\Tavro\" are held since the kit cache
  // folder was made; "...\AU\" is made, checked and held here. One that cannot
  // be held shows up when the files in it are made.
  CreateRealFolderLevels(folder.Text(), userData.Length());
  // The table always holds both rows; a module may still lack their resources.
  const PayloadResource* packageRow = FindPayloadResource(kUpdateServicePackageId);
  const PayloadResource* cabinetRow = FindPayloadResource(kUpdateServiceCabinetId);
  if (packageRow == 0 || cabinetRow == 0 || !ComposeInFolder(package, folder.Text(), *packageRow) ||
      !ComposeInFolder(cabinet, folder.Text(), *cabinetRow)) {
    return;
  }

  ExtractResourceToFile(module, cabinetRow->id, cabinetRow->typeName, cabinet.Text());
  if (!ExtractResourceToFile(module, packageRow->id, packageRow->typeName, package.Text())) return;

  if (NeedsOldUpdateServiceRemoval()) RemoveOldUpdateService();

  FixedText<kLineCapacity> commandLine;
  if (ComposeUpdateServiceInstallLine(commandLine, engine.Text(), package.Text())) {
    RunAndWait(commandLine.Data());
  }

  FixedText<MAX_PATH> commonFiles;
  if (!GetCommonFilesFolder(commonFiles)) return;
  if (ComposeRegistrationCommandLine(commandLine, commonFiles.Text(), kProduct.buildString)) {
    RunAndWait(commandLine.Data());
  }
}

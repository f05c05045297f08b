#include "bootstrap/run_bootstrap.h"

#include <stdlib.h>

#include "base/bounded_text.h"
#include "base/exit_codes.h"
#include "base/language.h"
#include "base/product_constants.h"
#include "bootstrap/command_line.h"
#include "bootstrap/display_language.h"
#include "bootstrap/options.h"
#include "diagnostics/error_box.h"
#include "followon/public_runtime.h"
#include "followon/update_service.h"
#include "payload/cabinet_thread.h"
#include "cache/cache_folder.h"
#include "payload/extract_resource.h"
#include "payload/payload_resource.h"
#include "platform/installer_engine.h"
#include "platform/process_runner.h"
#include "platform/system_library.h"
#include "platform/vendor_values.h"

namespace {

const int kStringEngineTooOld = 4;

int RefuseOldEngine(HMODULE module) {
  FixedText<kLineCapacity> message;
  // LoadStringA always ends the text within the buffer; a missing string leaves it empty.
  LoadStringA(module, kStringEngineTooOld, message.Data(), static_cast<int>(message.Capacity()));
  message.AdoptWritten();
  ShowErrorBox(message.Text(), "", MB_ICONERROR);
  return kExitEngineTooOld;
}

// The cabinet thread runs beside the engine; a run never returns while it is
// still writing, so no cabinet is left cut short in the cache folder.
void StartCabinetStaging(HMODULE module) {
  OpenCabinetsReadyEvent();  // held open until the process ends, never closed
  StartCabinetThread(module);
}

int FinishRun(int exitCode) {
  WaitForCabinetThread();
  return exitCode;
}

int ExitCodeForCachePath(CachePathResult result) {
  switch (result) {
    case kCachePathNoUserFolder:
      return kExitPathNotFound;
    case kCachePathNoExactName:
      return kExitNoExactFolderName;
    case kCachePathBusy:
      return kExitAnotherRunHoldsCache;
    default:
      return kExitFilenameTooLong;
  }
}

}  // namespace

int ExitCodeOfEngineRun(const ChildRun& run) {
  // An engine that cannot be started ends the run like a missing package.
  return run.started ? static_cast<int>(run.exitCode) : kExitNoPackageOrNoStart;
}

int RunBootstrap(HMODULE module, int argc, char** argv) {
  RestrictDllSearchPath("");
  // Chosen once here, replaceable by "/lang=", then only read. The run's texts
  // all live in this frame: nothing global needs constructing before the entry.
  LanguageId displayLanguage = SelectDisplayLanguage();

  BootstrapOptions options;
  // Options that do not fit are refused before anything is written.
  if (!ParseOptions(argc, argv, options, displayLanguage) || !ApplySilentDefaults(options)) {
    return kExitInvalidCommandLine;
  }
  bool is64 = IsArchitecture64(kProduct);

  if (!CheckInstallerEngineVersion()) return RefuseOldEngine(module);

  FixedText<kPathCapacity> packagePath;
  CachePathResult pathResult = CreateCacheFolderAndPackagePath(packagePath, is64);
  if (pathResult != kCachePathReady) return ExitCodeForCachePath(pathResult);

  // A missing row ends the run as a missing resource does: nothing is written.
  const PayloadResource* mainPackage = FindPayloadResource(kMainPackageId);
  if (mainPackage == 0 ||
      !ExtractResourceToFile(module, mainPackage->id, mainPackage->typeName, packagePath.Text())) {
    return kExitNoPackageOrNoStart;
  }

  FixedText<kPathCapacity> enginePath;
  if (!LocateMsiexec(enginePath)) return kExitEngineNotFound;

  FixedText<kLineCapacity> commandLine;
  if (!ComposeMainCommandLine(commandLine, enginePath.Text(), packagePath.Text(), displayLanguage,
                              options.packageArguments.Text())) {
    return kExitInvalidCommandLine;
  }

  StartCabinetStaging(module);
  int exitCode = ExitCodeOfEngineRun(RunAndWait(commandLine.Data()));

  FixedText<kInstallStatusCapacity> installStatus;
  ReadVendorString("InstallStatus", installStatus.Data(), installStatus.Capacity());
  if (TextEquals(installStatus.Text(), "reinstall")) {
    ClearInstallStatus();
    exitCode = ExitCodeOfEngineRun(RunAndWait(commandLine.Data()));
  }

  if (options.silent) {
    InstallPublicRuntimeSilently(enginePath.Text(), displayLanguage,
                                 options.publicRuntimeFolder.Text());
  }

  if (exitCode == 0 && IsRuntimeRegistered() && !is64) InstallUpdateService(module);
  return FinishRun(exitCode);
}

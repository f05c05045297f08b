#include "bootstrap/run_bootstrap.h"

#include <stdlib.h>

#include "bootstrap/bounded_text.h"
#include "bootstrap/command_line.h"
#include "bootstrap/language.h"
#include "bootstrap/options.h"
#include "bootstrap/product_constants.h"
#include "followon/public_runtime.h"
#include "followon/update_service.h"
#include "payload/cabinet_thread.h"
#include "payload/cache_folder.h"
#include "payload/extract_resource.h"
#include "payload/payload_resource.h"
#include "platform/installer_engine.h"
#include "platform/process_runner.h"
#include "platform/system_library.h"
#include "platform/vendor_values.h"

namespace {

// Written once at start, replaceable by "/lang=", then only read. The engine
// path lives for the whole run in RunBootstrap's frame: no global object needs
// constructing before the entry runs.
LanguageId displayLanguage = kLanguageEnglish;

const int kStringEngineTooOld = 4;

int RefuseOldEngine(HMODULE module) {
  char message[kLineCapacity];
  message[0] = '\0';
  LoadStringA(module, kStringEngineTooOld, message, sizeof(message));
  MessageBoxA(NULL, message, "", MB_ICONERROR);
  return kExitEngineTooOld;
}

// The cabinet thread runs beside the engine; a run never returns while it is
// still writing, so no cabinet is left cut short in the cache folder.
HANDLE StartCabinetStaging(HMODULE module) {
  OpenCabinetsReadyEvent();  // held open until the process ends, never closed
  DWORD threadId = 0;
  return CreateThread(NULL, 0, CabinetExtractionThread, module, 0, &threadId);
}

int FinishRun(HANDLE cabinetThread, int exitCode) {
  if (cabinetThread != NULL) {
    WaitForSingleObject(cabinetThread, INFINITE);
    CloseHandle(cabinetThread);
  }
  return exitCode;
}

}  // namespace

int RunBootstrap(HMODULE module, int argc, char** argv) {
  RestrictDllSearchPath("");
  displayLanguage = SelectDisplayLanguage();

  BootstrapOptions options;
  // Options that do not fit are refused before anything is written.
  if (!ParseOptions(argc, argv, options, displayLanguage) || !ApplySilentDefaults(options)) {
    return kExitInvalidCommandLine;
  }
  bool is64 = IsArchitecture64(kProduct);

  if (!CheckInstallerEngineVersion()) return RefuseOldEngine(module);

  FixedText<kPathCapacity> packagePath;
  CachePathResult pathResult = BuildPackagePath(packagePath, is64);
  if (pathResult != kCachePathReady) return pathResult;

  const PayloadResource* mainPackage = FindPayloadResource(kMainPackageId);
  if (!ExtractResourceToFile(module, mainPackage->id, mainPackage->typeName, packagePath.Text())) {
    return kExitNoPackageOrNoStart;
  }

  FixedText<kPathCapacity> enginePath;
  if (!LocateMsiexec(enginePath)) return kExitEngineNotFound;

  FixedText<kLineCapacity> commandLine;
  if (!ComposeMainCommandLine(commandLine, enginePath.Text(), packagePath.Text(), displayLanguage,
                              options.packageArguments.Text())) {
    return kExitInvalidCommandLine;
  }

  HANDLE cabinetThread = StartCabinetStaging(module);
  int exitCode = static_cast<int>(RunAndWait(commandLine.Data()));

  char installStatus[kInstallStatusCapacity];
  installStatus[0] = '\0';
  ReadVendorString("InstallStatus", installStatus, sizeof(installStatus));
  if (TextEquals(installStatus, "reinstall")) {
    ClearInstallStatus();
    exitCode = static_cast<int>(RunAndWait(commandLine.Data()));
  }

  if (options.silent) {
    InstallPublicRuntimeSilently(enginePath.Text(), displayLanguage,
                                 options.publicRuntimeFolder.Text());
  }

  if (exitCode == 0 && IsRuntimeRegistered() && !is64) InstallUpdateService(module);
  return FinishRun(cabinetThread, exitCode);
}

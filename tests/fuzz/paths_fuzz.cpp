// Cache paths and the follow-on command lines from arbitrary folder texts.
#include "base/product_constants.h"
#include "followon/followon_rules.h"
#include "fuzz_input.h"
#include "cache/cache_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces = SplitOnZero(data, size);
  pieces.resize(3);
  const char* folder = pieces[0].c_str();

  FixedText<kPathCapacity> path;
  bool fits = path.Assign(folder);
  for (int level = 0; fits && level < kCacheFolderLevelCount; ++level) {
    fits = AppendCacheFolderLevel(path, level, kProduct, size % 2 == 0);
  }
  if (fits) fits = AppendPackageFileName(path, kProduct);
  CheckTerminated(path.Text(), path.Length(), kPathCapacity);
  if (fits != (pieces[0].size() + strlen("\\Halvec\\Tavro\\wyk1.7.0\\wyk1.7.0.msi") +
                       (size % 2 == 0 ? 4 : 0) <=
                   kPathCapacity - 1)) {
    __builtin_trap();
  }

  FixedText<kPathCapacity> au;
  ComposeUpdateServiceFolder(au, folder);
  CheckTerminated(au.Text(), au.Length(), kPathCapacity);

  FixedText<kLineCapacity> line;
  LanguageId language = static_cast<LanguageId>(size % 3 == 0 ? 1033 : size % 3 == 1 ? 1041 : 2052);
  if (ComposeRuntimeCommandLine(line, "C:\\msiexec.exe", pieces[1].c_str(), folder, language,
                                pieces[2].c_str())) {
    CheckTerminated(line.Text(), line.Length(), kLineCapacity);
  }
  if (ComposeRegistrationCommandLine(line, folder, "1.7.0-b147")) {
    CheckTerminated(line.Text(), line.Length(), kLineCapacity);
    if (line.Text()[0] != '"') __builtin_trap();
  }
  return 0;
}

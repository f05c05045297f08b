// Option scanning, silent defaults and the composed engine command line.
#include "bootstrap/command_line.h"
#include "bootstrap/options.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces = SplitOnZero(data, size);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>("setup.exe"));
  for (size_t i = 0; i < pieces.size(); ++i) argv.push_back(&pieces[i][0]);

  BootstrapOptions options;
  LanguageId language = kLanguageEnglish;
  bool fits = ParseOptions(static_cast<int>(argv.size()), argv.data(), options, language);
  if (!IsAcceptedLanguage(language)) __builtin_trap();
  CheckTerminated(options.packageArguments.Text(), options.packageArguments.Length(), 1024);
  CheckTerminated(options.publicRuntimeFolder.Text(), options.publicRuntimeFolder.Length(), 1024);
  if (!fits) return 0;

  options.silent = options.silent || (size > 0 && data[0] & 1);
  if (!ApplySilentDefaults(options)) return 0;
  if (options.silent && strstr(options.packageArguments.Text(), "/qn") == NULL) __builtin_trap();

  FixedText<1024> line;
  if (ComposeMainCommandLine(line, "C:\\Windows\\system32\\msiexec.exe",
                             "C:\\Users\\u\\AppData\\LocalLow\\Halvec\\Tavro\\wyk1.7.0\\wyk1.7.0.msi",
                             language, options.packageArguments.Text())) {
    CheckTerminated(line.Text(), line.Length(), 1024);
    size_t n = line.Length();
    if (n < 10 || strcmp(line.Text() + n - 10, " WRAPPER=1") != 0) __builtin_trap();
  }
  return 0;
}

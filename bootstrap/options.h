// The bootstrapper's own command-line options and the text it passes on to the
// installer engine.
#ifndef WYK_BOOTSTRAP_OPTIONS_H
#define WYK_BOOTSTRAP_OPTIONS_H

#include "base/bounded_text.h"
#include "base/language.h"
#include "base/product_constants.h"

struct BootstrapOptions {
  BootstrapOptions() : silent(false), addLocalGiven(false) {}

  bool silent;
  bool addLocalGiven;
  FixedText<kLineCapacity> publicRuntimeFolder;
  FixedText<kLineCapacity> packageArguments;

 private:
  BootstrapOptions(const BootstrapOptions&);
  BootstrapOptions& operator=(const BootstrapOptions&);
};

// Scans argv[1..argc-1]. "/lang=" may replace the display language. Returns
// false when the passed-on arguments or the public runtime folder do not fit
// their 1023 characters; the run must then be refused, nothing is cut.
bool ParseOptions(int argc, char** argv, BootstrapOptions& options, LanguageId& language);

// In silent mode: " /qn" unless the text already holds "/qn", then the default
// feature list unless ADDLOCAL was given. False when the result does not fit.
bool ApplySilentDefaults(BootstrapOptions& options);

// The platform's atoi, without its undefined behaviour: leading white space,
// optional sign, decimal digits; out-of-range values saturate to INT_MIN/INT_MAX.
int SaturatingAtoi(const char* text);

#endif

// Build-time constants of this product build. The architecture comes from the
// build (WYK_ARCH); everything else is fixed for release 1.7.0 of the kit.
#ifndef WYK_BASE_PRODUCT_CONSTANTS_H
#define WYK_BASE_PRODUCT_CONSTANTS_H

#ifndef WYK_ARCH
#define WYK_ARCH "i586"
#endif

struct ProductConstants {
  const char* kind;
  const char* version;
  const char* cabinetDigits[4];
  const char* buildString;
  const char* architecture;
  const char* architecture64;
  const char* packageResourceType;
  unsigned short mainPackageResourceId;
};

extern const ProductConstants kProduct;

// True when the architecture names the 64-bit build (compared without regard to case).
bool IsArchitecture64(const ProductConstants& product);

// The platform's path limit, terminating zero included, and the room of every
// command line, argument text and registry text.
enum TextCapacity {
  kPathCapacity = 260,
  kLineCapacity = 1024,
  kInstallStatusCapacity = 512
};

#endif

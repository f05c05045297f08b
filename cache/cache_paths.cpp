#include "cache/cache_paths.h"

bool AppendCacheFolderLevel(BoundedText& path, int level, const ProductConstants& product,
                            bool is64) {
  switch (level) {
    case 0:
      return path.Append("\\Halvec\\");
    case 1:
      return path.Append("Tavro\\");
    case 2:
      return path.Append(product.kind) && path.Append(product.version) &&
             (!is64 || path.Append("_x64"));
    default:
      return false;
  }
}

bool AppendPackageFileName(BoundedText& path, const ProductConstants& product) {
  return path.AppendChar('\\') && path.Append(product.kind) && path.Append(product.version) &&
         path.Append(".msi");
}

bool AppendCabinetFileName(BoundedText& path, const char* baseName) {
  return AppendCacheFileName(path, baseName) && path.Append(".cab");
}

bool AppendCacheFileName(BoundedText& path, const char* fileName) {
  return path.AppendChar('\\') && path.Append(fileName);
}

bool ComposeCabinetBaseName(BoundedText& out, const char* prefix, const ProductConstants& product) {
  out.Clear();
  out.Append(prefix);
  for (int i = 0; i < 4; ++i) out.Append(product.cabinetDigits[i]);
  out.AppendChar('0');
  return out.Fits();
}

bool ComposeUpdateServiceFolder(BoundedText& out, const char* userDataFolder) {
  out.Clear();
  out.Append(userDataFolder);
  out.Append("\\Halvec\\Tavro\\AU\\");
  return out.Fits();
}

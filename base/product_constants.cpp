#include "base/product_constants.h"

#include "base/bounded_text.h"

const ProductConstants kProduct = {
    "wyk",
    "1.7.0",
    {"1", "7", "0", "00"},
    "1.7.0-b147",
    WYK_ARCH,
    "amd64",
    "TAVRO_INSTALLER",
    101,
};

bool IsArchitecture64(const ProductConstants& product) {
  return TextEqualsIgnoreAsciiCase(product.architecture, product.architecture64);
}

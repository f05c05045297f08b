#include "base/folder_text.h"

#include "base/product_constants.h"

namespace {

// Not declared for every target system; the platform has known it since Vista.
const DWORD kErrorOnInvalidChars = 0x00000080;  // WC_ERR_INVALID_CHARS

FolderTextResult ConvertExactly(const wchar_t* wide, BoundedText& out) {
  out.Clear();
  BOOL usedDefault = FALSE;
  // A UTF-8 code page takes neither the no-best-fit flag nor the default
  // character report; there only a lone surrogate has no exact form.
  bool utf8 = GetACP() == CP_UTF8;
  int converted = WideCharToMultiByte(CP_ACP, utf8 ? kErrorOnInvalidChars : WC_NO_BEST_FIT_CHARS,
                                      wide, -1, out.Data(), static_cast<int>(out.Capacity()), NULL,
                                      utf8 ? NULL : &usedDefault);
  if (converted == 0) {
    bool tooLong = GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    out.Clear();
    return tooLong ? kFolderTextTooLong : kFolderTextNoExactForm;
  }
  if (usedDefault || !out.AdoptWritten()) {
    out.Clear();
    return kFolderTextNoExactForm;
  }
  return kFolderTextReady;
}

}  // namespace

FolderTextResult FolderToAnsiText(const wchar_t* folder, BoundedText& out) {
  FolderTextResult own = ConvertExactly(folder, out);
  if (own != kFolderTextNoExactForm) return own;
  wchar_t shortForm[kPathCapacity];
  DWORD length = GetShortPathNameW(folder, shortForm, kPathCapacity);
  // A short form longer than the path limit would not fit as 8-bit text either.
  if (length == 0) return kFolderTextNoExactForm;
  if (length >= kPathCapacity) return kFolderTextTooLong;
  return ConvertExactly(shortForm, out);
}

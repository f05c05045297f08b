// The product family's values under HKEY_LOCAL_MACHINE.
#ifndef WYK_PLATFORM_VENDOR_VALUES_H
#define WYK_PLATFORM_VENDOR_VALUES_H

#include <stddef.h>

// A value of the vendor key "Software\Orvale": 1 when read and not empty.
int ReadVendorString(const char* name, char* buffer, size_t capacity);

// Sets a value of the vendor key, or with text null deletes it and then the
// vendor key itself once nothing is left in it. The key is never created.
// 1 when the vendor key could be opened for writing.
int WriteVendorString(const char* name, const char* text);

// Removes the re-run request "InstallStatus"; always 1.
int ClearInstallStatus();

// "TavroHome" of the kit's version key, read as its wide value and turned into
// 8-bit text exactly or through the folder's short form; 1 when read so (an
// empty text counts), 0 when missing, not a complete text, or without such a form.
int ReadDevKitHome(char* buffer, size_t capacity);

// 1 when the runtime's version key exists and can be opened for reading.
int IsRuntimeRegistered();

// "AUVersion" read raw (type not judged) into the buffer; 1 when read.
int ReadUpdateServiceVersion(char* buffer, size_t capacity);

#endif

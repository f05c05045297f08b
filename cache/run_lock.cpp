#include "cache/run_lock.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "base/bounded_text.h"
#include "base/product_constants.h"
#include "diagnostics/diagnostic_log.h"

namespace {

// Taken once per process; asking again is no second run.
bool lockHeld = false;

// Big enough for TOKEN_USER with the longest SID.
union UserBuffer {
  TOKEN_USER user;
  BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

bool FindUser(UserBuffer& buffer) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  BOOL found = GetTokenInformation(token, TokenUser, &buffer, sizeof(buffer), &size);
  CloseHandle(token);
  return found != FALSE;
}

bool ComposeLockName(BoundedText& name, PSID user) {
  char* text = NULL;
  if (!ConvertSidToStringSidA(user, &text)) return false;
  bool fits = name.Assign("Global\\HalvecTavroRun.") && name.Append(text);
  LocalFree(text);
  return fits;
}

// A run names its user as the object's owner; nobody else can, short of
// rights that would let them stop any install anyway.
bool MadeByARun(HANDLE lock, PSID user) {
  PSID owner = NULL;
  PSECURITY_DESCRIPTOR descriptor = NULL;
  if (GetSecurityInfo(lock, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL,
                      NULL, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool made = owner != NULL && EqualSid(owner, user);
  LocalFree(descriptor);
  return made;
}

bool GoOnWithoutLock() {
  LogDiagnostic("The run lock could not be taken; the run goes on without it.");
  return true;
}

}  // namespace

bool TakeRunLock() {
  if (lockHeld) return true;
  UserBuffer user;
  FixedText<kPathCapacity> name;
  if (!FindUser(user) || !ComposeLockName(name, user.user.User.Sid)) return GoOnWithoutLock();
  // The owner is set, not left to the platform's default (the
  // administrators, for an elevated run); the access stays the default.
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&descriptor, user.user.User.Sid, FALSE);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
  // Held until the process ends: deliberately never closed.
  HANDLE lock = CreateMutexA(&attributes, FALSE, name.Text());
  if (lock == NULL) return GoOnWithoutLock();
  if (GetLastError() != ERROR_ALREADY_EXISTS) return lockHeld = true;
  if (MadeByARun(lock, user.user.User.Sid)) return false;
  return GoOnWithoutLock();  // taken by an object no run made
}

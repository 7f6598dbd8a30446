// Runtime discovery: reads the runtime's registration and tests its executable. Nothing is
// reported; every failed read counts as an absent value.
#include "launcher/discovery.h"

#include <windows.h>

#include "launcher/run_state.h"
#include "launcher/version_number.h"

static_assert(KEY_READ == 0x20019, "the key is opened for reading only");

namespace {

// An installed runtime's executable path; a longer registered path is treated as absent,
// since the ANSI file calls could not reach it anyway.
const DWORD kPathSize = MAX_PATH;

bool OpenRuntimeKey(HKEY* key) {
  // The identifier follows the prefix directly: the prefix already ends with a backslash.
  TText name(kRuntimeKeyPrefix);
  if (!name.Append(Run.RuntimeId)) return false;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, name.CStr(), 0, KEY_READ, key) == ERROR_SUCCESS;
}

// A REG_SZ value whose data fits in buf and carries its own terminator; otherwise buf holds
// the empty text. Registry strings need not be terminated, and the registry hands back any
// type under any name, so nothing else is trusted.
void ReadText(HKEY key, const char* name, char* buf, DWORD size) {
  DWORD type = REG_NONE;
  DWORD got = size;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &got);
  if (rc != ERROR_SUCCESS || type != REG_SZ || got == 0 || got > size || buf[got - 1] != '\0')
    buf[0] = '\0';
}

// A REG_DWORD value of exactly four bytes; otherwise 0. The buffer is larger than four bytes
// so that an oversized value is seen as such rather than cut short.
uint32_t ReadNumber(HKEY key, const char* name) {
  BYTE data[8];
  DWORD type = REG_NONE;
  DWORD got = sizeof data;
  if (RegQueryValueExA(key, name, nullptr, &type, data, &got) != ERROR_SUCCESS ||
      type != REG_DWORD || got != sizeof(DWORD))
    return 0;
  DWORD value;
  CopyMemory(&value, data, sizeof value);
  return value;
}

// RuntimePath := value "Path"; HaveRuntime := true when it names an existing file.
void TakeRegisteredPath(HKEY key) {
  char path[kPathSize];
  ReadText(key, "Path", path, sizeof path);
  Run.RuntimePath.Assign(path);
  if (FileExists(path)) Run.HaveRuntime = true;
}

}  // namespace

bool FileExists(const char* path) {
  if (!path || !*path) return false;
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void FindInstalledRuntime() {
  Run.HaveRuntime = false;
  HKEY key;
  if (!OpenRuntimeKey(&key)) return;
  TakeRegisteredPath(key);
  // A runtime of another version serves this publication only when it says so under the
  // required version's own text; there is no ordering of versions.
  if (ReadNumber(key, "Version") != RequiredVersionNumber(Run.RequiredVersion.CStr())) {
    char marker[4];
    ReadText(key, Run.RequiredVersion.CStr(), marker, sizeof marker);
    if (marker[0] != '1' || marker[1] != '\0') Run.HaveRuntime = false;
  }
  if (Run.HaveRuntime) Run.UseTempRuntime = false;
  RegCloseKey(key);
}

void ReadInstalledRuntimePath() {
  HKEY key;
  if (OpenRuntimeKey(&key)) {
    TakeRegisteredPath(key);
    RegCloseKey(key);
  } else {
    Run.RuntimePath.Clear();
  }
  Run.UseTempRuntime = false;
}

#include "launcher/system_library.h"

#include <string.h>

void RestrictDllSearch() {
  typedef BOOL(WINAPI * TSetDefaultDllDirectories)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  // Looked up at run time: systems before Windows 8 without KB2533623 lack it, and an
  // import would stop the launcher from starting there at all.
  TSetDefaultDllDirectories setDirectories =
      kernel ? reinterpret_cast<TSetDefaultDllDirectories>(
                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
             : nullptr;
  if (setDirectories) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH];
  // A bare file name only: anything with a directory part could leave the system folder.
  if (strpbrk(name, "\\/:")) return nullptr;
  size_t nameLength = strlen(name);
  UINT dirLength = GetSystemDirectoryA(path, MAX_PATH);
  if (dirLength == 0 || dirLength + 1 + nameLength >= MAX_PATH) return nullptr;
  path[dirLength] = '\\';
  memcpy(path + dirLength + 1, name, nameLength + 1);
  return LoadLibraryA(path);
}

#include <windows.h>

#include "launcher/resource_stream.h"

void CopyResourceToStream(const char* name, TStream& stream) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC info = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!info) return;
  DWORD size = SizeofResource(module, info);
  HGLOBAL handle = LoadResource(module, info);
  const void* bytes = handle ? LockResource(handle) : nullptr;
  if (bytes && size) stream.Write(bytes, size);
}

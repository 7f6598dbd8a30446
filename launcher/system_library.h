// DLL loading confined to the system directory. A publication is usually started from a
// download folder, where anyone may have left a DLL named like a system one.
#pragma once
#include <windows.h>

// Makes the system directory the only default search place for later loads, where the
// system can do that. Call first thing at entry.
void RestrictDllSearch();
// Loads a system DLL by its full path in the system directory, whatever the search order;
// null when the name does not fit or the DLL cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

// Placeholder until the viewer launch lands.
#include "launcher/launch.h"

BOOL RunProcess(const char*, const char*, const char*, WORD, DWORD, BOOL, HANDLE*) { return FALSE; }
bool IsNtFamily() { return true; }
void LaunchViewer() {}

// Starting the runtime on the publication, and the process runner it and the installer use.
#pragma once
#include <windows.h>

BOOL RunProcess(const char* application, const char* parameters, const char* directory, WORD show,
                DWORD waitTime, BOOL waitForInputIdle, HANDLE* handlePlace);
bool IsNtFamily();
void LaunchViewer();

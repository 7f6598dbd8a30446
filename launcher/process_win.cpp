// The process runner shared by the viewer launch and the installer step, and the platform
// test that decides whether a started program can be waited for until it takes input.
#include "launcher/args.h"
#include "launcher/launch.h"

static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "the 32-bit start record is 68 bytes");

BOOL RunProcess(const char* application, const char* parameters, const char* directory, WORD show,
                DWORD waitTime, BOOL waitForInputIdle, HANDLE* handlePlace) {
  // CreateProcessA may write into the command line, so it gets a buffer of its own.
  TText commandLine = BuildCommandLine(application, parameters);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show;
  DWORD flags = CREATE_NEW_CONSOLE;
  if (show == SW_HIDE) flags |= CREATE_NO_WINDOW;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (!CreateProcessA(nullptr, commandLine.Data(), nullptr, nullptr, FALSE, flags, nullptr,
                      directory && *directory ? directory : nullptr, &startup, &process))
    return FALSE;
  CloseHandle(process.hThread);
  if (waitForInputIdle) WaitForInputIdle(process.hProcess, INFINITE);
  if (WaitForSingleObject(process.hProcess, waitTime) == WAIT_OBJECT_0) {
    CloseHandle(process.hProcess);
    return TRUE;
  }
  // A caller that does not take the handle must not leave it open for the rest of the run.
  if (handlePlace)
    *handlePlace = process.hProcess;
  else
    CloseHandle(process.hProcess);
  return FALSE;
}

bool IsNtFamily() {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

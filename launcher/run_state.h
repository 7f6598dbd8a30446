// The launcher's run state: one instance per process, alive from entry to exit.
#pragma once
#include "base/text.h"

struct TRunState {
  TText Title;
  TText RuntimeId;
  TText RequiredVersion;
  void* SplashWindow = nullptr;  // HWND of the wait window, or null
  bool HaveRuntime = false;
  TText RuntimePath;
  bool UseTempRuntime = false;
  bool RuntimeEmbedded = false;
  TText TempRuntimePath;
  TText ScratchPath;
};

extern TRunState Run;

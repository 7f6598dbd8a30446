#include "launcher/startup.h"

#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>

#include "launcher/discovery.h"
#include "launcher/launch.h"
#include "launcher/resource_stream.h"
#include "launcher/run_state.h"
#include "launcher/settings.h"
#include "launcher/system_library.h"
#include "packed/packed.h"
#include "signal/splash.h"

namespace {

constexpr const char* kFatalCaption = "Fatal Error";
constexpr const char* kGenMissingText = "This program is corrupted. Please obtain a new copy from your provider";
constexpr const char* kGenDamagedText =
    "Unable to read the attached data (or it may be corrupted): cannot continue. Please contact your provider.";
constexpr const char* kSignatureEmptyText = "This program has got corrupted data. Unable to continue.";

// Reads the packed "GEN" resource into the list; ends the run when it is missing or damaged.
void LoadSettings(TLoaderSettings& settings) {
  TMemoryStream packed;
  CopyResourceToStream("GEN", packed);
  if (packed.Size() == 0) FailWithMessage(kFatalCaption, kGenMissingText);
  TMemoryStream text;
  if (UnpackBlock(packed, text) != 0) FailWithMessage(kFatalCaption, kGenDamagedText);
  // Only running out of memory fails here; an empty list then ends the run below.
  settings.Load(reinterpret_cast<const char*>(text.Memory()), text.Size());
}

void OpenWaitWindow(const TLoaderSettings& settings) {
  SplashText = settings.Item(SplashTextItem);
  HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), "WA", nullptr, SplashDialogProc, 0);
  Run.SplashWindow = window;
  ShowWindow(window, SW_SHOWNORMAL);
}

}  // namespace

void ErrorExit() {
  if (Run.SplashWindow) {
    DestroyWindow(static_cast<HWND>(Run.SplashWindow));
    Run.SplashWindow = nullptr;
  }
  // exit, not ExitProcess: the message hub releases its mutex and tables at finalisation.
  exit(0);
}

void FailWithMessage(const char* caption, const char* text) {
  MessageBoxA(GetActiveWindow(), text, caption, MB_ICONERROR);
  ErrorExit();
}

void RunLoader() {
  RestrictDllSearch();
  InitCommonControls();

  TLoaderSettings settings;
  LoadSettings(settings);
  if (settings.Item(Signature).Empty()) FailWithMessage(kFatalCaption, kSignatureEmptyText);

  Run.Title = settings.Item(TitleItem);
  if (settings.WantsWaitWindow()) OpenWaitWindow(settings);

  Run.RuntimeId = settings.Item(RuntimeIdItem);
  Run.RequiredVersion = settings.Item(RequiredVersionItem);
  Run.UseTempRuntime = settings.Flag(RunFromTemp);
  Run.RuntimeEmbedded = settings.Flag(RuntimeEmbeddedItem);

  FindInstalledRuntime();

  // Not built yet: unpacking an embedded runtime (when none is installed and the
  // publication carries one) and the missing-runtime notice. Until they are, a run without
  // an installed runtime simply ends here.

  settings.Clear();
  if (Run.HaveRuntime) LaunchViewer();
}

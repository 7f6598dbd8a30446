// qvloader.exe: a GUI program without options of its own; every path ends with code 0.
#include <windows.h>

#include "launcher/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RunLoader();
  return 0;
}

// qvstamp EXE NAME FILE [NAME FILE...]: puts each FILE into EXE as the RT_RCDATA resource
// NAME, through the system's own resource updater. Used by the demo until the publishing
// tool writes resources itself. Exit code 0 on success, 1 with a message otherwise.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static bool ReadWholeFile(const char* path, char** data, DWORD* size) {
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = GetFileSize(f, nullptr);
  char* p = static_cast<char*>(malloc(n ? n : 1));
  DWORD got = 0;
  bool ok = p && n != INVALID_FILE_SIZE && ReadFile(f, p, n, &got, nullptr) && got == n;
  CloseHandle(f);
  if (!ok) {
    free(p);
    return false;
  }
  *data = p;
  *size = n;
  return true;
}

int main(int argc, char** argv) {
  if (argc < 4 || (argc - 2) % 2 != 0) {
    fprintf(stderr, "usage: qvstamp EXE NAME FILE [NAME FILE...]\n");
    return 1;
  }
  HANDLE update = BeginUpdateResourceA(argv[1], FALSE);
  if (!update) {
    fprintf(stderr, "qvstamp: cannot open %s for resource update\n", argv[1]);
    return 1;
  }
  for (int i = 2; i + 1 < argc; i += 2) {
    char* data = nullptr;
    DWORD size = 0;
    if (!ReadWholeFile(argv[i + 1], &data, &size) ||
        !UpdateResourceA(update, MAKEINTRESOURCEA(10), argv[i], MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), data,
                         size)) {
      fprintf(stderr, "qvstamp: cannot put %s as %s\n", argv[i + 1], argv[i]);
      EndUpdateResourceA(update, TRUE);
      free(data);
      return 1;
    }
    free(data);
  }
  if (!EndUpdateResourceA(update, FALSE)) {
    fprintf(stderr, "qvstamp: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

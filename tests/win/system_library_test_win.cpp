// DLL loading confined to the system directory: a DLL planted beside the program, where a
// downloaded publication usually sits, is not loaded in place of a system one.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "launcher/system_library.h"

namespace {

std::string ProgramDirectory() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1);
}

std::string SystemDirectory() {
  char path[MAX_PATH];
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  return std::string(path, n);
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, n);
}

// A loadable image under a DLL name in the program's folder: a copy of this program.
class PlantedDll {
public:
  explicit PlantedDll(const char* name) : path_(ProgramDirectory() + name) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    copied_ = CopyFileA(self, path_.c_str(), FALSE) != 0;
  }
  ~PlantedDll() { DeleteFileA(path_.c_str()); }
  bool Copied() const { return copied_; }

private:
  std::string path_;
  bool copied_;
};

TEST(SystemLibrary, LoadsFromTheSystemDirectory) {
  HMODULE module = LoadSystemLibrary("riched20.dll");
  ASSERT_NE(module, nullptr);
  std::string path = ModulePath(module);
  std::string dir = SystemDirectory();
  EXPECT_EQ(CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path.c_str(), int(dir.size()), dir.c_str(),
                           int(dir.size())),
            CSTR_EQUAL)
      << path;
}

TEST(SystemLibrary, RefusesNamesWithADirectoryPart) {
  for (const char* name : {"..\\riched20.dll", "C:riched20.dll", "x/riched20.dll", "\\\\server\\share\\a.dll"})
    EXPECT_EQ(LoadSystemLibrary(name), nullptr) << name;
  EXPECT_EQ(LoadSystemLibrary("qv-no-such-library.dll"), nullptr);
}

// Both halves run in one process: restricting the search cannot be undone.
TEST(SystemLibrary, AfterRestrictingTheSearchAPlantedDllIsNotLoaded) {
  PlantedDll before("qvplant_before.dll");
  PlantedDll after("qvplant_after.dll");
  ASSERT_TRUE(before.Copied() && after.Copied());
  // Without the restriction the program's folder is searched first.
  HMODULE found = LoadLibraryA("qvplant_before.dll");
  ASSERT_NE(found, nullptr) << "the planted copy should be found before the restriction";
  FreeLibrary(found);

  RestrictDllSearch();
  HMODULE planted = LoadLibraryA("qvplant_after.dll");
  EXPECT_EQ(planted, nullptr);
  if (planted) FreeLibrary(planted);
  // System DLLs are still found by name.
  EXPECT_NE(LoadLibraryA("riched20.dll"), nullptr);
}

}  // namespace

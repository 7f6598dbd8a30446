// Scratch space for registry and file tests: a runtime key of its own under
// HKLM\SOFTWARE\ROZozeve\ and a temporary folder, both removed again by their destructors.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/win/harness/harness.h"

namespace scratch {

inline std::string NewRuntimeId() { return harness::FreshRuntimeId(); }

inline std::string RuntimeKeyName(const std::string& id) { return "SOFTWARE\\ROZozeve\\" + id; }

// One registry value as the test writes it: any type, any bytes, any size.
struct Value {
  std::string name;
  DWORD type;
  std::vector<BYTE> data;
};

inline Value Sz(const std::string& name, const std::string& text) {
  std::vector<BYTE> d(text.begin(), text.end());
  d.push_back(0);
  return {name, REG_SZ, d};
}
inline Value Raw(const std::string& name, DWORD type, const std::string& bytes) {
  return {name, type, std::vector<BYTE>(bytes.begin(), bytes.end())};
}
inline Value Dword(const std::string& name, DWORD v) {
  return {name, REG_DWORD, std::vector<BYTE>((BYTE*)&v, (BYTE*)&v + sizeof v)};
}

// HKLM\SOFTWARE\ROZozeve\<id>, deleted on destruction (also when the test under test
// created it).
class RuntimeKey {
public:
  explicit RuntimeKey(std::string id = NewRuntimeId()) : id_(std::move(id)) {}
  ~RuntimeKey() { Remove(); }
  RuntimeKey(const RuntimeKey&) = delete;
  RuntimeKey& operator=(const RuntimeKey&) = delete;

  const std::string& Id() const { return id_; }

  bool Write(const std::vector<Value>& values) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, RuntimeKeyName(id_).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
      return false;
    bool ok = true;
    for (const Value& v : values) {
      // RegSetValueExA adds a terminator to a string whose next byte in memory happens to
      // be NUL; a guard byte keeps an unterminated value unterminated.
      std::vector<BYTE> guarded = v.data;
      guarded.push_back('X');
      ok = ok && RegSetValueExA(k, v.name.c_str(), 0, v.type, guarded.data(),
                                DWORD(v.data.size())) == ERROR_SUCCESS;
    }
    RegCloseKey(k);
    return ok;
  }

  bool Exists() const {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RuntimeKeyName(id_).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
      return false;
    RegCloseKey(k);
    return true;
  }

  // Reads a value back raw: false when missing.
  bool Read(const char* name, DWORD* type, std::vector<BYTE>* data) const {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RuntimeKeyName(id_).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
      return false;
    BYTE buf[2048];
    DWORD size = sizeof buf;
    bool ok = RegQueryValueExA(k, name, nullptr, type, buf, &size) == ERROR_SUCCESS;
    if (ok) data->assign(buf, buf + size);
    RegCloseKey(k);
    return ok;
  }

  void Remove() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, RuntimeKeyName(id_).c_str()); }

private:
  std::string id_;
};

// A fresh folder under the temporary directory, without a trailing backslash; removed with
// everything in it on destruction.
class TempFolder {
public:
  explicit TempFolder(const char* prefix = "qv disc") : path_(harness::MakeTempFolder(prefix)) {
    path_.pop_back();  // kept without its trailing backslash
  }
  ~TempFolder() { harness::RemoveFolder(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  bool MakeFile(const std::string& name, const std::string& content = "stub") const {
    HANDLE f = CreateFileA((*this / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written;
    WriteFile(f, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(f);
    return true;
  }
  bool MakeDir(const std::string& name) const {
    return CreateDirectoryA((*this / name).c_str(), nullptr) != 0;
  }

private:
  std::string path_;
};

inline bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace scratch

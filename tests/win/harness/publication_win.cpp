// Publications for black-box runs: a copy of the launcher with the resources a test asks for.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/win/harness/harness.h"
#include "tools/packer/packer.h"
#include "tools/pe/pe.h"

namespace harness {
namespace {

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "harness: %s (error %lu)\n", what.c_str(), GetLastError());
  std::fflush(stderr);
  std::exit(99);
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(f, nullptr);
  bytes.resize(size);
  DWORD got = 0;
  bool ok = size == 0 || (ReadFile(f, bytes.data(), size, &got, nullptr) && got == size);
  CloseHandle(f);
  return ok;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = bytes.empty() || (WriteFile(f, bytes.data(), DWORD(bytes.size()), &put, nullptr) && put == bytes.size());
  CloseHandle(f);
  return ok;
}

// The system's resource updater cannot write an entry of 0 bytes (that means "delete"), so
// such entries go in with one placeholder byte and their recorded size is set to 0 here.
bool ZeroResourceSizes(const std::string& exe, const std::vector<const Resource*>& empties) {
  std::vector<uint8_t> file;
  TPeImage image;
  std::vector<TPeResource> all;
  if (!ReadFileBytes(exe, file) || !image.Load(file) || !image.Resources(&all)) return false;
  for (const Resource* r : empties) {
    TPeResourceId type = TPeResourceId::Of(uint16_t(r->type)), name = TPeResourceId::Of(r->name.c_str());
    auto leaf = std::find_if(all.begin(), all.end(),
                             [&](const TPeResource& e) { return e.Type.Matches(type) && e.Name.Matches(name); });
    if (leaf == all.end()) return false;
    std::fill_n(file.begin() + leaf->EntryOffset + 4, 4, 0);  // the entry's size field
  }
  return WriteFileBytes(exe, file);
}

unsigned folderCounter = 0;

}  // namespace

std::string BinDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1);
}

std::string MakeTempFolder(const std::string& prefix) {
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) Die("no temporary folder");
  for (;;) {
    std::string dir = std::string(temp) + prefix + " " + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(++folderCounter);
    if (CreateDirectoryA(dir.c_str(), nullptr)) return dir + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) Die("cannot create " + dir);
  }
}

void RemoveFolder(const std::string& dir) {
  std::string base = dir;
  if (!base.empty() && base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((base + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = base + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(base.c_str());
}

bool WriteResources(const std::string& exe, const std::vector<Resource>& resources) {
  if (resources.empty()) return true;
  HANDLE update = BeginUpdateResourceA(exe.c_str(), FALSE);
  if (!update) return false;
  std::vector<const Resource*> empties;
  static const uint8_t placeholder = 0;
  for (const Resource& r : resources) {
    const void* data = r.data.empty() ? &placeholder : r.data.data();
    DWORD size = r.data.empty() ? 1 : DWORD(r.data.size());
    if (r.data.empty()) empties.push_back(&r);
    if (!UpdateResourceA(update, MAKEINTRESOURCEA(r.type), r.name.c_str(), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                         const_cast<void*>(data), size)) {
      EndUpdateResourceA(update, TRUE);
      return false;
    }
  }
  if (!EndUpdateResourceA(update, FALSE)) return false;
  return empties.empty() || ZeroResourceSizes(exe, empties);
}

Publication MakePublication(const std::vector<Resource>& resources, const PublicationOptions& options) {
  std::string source = options.source.empty() ? BinDir() + "qvloader.exe" : options.source;
  Publication pub;
  pub.dir = MakeTempFolder();
  pub.exe = pub.dir + options.exeName;
  if (!CopyFileA(source.c_str(), pub.exe.c_str(), FALSE)) Die("cannot copy " + source + " to " + pub.exe);
  if (!WriteResources(pub.exe, resources)) Die("cannot write the resources of " + pub.exe);
  return pub;
}

void RemovePublication(const Publication& publication) {
  if (!publication.dir.empty()) RemoveFolder(publication.dir);
}

std::vector<uint8_t> ToBytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> PackBlock(const std::vector<uint8_t>& bytes) {
  TMemoryStream out;
  if (!WritePackedBlock(bytes.data(), uint32_t(bytes.size()), out)) Die("cannot pack " + std::to_string(bytes.size()) + " bytes");
  return std::vector<uint8_t>(out.Memory(), out.Memory() + out.Size());
}

std::string Settings::Text() const {
  std::string text;
  for (const std::string* item : {&Signature, &Title, &RuntimeId, &RequiredVersion, &RunFromTemp, &RuntimeEmbedded,
                                  &OkCaption, &CancelCaption, &DownloadUrl, &RuntimeFileName, &SplashText}) {
    text += *item;
    text += "\r\n";
  }
  return text;
}

}  // namespace harness

// Publications for black-box runs: a copy of the launcher with the resources a test asks for.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/win/harness/harness.h"
#include "tools/packer/packer.h"

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

// A view of an image file's resource section, bounds-checked: every read that would leave
// the file yields nullptr.
class ResourceSection {
public:
  explicit ResourceSection(std::vector<uint8_t>& file) : file_(file) {
    auto* dos = At<IMAGE_DOS_HEADER>(0);
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    uint32_t nt = uint32_t(dos->e_lfanew);
    auto* sig = At<DWORD>(nt);
    auto* fh = At<IMAGE_FILE_HEADER>(nt + 4);
    if (!sig || *sig != IMAGE_NT_SIGNATURE || !fh) return;
    uint32_t opt = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    auto* magic = At<WORD>(opt);
    if (!magic) return;
    // The resource directory entry sits at a different offset in the 32- and 64-bit headers.
    const IMAGE_DATA_DIRECTORY* dir = nullptr;
    if (*magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
      auto* oh = At<IMAGE_OPTIONAL_HEADER32>(opt);
      if (oh) dir = &oh->DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE];
    } else if (*magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
      auto* oh = At<IMAGE_OPTIONAL_HEADER64>(opt);
      if (oh) dir = &oh->DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE];
    }
    if (!dir || dir->VirtualAddress == 0) return;
    uint32_t sections = opt + fh->SizeOfOptionalHeader;
    for (unsigned i = 0; i < fh->NumberOfSections; ++i) {
      auto* s = At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
      if (!s) return;
      if (dir->VirtualAddress >= s->VirtualAddress &&
          dir->VirtualAddress < s->VirtualAddress + s->SizeOfRawData) {
        base_ = s->PointerToRawData + (dir->VirtualAddress - s->VirtualAddress);
        valid_ = true;
        return;
      }
    }
  }

  // The data entry of type -> name -> first language, or nullptr.
  IMAGE_RESOURCE_DATA_ENTRY* Find(unsigned type, const std::string& name) {
    if (!valid_) return nullptr;
    uint32_t names = Child(0, [&](const IMAGE_RESOURCE_DIRECTORY_ENTRY& e) {
      return !e.NameIsString && e.Id == type;
    });
    if (!names) return nullptr;
    uint32_t langs = Child(names, [&](const IMAGE_RESOURCE_DIRECTORY_ENTRY& e) {
      return e.NameIsString && NameEquals(e.NameOffset, name);
    });
    if (!langs) return nullptr;
    auto* dirHeader = At<IMAGE_RESOURCE_DIRECTORY>(base_ + langs);
    auto* first = At<IMAGE_RESOURCE_DIRECTORY_ENTRY>(base_ + langs + sizeof(IMAGE_RESOURCE_DIRECTORY));
    if (!dirHeader || !first || first->DataIsDirectory) return nullptr;
    if (dirHeader->NumberOfNamedEntries + dirHeader->NumberOfIdEntries == 0) return nullptr;
    return At<IMAGE_RESOURCE_DATA_ENTRY>(base_ + first->OffsetToDirectory);
  }

private:
  template <typename T>
  T* At(uint64_t offset) {
    if (offset + sizeof(T) > file_.size()) return nullptr;
    return reinterpret_cast<T*>(file_.data() + offset);
  }

  // Offset (from the section's directory root) of the subdirectory whose entry matches, or 0.
  template <typename Match>
  uint32_t Child(uint32_t dirOffset, Match match) {
    auto* d = At<IMAGE_RESOURCE_DIRECTORY>(base_ + dirOffset);
    if (!d) return 0;
    unsigned n = d->NumberOfNamedEntries + d->NumberOfIdEntries;
    for (unsigned i = 0; i < n; ++i) {
      auto* e = At<IMAGE_RESOURCE_DIRECTORY_ENTRY>(base_ + dirOffset + sizeof(IMAGE_RESOURCE_DIRECTORY) +
                                                    i * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
      if (!e) return 0;
      if (e->DataIsDirectory && match(*e)) return e->OffsetToDirectory;
    }
    return 0;
  }

  // Resource names are stored as counted UTF-16; ours are ASCII and compared without case,
  // as FindResource does.
  bool NameEquals(uint32_t offset, const std::string& name) {
    auto* len = At<WORD>(base_ + offset);
    if (!len || *len != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
      auto* c = At<WCHAR>(base_ + offset + 2 + 2 * i);
      if (!c || *c > 0x7F || std::toupper(*c) != std::toupper(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
  }

  std::vector<uint8_t>& file_;
  uint32_t base_ = 0;
  bool valid_ = false;
};

// The system's resource updater cannot write an entry of 0 bytes (that means "delete"), so
// such entries go in with one placeholder byte and their recorded size is set to 0 here.
bool ZeroResourceSizes(const std::string& exe, const std::vector<const Resource*>& empties) {
  std::vector<uint8_t> file;
  if (!ReadFileBytes(exe, file)) return false;
  ResourceSection rsrc(file);
  for (const Resource* r : empties) {
    IMAGE_RESOURCE_DATA_ENTRY* entry = rsrc.Find(r->type, r->name);
    if (!entry) return false;
    entry->Size = 0;
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

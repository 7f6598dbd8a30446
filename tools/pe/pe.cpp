#include "tools/pe/pe.h"

#include <stdio.h>
#include <string.h>

namespace {

// Bounds for walking untrusted tables.
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kMaxImports = 4096;
constexpr uint32_t kMaxFunctions = 65536;
constexpr uint32_t kMaxResourceEntries = 65536;
constexpr uint32_t kMaxNameLength = 4096;

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool TPeResourceId::Matches(const TPeResourceId& other) const {
  if (IsNumber != other.IsNumber) return false;
  if (IsNumber) return Number == other.Number;
  if (Text.size() != other.Text.size()) return false;
  for (size_t i = 0; i < Text.size(); ++i)
    if (UpperAscii(Text[i]) != UpperAscii(other.Text[i])) return false;
  return true;
}

std::string TPeResourceId::ToString() const { return IsNumber ? "#" + std::to_string(Number) : Text; }

bool TPeImage::Read16(uint64_t offset, uint16_t* v) const {
  if (offset > bytes_.size() || bytes_.size() - offset < 2) return false;
  *v = static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
  return true;
}

bool TPeImage::Read32(uint64_t offset, uint32_t* v) const {
  if (offset > bytes_.size() || bytes_.size() - offset < 4) return false;
  const uint8_t* p = &bytes_[offset];
  *v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
       static_cast<uint32_t>(p[3]) << 24;
  return true;
}

bool TPeImage::LoadFile(const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  bool ok = !ferror(f);
  fclose(f);
  return ok && Load(std::move(bytes));
}

bool TPeImage::Load(std::vector<uint8_t> bytes) {
  bytes_ = std::move(bytes);
  sections_.clear();
  directoryCount_ = 0;
  uint16_t mz, sectionCount, optionalSize, magic;
  uint32_t peOffset, signature;
  if (!Read16(0, &mz) || mz != 0x5A4D || !Read32(0x3C, &peOffset)) return false;
  if (!Read32(peOffset, &signature) || signature != 0x00004550) return false;
  uint64_t coff = uint64_t{peOffset} + 4;
  if (!Read16(coff, &machine_) || !Read16(coff + 2, &sectionCount) || !Read16(coff + 16, &optionalSize))
    return false;
  uint64_t opt = coff + 20;
  if (!Read16(opt, &magic) || (magic != 0x10B && magic != 0x20B)) return false;
  pe32Plus_ = magic == 0x20B;
  if (!Read16(opt + 68, &subsystem_) || !Read16(opt + 70, &dllCharacteristics_)) return false;
  uint32_t countOffset = pe32Plus_ ? 108 : 92;
  uint32_t count;
  if (optionalSize < countOffset + 4 || !Read32(opt + countOffset, &count)) return false;
  uint32_t room = (optionalSize - countOffset - 4) / 8;
  directoryCount_ = count < room ? count : room;
  directoriesOffset_ = static_cast<uint32_t>(opt + countOffset + 4);

  if (sectionCount > kMaxSections) return false;
  uint64_t table = opt + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    uint64_t h = table + uint64_t{i} * 40;
    TPeSection s;
    if (!Read32(h + 8, &s.VirtualSize) || !Read32(h + 12, &s.VirtualAddress) || !Read32(h + 16, &s.RawSize) ||
        !Read32(h + 20, &s.RawOffset))
      return false;
    const char* name = reinterpret_cast<const char*>(&bytes_[h]);
    s.Name.assign(name, strnlen(name, 8));
    sections_.push_back(s);
  }
  return true;
}

const TPeSection* TPeImage::FindSection(const char* name) const {
  for (const TPeSection& s : sections_)
    if (s.Name == name) return &s;
  return nullptr;
}

void TPeImage::Directory(uint32_t index, uint32_t* rva, uint32_t* size) const {
  *rva = *size = 0;
  if (index >= directoryCount_ || !Read32(directoriesOffset_ + uint64_t{index} * 8, rva) ||
      !Read32(directoriesOffset_ + uint64_t{index} * 8 + 4, size))
    *rva = *size = 0;
}

bool TPeImage::RvaToOffset(uint32_t rva, uint32_t length, uint32_t* offset) const {
  for (const TPeSection& s : sections_) {
    if (rva < s.VirtualAddress) continue;
    uint64_t into = uint64_t{rva} - s.VirtualAddress;
    if (into + length > s.RawSize) continue;
    uint64_t at = uint64_t{s.RawOffset} + into;
    if (at + length > bytes_.size()) return false;
    *offset = static_cast<uint32_t>(at);
    return true;
  }
  return false;
}

bool TPeImage::ReadCString(uint32_t rva, std::string* out) const {
  uint32_t at;
  if (!RvaToOffset(rva, 1, &at)) return false;
  out->clear();
  for (uint32_t i = 0; i < kMaxNameLength && at + i < bytes_.size(); ++i) {
    char c = static_cast<char>(bytes_[at + i]);
    if (!c) return true;
    out->push_back(c);
  }
  return false;
}

bool TPeImage::Imports(std::vector<TPeImport>* imports) const {
  imports->clear();
  uint32_t dirRva, dirSize;
  Directory(kPeDirImport, &dirRva, &dirSize);
  if (!dirRva) return true;
  const uint32_t thunkSize = pe32Plus_ ? 8 : 4;
  for (uint32_t i = 0; i < kMaxImports; ++i) {
    uint32_t desc;
    if (!RvaToOffset(dirRva + i * 20, 20, &desc)) return false;
    uint32_t lookup, nameRva, firstThunk;
    Read32(desc, &lookup);
    Read32(desc + 12, &nameRva);
    Read32(desc + 16, &firstThunk);
    if (!nameRva && !lookup && !firstThunk) return true;
    TPeImport import;
    if (!ReadCString(nameRva, &import.Dll)) return false;
    uint32_t thunks = lookup ? lookup : firstThunk;
    for (uint32_t k = 0; k < kMaxFunctions; ++k) {
      uint32_t at, low, high = 0;
      if (!RvaToOffset(thunks + k * thunkSize, thunkSize, &at)) return false;
      Read32(at, &low);
      if (pe32Plus_) Read32(at + 4, &high);
      if (!low && !high) break;
      bool byOrdinal = pe32Plus_ ? (high & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
      std::string fn;
      if (byOrdinal) {
        fn = "#" + std::to_string(low & 0xFFFF);
      } else if (!ReadCString(low + 2, &fn)) {  // skip the hint
        return false;
      }
      import.Functions.push_back(fn);
    }
    imports->push_back(import);
  }
  return false;
}

bool TPeImage::ReadResourceId(uint32_t base, uint32_t sectionSize, uint32_t entry, TPeResourceId* id) const {
  uint32_t raw;
  if (!Read32(entry, &raw)) return false;
  if (!(raw & 0x80000000u)) {
    *id = TPeResourceId::Of(static_cast<uint16_t>(raw));
    return true;
  }
  uint32_t at = raw & 0x7FFFFFFFu;
  uint16_t length;
  if (at >= sectionSize || !Read16(uint64_t{base} + at, &length)) return false;
  if (uint64_t{at} + 2 + uint64_t{length} * 2 > sectionSize) return false;
  id->IsNumber = false;
  id->Number = 0;
  id->Text.clear();
  for (uint32_t i = 0; i < length; ++i) {
    uint16_t unit;
    if (!Read16(uint64_t{base} + at + 2 + i * 2, &unit)) return false;
    id->Text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return true;
}

// Levels: 0 type, 1 name, 2 language. Deeper entries, and subdirectory links at the language
// level, are damage: a hostile directory could otherwise loop.
bool TPeImage::WalkResources(uint32_t base, uint32_t size, uint32_t dir, int level, TPeResource& path,
                             uint32_t* visits, std::vector<TPeResource>* out) const {
  uint16_t named, numbered;
  if (dir > size || size - dir < 16 || !Read16(uint64_t{base} + dir + 12, &named) ||
      !Read16(uint64_t{base} + dir + 14, &numbered))
    return false;
  // Entries may share subdirectories; the count of entries visited bounds the walk.
  uint32_t entries = uint32_t{named} + numbered;
  if (entries > kMaxResourceEntries - *visits) return false;
  *visits += entries;
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t entry = dir + 16 + i * 8;
    if (entry > size || size - entry < 8) return false;
    TPeResourceId id;
    uint32_t target;
    if (!ReadResourceId(base, size, base + entry, &id) || !Read32(uint64_t{base} + entry + 4, &target))
      return false;
    bool isDir = (target & 0x80000000u) != 0;
    target &= 0x7FFFFFFFu;
    if (level == 0) path.Type = id;
    if (level == 1) path.Name = id;
    if (level < 2) {
      if (!isDir || !WalkResources(base, size, target, level + 1, path, visits, out)) return false;
      continue;
    }
    if (isDir || target > size || size - target < 16) return false;
    TPeResource leaf = path;
    leaf.Language = id.IsNumber ? id.Number : 0;
    leaf.EntryOffset = base + target;
    if (!Read32(uint64_t{base} + target, &leaf.DataRva) || !Read32(uint64_t{base} + target + 4, &leaf.Size))
      return false;
    leaf.InFile = RvaToOffset(leaf.DataRva, leaf.Size, &leaf.FileOffset);
    out->push_back(leaf);
  }
  return true;
}

bool TPeImage::Resources(std::vector<TPeResource>* resources) const {
  resources->clear();
  uint32_t rva, size, base;
  Directory(kPeDirResource, &rva, &size);
  if (!rva) return true;
  // The directory's offsets are relative to its start and may reach to the end of its section.
  for (const TPeSection& s : sections_) {
    if (rva < s.VirtualAddress || rva - s.VirtualAddress >= s.RawSize) continue;
    uint32_t available = s.RawSize - (rva - s.VirtualAddress);
    if (!RvaToOffset(rva, 16, &base)) return false;
    if (uint64_t{base} + available > bytes_.size()) available = static_cast<uint32_t>(bytes_.size() - base);
    TPeResource path;
    uint32_t visits = 0;
    return WalkResources(base, available, 0, 0, path, &visits, resources);
  }
  return false;
}

bool TPeImage::FindResource(const TPeResourceId& type, const TPeResourceId& name, TPeResource* out) const {
  std::vector<TPeResource> all;
  Resources(&all);
  for (const TPeResource& r : all) {
    if (r.Type.Matches(type) && r.Name.Matches(name)) {
      *out = r;
      return true;
    }
  }
  return false;
}

const uint8_t* TPeImage::ResourceData(const TPeResource& resource) const {
  return resource.InFile ? bytes_.data() + resource.FileOffset : nullptr;
}

const TPeSection* TPeImage::ResourceSection() const {
  uint32_t rva, size;
  Directory(kPeDirResource, &rva, &size);
  if (!rva) return nullptr;
  for (const TPeSection& s : sections_)
    if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.RawSize) return &s;
  return nullptr;
}

uint64_t TPeImage::SizeWithoutResources() const {
  const TPeSection* rsrc = ResourceSection();
  return bytes_.size() - (rsrc ? rsrc->RawSize : 0);
}

// A reader for Windows PE images (PE32 and PE32+): headers, sections, imported DLLs and the
// resource directory. Every offset and count in the file is checked against its size, so a
// damaged or hostile image gives a failed load or missing entries, never a read outside it.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct TPeSection {
  std::string Name;  // up to 8 characters
  uint32_t VirtualAddress = 0;
  uint32_t VirtualSize = 0;
  uint32_t RawOffset = 0;
  uint32_t RawSize = 0;
};

// A resource type or name: a 16-bit number or a text (stored upper-case by resource compilers).
struct TPeResourceId {
  bool IsNumber = true;
  uint16_t Number = 0;
  std::string Text;  // ASCII; other UTF-16 units read as '?'

  static TPeResourceId Of(uint16_t number) { return {true, number, {}}; }
  static TPeResourceId Of(const char* text) { return {false, 0, text}; }
  // Numbers equal; texts equal without regard to ASCII case.
  bool Matches(const TPeResourceId& other) const;
  std::string ToString() const;  // "#5" or the text
};

struct TPeResource {
  TPeResourceId Type;
  TPeResourceId Name;
  uint16_t Language = 0;
  uint32_t DataRva = 0;
  uint32_t Size = 0;
  uint32_t FileOffset = 0;  // valid when InFile
  bool InFile = false;      // the data lies wholly inside the file's raw section data
  uint32_t EntryOffset = 0; // file offset of the 16-byte data entry (RVA, size, code page)
};

struct TPeImport {
  std::string Dll;
  std::vector<std::string> Functions;  // by name; ordinal imports as "#n"
};

class TPeImage {
public:
  // False when the bytes are not a PE image with consistent headers.
  bool Load(std::vector<uint8_t> bytes);
  bool LoadFile(const char* path);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  uint16_t Machine() const { return machine_; }
  bool IsPe32Plus() const { return pe32Plus_; }
  uint16_t Subsystem() const { return subsystem_; }
  uint16_t DllCharacteristics() const { return dllCharacteristics_; }
  const std::vector<TPeSection>& Sections() const { return sections_; }
  const TPeSection* FindSection(const char* name) const;
  // Data directory entry (RVA and size); zeros when the image has fewer entries.
  void Directory(uint32_t index, uint32_t* rva, uint32_t* size) const;
  // The file offset of rva, when rva..rva+length lies inside one section's raw data.
  bool RvaToOffset(uint32_t rva, uint32_t length, uint32_t* offset) const;

  // The import directory; false when it is damaged (the entries read so far are kept).
  bool Imports(std::vector<TPeImport>* imports) const;
  // Every resource leaf (type, name, language); false when the directory is damaged.
  bool Resources(std::vector<TPeResource>* resources) const;
  // The first language of type/name; false when there is none.
  bool FindResource(const TPeResourceId& type, const TPeResourceId& name, TPeResource* out) const;
  // The bytes of a resource that lies in the file; null otherwise.
  const uint8_t* ResourceData(const TPeResource& resource) const;
  // The section that holds the resource directory, or null.
  const TPeSection* ResourceSection() const;
  // File size less the raw size of the resource section: the code and data that a
  // publication's resources do not change.
  uint64_t SizeWithoutResources() const;

private:
  bool Read16(uint64_t offset, uint16_t* v) const;
  bool Read32(uint64_t offset, uint32_t* v) const;
  bool ReadCString(uint32_t rva, std::string* out) const;
  bool ReadResourceId(uint32_t base, uint32_t sectionSize, uint32_t entry, TPeResourceId* id) const;
  bool WalkResources(uint32_t base, uint32_t size, uint32_t dir, int level, TPeResource& path,
                     uint32_t* visits, std::vector<TPeResource>* out) const;

  std::vector<uint8_t> bytes_;
  uint16_t machine_ = 0;
  bool pe32Plus_ = false;
  uint16_t subsystem_ = 0;
  uint16_t dllCharacteristics_ = 0;
  uint32_t directoriesOffset_ = 0;
  uint32_t directoryCount_ = 0;
  std::vector<TPeSection> sections_;
};

constexpr uint16_t kPeMachineI386 = 0x014C;
constexpr uint16_t kPeMachineAmd64 = 0x8664;
constexpr uint16_t kPeSubsystemGui = 2;
constexpr uint32_t kPeDirImport = 1;
constexpr uint32_t kPeDirResource = 2;
constexpr uint16_t kPeResIcon = 3;
constexpr uint16_t kPeResDialog = 5;
constexpr uint16_t kPeResRcData = 10;
constexpr uint16_t kPeResGroupIcon = 14;
constexpr uint16_t kPeResVersion = 16;
constexpr uint16_t kPeResManifest = 24;

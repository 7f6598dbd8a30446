// The shipped launcher image: 32-bit GUI program, system DLLs only, the resources that the
// publishing tool and the wait window rely on, and its size.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "tools/pe/pe.h"

namespace {

// Code and data without the resource section. The whole launcher is to stay within 64 KiB;
// this is the figure reached so far plus room for the parts still to come, so that growth
// is a decision rather than an accident.
constexpr uint64_t kSizeBudgetWithoutResources = 48 * 1024;

// System DLLs that every supported Windows has in its system directory.
const std::set<std::string> kAllowedDlls = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL",   "ADVAPI32.DLL",
                                            "SHELL32.DLL",  "COMCTL32.DLL", "OLE32.DLL", "MSVCRT.DLL"};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

class LauncherImage : public testing::Test {
protected:
  static void SetUpTestSuite() {
    image_ = new TPeImage;
    loaded_ = image_->LoadFile(QV_WIN32_LAUNCHER);
  }
  static void TearDownTestSuite() {
    delete image_;
    image_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(loaded_) << "cannot read " << QV_WIN32_LAUNCHER; }

  // The resource's bytes; fails the test when it is missing.
  static std::vector<uint8_t> Resource(const TPeResourceId& type, const TPeResourceId& name) {
    TPeResource r;
    if (!image_->FindResource(type, name, &r) || !image_->ResourceData(r)) {
      ADD_FAILURE() << "no resource " << type.ToString() << "/" << name.ToString();
      return {};
    }
    const uint8_t* p = image_->ResourceData(r);
    return std::vector<uint8_t>(p, p + r.Size);
  }

  static TPeImage* image_;
  static bool loaded_;
};

TPeImage* LauncherImage::image_ = nullptr;
bool LauncherImage::loaded_ = false;

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16; }

// A NUL-terminated UTF-16 text of ASCII characters at at; at moves past it.
std::string Utf16(const std::vector<uint8_t>& b, size_t& at) {
  std::string s;
  while (at + 1 < b.size()) {
    uint16_t c = U16(b, at);
    at += 2;
    if (!c) break;
    s.push_back(static_cast<char>(c));
  }
  return s;
}

TEST_F(LauncherImage, IsA32BitX86GuiProgram) {
  EXPECT_EQ(image_->Machine(), kPeMachineI386);
  EXPECT_FALSE(image_->IsPe32Plus());
  EXPECT_EQ(image_->Subsystem(), kPeSubsystemGui);
  // Address-space randomisation and no-execute data.
  EXPECT_EQ(image_->DllCharacteristics() & 0x0140, 0x0140);
}

TEST_F(LauncherImage, ImportsSystemDllsOnly) {
  std::vector<TPeImport> imports;
  ASSERT_TRUE(image_->Imports(&imports));
  ASSERT_FALSE(imports.empty());
  for (const TPeImport& dll : imports) {
    EXPECT_TRUE(kAllowedDlls.count(Upper(dll.Dll))) << dll.Dll;
    // Looked up at run time, or the launcher would not start where it is missing.
    for (const std::string& fn : dll.Functions) EXPECT_NE(fn, "SetDefaultDllDirectories") << dll.Dll;
  }
}

TEST_F(LauncherImage, WaitWindowTemplateIsTheClassic128ByteLayout) {
  std::vector<uint8_t> t = Resource(TPeResourceId::Of(kPeResDialog), TPeResourceId::Of("WA"));
  ASSERT_EQ(t.size(), 128u);
  EXPECT_EQ(U32(t, 0), 0x904400C0u);  // style
  EXPECT_EQ(U32(t, 4), 0u);           // extended style
  EXPECT_EQ(U16(t, 8), 2u);           // controls
  EXPECT_EQ((std::vector<uint16_t>{U16(t, 10), U16(t, 12), U16(t, 14), U16(t, 16)}),
            (std::vector<uint16_t>{18, 18, 162, 24}));
  EXPECT_EQ(U16(t, 18), 0u);  // no menu
  EXPECT_EQ(U16(t, 20), 0u);  // standard class
  EXPECT_EQ(U16(t, 22), 0u);  // empty title
  EXPECT_EQ(U16(t, 24), 10u);
  size_t at = 26;
  EXPECT_EQ(Utf16(t, at), "MS Sans Serif");

  struct Control {
    uint32_t style;
    uint16_t x, y, cx, cy, id;
    const char* text;
  };
  const Control expected[] = {{0x50020000u, 25, 8, 107, 9, 3, "*"}, {0x50000003u, 3, 4, 14, 16, 4, "MAINICON"}};
  for (const Control& c : expected) {
    SCOPED_TRACE(c.id);
    at = (at + 3) & ~size_t{3};
    ASSERT_LE(at + 22, t.size());
    EXPECT_EQ(U32(t, at), c.style);
    EXPECT_EQ(U32(t, at + 4), 0u);
    EXPECT_EQ((std::vector<uint16_t>{U16(t, at + 8), U16(t, at + 10), U16(t, at + 12), U16(t, at + 14)}),
              (std::vector<uint16_t>{c.x, c.y, c.cx, c.cy}));
    EXPECT_EQ(U16(t, at + 16), c.id);
    EXPECT_EQ(U16(t, at + 18), 0xFFFFu);  // class by ordinal...
    EXPECT_EQ(U16(t, at + 20), 0x0082u);  // ...STATIC
    at += 22;
    EXPECT_EQ(Utf16(t, at), c.text);
    EXPECT_EQ(U16(t, at), 0u);  // no creation data
    at += 2;
  }
  EXPECT_EQ(at, 126u);
}

TEST_F(LauncherImage, MainIconHas16And32And48PixelImages) {
  std::vector<uint8_t> g = Resource(TPeResourceId::Of(kPeResGroupIcon), TPeResourceId::Of("MAINICON"));
  ASSERT_GE(g.size(), 6u);
  uint16_t count = U16(g, 4);
  ASSERT_EQ(g.size(), 6u + count * 14u);
  std::set<int> sizes;
  for (uint16_t i = 0; i < count; ++i) {
    size_t e = 6 + i * 14;
    sizes.insert(g[e] ? g[e] : 256);
    TPeResource icon;
    EXPECT_TRUE(image_->FindResource(TPeResourceId::Of(kPeResIcon), TPeResourceId::Of(U16(g, e + 12)), &icon));
    EXPECT_EQ(icon.Size, U32(g, e + 8));
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));
}

TEST_F(LauncherImage, ManifestDependsOnX86CommonControls6) {
  std::vector<uint8_t> m = Resource(TPeResourceId::Of(kPeResManifest), TPeResourceId::Of(1));
  std::string text(m.begin(), m.end());
  size_t dep = text.find("<dependentAssembly>");
  ASSERT_NE(dep, std::string::npos);
  std::string assembly = text.substr(dep, text.find("</dependentAssembly>", dep) - dep);
  EXPECT_NE(assembly.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos) << assembly;
  EXPECT_NE(assembly.find("version=\"6.0.0.0\""), std::string::npos) << assembly;
  EXPECT_NE(assembly.find("processorArchitecture=\"x86\""), std::string::npos) << assembly;
}

TEST_F(LauncherImage, HasAVersionRecord) {
  std::vector<uint8_t> v = Resource(TPeResourceId::Of(kPeResVersion), TPeResourceId::Of(1));
  ASSERT_GE(v.size(), 40u + 52u);
  size_t at = 6;
  EXPECT_EQ(Utf16(v, at), "VS_VERSION_INFO");
  at = (at + 3) & ~size_t{3};
  EXPECT_EQ(U32(v, at), 0xFEEF04BDu);  // fixed file information follows
}

TEST_F(LauncherImage, StaysWithinItsSizeBudgetWithoutResources) {
  uint64_t size = image_->SizeWithoutResources();
  RecordProperty("bytes_without_resources", std::to_string(size));
  EXPECT_LE(size, kSizeBudgetWithoutResources) << "the launcher grew; see scripts/size";
}

// The publishing tool reads images it is given: damage must give failures, not wild reads
// (the sanitized build checks the "not").
TEST_F(LauncherImage, ReaderSurvivesTruncationAndScrambledTables) {
  const std::vector<uint8_t>& whole = image_->Bytes();
  for (size_t cut = 0; cut < whole.size(); cut += whole.size() / 97 + 1) {
    TPeImage part;
    if (!part.Load(std::vector<uint8_t>(whole.begin(), whole.begin() + cut))) continue;
    std::vector<TPeImport> imports;
    std::vector<TPeResource> resources;
    part.Imports(&imports);
    part.Resources(&resources);
  }
  const TPeSection* rsrc = image_->ResourceSection();
  ASSERT_NE(rsrc, nullptr);
  uint32_t seed = 12345;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = whole;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      size_t at = rsrc->RawOffset + (seed >> 8) % std::min<uint32_t>(rsrc->RawSize, 512);
      bytes[at] = static_cast<uint8_t>(seed >> 24);
    }
    TPeImage damaged;
    ASSERT_TRUE(damaged.Load(bytes));
    std::vector<TPeResource> resources;
    damaged.Resources(&resources);
    for (const TPeResource& r : resources) {
      if (const uint8_t* p = damaged.ResourceData(r)) {
        EXPECT_LE(p + r.Size, damaged.Bytes().data() + damaged.Bytes().size());
      }
    }
  }
}

}  // namespace

// qvsize IMAGE...: the size of a launcher image with and without its resources, and the
// resource bytes by kind.
#include <stdio.h>

#include <map>
#include <string>

#include "tools/pe/pe.h"

namespace {

std::string KindOf(const TPeResourceId& type) {
  if (!type.IsNumber) return type.Text;
  switch (type.Number) {
    case kPeResIcon:
    case kPeResGroupIcon:
      return "icon";
    case kPeResDialog:
      return "dialog";
    case kPeResRcData:
      return "data";
    case kPeResVersion:
      return "version";
    case kPeResManifest:
      return "manifest";
    default:
      return type.ToString();
  }
}

bool Report(const char* path) {
  TPeImage image;
  std::vector<TPeResource> resources;
  if (!image.LoadFile(path) || !image.Resources(&resources)) {
    fprintf(stderr, "qvsize: %s: not a readable PE image\n", path);
    return false;
  }
  const TPeSection* rsrc = image.ResourceSection();
  printf("%s\n", path);
  printf("  %-24s %8zu bytes\n", "image", image.Bytes().size());
  printf("  %-24s %8llu bytes (%.1f KiB)\n", "without resources",
         static_cast<unsigned long long>(image.SizeWithoutResources()), image.SizeWithoutResources() / 1024.0);
  printf("  %-24s %8u bytes\n", "resource section", rsrc ? rsrc->RawSize : 0u);
  std::map<std::string, uint64_t> kinds;
  for (const TPeResource& r : resources) kinds[KindOf(r.Type)] += r.Size;
  for (const auto& [kind, bytes] : kinds)
    printf("    %-22s %8llu bytes\n", kind.c_str(), static_cast<unsigned long long>(bytes));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: qvsize IMAGE...\n");
    return 2;
  }
  int failed = 0;
  for (int i = 1; i < argc; ++i) failed += !Report(argv[i]);
  return failed ? 1 : 0;
}

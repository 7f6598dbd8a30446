// qvpack: makes and reads packed blocks for publications.
//   qvpack pack IN OUT     IN's bytes as a packed block
//   qvpack unpack IN OUT   the bytes of the packed block IN, read as the launcher reads it
// Exit code 0 on success; otherwise one line on stderr, and OUT is left as it was.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "packed/packed.h"
#include "packed/stream.h"
#include "tools/packer/packer.h"

namespace {

int Fail(const std::string& message) {
  fprintf(stderr, "qvpack: %s\n", message.c_str());
  return 1;
}

std::string Why() { return strerror(errno); }

bool ReadFile(const char* path, TMemoryStream& into, std::string& error) {
  FILE* f = fopen(path, "rb");
  if (!f) {
    error = std::string("cannot open ") + path + ": " + Why();
    return false;
  }
  uint8_t buf[1 << 16];
  size_t got;
  bool ok = true;
  while (ok && (got = fread(buf, 1, sizeof buf, f)) > 0) {
    // The block format counts in 32 bits, and so do the streams.
    ok = into.Size() <= 0xFFFFFFFFu - got && into.Write(buf, static_cast<uint32_t>(got)) == got;
    if (!ok) error = std::string(path) + " is too large";
  }
  if (ok && ferror(f)) {
    error = std::string("cannot read ") + path + ": " + Why();
    ok = false;
  }
  fclose(f);
  return ok;
}

// Writes a temporary file beside the target and renames it over the target, so a failure
// at any point leaves the target as it was.
bool WriteFileAtomically(const char* path, const uint8_t* data, uint32_t size, std::string& error) {
  std::string temp = std::string(path) + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = std::string("cannot create a file beside ") + path + ": " + Why();
    return false;
  }
  bool ok = true;
  for (uint32_t done = 0; ok && done < size;) {
    ssize_t w = write(fd, data + done, size - done);
    if (w < 0 && errno == EINTR) continue;
    ok = w > 0;
    if (ok) done += static_cast<uint32_t>(w);
  }
  if (ok) ok = fsync(fd) == 0;
  if (!ok) error = std::string("cannot write ") + path + ": " + Why();
  if (close(fd) != 0 && ok) {
    error = std::string("cannot write ") + path + ": " + Why();
    ok = false;
  }
  // mkstemp makes the file private; the result should have the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  if (ok && chmod(temp.c_str(), 0666 & ~mask) != 0) ok = false;
  if (ok && rename(temp.c_str(), path) != 0) {
    error = std::string("cannot replace ") + path + ": " + Why();
    ok = false;
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

int Pack(char** args) {
  const char *in = args[0], *out = args[1];
  TMemoryStream data, block;
  std::string error;
  if (!ReadFile(in, data, error)) return Fail(error);
  if (data.Size() == 0) return Fail(std::string(in) + " is empty; a packed block holds at least one byte");
  if (!WritePackedBlock(data.Memory(), data.Size(), block)) return Fail("out of memory while packing");
  if (!WriteFileAtomically(out, block.Memory(), block.Size(), error)) return Fail(error);
  return 0;
}

int Unpack(char** args) {
  const char *in = args[0], *out = args[1];
  TMemoryStream block, data;
  std::string error;
  if (!ReadFile(in, block, error)) return Fail(error);
  if (UnpackBlock(block, data) != 0) return Fail(std::string(in) + " is not a valid packed block");
  if (!WriteFileAtomically(out, data.Memory(), data.Size(), error)) return Fail(error);
  return 0;
}

// One row per subcommand: its name, its arguments, how many there are, what runs it.
struct TCommand {
  const char* name;
  const char* args;
  int argCount;
  int (*run)(char** args);
};

const TCommand kCommands[] = {
    {"pack", "IN OUT", 2, Pack},
    {"unpack", "IN OUT", 2, Unpack},
};

int Usage() {
  const char* sep = "usage: ";
  for (const TCommand& c : kCommands) {
    fprintf(stderr, "%sqvpack %s %s", sep, c.name, c.args);
    sep = " | ";
  }
  fprintf(stderr, "\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (const TCommand& c : kCommands) {
    if (strcmp(argv[1], c.name) != 0) continue;
    if (argc != 2 + c.argCount) return Usage();
    return c.run(argv + 2);
  }
  return Usage();
}

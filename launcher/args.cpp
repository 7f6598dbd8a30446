#include "launcher/args.h"

#include <string.h>

namespace {

// Codes 1 to 32 separate arguments. Compared unsigned, so bytes of 0x80 and above (the upper
// half of every ANSI code page) are ordinary characters.
bool IsSeparator(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// Walks a command line argument by argument; the raw text of each, outer quotes still on.
class TArgumentScanner {
public:
  explicit TArgumentScanner(const char* commandLine) : p_(commandLine ? commandLine : "") {}

  bool Next(const char*& begin, uint32_t& length) {
    for (;;) {
      while (IsSeparator(*p_)) ++p_;
      // An explicitly empty argument is no argument at all.
      if (p_[0] == '"' && p_[1] == '"') {
        p_ += 2;
        continue;
      }
      break;
    }
    if (!*p_) return false;
    begin = p_;
    bool quoted = false;
    for (; *p_ && (quoted || !IsSeparator(*p_)); ++p_)
      if (*p_ == '"') quoted = !quoted;
    length = static_cast<uint32_t>(p_ - begin);
    return true;
  }

private:
  const char* p_;
};

// Only a pair that encloses the whole argument comes off; every other quote stays.
TText Unquoted(const char* begin, uint32_t length) {
  if (length >= 2 && begin[0] == '"' && begin[length - 1] == '"') return TText(begin + 1, length - 2);
  return TText(begin, length);
}

}  // namespace

uint32_t ArgumentCount(const char* commandLine) {
  TArgumentScanner scanner(commandLine);
  const char* begin;
  uint32_t length;
  uint32_t count = 0;
  while (scanner.Next(begin, length)) ++count;
  return count ? count - 1 : 0;  // the program name does not count
}

TText ArgumentAt(const char* commandLine, uint32_t index) {
  TArgumentScanner scanner(commandLine);
  const char* begin;
  uint32_t length;
  for (uint32_t i = 0; scanner.Next(begin, length); ++i)
    if (i == index) return Unquoted(begin, length);
  return TText();
}

TText BuildViewerParameters(const char* argument0, const char* commandLine) {
  TText out(" -p \"");
  out.Append(argument0);
  out.AppendChar('"');
  TArgumentScanner scanner(commandLine);
  const char* begin;
  uint32_t length;
  if (!scanner.Next(begin, length)) return out;  // the program name is not forwarded
  while (scanner.Next(begin, length)) {
    TText argument = Unquoted(begin, length);
    if (argument.Empty()) continue;
    out.AppendChar(' ');
    // Only a blank makes the runtime's own splitting cut the argument apart, so only a blank
    // asks for quotes; inner quotes travel as they came.
    bool quote = argument.IndexOf(' ') >= 0;
    if (quote) out.AppendChar('"');
    out.Append(argument);
    if (quote) out.AppendChar('"');
  }
  return out;
}

TText BuildCommandLine(const char* application, const char* parameters) {
  if (!application) application = "";
  if (!parameters) parameters = "";
  // A path that already holds a quote was quoted by whoever wrote it.
  bool quote = strchr(application, ' ') && !strchr(application, '"');
  TText out;
  if (quote) out.AppendChar('"');
  out.Append(application);
  if (quote) out.AppendChar('"');
  if (*application && *parameters) out.AppendChar(' ');
  out.Append(parameters);
  return out;
}

TText DirectoryOf(const char* path) {
  if (!path) return TText();
  uint32_t end = 0;
  for (uint32_t i = 0; path[i]; ++i)
    if (path[i] == '\\' || path[i] == ':') end = i + 1;
  return TText(path, end);
}

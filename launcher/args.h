// Text rules of the viewer launch: argument splitting, the runtime's parameters and the
// process runner's command line. Portable.
#pragma once
#include <stdint.h>

#include "base/text.h"

// Arguments after the program name in a command line.
uint32_t ArgumentCount(const char* commandLine);
// Argument index (1 = first after the program name); the empty text beyond the last.
TText ArgumentAt(const char* commandLine, uint32_t index);
// " -p \"<argument0>\"" then each non-empty argument after a blank, quoted when it holds a blank.
TText BuildViewerParameters(const char* argument0, const char* commandLine);
// Application (quoted when it holds a blank and no quote), one blank when both parts are
// non-empty, then the parameters unchanged.
TText BuildCommandLine(const char* application, const char* parameters);
// The text up to and including the last backslash or colon.
TText DirectoryOf(const char* path);

// Placeholder until runtime discovery lands: no installed runtime is ever found.
#include "launcher/discovery.h"

#include "launcher/run_state.h"

void FindInstalledRuntime() { Run.HaveRuntime = false; }
void ReadInstalledRuntimePath() { Run.UseTempRuntime = false; }
bool FileExists(const char*) { return false; }

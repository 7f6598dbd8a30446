// Copies all bytes of the module's own RT_RCDATA resource into a stream at its position;
// writes nothing when the resource is missing or cannot be loaded.
#pragma once
#include "packed/stream.h"

void CopyResourceToStream(const char* name, TStream& stream);

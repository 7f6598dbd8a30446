#include "base/mem.h"

#include <stdlib.h>

void* QvAlloc(size_t size) { return size ? malloc(size) : nullptr; }
void* QvRealloc(void* block, size_t size) { return realloc(block, size ? size : 1); }
void QvFree(void* block) { free(block); }

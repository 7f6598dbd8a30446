// Raw heap blocks for the small object layer. The launcher keeps the C++ library's
// containers and exceptions out of its image; failure is a null pointer, never a throw.
#pragma once
#include <stddef.h>
#include <stdint.h>

void* QvAlloc(size_t size);            // null when size is 0 or memory is short
void* QvRealloc(void* block, size_t size);
void QvFree(void* block);

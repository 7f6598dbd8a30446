// Shared by the fuzz targets: a check that stops the run with a message, so a broken
// property is a finding under libFuzzer and a failure in the corpus replay alike.
#pragma once
#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(cond)                                                      \
  do {                                                                        \
    if (!(cond)) {                                                            \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      abort();                                                                \
    }                                                                         \
  } while (0)

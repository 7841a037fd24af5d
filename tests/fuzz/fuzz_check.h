// What the fuzz targets share: a check that stops the run with a message when an input breaks a
// rule the reader promises (libFuzzer then saves the input as a finding).
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                        \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition);   \
      std::abort();                                                                  \
    }                                                                                \
  } while (false)

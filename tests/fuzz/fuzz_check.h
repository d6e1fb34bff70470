// A property that must hold on every fuzz input: a failure aborts, which
// libFuzzer reports as a finding and keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                              \
    do {                                                                              \
        if (!(condition)) {                                                           \
            fprintf(stderr, "property failed: %s (line %d)\n", #condition, __LINE__); \
            abort();                                                                  \
        }                                                                             \
    } while (0)

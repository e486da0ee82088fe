// Shared by the fuzz targets: a check that aborts (so libFuzzer reports the
// input) when a decoded-then-re-encoded file does not decode to the same
// values.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                          \
    do {                                                                          \
        if (!(cond)) {                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

inline bool SameValue(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

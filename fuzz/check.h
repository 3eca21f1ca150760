// What a fuzz target does when a property breaks: says which, and aborts so
// that libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

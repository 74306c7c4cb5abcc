#pragma once
// The project assertion: checks internal invariants in debug, sanitizer and fuzz builds.
// A failed assertion is a bug, never the answer to bad input.

#include <cstdio>
#include <cstdlib>

#if defined(KAPTO_ASSERTIONS)
#define KAPTO_ASSERT(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: assertion failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
#else
#define KAPTO_ASSERT(condition) ((void)0)
#endif

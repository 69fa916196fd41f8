#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzzer with a message when a property of the code under test is broken.
inline void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

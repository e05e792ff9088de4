// What the fuzz targets share: a check that stops the run with a message, so that a
// broken property is reported as a crash with its input saved.
#pragma once

#include <cstdio>
#include <cstdlib>

#define QX_FUZZ_CHECK(cond)                                                                  \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

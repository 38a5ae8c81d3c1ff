#pragma once

// Loops over colour bytes built for AVX2 beside the default, chosen when the program loads:
// processors with AVX2 take 32 bytes a step, and the result is the same either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BRINDMAR_WIDE __attribute__((target_clones("avx2", "default")))
#else
#define BRINDMAR_WIDE
#endif

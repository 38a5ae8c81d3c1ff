#pragma once

// What the fuzz targets over the protected formats share: how a broken promise stops the run,
// and the key they open inputs with (a fixed one, so that a saved input replays the same).

#include "protection/StrongSeal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzzpromise {

inline void require(bool condition, const char* target, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "%s broke its promise: %s\n", target, what);
        std::abort();
    }
}

// 32 bytes of fill, made once per fill.
template <unsigned char Fill> const brindmar::SecretBytes& fixedKey() {
    static const brindmar::SecretBytes key = [] {
        brindmar::SecretBytes bytes(32);
        std::memset(bytes.data(), Fill, bytes.size());
        return bytes;
    }();
    return key;
}

} // namespace fuzzpromise

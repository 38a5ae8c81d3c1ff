#pragma once

// libsodium's randomness replaced by a fixed stream while an object of this type lives, so that
// a sealed image comes out the same every time. Only tests and benchmarks may do this: a fixed
// salt and stream header would give every image the same key for the same code.

#include <cstdint>
#include <sodium.h>

namespace apptest {

class FixedRandomness {
public:
    explicit FixedRandomness(uint64_t seed) {
        s_seed = seed;
        s_calls = 0;
        if (sodium_init() < 0) {
            return; // nothing is sealed without libsodium, so nothing needs fixing
        }
        randombytes_set_implementation(&s_fixed);
    }
    ~FixedRandomness() { randombytes_set_implementation(&randombytes_internal_implementation); }
    FixedRandomness(const FixedRandomness&) = delete;
    FixedRandomness& operator=(const FixedRandomness&) = delete;

private:
    static const char* name() { return "fixed for tests"; }
    static void buf(void* const into, const size_t size) {
        unsigned char seed[randombytes_SEEDBYTES] = {};
        for (int i = 0; i < 8; ++i) {
            seed[i] = static_cast<unsigned char>(s_seed >> (8 * i));
            seed[8 + i] = static_cast<unsigned char>(s_calls >> (8 * i));
        }
        ++s_calls;
        randombytes_buf_deterministic(into, size, seed);
    }
    static uint32_t random() {
        uint32_t value = 0;
        buf(&value, sizeof value);
        return value;
    }

    static inline uint64_t s_seed = 0;
    static inline uint64_t s_calls = 0;
    static inline randombytes_implementation s_fixed{name, random, nullptr, nullptr, buf, nullptr};
};

} // namespace apptest

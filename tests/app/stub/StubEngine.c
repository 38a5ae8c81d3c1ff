/* A library that has the engine's file name but only one of its exports, so that the binding's
 * handling of a missing export can be tested against a library that does load. */
#include <stdint.h>

__attribute__((visibility("default"))) int32_t wipefile(int32_t byteCount, const char* path) {
    (void)path;
    return byteCount == 0 ? 0 : 42;
}

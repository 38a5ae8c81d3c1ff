/* Compiled as C so that the public header stays usable by C callers. */
#include "vokbfn1.h"

int main(void) {
    int32_t (*const e24)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                         int32_t, const char*, const char*, const char*, const char*) = embed24;
    int32_t (*const e80)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                         int32_t, const char*, const char*, const char*, const char*) = embed80;
    int32_t (*const e81)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                         int32_t, int32_t, const char*, const char*, const char*, const char*) =
        embed81;
    int32_t (*const ext)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                         const char*) = extract;
    int32_t (*const inFile)(int32_t, int32_t, int32_t, const char*, const char*) = filefindstr;
    int32_t (*const inText)(int32_t, int32_t, int32_t, const char*, const char*) = cbfindstr;
    int32_t (*const wipe)(int32_t, const char*) = wipefile;

    /* Every call below fails a check before any file is opened. */
    int ok = e24(0, 4, 54, 0, 0, 0, 1, 1, 0, "H", "", "", "") == -1 &&
             e80(0, 4, 54, 0, 0, 0, 1, 1, 0, "H", "", "", "") == -1 &&
             e81(0, 0, 0, 54, 0, 0, 1, 1, 1, 1, "H", "", "", "") == -1 &&
             ext(0, 0, 54, 3, 1, 1, "", "") == -1 && inFile(2, 0, 0, "a", "") == -2 &&
             inText(2, 0, 0, "b", "abc") == 1 && wipe(0, "") == 0;
    return ok ? 0 : 1;
}

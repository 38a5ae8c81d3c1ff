#include "vokbfn1.h"

#include "Args.h"
#include "Streams.h"

extern "C" int32_t wipefile(int32_t byteCount, const char* path) {
    using namespace vokb;
    if (byteCount == 0 || isEmpty(path)) {
        return 0;
    }
    CloseAllOnExit closeAll;
    FILE* file = openRegistered(path, "wb");
    if (file == nullptr) {
        return -6;
    }
    // Write errors do not change the result: the caller deletes the file either way, and the
    // truncation on open has already released the old contents.
    Writer out(file, scratch(Scratch::Output), kScratchBytes);
    out.zeros(byteCount);
    out.finish();
    return -1;
}

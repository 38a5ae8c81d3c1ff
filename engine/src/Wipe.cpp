#include "vokbfn1.h"

#include "Args.h"
#include "Streams.h"

#include <fcntl.h>

extern "C" int32_t wipefile(int32_t byteCount, const char* path) {
    using namespace vokb;
    if (byteCount == 0 || isEmpty(path)) {
        return 0;
    }
    CloseAllOnExit closeAll;
    // A symbolic link is not followed: the caller deletes the path it named, so zeroing the
    // link's target would destroy a file the user never asked to wipe and keep it in place.
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    FILE* file = fd < 0 ? nullptr : adoptRegistered(fd, "wb");
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
